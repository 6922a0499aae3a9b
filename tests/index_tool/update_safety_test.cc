// update under the conditions of a real weekly cycle: runs that overlap,
// links planted at temporary names, --keep beside an index built from an
// older list, the hour after the clocks go back, and every write step
// failing on the fake disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "index_tool/commands.h"
#include "index_tool/update_moves.h"
#include "index_tool/update_write.h"
#include "nodediff/diff_apply.h"
#include "nodediff/nodediff_util.h"
#include "nodelist/catalogue.h"
#include "test_util.h"
#include "testing/fake_platform.h"
#include "testing/index_builders.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
ProcessRun Tool(const fs::path& dir, std::vector<std::string> args) {
  return RunTool(TESSEL_INDEX_BINARY, dir.string(), args);
}

// The names in "dir" that are not numbered lists or diffs: temporaries.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.ends_with(".new")) names.push_back(name);
  }
  return names;
}

#endif  // _WIN32

const std::string kDay1 = MakeList("day 001", {"Zone,1,One", "Host,1,Net"});
const std::string kDay2 = MakeList("day 002", {"Zone,1,One", "Host,2,Net"});

class UpdateSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/NODELIST", "001"}}));
    WriteFile(dir_ / "nl/NODELIST.001", kDay1);
    SetMtime(dir_ / "nl/NODELIST.001", std::time(nullptr) - 86400);
    WriteFile(dir_ / "in/NODEDIFF.002", MakeDiff(kDay1, kDay2));
  }
  ScopedTempDir dir_;
};

#ifndef _WIN32  // links, time zones and processes as POSIX has them
TEST_F(UpdateSafety, OverlappingRunsTakeTurnsAndLeaveOneWholeList) {
  std::vector<ProcessRun> runs(4);
  std::vector<std::thread> threads;
  for (ProcessRun& run : runs) {
    threads.emplace_back([&] { run = Tool(dir_.path(), {"update", "--inbound", "in", "--keep", "1"}); });
  }
  for (std::thread& thread : threads) thread.join();
  int wrote = 0;
  for (const ProcessRun& run : runs) {
    EXPECT_EQ(run.status, 0) << run.err;
    wrote += run.out.find("nl/NODELIST.002 from in/NODEDIFF.002") != std::string::npos;
  }
  EXPECT_EQ(wrote, 1);
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.002"), kDay2);
  EXPECT_TRUE(Exists(dir_ / "nl/NODELIST.001"));  // the index was built from it
  EXPECT_TRUE(Leftovers(dir_.path() / "nl").empty());
}

TEST_F(UpdateSafety, KeepSparesTheListTheIndexWasBuiltFrom) {
  WriteFile(dir_ / "nl/NODELIST.000", MakeList("day 000", {}));
  SetMtime(dir_ / "nl/NODELIST.000", std::time(nullptr) - 2 * 86400);
  ProcessRun run = Tool(dir_.path(), {"update", "--inbound", "in", "--keep", "1"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("removed nl/NODELIST.000"), std::string::npos) << run.out;
  EXPECT_TRUE(Exists(dir_ / "nl/NODELIST.001"));
  EXPECT_TRUE(Exists(dir_ / "nl/NODELIST.002"));
}

TEST_F(UpdateSafety, LinksAtTemporaryNamesAreNeverFollowed) {
  WriteFile(dir_ / "victim", "keep me");
  fs::create_directories(dir_.path() / "home");
  fs::create_symlink("../victim", dir_.path() / "nl/NODELIST.002.new");
  fs::create_symlink("victim", dir_.path() / "nlindex.bar");
  fs::create_symlink("../victim", dir_.path() / "home/config.bar");
  ProcessRun update = Tool(dir_.path(), {"update", "--inbound", "in"});
  EXPECT_EQ(update.status, 0) << update.err;
  ProcessRun init = Tool(dir_.path(), {"init", "--force", "--home", "home", "nl/NODELIST"});
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(ReadFile(dir_ / "victim"), "keep me");
  for (const char* made : {"nl/NODELIST.002", "nlindex.qdx", "home/config.qdx"}) {
    SCOPED_TRACE(made);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir_.path() / made)));
  }
  EXPECT_EQ(ReadFile(dir_ / "nl/NODELIST.002"), kDay2);
  EXPECT_TRUE(Leftovers(dir_.path() / "nl").empty());
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.path() / "nlindex.bar")));
}

