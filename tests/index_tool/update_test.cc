// tessel-index update, run as the real program: the real nodediff plain and
// archived, chains, full lists, refusals that leave every file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "nodediff/nodediff_util.h"
#include "test_util.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

ProcessRun Update(const std::string& dir, std::vector<std::string> args = {"--inbound", "in"}) {
  args.insert(args.begin(), "update");
  return RunTool(TESSEL_INDEX_BINARY, dir, args);
}

int64_t Mtime(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

// Every file under "dir": its contents and last-write time.
std::map<std::string, std::pair<std::string, int64_t>> Snapshot(const fs::path& dir) {
  std::map<std::string, std::pair<std::string, int64_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path().string()] = {ReadFile(entry.path().string()), Mtime(entry.path().string())};
  }
  return files;
}

// A catalogue of nl/NODELIST, with nl/ and in/ made.
class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/NODELIST", ""}}));
  }
  // A file in nl/ or in/, written a day ago so that new lists stand out.
  void Put(const std::string& name, const std::string& bytes) {
    WriteFile(dir_ / name, bytes);
    SetMtime(dir_ / name, std::time(nullptr) - 86400);
  }
  bool RealData() { return !SharedDataDir().empty(); }
  std::string Shared(const std::string& name) { return ReadFile(SharedDataDir() + "/" + name); }
  // The published list of day 003: its lost CRs restored.
  std::string Day003() {
    std::string list;
    for (char c : Shared("nodelist.003")) {
      if (c == '\n') list += '\r';
      list += c;
    }
    return list;
  }

  ScopedTempDir dir_;
};

