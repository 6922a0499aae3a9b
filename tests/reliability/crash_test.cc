// A large build killed with SIGKILL at many moments of its run: afterwards
// the host must find the old index byte for byte or the complete new one,
// never none, an empty one or part of one. Kills land mostly before the
// rename; FaultTest.KilledBeforeEachOperation covers every moment in order,
// those after the rename included.
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_util.h"

namespace tessel::test {
namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 10;  // the sanitizers slow every run down
#else
constexpr int kKills = 30;
#endif

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

TEST(CrashTest, KilledBuildLeavesOldOrNewIndex) {
  ScopedTempDir dir;
  // About 200,000 nodes in four nodelists over eleven zones.
  const std::vector<SlotSpec> slots = {{"NODELIST", "100"}, {"nl/regional", "100"}, {"OTHERNET", ""}, {"nl/TINY", ""}};
  std::filesystem::create_directory(dir.path() / "nl");
  Clock::time_point made = Clock::now();
  WriteFile(dir / "NODELIST.123",
            MakeNodelist({.seed = 11, .first_zone = 1, .zones = 4, .nets_per_zone = 330, .nodes_per_net = 100}));
  WriteFile(
      dir / "nl/regional.007",
      MakeNodelist(
          {.seed = 12, .first_zone = 5, .zones = 3, .nets_per_zone = 280, .nodes_per_net = 100, .lf_only = true}));
  WriteFile(dir / "othernet.200",
            MakeNodelist({.seed = 13, .first_zone = 8, .zones = 3, .nets_per_zone = 220, .nodes_per_net = 100}));
  WriteFile(dir / "nl/tiny.001", MakeNodelist({.seed = 14, .first_zone = 11, .nets_per_zone = 2}));
  const std::string old_index = IndexHead(slots, 0xCAFE, 0xF00D);
  WriteFile(dir / "nlindex.qdx", old_index);
  std::printf("[ crash    ] data made in %.2f s\n", Seconds(Clock::now() - made));

  // The clean build, twice: the quicker run sets the time scale.
  double duration = 1e9;
  ProcessRun clean;
  for (int round = 0; round < 2; ++round) {
    WriteFile(dir / "nlindex.qdx", old_index);
    Clock::time_point start = Clock::now();
    clean = RunTesselWithTimeout(dir.path(), {"-F"}, {}, 300);
    duration = std::min(duration, Seconds(Clock::now() - start));
    ASSERT_EQ(clean.status, 0) << clean.out;
  }
  const std::string new_index = ReadFile(dir / "nlindex.qdx");
  size_t counted = clean.out.rfind(" nodes processed");
  ASSERT_NE(counted, std::string::npos) << clean.out;
  const int nodes = std::stoi(clean.out.substr(clean.out.rfind('\n', counted) + 1));
  ASSERT_GT(nodes, 190'000);
  ASSERT_LT(nodes, 210'000);
  ASSERT_NE(new_index, old_index);

  // Starts a build, kills it "moment" seconds later and checks the index.
  // Returns whether the kill found the build still running.
  int left_old = 0, left_new = 0;
  auto kill_at = [&](double moment) {
    WriteFile(dir / "nlindex.qdx", old_index);
    SCOPED_TRACE(testing::Message() << "kill after " << moment << " s");
    Clock::time_point started = Clock::now();
    pid_t pid = StartTessel(dir.path(), {"-F"}, {}, 300);
    std::this_thread::sleep_until(started +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(moment)));
    kill(pid, SIGKILL);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    bool landed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!landed) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    EXPECT_TRUE(Exists(dir / "nlindex.qdx")) << "no index at all";
    const std::string index = ReadFile(dir / "nlindex.qdx");
    if (index == old_index) {
      ++left_old;
    } else {
      EXPECT_TRUE(index == new_index) << "a partial index of " << index.size() << " bytes";
      ++left_new;
    }
    return landed;
  };

  // Moments spread evenly over the run. A build that ends before its kill
  // was quicker than the estimate: the estimate shrinks and the moment is
  // taken again.
  int spread = 0;
  for (int attempts = 0; spread < kKills && attempts < 5 * kKills && !HasFailure(); ++attempts) {
    double moment = duration * 0.95 * (spread + 0.5) / kKills;
    if (kill_at(moment)) {
      ++spread;
    } else {
      duration = moment;
    }
  }
  // A few more around the end, where the new index is renamed into place.
  for (double late : {0.98, 1.0, 1.02, 1.05}) kill_at(duration * late);
  std::printf("[ crash    ] build of %.2f s killed at %d moments spread over it: %d old, %d new index\n", duration,
              spread, left_old, left_new);
  EXPECT_EQ(spread, kKills);
  EXPECT_GT(left_old, 0);

  // Whatever the kills left behind, the next run builds the index anew.
  WriteFile(dir / "nlindex.qdx", old_index);
  ProcessRun after = RunTesselWithTimeout(dir.path(), {"-F"}, {}, 300);
  EXPECT_EQ(after.status, 0);
  EXPECT_TRUE(ReadFile(dir / "nlindex.qdx") == new_index);
  EXPECT_FALSE(Exists(dir / "nlindex.bar"));
  EXPECT_FALSE(Exists(dir / "nlindex.foo"));
}

}  // namespace
}  // namespace tessel::test

#else
#include <gtest/gtest.h>

TEST(CrashTest, NotOnWindows) { GTEST_SKIP() << "kills runs with POSIX signals and reads their progress through pipes"; }
#endif  // _WIN32
