// The line splitter's outcomes and the line reader's cuts, line ends and
// byte positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nodelist/line_reader.h"
#include "nodelist/line_splitter.h"
#include "testing/fake_platform.h"

namespace tessel {
namespace {

struct SplitCase {
  std::string line;
  bool rejected;
  std::string keyword, number, sysop;
  int tail;  // -1: not looked at
};

TEST(SplitLineTest, OutcomesAndFields) {
  const std::string a200(200, 'a');
  const std::string blanks130(130, ' ');
  const std::string z140(140, 'z');
  const SplitCase cases[] = {
      {"Zone,2,Europe,Somewhere,Jo_Sysop,-Unpublished-,300,CM", false, "ZONE", "2", "JO SYSOP", 46},
      {"", true, "", "", "", -1},
      {",101,Sys,Place,ann_o_nym,-Unpublished-,300,", false, "", "101", "ANN O NYM", 38},
      {"a", true, "", "", "", -1},
      {"Hub,100,Sys,Place,Jo_Sysop,", false, "HUB", "100", "JO SYSOP", 19},
      {",,", true, "", "", "", -1},
      // Ends inside the sysop name: the fields completed before it stay.
      {"Hub,100,Sys,Place,Jo_Sysop", true, "HUB", "100", "", -1},
      {"Hub,100", true, "HUB", "", "", -1},
      {"Hub,100,", false, "HUB", "100", "", 0},
      {"Hub,100,Sys", false, "HUB", "100", "", 3},
      {"Hub,100,Sys,Place", false, "HUB", "100", "", 9},
      {"Hub,100,Sys,Place,", false, "HUB", "100", "", 10},
      {"Zone", true, "", "", "", -1},
      {"Hub,", false, "HUB", "", "", 0},  // no comma after the number
      {",,,", false, "", "", "", 1},
      {";Zone,2,Eu,Pl,Jo,x,", true, "", "", "", -1},
      {" ;x,1,s,l,n,", false, " ;X", "1", "N", 6},
      {"Pvt,12,a_b,c_d,e_f,x", false, "PVT", "12", "E F", 13},
      {"a_b,1_f,s,l,n_m,", false, "A_B", "1_F", "N M", 8},
      // Only a..z fold: `, {, |, }, ~, DEL and bytes from 128 stay.
      {"h`{\x7f\xe4z,1a,s,l,@[`{|}~\x7f\x80\xe9\xff_az,", false, "H`{\x7f\xe4Z", "1A", "@[`{|}~\x7f\x80\xe9\xff AZ", 19},
      // Fields beyond 127 characters keep their first 127, but every
      // character is still counted.
      {"Hub,1,s,l," + a200 + ",x", false, "HUB", "1", std::string(127, 'A'), 206},
      {"Hub," + blanks130 + "5,s,l,n,", false, "HUB", std::string(127, ' '), "N", 6},
      {z140 + ",1,s,l,n,", false, std::string(127, 'Z'), "1", "N", 6},
      {"Hub,1,s,l," + a200, true, "HUB", "1", "", -1},
  };
  // One LineFields for all rows in turn, so whatever an earlier line left
  // behind would show in a later row.
  LineFields fields;
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 60));
    SplitLine(c.line, &fields);
    EXPECT_EQ(fields.rejected, c.rejected);
    EXPECT_EQ(fields.keyword.view(), c.keyword);
    EXPECT_EQ(fields.number.view(), c.number);
    EXPECT_EQ(fields.sysop.view(), c.sysop);
    if (c.tail >= 0) {
      EXPECT_EQ(fields.tail_length, c.tail);
    }
  }
}

// ---------------------------------------------------------------------------
// The line reader.

struct ReadLine {
  std::string text;
  int64_t start;
  bool operator==(const ReadLine&) const = default;
};

void PrintTo(const ReadLine& line, std::ostream* os) { *os << line.start << ":" << testing::PrintToString(line.text); }