TEST_F(UpdateTest, TheRealDiffPlainAndZippedGivesThePublishedList) {
  SKIP_WITHOUT_ARCHIVES();
  if (!RealData()) GTEST_SKIP() << "no ../shared/data";
  for (bool zipped : {false, true}) {
    SCOPED_TRACE(zipped ? "NODEDIFF.Z03" : "NODEDIFF.003");
    fs::remove_all(dir_.path() / "nl");
    fs::remove_all(dir_.path() / "in");
    fs::create_directories(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    Put("nl/NODELIST.362", Shared("nodelist.362"));
    if (zipped) {
      Put("in/nodediff.z03", MakeZip({{"NODEDIFF.003", Shared("nodediff.003")}}));
    } else {
      Put("in/NODEDIFF.003", Shared("nodediff.003"));
    }
    ProcessRun run = Update(dir_.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slashed(run.out), std::string("nl/NODELIST.003 from in/") + (zipped ? "nodediff.z03" : "NODEDIFF.003") +
                           ", CRC 02616\nnl/NODELIST.003: 33,583 nodes (+49, -165, 303 changed)\n");
    EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.003"), Day003());
    EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.003.new"));
  }
  // tessel rebuilds from the new list.
  RunResult build = RunTessel(dir_.path());
  EXPECT_EQ(build.status, 0);
  EXPECT_NE(build.out.find("31701 nodes processed"), std::string::npos) << build.out;

  // Nothing new: the diff is noted, nothing changes.
  auto before = Snapshot(dir_.path());
  ProcessRun again = Update(dir_.path());
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(Slashed(again.out), "in/nodediff.z03: skipped, made for nl/NODELIST.362, which is not the newest list (already applied?)\n");
  EXPECT_EQ(Snapshot(dir_.path()), before);
}

TEST_F(UpdateTest, AppliesAChainOfDiffsAndStampsEachListLater) {
  SKIP_WITHOUT_ARCHIVES();
  std::string day1 = MakeList("day 001", {"Zone,1,One"});
  std::string day2 = MakeList("day 002", {"Zone,1,One", "Host,2,Two"});
  std::string day3 = MakeList("day 003", {"Zone,1,One", "Host,3,Three"});
  Put("nl/nodelist.001", day1);
  Put("nl/NODELIST.000", MakeList("day 000", {}));  // older, to go with --keep
  Put("in/NODEDIFF.003", MakeDiff(day2, day3));
  Put("in/NODEDIFF.Z02", MakeZip({{"nodediff.002", MakeDiff(day1, day2)}}));
  Put("in/NODEDIFF.004", MakeDiff(MakeList("another network", {"Zone,9"}), day3));
  // Two seconds is one step of tessel's time stamps: give the old list a
  // time at the limit, so that a new one stamped "now" would tie with it.
  int64_t old_time = std::time(nullptr) + 1;
  SetMtime(dir_ / "nl/nodelist.001", old_time);
  ProcessRun run = Update(dir_.path(), {"--inbound", "in", "--keep", "2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slashed(run.out),
            "nl/NODELIST.002 from in/NODEDIFF.Z02, CRC " + day2.substr(day2.find(": ") + 2, 5) + "\n"
            "nl/NODELIST.002: 2 nodes (+1, -0, 0 changed)\n"
            "nl/NODELIST.003 from in/NODEDIFF.003, CRC " + day3.substr(day3.find(": ") + 2, 5) + "\n"
            "nl/NODELIST.003: 2 nodes (+1, -1, 0 changed)\n"
            "in/NODEDIFF.004: skipped, applies to no list here\n"
            "removed nl/nodelist.001\n"
            "removed nl/NODELIST.000\n");
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.002"), day2);
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.003"), day3);
  EXPECT_GE(Mtime(dir_ / "nl/NODELIST.003"), Mtime(dir_ / "nl/NODELIST.002") + 2);
  EXPECT_GE(Mtime(dir_ / "nl/NODELIST.002"), old_time + 2);
}

TEST_F(UpdateTest, FullListsGoInTheOrderOfTheirDays) {
  SKIP_WITHOUT_ARCHIVES();
  if (!RealData()) GTEST_SKIP() << "no ../shared/data";
  // The list of day 003 arrives archived, then the older one of day 362.
  Put("nl/NODELIST.355", MakeList("Friday, December 20, 1996 -- Day number 355", {}, "FidoNet"));
  Put("in/NODELIST.Z03", MakeZip({{"NODELIST.003", Day003()}}));
  ProcessRun run = Update(dir_.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slashed(run.out), "nl/NODELIST.003 from in/NODELIST.Z03, CRC 02616\n"
                     "nl/NODELIST.003: 33,583 nodes (+33,583, -0, 0 changed)\n");
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.003"), Day003());
  Put("in/NODELIST.362", Shared("nodelist.362"));
  SetMtime(dir_ / "in/NODELIST.362", std::time(nullptr) + 100);
  run = Update(dir_.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slashed(run.out), "in/NODELIST.Z03: skipped, nl/NODELIST.003 is already there\n"
                     "nl/NODELIST.362 from in/NODELIST.362, CRC 21696\n"
                     "nl/NODELIST.362: 33,699 nodes\n");  // older than the list in use: no changes against it
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.362"), Shared("nodelist.362"));
  EXPECT_LT(Mtime(dir_ / "nl/NODELIST.362"), Mtime(dir_ / "nl/NODELIST.003") - 1);
  RunResult build = RunTessel(dir_.path());
  EXPECT_NE(build.out.find("31701 nodes processed"), std::string::npos) << build.out;
}

TEST_F(UpdateTest, ABadFileIsRefusedAndAGoodOneBesideItStillWritten) {
  SKIP_WITHOUT_ARCHIVES();
  if (!RealData()) GTEST_SKIP() << "no ../shared/data";
  std::string diff = Shared("nodediff.003");
  std::string damaged = diff;
  damaged[damaged.find("Fido Software")] = 'f';  // in an added line
  std::string bad_command = diff;
  bad_command.replace(bad_command.find("\r\nA20\r\n") + 2, 3, "B20");
  struct Case {
    const char* name;
    std::string file, bytes, reason;
  } cases[] = {
      {"CRC", "in/NODEDIFF.003", damaged, "CRC of the list it makes does not check: the first line says 02616"},
      {"truncated", "in/NODEDIFF.003", diff.substr(0, diff.size() / 2), ""},
      {"bad command", "in/NODEDIFF.003", bad_command, "line 3: \"B20\" is not a command"},
      {"member in a folder", "in/NODEDIFF.Z03", MakeZip({{"in/NODEDIFF.003", diff}}), "holds no member named NODEDIFF.?03"},
      {"ARC archive", "in/NODEDIFF.A03", "\x1A\x08NODEDIFF.003" + std::string(30, '\0'), "an archive of format ARC, which the archive library cannot read"},
      {"random bytes", "in/NODEDIFF.Z03", std::string(300, '\x5A'), "it is not a ZIP archive ("},
      {"damaged full list", "in/NODELIST.003", damaged, "CRC does not check"},
      {"archive over its budget", "in/NODEDIFF.Z03", MakeZeroBomb(size_t{200} << 20, {"NODEDIFF.003", diff}),
       "unpacks to more than 128 MiB in all; given up"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir_.path() / "nl");
    fs::remove_all(dir_.path() / "in");
    fs::create_directories(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    Put("nl/NODELIST.362", Shared("nodelist.362"));
    Put("in/NODEDIFF.Z02", MakeZip({{"NODEDIFF.002", diff}}));  // good: written whatever the other file is
    Put(c.file, c.bytes);
    ProcessRun run = Update(dir_.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(Slashed(run.err).find(c.file + ": refused: " + c.reason), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.002"), Day003()) << run.out;
    EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.003"));  // nothing from the refused file
    EXPECT_EQ(Snapshot(dir_.path() / "nl").size(), 2u);
  }
}

TEST_F(UpdateTest, ArchivesOfNothingButHeadersAreRefusedQuickly) {
  SKIP_WITHOUT_ARCHIVES();
  // A few hundred kilobytes that unpack to 140 MiB of tar headers, which
  // count against an archive's budget as its members' data does.
  std::string headers = MakeHeaderOnlyTar(280000);
  Put("nl/NODELIST.002", MakeList("day 002", {"Zone,1,One"}));
  for (const char* day : {"03", "04", "05", "06"}) Put(std::string("in/NODEDIFF.Z") + day, headers);
  auto start = std::chrono::steady_clock::now();
  ProcessRun run = Update(dir_.path());
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 1);
  for (const char* day : {"03", "04", "05", "06"}) {
    EXPECT_NE(Slashed(run.err).find(std::string("in/NODEDIFF.Z") + day + ": refused: unpacks to more than 128 MiB in all"),
              std::string::npos) << run.err;
  }
  EXPECT_LT(seconds, 40);  // under the sanitizers too; one such archive of 4 GiB took 20 s before
}

TEST_F(UpdateTest, CommandLineAndUnreadableFiles) {
  EXPECT_EQ(Update(dir_.path(), {"--keep", "0"}).status, 2);
  EXPECT_EQ(Update(dir_.path(), {"--diff", "FIDONET=sub/FIDODIFF"}).status, 2);
  EXPECT_EQ(Update(dir_.path(), {"operand"}).status, 2);
  ProcessRun missing = Update(dir_.path(), {"--inbound", "nowhere"});
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
  ProcessRun no_index = Update(dir_.path(), {"--data", "nl"});
  EXPECT_EQ(no_index.status, 3);
  EXPECT_NE(no_index.err.find(Shown("nl/nlindex.qdx")), std::string::npos);
  // An index cut inside its catalogue is damaged; one cut just before its
  // marker byte still holds the whole catalogue, which is all update reads.
  const std::string head = IndexHead({{"nl/NODELIST", ""}});
  for (size_t cut : {2, 1}) {
    WriteFile(dir_ / "nl/nlindex.qdx", head.substr(0, head.size() - cut));
    ProcessRun run = Update(dir_.path(), {"--data", "nl"});
    EXPECT_EQ(run.err.find("damaged: no header and catalogue") != std::string::npos, cut == 2) << run.err;
  }
  fs::remove(dir_.path() / "nl/nlindex.qdx");

  // --diff names the diffs of a list without LIST in its name.
  WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/FIDONET", ""}}));
  std::string day1 = MakeList("day 001", {"Zone,1,One"}), day2 = MakeList("day 002", {"Zone,2,Two"});
  Put("nl/FIDONET.001", day1);
  Put("in/FIDODIFF.002", MakeDiff(day1, day2));
  ProcessRun plain = Update(dir_.path());
  EXPECT_EQ(plain.status, 0);
  EXPECT_FALSE(Exists(dir_ / "nl/FIDONET.002"));
  EXPECT_EQ(Update(dir_.path(), {"--inbound", "in", "--diff", "fidonet=FIDODIFF"}).status, 0);
  EXPECT_EQ(ReadFile(dir_ / "nl/FIDONET.002"), day2);
}

TEST_F(UpdateTest, ADiffThatMatchesNoListSaysWhichListAndWhatWouldBridgeIt) {
  const std::vector<std::string> nodes = {"Zone,1,One", "Host,1,Net"};
  const std::string jan1 = MakeList("January 1, 2027", nodes);
  struct Case {
    std::string diff_from, diff_to, note;
  } cases[] = {
      // A week later than the newest list: the missing week is named.
      {"January 15, 2027", "January 22, 2027",
       "made for the list of day 015, which is not here; the newest list is nl/NODELIST.001, so a week is missing: "
       "NODEDIFF.015 or a full NODELIST.015 would bridge it"},
      // Older than the newest list.
      {"December 25, 2026", "January 1, 2027",
       "made for the list of day 359, which is not here (older than nl/NODELIST.001, or of another network)"},
      // Made for a list that is here but not the newest.
      {"January 1, 2027", "January 22, 2027", "made for nl/NODELIST.001, which is not the newest list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.diff_from);
    fs::remove_all(dir_.path() / "nl");
    fs::remove_all(dir_.path() / "in");
    fs::create_directories(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    Put("nl/NODELIST.001", jan1);
    if (c.diff_from == "January 1, 2027") {  // a newer list beside it
      WriteFile(dir_ / "nl/NODELIST.008", MakeList("January 8, 2027", nodes));
      SetMtime(dir_ / "nl/NODELIST.008", std::time(nullptr) - 3600);
    }
    Put("in/NODEDIFF.022", MakeDiff(MakeList(c.diff_from, nodes), MakeList(c.diff_to, nodes)));
    ProcessRun run = Update(dir_.path());
    EXPECT_NE(run.out.find(Shown("in/NODEDIFF.022") + ": skipped, " + c.note), std::string::npos) << run.out;
  }
}

// A diff made from another edition of the newest list's day can never
// apply: a refusal, status 1, not a note that it was applied already.
TEST_F(UpdateTest, ADiffForAnotherEditionOfTheNewestListIsRefused) {
  std::string ours = MakeList("January 1, 2027", {"Zone,1,One", "Host,1,Net"});
  std::string theirs = MakeList("January 1, 2027", {"Zone,1,One", "Host,2,Other"});
  Put("nl/NODELIST.001", ours);
  Put("in/NODEDIFF.008", MakeDiff(theirs, MakeList("January 8, 2027", {"Zone,1,One"})));
  ProcessRun run = Update(dir_.path());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find(Shown("in/NODEDIFF.008") + ": refused: made for another edition of nl/NODELIST.001, the newest list "
                         "(the diff's first line says CRC " +
                         theirs.substr(theirs.find(": ") + 2, 5) + ", the list's " + ours.substr(ours.find(": ") + 2, 5)),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find("already applied"), std::string::npos) << run.out;
  EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.008"));
}

}  // namespace
}  // namespace tessel::test
