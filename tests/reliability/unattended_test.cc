// Runs started by machines rather than people: overlapping builds, closed
// standard streams, a console that goes away, and a wait for another run's
// rebuild. Every build must end with a whole index: byte for byte what one
// of the runs gives on its own, with no temporary file left.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_util.h"

namespace tessel::test {
namespace {

// Two working directories, run1/ and run2/, that find the shared data
// directory through KORVO=../home; nodelists in nl/, about 60,000 nodes.
class UnattendedTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScopedTempDir;
    for (const char* sub : {"run1", "run2", "data", "home", "nl"}) std::filesystem::create_directory(dir_->path() / sub);
    WriteFile(*dir_ / "nl/NODELIST.201",
              MakeNodelist({.seed = 21, .first_zone = 1, .zones = 3, .nets_per_zone = 200, .nodes_per_net = 100}));
    WriteFile(*dir_ / "home/config.qdx", HostConfig("../data/"));
    old_index_ = new std::string(IndexHead({{"../nl/NODELIST", "200"}}, 0xBEEF, 0xF00D));
    for (const Args& args : {kForced, kForcedWithoutZone2}) {
      PutOldIndex();
      ProcessRun solo = Run(args.dir, args.args);
      ASSERT_EQ(solo.status, 0) << solo.out;
      (*solo_)[args.dir] = ReadFile(*dir_ / "data/nlindex.qdx");
    }
    ASSERT_NE((*solo_)["run1"], (*solo_)["run2"]);
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete old_index_;
  }

  struct Args {
    const char* dir;
    std::vector<std::string> args;
  };
  static inline const Args kForced = {"run1", {"-F"}};
  static inline const Args kForcedWithoutZone2 = {"run2", {"-F", "2"}};

  static void PutOldIndex() { WriteFile(*dir_ / "data/nlindex.qdx", *old_index_); }
  static ProcessRun Run(const std::string& sub, const std::vector<std::string>& args) {
    return RunTesselWithTimeout(*dir_ / sub, args, {"KORVO=../home"}, 120);
  }
  static pid_t Start(const Args& args, int output_fd) {
    return StartTessel(*dir_ / args.dir, args.args, {"KORVO=../home"}, 120, output_fd);
  }
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // The index is the solo build of one of "args"; nothing temporary is left.
  static void ExpectWholeIndex(const std::vector<Args>& args) {
    std::string index = ReadFile(*dir_ / "data/nlindex.qdx");
    bool whole = false;
    for (const Args& a : args) whole = whole || index == (*solo_)[a.dir];
    EXPECT_TRUE(whole) << "an index of " << index.size() << " bytes that no single run gives";
    for (const char* left : {"data/nlindex.bar", "run1/nlindex.foo", "run2/nlindex.foo"}) {
      EXPECT_FALSE(Exists(*dir_ / left)) << left;
    }
  }

  static ScopedTempDir* dir_;
  static std::string* old_index_;
  static inline std::map<std::string, std::string>* solo_ = new std::map<std::string, std::string>;  // by working directory
};

ScopedTempDir* UnattendedTest::dir_ = nullptr;
std::string* UnattendedTest::old_index_ = nullptr;

TEST_F(UnattendedTest, OverlappingRunsLeaveTheIndexOfOne) {
  struct Case {
    const char* name;
    std::vector<Args> runs;
  };
  const Case cases[] = {
      {"two working directories, one data directory", {kForced, kForcedWithoutZone2}},
      {"four runs in one directory", {kForced, kForced, kForced, kForced}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutOldIndex();
    std::vector<std::pair<pid_t, int>> started;
    for (const Args& args : c.runs) {
      int fds[2];
      ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
      started.emplace_back(Start(args, fds[1]), fds[0]);
      close(fds[1]);
    }
    int waited = 0;
    for (auto [pid, out_fd] : started) {
      std::string out;
      char buffer[4096];
      for (ssize_t n; (n = read(out_fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
      close(out_fd);
      EXPECT_EQ(Wait(pid), 0) << out;
      if (out.find("Waiting for another run to finish with ") != std::string::npos) ++waited;
    }
    EXPECT_GE(waited, 1) << "the runs did not overlap";
    ExpectWholeIndex(c.runs);
  }
}

TEST_F(UnattendedTest, StandardStreamsClosedOrConsoleGone) {
  struct Case {
    const char* name;
    int output;  // a descriptor, or how the streams are closed
  };
  int broken_pipe[2];
  ASSERT_EQ(pipe2(broken_pipe, O_CLOEXEC), 0);
  close(broken_pipe[0]);  // nobody reads: every console write fails
  int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const Case cases[] = {
      {"stdout closed", kStdoutClosed},
      {"stdin, stdout and stderr closed", kStdioClosed},
      {"console pipe closed", broken_pipe[1]},
      {"console on /dev/full", full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutOldIndex();
    EXPECT_EQ(Wait(Start(kForced, c.output)), 0);
    ExpectWholeIndex({kForced});
  }
  close(broken_pipe[1]);
  close(full);
}

// A run that finds another holding the lock waits, then reads the catalogue
// afresh: the other run's rebuild has made the index up to date.
TEST_F(UnattendedTest, RunThatWaitedForARebuildFindsTheIndexUpToDate) {
  PutOldIndex();
  int held = open((*dir_ / "data").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  pid_t pid = Start({"run1", {}}, fds[1]);
  close(fds[1]);
  std::string out;
  char buffer[4096];
  while (out.find("...\r\n", out.find("Waiting")) == std::string::npos) {
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    ASSERT_GT(n, 0) << out;
    out.append(buffer, static_cast<size_t>(n));
  }
  WriteFile(*dir_ / "data/nlindex.qdx", (*solo_)["run1"]);  // as the other run leaves it
  close(held);
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_EQ(out, Banner() + "Waiting for another run to finish with ../data/...\r\n" +
                     "Nodelist index is up to date. Use -F to force recompilation.\r\n");
  ExpectWholeIndex({kForced});
}

}  // namespace
}  // namespace tessel::test

#else
#include <gtest/gtest.h>

TEST(UnattendedTest, NotOnWindows) { GTEST_SKIP() << "starts runs with closed POSIX descriptors and signals; Windows has no such descriptors"; }
#endif  // _WIN32
