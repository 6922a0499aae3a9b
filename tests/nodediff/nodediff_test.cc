// The nodediff pieces on their own: CRC, applier, names and archive members.
#if TESSEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif
#include <gtest/gtest.h>

#include "nodediff/archive_member.h"
#include "nodediff/diff_apply.h"
#include "nodediff/list_names.h"
#include "nodediff/nodediff_util.h"
#include "nodediff/nodelist_crc.h"
#include "nodelist/catalogue.h"

namespace tessel::test {
namespace {

TEST(NodelistCrcTest, ChecksTheBytesAfterTheFirstLineUpToCtrlZ) {
  EXPECT_EQ(Crc16("123456789", 9), 0x31C3);  // the published check value of this CRC
  // Long texts take the carry-less multiplication, when the processor has
  // it: the same CRC, bit by bit, whatever the length and the split.
  std::string text;
  for (int i = 0; i < 1500; ++i) text += static_cast<char>(i * 7919 % 251);
  for (size_t size : {255u, 256u, 300u, 1023u, 1500u}) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
      crc ^= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << 8;
      for (int bit = 0; bit < 8; ++bit) crc = ((crc << 1) ^ ((crc & 0x8000) ? 0x1021 : 0)) & 0xFFFF;
    }
    EXPECT_EQ(Crc16(text.data(), size), crc) << size;
    EXPECT_EQ(Crc16(text.data() + size / 3, size - size / 3, Crc16(text.data(), size / 3)), crc) << size;
  }
  std::string list = MakeList("Day number 001", {"Zone,1,A", "Host,2,B"});
  ListCrc crc = CheckListCrc(list);
  EXPECT_TRUE(CrcChecks(crc));
  EXPECT_EQ(crc.actual_crc, Crc16("Zone,1,A\r\nHost,2,B\r\n", 20));
  EXPECT_TRUE(CrcChecks(CheckListCrc(list.substr(0, list.size() - 1))));  // without its Ctrl-Z
  list[list.size() - 3] = 'C';
  EXPECT_FALSE(CrcChecks(CheckListCrc(list)));
  EXPECT_FALSE(CheckListCrc(";A list without a check sum\r\nZone,1,A\r\n").stated);
  EXPECT_FALSE(CheckListCrc(";A list : 65536\r\n").stated);
  EXPECT_EQ(CrcText(2616), "02616");
  // A list whose carriage returns were lost checks once they are restored.
  std::string lf_only = MakeList("Day number 001", {"Zone,1,A", "Host,2,B"});
  std::erase(lf_only, '\r');
  EXPECT_FALSE(CrcChecks(CheckListCrc(lf_only)));
  EXPECT_TRUE(CrcChecks(CheckListCrcWithCrLf(lf_only)));
}

TEST(ApplyNodediffTest, AddsCopiesAndDeletesIntoCrLfLines) {
  std::string result;
  // An LF-only old list, a diff with CR LF and LF lines: the result is CR LF.
  DiffOutcome done = ApplyNodediff("one\ntwo\nthree\nfour\n\x1A", "one\r\nC1\r\nD2\nA2\r\nnew\r\nC3\nC1\r\n", &result);
  EXPECT_EQ(done.status, DiffStatus::kApplied);
  EXPECT_EQ(result, "one\r\nnew\r\nC3\r\nfour\r\n\x1A");
  // A last line without a line end is a line.
  EXPECT_EQ(ApplyNodediff("one\r\ntwo", "x\r\nC2\r\nA1\r\nthree", &result).status, DiffStatus::kApplied);
  EXPECT_EQ(result, "one\r\ntwo\r\nthree\r\n\x1A");

  struct Case {
    const char* diff;
    DiffStatus status;
    size_t line;
  } cases[] = {
      {"x\r\nC2\r\nX1\r\n", DiffStatus::kBadCommand, 3},
      {"x\r\nC2\r\nC\r\n", DiffStatus::kBadCommand, 3},
      {"x\r\nA1\r\nnew\r\nC 2\r\n", DiffStatus::kBadCommand, 4},
      {"x\r\nc3\r\n", DiffStatus::kBadCommand, 2},
      {"x\r\nC2\r\nD2\r\n", DiffStatus::kPastEnd, 3},
      {"x\r\nC99999999999999999999\r\n", DiffStatus::kPastEnd, 2},
      {"x\r\nC1\r\n", DiffStatus::kShortOfEnd, 2},
      {"x\r\nC3\r\nA3\r\nnew\r\n", DiffStatus::kTruncated, 3},
      {"x\r\nC3\r\n\r\n \r\n\x1A", DiffStatus::kApplied, 3},  // blank lines after the last command
      {"x\r\n\r\nC3\r\n", DiffStatus::kBadCommand, 2},
  };
  for (const Case& c : cases) {
    DiffOutcome outcome = ApplyNodediff("a\r\nb\r\nc\r\n", c.diff, &result);
    EXPECT_EQ(outcome.status, c.status) << c.diff;
    EXPECT_EQ(outcome.line, c.line) << c.diff;
  }
}

