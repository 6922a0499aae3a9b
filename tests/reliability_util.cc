#include "reliability_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace tessel::test {
namespace {

// xorshift32: the same numbers on every platform and library.
struct Random {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

const char* const kFirstNames[] = {"Al",  "Bea", "Carl", "Dora", "Ed",   "Fay",  "Gus",  "Hal",  "Ida",
                                   "Jon", "Kim", "Lou",  "Max",  "Ned",  "Ola",  "Pat",  "Quin", "Rob",
                                   "Sue", "Tom", "Uli",  "Vera", "Walt", "Xena", "Yves", "Zoe"};
const char* const kLastNames[] = {"Adler", "Brown", "Chen",   "Dahl",  "Evans", "Fisher", "Garcia",
                                  "Holm",  "Ito",   "Jensen", "Kovac", "Lund",  "Meyer",  "Novak"};

std::string SysopName(Random* random, int initial) {
  std::string name = kFirstNames[random->Below(26)];
  if (initial >= 0) name[0] = static_cast<char>('A' + initial);
  return name + "_" + kLastNames[random->Below(14)];
}

}  // namespace

std::string MakeNodelist(const NodelistShape& shape) {
  Random random{shape.seed * 2654435761u + 1};
  const std::string end = shape.lf_only ? "\n" : "\r\n";
  std::string text = ";A Generated nodelist" + end + ";A" + end;
  int net_index = 0;
  for (int z = shape.first_zone; z < shape.first_zone + shape.zones; ++z) {
    text += "Zone," + std::to_string(z) + ",Zone_" + std::to_string(z) + "_Coordinator,Somewhere," +
            SysopName(&random, -1) + ",1-555-0100,9600,CM,XA" + end;
    int net = 100;
    for (int n = 0; n < shape.nets_per_zone; ++n, ++net_index) {
      net += 1 + random.Below(40);
      int initial = shape.net_initials ? net_index % 26 : -1;
      text += "Host," + std::to_string(net) + ",Net_" + std::to_string(net) + ",Town," + SysopName(&random, initial) +
              ",1-555-0199,9600,CM,XA,V32B" + end;
      int node = 0;
      int nodes = 1 + random.Below(2 * shape.nodes_per_net - 1);
      for (int k = 0; k < nodes; ++k) {
        node += 1 + random.Below(3);
        static const char* const kKeywords[] = {"", "", "", "", "", "", "Hub", "Pvt", "Hold", "Down"};
        const char* keyword = kKeywords[random.Below(10)];
        text += std::string(keyword) + "," + std::to_string(node) + ",Board_" + std::to_string(node) + ",Some_Town," +
                SysopName(&random, initial) + ",1-555-" + std::to_string(1000 + node) + ",14400,XA,V32B,V42B" + end;
        if (random.Below(50) == 0) text += ";S a comment" + end;
      }
    }
  }
  return text;
}

std::string RandomBytes(uint32_t seed, size_t size) {
  Random random{seed * 2654435761u + 1};
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random.Next() >> 24);
  return bytes;
}

pid_t StartTessel(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  int timeout_seconds, int output_fd) {
  // Everything the child needs is prepared before fork().
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name != "KORVO" && name != "TZ") environment.push_back(entry);
  }
  environment.push_back("TZ=UTC");
  environment.insert(environment.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = {TESSEL_BINARY};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (output_fd == kStdoutClosed || output_fd == kStdioClosed) {
      close(1);
      if (output_fd == kStdioClosed) {
        close(0);
        close(2);
      }
    } else {
      dup2(output_fd >= 0 ? output_fd : open("/dev/null", O_WRONLY), 1);
    }
    signal(SIGPIPE, SIG_DFL);
    if (chdir(dir.c_str()) != 0) _exit(127);
    alarm(static_cast<unsigned>(timeout_seconds));  // kept across exec
    execve(TESSEL_BINARY, argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

TimedRunResult RunTesselWithTimeout(const std::string& dir, const std::vector<std::string>& args,
                                    const std::vector<std::string>& env, int timeout_seconds) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_t pid = StartTessel(dir, args, env, timeout_seconds, pipe_fds[1]);
  close(pipe_fds[1]);
  TimedRunResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<size_t>(n));
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
    result.timed_out = result.signal == SIGALRM;
  }
  return result;
}

}  // namespace tessel::test
