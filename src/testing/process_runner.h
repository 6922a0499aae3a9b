// Runs a built program as a child process, with a time limit, for the
// end-to-end tests and the benchmark.
#ifndef TESSEL_TESTING_PROCESS_RUNNER_H_
#define TESSEL_TESTING_PROCESS_RUNNER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace tessel::test {

struct ProcessSpec {
  std::string binary;                    // the program's path
  std::vector<std::string> args;         // after the program name
  std::string dir;                       // its working directory
  std::vector<std::string> environment;  // "NAME=value" entries, all it gets
  int timeout_seconds = 20;              // then it is ended (by SIGALRM on Linux)
};

// This process's environment without the variables "names" (matched
// without regard to letter case), followed by "added".
std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names,
                                            const std::vector<std::string>& added = {});

#ifndef _WIN32
// Values of "output_fd" below that start the program with standard
// descriptors closed, as some mailers and daemons start their hooks.
constexpr int kStdoutClosed = -2;
constexpr int kStdioClosed = -3;  // 0, 1 and 2
// A value of "error_fd" that leaves standard error as this process has it.
constexpr int kInheritStderr = -2;

// Starts the program, its standard output going to "output_fd" and its
// standard error to "error_fd" (/dev/null for -1), SIGPIPE at its default.
// Returns its process id; throws when it cannot.
pid_t StartProcess(const ProcessSpec& process, int output_fd = -1, int error_fd = kInheritStderr);
#endif

struct ProcessRun {
  std::string out;         // standard output, byte for byte
  std::string err;         // standard error
  int status = -1;         // exit status, -1 when ended by a signal
  int signal = 0;          // the ending signal, 0 when it exited
  bool timed_out = false;  // ended by the time limit
};

// Runs the program to its end, or to its time limit.
ProcessRun RunProcess(const ProcessSpec& process);

}  // namespace tessel::test

#endif  // TESSEL_TESTING_PROCESS_RUNNER_H_
