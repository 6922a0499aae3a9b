// Helper programs in isolation (Linux): a stand-in reader that misbehaves
// is stopped without touching the disk or outliving its run, the real
// reader's confinement ends a forbidden call, and the confined reader
// still reads every format it should.
#ifdef __linux__
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "nodediff/isolated_member.h"
#include "nodediff/nodediff_util.h"
#include "platform/platform.h"
#include "testing/scratch_files.h"

namespace tessel::test {
namespace {

struct HelperResult {
  HelperOutcome outcome;
  std::string output;
};

// Runs the stand-in reader (built beside the tests) in "mode" on "file".
HelperResult RunStandIn(const std::string& mode, const std::string& file, uint32_t wall_ms = 10000) {
  ::setenv("TESSEL_STAND_IN", mode.c_str(), 1);
  ::setenv("TESSEL_STAND_IN_FILE", file.c_str(), 1);
  HelperRun run;
  run.program = "tessel-stand-in-reader";
  run.wall_ms = wall_ms;
  run.max_output = 1 << 20;
  HelperResult result;
  const Platform& p = NativePlatform();
  EXPECT_EQ(p.run_helper(p.ctx, run, &result.output, &result.outcome), 0) << result.outcome.searched;
  return result;
}

// Whether process "pid" has ended (a zombie nobody has reaped yet too).
bool Ended(const std::string& pid) {
  std::string stat = ReadFile("/proc/" + pid + "/stat");
  size_t name_end = stat.rfind(')');
  return stat.empty() || (name_end != std::string::npos && stat.substr(name_end + 2, 1) == "Z");
}

class HelperIsolation : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(victim_, "intact"); }
  ScopedTempDir dir_;
  const std::string victim_ = dir_ / "victim";
};

TEST_F(HelperIsolation, AStandInReaderCannotTouchTheDiskOrOutliveItsRun) {
  // A descriptor of this process's, left open across exec: the helper
  // must not see it.
  int open_here = ::open(victim_.c_str(), O_RDONLY);
  ASSERT_GE(open_here, 0);
  HelperResult inspect = RunStandIn("inspect", victim_);
  ::close(open_here);
  EXPECT_EQ(inspect.output, "fds= cwd=/");

  HelperResult write = RunStandIn("write", victim_);
  EXPECT_EQ(write.outcome.signal, SIGXFSZ);

  HelperResult flood = RunStandIn("flood", victim_);
  EXPECT_TRUE(flood.outcome.output_overflow);
  EXPECT_EQ(flood.output, "");

  HelperResult hang = RunStandIn("hang", victim_, 300);
  EXPECT_TRUE(hang.outcome.timed_out);
  EXPECT_LT(hang.outcome.elapsed_ms, 5000u);

  // It ends at once; what it started would remove the file a second later.
  HelperResult fork = RunStandIn("fork", victim_);
  EXPECT_EQ(fork.outcome.exit_status, 0);
  ASSERT_FALSE(fork.output.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(Ended(fork.output));
  EXPECT_EQ(ReadFile(victim_), "intact");
}

TEST_F(HelperIsolation, TheReadersConfinementEndsEveryForbiddenCall) {
#if !TESSEL_CONFINE_READER
  GTEST_SKIP() << "the archive reader is not confined in this build";
#endif
  for (const char* mode : {"confined-unlink", "confined-open", "confined-fork"}) {
    SCOPED_TRACE(mode);
    HelperResult forbidden = RunStandIn(mode, victim_);
    EXPECT_EQ(forbidden.outcome.signal, SIGSYS);
    EXPECT_EQ(forbidden.output, "");
    EXPECT_EQ(ReadFile(victim_), "intact");
  }
}

TEST_F(HelperIsolation, TheConfinedReaderReadsEveryFormat) {
  SKIP_WITHOUT_ARCHIVES();
  const std::string diff = ";A diff\r\nD1\r\n";
  // Another member first, named in UTF-8, for the library's conversion of names.
  const std::vector<std::pair<std::string, std::string>> members = {{"r\xC3\xA9sum\xC3\xA9.txt", "x"},
                                                                    {"nodediff.003", diff}};
  const std::pair<std::string, std::string> archives[] = {
      {"zip", MakeZip(members)},
      {"tar.gz", MakeArchive("pax", "gzip", members)},
      {"tar.bz2", MakeArchive("ustar", "bzip2", members)},
      {"tar.xz", MakeArchive("pax", "xz", members)},
      {"7-Zip", MakeArchive("7zip", "none", members)},
      {"LHA", MakeLha("NODEDIFF.003", diff)},
  };
  const Platform& p = NativePlatform();
  for (const auto& [format, bytes] : archives) {
    SCOPED_TRACE(format);
    WriteFile(dir_ / "archive", bytes);
    FileId file = kNoFile;
    ASSERT_EQ(p.open_read(p.ctx, (dir_ / "archive").c_str(), &file), 0);
    ReaderTime time;
    ArchiveMember member = ReadMemberIsolated(p, file, "NODEDIFF", "03", &time);
    p.close(p.ctx, file);
    EXPECT_EQ(member.status, MemberStatus::kRead) << member.detail;
    EXPECT_EQ(member.bytes, diff);
  }
}

}  // namespace
}  // namespace tessel::test
#endif  // __linux__
