// update and the archive reader's answers on the fake disk: a reader that
// fails or lies changes nothing and is named as failed, and a run's time
// for reading archives leaves the files it does not reach for the next run.
#include <gtest/gtest.h>

#include "index_tool/commands.h"
#include "index_tool/update_sources.h"
#include "nodediff/nodediff_util.h"
#include "testing/fake_platform.h"
#include "test_util.h"
#include "testing/index_builders.h"

namespace tessel::test {
namespace {

const std::string kDay2 = MakeList("day 002", {"Zone,1,One"});
const std::string kDay3 = MakeList("day 003", {"Zone,1,One", "Host,3,Three"});

struct Outcome {
  int status = 0;
  std::string out, err;
};

FakeDisk DiskWithArchives(std::vector<std::string> archives) {
  FakeDisk disk;
  disk.files["nlindex.qdx"].data = IndexHead({{"nl/NODELIST", "002"}});
  disk.files["nl/NODELIST.002"] = FakeFile{kDay2, 1'800'000'000};
  for (const std::string& name : archives) disk.files["in/" + name] = FakeFile{"PK\x03\x04 archive", 1'800'000'000};
  disk.helper_present = true;
  disk.now = 1'800'000'100;
  return disk;
}

Outcome Update(FakeDisk* disk) {
  Platform fake = MakeFakePlatform(disk);
  ToolOptions options;
  options.platform = &fake;
  options.inbound = {"in"};
  CapturedReport report;
  options.report = report.sink();
  Outcome outcome;
  outcome.status = RunUpdate(options);
  outcome.out = report.results;
  outcome.err = report.problems;
  return outcome;
}

TEST(ArchiveReaderAnswers, OnlyTheMemberAskedForIsTakenAndEveryFailureIsNamed) {
  const std::string diff = MakeDiff(kDay2, kDay3);
  const std::string failed =
      Shown("in/NODEDIFF.Z03") + ": refused: cannot be unpacked: the archive reader tessel-unpack failed (";
  struct Case {
    const char* name;
    std::string answer;
    int exit_status, signal;
    bool present;
    std::string message;  // "" for the honest answer, which is written
  } cases[] = {
      {"honest", "0\tNODEDIFF.003\t003\t\n" + diff, 0, 0, true, ""},
      {"another day", "0\tNODEDIFF.777\t777\t\n" + diff, 0, 0, true,
       failed + "an answer that does not fit the archive: a member named \"NODEDIFF.777\", not NODEDIFF.?03)"},
      {"a day not its name's", "0\tNODEDIFF.003\t777\t\n" + diff, 0, 0, true, failed + "an answer that does not fit"},
      {"folders in the name", "0\tx/../../../outside/evil\t003\t\n" + diff, 0, 0, true,
       failed + "an answer that does not fit the archive: a member named \"x/../../../outside/evil\""},
      {"garbage", "hello", 0, 0, true, failed + "an answer that is not a record)"},
      {"no answer", "", 0, 0, true, failed + "no answer)"},
      {"exit status 1", "", 1, 0, true, failed + "exit status 1)"},
      {"a signal", "", 0, 31, true, failed + "killed by signal 31)"},
      {"no reader", "", 0, 0, false, "no archive reader (tessel-unpack, built with the archive library; looked for "
                                     "as /fake/bin/tessel-unpack)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDisk disk = DiskWithArchives({"NODEDIFF.Z03"});
    disk.helper_output = c.answer;
    disk.helper_exit_status = c.exit_status;
    disk.helper_signal = c.signal;
    disk.helper_present = c.present;
    auto before = disk.files;
    Outcome run = Update(&disk);
    if (c.message.empty()) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(disk.files["nl/NODELIST.003"].data, kDay3);
      continue;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("limits"), std::string::npos) << run.err;
    EXPECT_EQ(disk.files.size(), before.size());
    for (const auto& [path, file] : before) EXPECT_EQ(disk.files[path].data, file.data) << path;
  }
}

TEST(ArchiveReaderAnswers, ARunsTimeForArchivesLeavesTheRestForTheNextRun) {
  // Every archive takes longer than the reader may run: three use up the
  // run's time and are refused; the fourth is not started, not refused.
  FakeDisk disk = DiskWithArchives({"NODEDIFF.Z03", "NODEDIFF.Z04", "NODEDIFF.Z05", "NODEDIFF.Z06"});
  disk.helper_elapsed_ms = 25000;
  Outcome run = Update(&disk);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(disk.helper_runs.size(), 3u);
  for (const char* refused : {"Z03", "Z04", "Z05"}) {
    EXPECT_NE(run.err.find(Shown("in/NODEDIFF.") + refused + ": refused: unpacking took longer than 20 seconds"),
              std::string::npos) << run.err;
  }
  EXPECT_EQ(run.err.find("Z06"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, Shown("in/NODEDIFF.Z06") + ": left for the next run: this run has spent its 60 s for reading archives\n");

  // An archive stopped only because the run's time ran out is left too.
  Platform fake = MakeFakePlatform(&disk);
  Source source{"in/NODEDIFF.Z03", "NODEDIFF.Z03", true, "03", 0};
  ArchiveTime time{5000};
  std::string bytes, day, reason;
  EXPECT_EQ(ReadSource(fake, source, "NODEDIFF", &time, &bytes, &day, &reason), ReadOutcome::kPostponed);
  EXPECT_EQ(time.left_ms, 0u);
}

}  // namespace
}  // namespace tessel::test
