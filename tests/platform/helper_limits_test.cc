// The native platform's helper processes, on Linux and on Windows alike:
// tessel-make-nodelist, built beside the tests, stands in for a helper that
// reports, fails, or runs on past its limits.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessel {
namespace {

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kNullDevice = "/dev/null";
constexpr const char* kLineEnd = "\n";
#endif

// Wine keeps a job's limits of processor time and memory but enforces
// neither (only its kill on close): there the wall-clock limit holds alone.
bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

TEST(HelperLimitsTest, OutputExitAndTheLimitsTheRunSets) {
  const Platform& p = NativePlatform();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    uint32_t wall_ms;
    uint32_t cpu_seconds;
    bool timed_out;
    bool over_limit;
    int exit_status;
    std::string output;
  } cases[] = {
      {"reports", {"10", "1", kNullDevice}, 20000, 10, false, false, 0,
       std::string(kNullDevice) + ": 11 entry lines in 4 zones" + kLineEnd},
      {"fails", {}, 20000, 10, false, false, 2, ""},
      {"runs past the wall-clock limit", {"10000000", "1", kNullDevice}, 400, 10, true, false, -1, ""},
      {"runs past its processor time", {"10000000", "1", kNullDevice}, 20000, 1, false, true, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.over_limit && UnderWine()) continue;
    HelperRun run;
    run.program = "tessel-make-nodelist";
    run.args = c.args;
    run.wall_ms = c.wall_ms;
    run.cpu_seconds = c.cpu_seconds;
    run.max_output = 4096;
    std::string output = "stale";
    HelperOutcome outcome;
    ASSERT_EQ(p.run_helper(p.ctx, run, &output, &outcome), 0);
    EXPECT_EQ(outcome.timed_out, c.timed_out);
    EXPECT_EQ(outcome.over_limit, c.over_limit);
    EXPECT_EQ(outcome.exit_status, c.exit_status);
    EXPECT_EQ(output, c.output);
    EXPECT_LT(outcome.elapsed_ms, c.timed_out ? c.wall_ms + 3000 : 15000u);
    if (c.timed_out) {
      EXPECT_GE(outcome.elapsed_ms, c.wall_ms);
    }
  }
  HelperRun missing;
  missing.program = "tessel-no-such-helper";
  std::string output;
  HelperOutcome outcome;
  EXPECT_EQ(p.run_helper(p.ctx, missing, &output, &outcome), kErrFileNotFound);
  EXPECT_NE(outcome.searched.find("tessel-no-such-helper"), std::string::npos) << outcome.searched;
}

}  // namespace
}  // namespace tessel
