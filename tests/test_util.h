// What the test suite adds to the testing library (src/testing): runs of
// the built programs, whose paths the build passes in, and the banner.
#ifndef TESSEL_TESTS_TEST_UTIL_H_
#define TESSEL_TESTS_TEST_UTIL_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "testing/index_builders.h"
#include "testing/nodelist_generator.h"
#include "testing/process_runner.h"
#include "testing/scratch_files.h"

namespace tessel::test {

struct RunResult {
  std::string out;  // standard output, byte for byte
  int status = -1;  // exit status
};

// Runs the built tessel with "args" in directory "dir", with TZ=UTC and
// KORVO unset, plus "env" ("NAME=value") entries. A run that does not end
// within two minutes fails the test with an exception.
RunResult RunTessel(const std::string& dir, const std::vector<std::string>& args = {},
                    const std::vector<std::string>& env = {});

// The same, to its end or to "timeout_seconds", with how it ended.
ProcessRun RunTesselWithTimeout(const std::string& dir, const std::vector<std::string>& args = {},
                                const std::vector<std::string>& env = {}, int timeout_seconds = 20);

#ifndef _WIN32
// Starts the built tessel as RunTessel does, its output going to
// "output_fd" (or /dev/null when -1; kStdoutClosed and kStdioClosed start
// it with those closed), ended by SIGALRM after "timeout_seconds".
pid_t StartTessel(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  int timeout_seconds, int output_fd = -1);
#endif

// Runs the built tessel-index or tessel-make-nodelist ("binary") in "dir"
// with KORVO unset, plus "env" ("NAME=value") entries.
ProcessRun RunTool(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                   const std::vector<std::string>& env = {});

// The banner the program prints first.
std::string Banner();

// "path" as the programs' messages show it: with "\" for "/" on Windows.
std::string Shown(std::string path);

// The directory of the real published nodelists, or "" when absent.
std::string SharedDataDir();

}  // namespace tessel::test

#endif  // TESSEL_TESTS_TEST_UTIL_H_