// Whatever already holds the new list's name stays, and is named as what
// it is.
TEST_F(UpdateSafety, AnEntryAtTheListsNameIsNamedAsWhatItIs) {
  const fs::path target = dir_.path() / "nl/NODELIST.002";
  struct Case {
    const char* is;
    std::function<void()> make;
  } cases[] = {
      {"is a directory", [&] { fs::create_directory(target); }},
      {"is a FIFO", [&] { ASSERT_EQ(mkfifo(target.c_str(), 0600), 0); }},
      {"is a link to nothing", [&] { fs::create_symlink("nowhere", target); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.is);
    fs::remove_all(target);
    c.make();
    fs::file_type type = fs::symlink_status(target).type();
    ProcessRun run = Tool(dir_.path(), {"update", "--inbound", "in"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("nl/NODELIST.002: " + std::string(c.is) + "; not replaced"), std::string::npos) << run.err;
    EXPECT_EQ(fs::symlink_status(target).type(), type);
    EXPECT_TRUE(Leftovers(dir_.path() / "nl").empty());
  }
}

// A list in use dated at the end of 2107, or after it, would drag every
// later stamp along (or cannot be passed at all): update says so and writes
// nothing; so does a clock before 1980.
TEST_F(UpdateSafety, AListDatedFarAheadOrAClockFarBackIsNamedAsTheReason) {
  SetMtime(dir_ / "nl/NODELIST.001", 4354776000);  // 2107-12-31 12:00 UTC
  ProcessRun run = Tool(dir_.path(), {"update", "--inbound", "in"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("nl/NODELIST.002: not written: nl/NODELIST.001, the list tessel takes now, is dated 2107-12-"),
            std::string::npos) << run.err;
  EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.002"));

  FakeDisk disk;
  Platform fake = MakeFakePlatform(&disk);
  disk.files["nl/NODELIST.001"] = FakeFile{kDay1, 5680324800};  // 2150-01-01 12:00
  disk.now = 1'800'000'000;
  EXPECT_NE(StampObstacle(fake, "nl/NODELIST.*").find("is dated 2150-01-01 12:00, after the clock's 2027-01-15"),
            std::string::npos);
  disk.files["nl/NODELIST.001"].mtime = disk.now + 3600;
  EXPECT_EQ(StampObstacle(fake, "nl/NODELIST.*"), "");
  disk.now = 170856000;  // 1975-06-01 12:00
  EXPECT_NE(StampObstacle(fake, "nl/NODELIST.*").find("the clock says 1975-06-01 12:00, before 1980"), std::string::npos);
}

TEST_F(UpdateSafety, UnlistableDirectoriesAndUnresolvedListsAreErrors) {
  fs::remove_all(dir_.path() / "nl");
  ProcessRun run = Tool(dir_.path(), {"update", "--inbound", "in"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("nl/: cannot be listed"), std::string::npos) << run.err;
  fs::create_directories(dir_.path() / "nl");
  run = Tool(dir_.path(), {"update", "--inbound", "in"});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("no numbered list"), std::string::npos) << run.err;
}

// The clocks go back at 01:00 UTC on 25 October 2026 (03:00 CEST becomes
// 02:00 CET): local times of the next hour repeat those of the last.
TEST(UpdateStamps, TesselTakesTheNewListAlsoInTheHourAfterTheClocksGoBack) {
  const char* old_tz = std::getenv("TZ");
  std::string saved = old_tz != nullptr ? old_tz : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  const Platform& p = PosixPlatform();
  constexpr int64_t kBack = 1792890000;  // 2026-10-25 01:00:00 UTC
  struct Case {
    const char* name;
    int64_t in_use, now;
  } cases[] = {
      {"list in use before the change, run in the repeated hour", kBack - 600, kBack + 1200},
      {"both in the repeated hour", kBack + 300, kBack + 600},
      {"no change near", kBack - 86400, kBack - 80000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFile(dir / "NODELIST.001", "old");
    WriteFile(dir / "NODELIST.002", "new");
    WriteFile(dir / "NODELIST.000", "older");
    SetMtime(dir / "NODELIST.001", c.in_use);
    int64_t stamp = 0;
    ASSERT_TRUE(StampFor(p, {true, PackedLocal(p, c.in_use), c.now, 0}, &stamp));
    EXPECT_GE(stamp, c.now);
    SetMtime(dir / "NODELIST.002", stamp);
    ASSERT_TRUE(StampFor(p, {false, PackedLocal(p, c.in_use), 0, c.in_use - 2}, &stamp));
    SetMtime(dir / "NODELIST.000", stamp);
    DirEntry newest;
    ASSERT_TRUE(FindNewestFile(p, (dir.path() / "NODELIST.*").string(), &newest));
    EXPECT_EQ(newest.name, "NODELIST.002");
    fs::remove(dir / "NODELIST.002");
    ASSERT_TRUE(FindNewestFile(p, (dir.path() / "NODELIST.*").string(), &newest));
    EXPECT_EQ(newest.name, "NODELIST.001");
  }
  if (old_tz != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
}

#endif  // _WIN32

// Runs "command" (update with --inbound in, unless "options" say more)
// over "disk" through "plan", its problems caught into "*err".
int RunOnFakeDisk(FakeDisk* disk, FaultPlan* plan, int (*command)(const ToolOptions&), ToolOptions options = {},
                  std::string* err = nullptr) {
  Platform fake = MakeFakePlatform(disk);
  plan->inner = &fake;
  Platform faulty = MakeFaultyPlatform(plan);
  options.platform = &faulty;
  if (command == RunUpdate) options.inbound = {"in"};
  CapturedReport report;
  options.report = report.sink();
  int status = command(options);
  if (err != nullptr) *err = report.problems;
  return status;
}

FakeDisk UpdateDisk() {
  FakeDisk disk;
  disk.now = 1'800'000'000;
  disk.files["nlindex.qdx"].data = IndexHead({{"nl/NODELIST", "001"}});
  disk.files["nl/NODELIST.001"] = FakeFile{kDay1, 1'800'000'000};
  disk.files["in/NODEDIFF.002"] = FakeFile{MakeDiff(kDay1, kDay2), 1'800'000'000};
  return disk;
}

// Only the files a list or diff came from ever move: the list in use,
// refused as too large to work from, stays where it is. A move that finds
// NAME and NAME.1 to NAME.999 taken gives up, and the file stays.
TEST(UpdateMoves, OnlySourcesMoveAndAMoveGivesUpAtLast) {
  FakeDisk disk = UpdateDisk();
  disk.files["nl/NODELIST.001"].data = kDay1 + std::string(kMaxListBytes, ';');
  disk.files["bad/earlier"].data = "an older refusal";
  ToolOptions options;
  options.bad_dir = "bad";
  FaultPlan none;
  std::string err;
  EXPECT_EQ(RunOnFakeDisk(&disk, &none, RunUpdate, options, &err), 1);
  EXPECT_NE(err.find(Shown("nl/NODELIST.001") + ": refused: larger than 64 MiB"), std::string::npos) << err;
  EXPECT_EQ(disk.files.count("nl/NODELIST.001"), 1u);
  EXPECT_EQ(disk.files.count("bad/NODELIST.001"), 0u);

  FakeDisk full;
  Platform fake = MakeFakePlatform(&full);
  full.files["in/D"].data = "d";
  full.files["done/D"].data = "";
  for (int n = 1; n < 1000; ++n) full.files["done/D." + std::to_string(n)].data = "";
  std::string to, step;
  EXPECT_EQ(CarryOutMove(fake, {"in/D", "done/", false}, &to, &step), kErrFileExists);
  EXPECT_EQ(step, "find a free name for it in done/");
  EXPECT_EQ(full.files["in/D"].data, "d");
  EXPECT_EQ(full.files.size(), 1001u);
}

// Every file operation of an update, failed in turn on the fake disk: the
// old list stays, the new one is whole or absent, no temporary file is
// left, and a failed write step is status 3.
TEST(UpdateFaults, EachFailingStepLeavesWholeListsAndSaysSo) {
  auto run_on = [](FakeDisk* disk, FaultPlan* plan) { return RunOnFakeDisk(disk, plan, RunUpdate); };
  FakeDisk clean = UpdateDisk();
  FaultPlan count;
  ASSERT_EQ(run_on(&clean, &count), 0);
  ASSERT_EQ(clean.files["nl/NODELIST.002"].data, kDay2);
  for (long at = 1; at <= static_cast<long>(count.ops.size()); ++at) {
    FileOp op = count.ops[static_cast<size_t>(at - 1)];
    SCOPED_TRACE(std::to_string(at) + ": " + FileOpName(op));
    FakeDisk disk = UpdateDisk();
    FaultPlan plan;
    plan.fail_at = at;
    int status = run_on(&disk, &plan);
    EXPECT_EQ(disk.files["nl/NODELIST.001"].data, kDay1);
    auto made = disk.files.find("nl/NODELIST.002");
    if (made != disk.files.end()) {
      EXPECT_EQ(made->second.data, kDay2);
    }
    for (const auto& [path, file] : disk.files) EXPECT_FALSE(path.ends_with(".new")) << path;
    bool write_step = op == FileOp::kCreateNew || op == FileOp::kWrite || op == FileOp::kSync ||
                      op == FileOp::kSetOpenTime || op == FileOp::kRename;
    if (write_step) {
      EXPECT_EQ(status, 3);
    }
    if (status == 0) {
      EXPECT_NE(made, disk.files.end());
    }
  }
}

// Each check that keeps update and init from renaming anything but their
// own new file into place, or from working on a catalogue that changed
// while they waited for its lock, met by the very change it guards
// against, made on the fake disk at the moment the check looks.
TEST(SafetyChecks, EachStopsTheChangeItGuardsAgainst) {
  FakeDisk disk;
  Platform fake = MakeFakePlatform(&disk);
  auto swap = [&](std::string_view temp) {  // the run's handle no longer reaches the name
    fake.remove(fake.ctx, std::string(temp).c_str());
    disk.files[std::string(temp)] = FakeFile{"planted", 0, false, false, 999};
  };
  struct Case {
    const char* name;
    int (*command)(const ToolOptions&);
    FileOp op;          // the change comes before operation "nth" (from 0) of this kind
    const char* after;  // on a path that ends so
    int nth;
    std::function<void(std::string_view path)> change;
    const char* path;  // must hold "keeps" afterwards ("": nothing)
    std::string keeps, says;
  } cases[] = {
      {"update's own file swapped", RunUpdate, FileOp::kInfo, ".new", 0, swap, "nl/NODELIST.002", "",
       "cannot check it: access denied"},
      {"a file planted at the list's name", RunUpdate, FileOp::kInfo, ".new", 0,
       [&](std::string_view) { disk.files["nl/NODELIST.002"].data = "planted"; }, "nl/NODELIST.002", "planted",
       "appeared during the run; not replaced"},
      {"init's own file swapped", RunInit, FileOp::kInfo, "nlindex.bar", 0, swap, "nlindex.qdx", "old index",
       "cannot write: access denied"},
      {"the catalogue replaced while update waited for its lock", RunUpdate, FileOp::kOpenRead, "nlindex.qdx", 1,
       [&](std::string_view) { disk.files["nlindex.qdx"].data = IndexHead({{"nl/OTHER", "001"}}); },
       "nl/NODELIST.002", "", Shown("nl/OTHER") + ": no numbered list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    disk = UpdateDisk();
    if (c.command == RunInit) disk.files["nlindex.qdx"].data = "old index";
    FaultPlan plan;
    int seen = 0;
    plan.before = [&](long, FileOp op, std::string_view path) {
      if (op == c.op && path.ends_with(c.after) && seen++ == c.nth) c.change(path);
    };
    ToolOptions options;
    options.force = true;
    options.operands = {"nl/NODELIST"};
    std::string err;
    EXPECT_EQ(RunOnFakeDisk(&disk, &plan, c.command, options, &err), 3);
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(disk.files.count(c.path) != 0 ? disk.files[c.path].data : "", c.keeps);
    for (const auto& [path, file] : disk.files) EXPECT_FALSE(path.ends_with(".new") || path.ends_with(".bar")) << path;
  }
}

}  // namespace
}  // namespace tessel::test

#ifndef _WIN32
namespace tessel::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderSanitizer = false;
#endif

TEST_F(UpdateSafety, RunningOutOfMemoryNamesTheFileAndEndsWithStatus3) {
  if (kUnderSanitizer) GTEST_SKIP() << "the sanitizer's shadow memory needs more address space";
  std::vector<std::string> lines(250000, "Host,1,A_net_of_some_size,Somewhere,Jo_Sysop,1-555-0000,9600,CM,XA");
  std::string big1 = MakeList("day 001", lines);
  lines[0] = "Zone,1,Changed";
  std::string big2 = MakeList("day 002", lines);
  WriteFile(dir_ / "nl/NODELIST.001", big1);
  SetMtime(dir_ / "nl/NODELIST.001", std::time(nullptr) - 86400);
  WriteFile(dir_ / "in/NODEDIFF.002", MakeDiff(big1, big2));
  std::string command = "ulimit -v 40000; exec " + std::string(TESSEL_INDEX_BINARY) + " update --inbound in";
  ProcessRun run = RunTool("/bin/sh", dir_.path(), {"-c", command});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("not enough memory to process it"), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.002"));
}

}  // namespace
}  // namespace tessel::test
#endif  // _WIN32
