// Helpers of the fault, crash and hostile-input tests: generated nodelists
// and runs of the built program that cannot hang the suite.
#ifndef TESSEL_TESTS_RELIABILITY_UTIL_H_
#define TESSEL_TESTS_RELIABILITY_UTIL_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessel::test {

// The shape of a generated nodelist: zones numbered from "first_zone", each
// with its zone line and "nets_per_zone" nets (a Host line and about
// "nodes_per_net" node lines, some of them Hub, Pvt, Hold or Down lines),
// and comment lines here and there. Net and node numbers rise, so every
// address is unique. The same shape always gives the same bytes.
struct NodelistShape {
  uint32_t seed = 1;
  int first_zone = 1;
  int zones = 1;
  int nets_per_zone = 10;
  int nodes_per_net = 20;
  bool lf_only = false;       // LF line ends instead of CR LF
  bool net_initials = false;  // every sysop name of a net starts alike
};
std::string MakeNodelist(const NodelistShape& shape);

// "size" bytes of noise, the same for the same seed.
std::string RandomBytes(uint32_t seed, size_t size);

// Values of "output_fd" below that start the program with standard
// descriptors closed, as some mailers and daemons start their hooks.
constexpr int kStdoutClosed = -2;
constexpr int kStdioClosed = -3;  // 0, 1 and 2

// Starts the built tessel in "dir" with "args", its output going to
// "output_fd" (or /dev/null when -1), TZ=UTC and KORVO unset plus "env",
// SIGPIPE at its default. A program still running after "timeout_seconds"
// is ended by SIGALRM.
pid_t StartTessel(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  int timeout_seconds, int output_fd = -1);

struct TimedRunResult {
  std::string out;
  int status = -1;         // exit status, -1 when ended by a signal
  int signal = 0;          // the ending signal, 0 when it exited
  bool timed_out = false;  // ended by the timeout
};

// Runs the built tessel to its end, or to the timeout.
TimedRunResult RunTesselWithTimeout(const std::string& dir, const std::vector<std::string>& args = {},
                                    const std::vector<std::string>& env = {}, int timeout_seconds = 20);

}  // namespace tessel::test

#endif  // TESSEL_TESTS_RELIABILITY_UTIL_H_