TEST(ApplyNodediffTest, RefusesAListOverTheLimit) {
  std::string big(kMaxListBytes / 2 + 10, 'x');
  std::string old_list = big + "\r\n" + big + "\r\n";
  std::string result;
  EXPECT_EQ(ApplyNodediff(old_list, "x\r\nC2\r\n", &result).status, DiffStatus::kTooLarge);
}

// The numbered-name rules where they differ: tessel's newest-file choice
// takes a digit third from the end; tessel-index's lists have three digits;
// a base name may end in no all-digit extension.
TEST(ListNamesTest, NumberedNamesByEachRule) {
  const struct {
    const char* name;
    bool newest_candidate, numbered, numbered_extension;
  } cases[] = {{"NODELIST.123", true, true, true},
               {"NODELIST.1AB", true, false, false},
               {"NODELIST.1234", true, false, true},
               {"NODELIST.03", false, false, true},
               {"NODELIST.Z03", false, false, false}};
  for (const auto& c : cases) {
    std::string day, without;
    EXPECT_EQ(IsNewestCandidate(c.name), c.newest_candidate) << c.name;
    EXPECT_EQ(IsNumberedName(c.name, "NODELIST", &day), c.numbered) << c.name;
    EXPECT_EQ(EndsInNumberedExtension(c.name, &without), c.numbered_extension) << c.name;
  }
}

TEST(ListNamesTest, NamesAndDays) {
  EXPECT_EQ(DiffNameFor("NODELIST"), "NODEDIFF");
  EXPECT_EQ(DiffNameFor("fsxlist"), "fsxDIFF");
  EXPECT_EQ(DiffNameFor("FIDONET"), "");
  std::string day;
  char letter = 0;
  EXPECT_TRUE(IsNumberedName("nodediff.003", "NODEDIFF", &day));
  EXPECT_EQ(day, "003");
  EXPECT_FALSE(IsNumberedName("NODEDIFF.03", "NODEDIFF", &day));
  EXPECT_FALSE(IsNumberedName("NODEDIFFS.003", "NODEDIFF", &day));
  EXPECT_TRUE(IsArchivedName("NODEDIFF.z03", "NODEDIFF", &letter, &day));
  EXPECT_EQ(letter, 'Z');
  EXPECT_EQ(day, "03");
  EXPECT_FALSE(IsArchivedName("NODEDIFF.003", "NODEDIFF", &letter, &day));

  // Dates in the first lines decide, across the year's end too; else the
  // day numbers, wrapping at the year's end.
  const char* dec27 = ";A FidoNet Nodelist for Friday, December 27, 1996 -- Day number 362 : 21696";
  const char* jan3 = ";A FidoNet Nodelist for Friday, January 3, 1997 -- Day number 003 : 02616";
  EXPECT_TRUE(IsLaterList({jan3, 3}, {dec27, 362}));
  EXPECT_FALSE(IsLaterList({dec27, 362}, {jan3, 3}));
  EXPECT_EQ(DateInFirstLine(jan3), 1997003);
  EXPECT_EQ(DateInFirstLine(";A Nodelist for Tuesday, March 1, 2016"), 2016061);  // a leap year
  EXPECT_TRUE(IsLaterList({"", 3}, {"", 362}));
  EXPECT_TRUE(IsLaterList({"", 100}, {"", 30}));
  EXPECT_FALSE(IsLaterList({"", 300}, {"", 30}));
  EXPECT_FALSE(IsLaterList({"", 30}, {"", 30}));
}

TEST(ArchiveMemberTest, ReadsOnlyTheMemberOfTheExpectedName) {
  SKIP_WITHOUT_ARCHIVES();
  std::string zip = MakeZip({{"readme.txt", "hello"}, {"nodediff.003", "the diff"}});
  ArchiveMember member = ReadArchiveMember(zip, "NODEDIFF", "03");
  ASSERT_EQ(member.status, MemberStatus::kRead) << member.detail;
  EXPECT_EQ(member.bytes, "the diff");
  EXPECT_EQ(member.day, "003");
  EXPECT_EQ(ReadArchiveMember(zip, "NODEDIFF", "10").status, MemberStatus::kNoMember);
  EXPECT_EQ(ReadArchiveMember(MakeZip({{"in/NODEDIFF.003", "x"}}), "NODEDIFF", "03").status, MemberStatus::kNoMember);
  EXPECT_EQ(ReadArchiveMember(MakeZip({{"../NODEDIFF.003", "x"}}), "NODEDIFF", "03").status, MemberStatus::kNoMember);

  std::string arc = "\x1A\x08NODEDIFF.003";
  arc += std::string(40, '\0');
  EXPECT_EQ(ReadArchiveMember(arc, "NODEDIFF", "03").status, MemberStatus::kUnsupported);
  EXPECT_EQ(ArchiveFormatOf(arc), "ARC");
  EXPECT_EQ(ArchiveFormatOf(zip), "ZIP");
  std::string cut = zip.substr(0, zip.size() / 2);
  EXPECT_NE(ReadArchiveMember(cut, "NODEDIFF", "03").status, MemberStatus::kRead);
}

}  // namespace
}  // namespace tessel::test
