// The run lock: its wait for another run (ten minutes at most, on the
// in-memory disk), and its ordering rule on real directories: two runs that
// name the same two directories in opposite orders must not wait for each
// other.
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "run/program.h"
#include "run/run_lock.h"
#include "test_util.h"
#include "testing/fake_platform.h"

namespace tessel::test {
namespace {

// The wait, on the in-memory disk whose clock moves only while the run
// sleeps: another run holds the working directory until "released_at".
TEST(RunLockTest, WaitsOnceThenBuildsOrGivesUpAfterTenMinutes) {
  const std::string index = IndexHead({{"NODELIST", "001"}});
  for (int64_t released_at : {int64_t{3000}, int64_t{-1}}) {
    SCOPED_TRACE(released_at);
    FakeDisk disk;
    disk.files["nlindex.qdx"].data = index;
    disk.files["NODELIST.001"].data = Lines({"Zone,1,Zone_One,Here,Al_Bee,1-2-3,300", ",5,Node,Here,Bo_Cy,1-2-3,300"});
    disk.other_runs[""] = released_at;
    std::map<std::string, FakeFile> before = disk.files;
    Platform platform = MakeFakePlatform(&disk);
    const char* argv[] = {"tessel", "-F"};
    int status = RunProgram(platform, 2, argv);
    const std::string waiting = "Waiting for another run to finish with the current directory...\r\n";
    ASSERT_EQ(disk.console.find(waiting), Banner().size()) << disk.console;
    EXPECT_EQ(disk.console.find(waiting, Banner().size() + 1), std::string::npos);
    EXPECT_TRUE(disk.held.empty());
    if (released_at >= 0) {
      EXPECT_EQ(status, 0) << disk.console;
      EXPECT_GE(disk.clock_ms, released_at);
      EXPECT_LT(disk.clock_ms, released_at + 1000);
      EXPECT_GT(disk.files.at("nlindex.qdx").data.size(), index.size());
      continue;
    }
    EXPECT_EQ(status, 5);
    EXPECT_EQ(disk.clock_ms, 600'000);
    EXPECT_EQ(disk.console,
              Banner() + waiting + "\r\nGave up after 10 minutes waiting for the lock on the current directory\a\r\n");
    EXPECT_EQ(disk.files.size(), before.size());
    for (const auto& [name, file] : before) EXPECT_EQ(disk.files.at(name).data, file.data) << name;
  }
}

// What the two runs share: whether each has tried its first lock yet.
struct Rendezvous {
  std::atomic<bool> tried[2] = {false, false};
};

// One run's view of the real platform. Its first lock, once taken, is held
// until the other run has tried its own first lock, so that both runs always
// reach their second lock with their first one settled. A wait sleeps 1 ms
// instead of 50, so that the wait's limit (12,000 waits) comes within
// seconds, and a test that would deadlock fails instead.
struct RunView {
  Rendezvous* shared;
  int run;  // 0 or 1
  bool first_tried = false;
};

int TryLockAfterRendezvous(void* ctx, DirectoryLock* lock, bool* taken) {
  auto* view = static_cast<RunView*>(ctx);
  int error = NativePlatform().try_lock(nullptr, lock, taken);
  if (view->first_tried) return error;
  view->first_tried = true;
  view->shared->tried[view->run] = true;
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (error == 0 && *taken && !view->shared->tried[1 - view->run] && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::yield();
  }
  return error;
}

void SleepBriefly(void*, uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

TEST(RunLockTest, RunsNamingTwoDirectoriesInOppositeOrderNeverWaitForEachOther) {
  ScopedTempDir dir;
  const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();
  std::filesystem::create_directory(a);
  std::filesystem::create_directory(b);
  Rendezvous shared;
  RunView views[2] = {{&shared, 0}, {&shared, 1}};
  const std::string firsts[2] = {a, b}, seconds[2] = {b, a};
  int errors[2] = {-1, -1};
  bool timed_out[2] = {false, false};
  std::string failed[2];
  auto run = [&](int r) {
    Platform platform = NativePlatform();
    platform.ctx = &views[r];
    platform.try_lock = TryLockAfterRendezvous;
    platform.sleep = SleepBriefly;
    DirectoryLocks locks;
    errors[r] = LockDirectories(platform, firsts[r], seconds[r], WaitNotice{}, &locks, &failed[r], &timed_out[r]);
    if (errors[r] == 0) {
      EXPECT_EQ(locks.count, 2) << "run " << r;
    }
    UnlockDirectories(platform, &locks);
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(errors[r], 0) << "run " << r << " gave up on " << failed[r] << (timed_out[r] ? " after the wait's limit" : "");
  }
}

}  // namespace
}  // namespace tessel::test