// Reads "content" to its end as the nodelist reader does: one line, then the
// end test, through a buffer of "capacity" bytes.
std::vector<ReadLine> ReadAllLines(const std::string& content, uint32_t capacity) {
  FakeDisk disk;
  disk.files["list"] = FakeFile{content};
  Platform platform = MakeFakePlatform(&disk);
  FileId file = kNoFile;
  EXPECT_EQ(platform.open_read(platform.ctx, "list", &file), 0);
  std::vector<uint8_t> buffer(capacity);
  LineReader reader;
  StartLineReader(&reader, platform, file, buffer.data(), capacity);
  std::vector<ReadLine> lines;
  for (bool ended = false; !ended;) {
    char line[kMaxLineLength];
    int length = -1;
    int64_t start = -1;
    EXPECT_TRUE(ReadTextLine(&reader, line, &length, &start));
    lines.push_back({std::string(line, static_cast<size_t>(length)), start});
    EXPECT_TRUE(TextEnded(&reader, &ended));
    if (lines.size() > 10) break;
  }
  return lines;
}

struct LineCase {
  std::string name;
  std::string content;
  std::vector<ReadLine> lines;
};

TEST(LineReaderTest, CutsLineEndsAndPositions) {
  const std::string x255(255, 'x'), y253(253, 'y'), y254(254, 'y');
  const LineCase cases[] = {
      {"CR LF", "a\r\nbc\r\n", {{"a", 0}, {"bc", 3}}},
      {"LF only", "a\nbc\n", {{"a", 0}, {"bc", 2}}},
      {"empty file: one read is made", "", {{"", 0}}},
      {"empty lines", "\r\n\nx", {{"", 0}, {"", 2}, {"x", 3}}},
      {"CR inside a line stays", "a\rb\r\n", {{"a\rb", 0}}},
      {"last line without LF keeps its CR", "a\r\nb\r", {{"a", 0}, {"b\r", 3}}},
      {"253 characters and CR LF", y253 + "\r\nz", {{y253, 0}, {"z", 255}}},
      {"254 characters and CR LF end in the CR", y254 + "\r\nz\n", {{y254 + "\r", 0}, {"z", 256}}},
      {"255 characters and LF", x255 + "\nz", {{x255, 0}, {"z", 256}}},
      {"255 characters and CR LF", x255 + "\r\nz", {{x255, 0}, {"z", 257}}},
      {"over-long line skipped through its LF", std::string(300, 'x') + "\r\nnext\r\n", {{x255, 0}, {"next", 302}}},
      {"over-long last line", std::string(300, 'x'), {{x255, 0}}},
      {"Ctrl-Z ends the file only at the start of a later line",
       "\x1a;first\r\nmid\x1a" "dle\r\n\x1alast\r\nafter\r\n", {{"\x1a;first", 0}, {"mid\x1a" "dle", 9}}},
      {"Ctrl-Z after an over-long line", std::string(256, 'x') + "\n\x1azz\n", {{x255, 0}}},
      {"Ctrl-Z alone is still a first line", "\x1a", {{"\x1a", 0}}},
      {"Ctrl-Z in the last byte", "a\n\x1a", {{"a", 0}}},
  };
  for (const LineCase& c : cases) {
    for (uint32_t capacity : {1u, 2u, 7u, 256u, 65'520u}) {
      EXPECT_EQ(ReadAllLines(c.content, capacity), c.lines) << c.name << ", buffer of " << capacity;
    }
  }
}

TEST(LineReaderTest, ReadErrorIsKept) {
  FakeDisk disk;
  disk.files["list"] = FakeFile{"a\r\nb\r\n"};
  Platform inner = MakeFakePlatform(&disk);
  FaultPlan plan;
  plan.inner = &inner;
  plan.fail_at = 2;  // the first read, after the open
  Platform platform = MakeFaultyPlatform(&plan);
  FileId file = kNoFile;
  ASSERT_EQ(platform.open_read(platform.ctx, "list", &file), 0);
  uint8_t buffer[16];
  LineReader reader;
  StartLineReader(&reader, platform, file, buffer, sizeof buffer);
  char line[kMaxLineLength];
  int length = 0;
  int64_t start = 0;
  EXPECT_FALSE(ReadTextLine(&reader, line, &length, &start));
  EXPECT_EQ(reader.error, kErrDeviceFault);
}

}  // namespace
}  // namespace tessel
