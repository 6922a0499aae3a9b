// Helper processes for work on hostile input: a child started from a
// fresh program image in a process group of its own, in the root
// directory, with nothing but its standard streams open, under resource
// limits set between fork and exec, and killed from outside, with
// everything of its group, when it runs too long or says too much, and
// whatever of its group remains once it has ended.
#include "platform/helper_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace tessel {
namespace {

// The address-space limit cannot be combined with a sanitizer's shadow
// memory, which reserves terabytes up front.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceLimitWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSpaceLimitWorks = false;
#else
constexpr bool kAddressSpaceLimitWorks = true;
#endif
#else
constexpr bool kAddressSpaceLimitWorks = true;
#endif

constexpr rlim_t kHelperOpenFiles = 8;

// The helper's file: beside this program, else in ../libexec/tessel.
// When there is none, "*searched" names the places looked in.
std::string HelperPath(const char* program, std::string* searched) {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    *searched = "beside this program, whose own file cannot be read from /proc/self/exe";
    return std::string();
  }
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.find_last_of('/') + 1);
  for (std::string path : {dir + program, dir + "../libexec/tessel/" + program}) {
    if (::access(path.c_str(), X_OK) == 0) return path;
    *searched += (searched->empty() ? "" : " and ") + path;
  }
  return std::string();
}

int64_t NowMs() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

void Limit(int resource, rlim_t value) {
  struct rlimit limit = {value, value};
  ::setrlimit(resource, &limit);
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void StartChild(const HelperRun& run, const std::string& path, char* const* argv, int out) {
  ::setpgid(0, 0);
  if (::chdir("/") != 0) ::_exit(127);
  int in = run.input >= 0 ? run.input : ::open("/dev/null", O_RDONLY);
  int null = ::open("/dev/null", O_WRONLY);
  if (in < 0 || null < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(null, 2) < 0) ::_exit(127);
  // Every other descriptor goes: the helper sees none of this run's files.
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  Limit(RLIMIT_CPU, run.cpu_seconds);
  if (kAddressSpaceLimitWorks && run.address_space != 0) Limit(RLIMIT_AS, run.address_space);
  Limit(RLIMIT_FSIZE, 0);
  Limit(RLIMIT_CORE, 0);
  Limit(RLIMIT_NOFILE, kHelperOpenFiles);
  ::signal(SIGPIPE, SIG_DFL);
  ::execv(path.c_str(), argv);
  ::_exit(127);
}

// Reads the child's output until it closes its end, the deadline passes or
// too much comes. Returns false when the child is to be killed.
bool Collect(int fd, const HelperRun& run, int64_t deadline, std::string* output, HelperOutcome* outcome) {
  char buffer[65536];
  for (;;) {
    int64_t left = deadline - NowMs();
    if (left <= 0) {
      outcome->timed_out = true;
      return false;
    }
    struct pollfd p = {fd, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;  // the deadline is checked above
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    if (output->size() + static_cast<size_t>(n) > run.max_output) {
      outcome->output_overflow = true;
      return false;
    }
    output->append(buffer, static_cast<size_t>(n));
  }
}

// Waits for the child to end, leaving it unreaped; a child that closed its
// output may still be running, so the deadline holds until it has ended.
void WaitUnreaped(pid_t child, int64_t deadline, bool* whole, HelperOutcome* outcome) {
  for (;;) {
    siginfo_t info = {};
    int options = WEXITED | WNOWAIT | (*whole ? WNOHANG : 0);
    if (::waitid(P_PID, static_cast<id_t>(child), &info, options) != 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (info.si_pid == child) return;
    if (NowMs() >= deadline) {
      outcome->timed_out = true;
      *whole = false;
      ::kill(-child, SIGKILL);
      continue;
    }
    struct timespec pause = {0, 5'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

}  // namespace

int PosixRunHelper(void*, const HelperRun& run, std::string* output, HelperOutcome* outcome) {
  *outcome = HelperOutcome{};
  output->clear();
  std::string path = HelperPath(run.program, &outcome->searched);
  if (path.empty()) return kErrFileNotFound;
  std::vector<std::string> words = {path};
  words.insert(words.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return kErrTooManyOpenFiles;
  int64_t start = NowMs();
  int64_t deadline = start + run.wall_ms;
  pid_t child = ::fork();
  if (child < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return kErrNoMemory;
  }
  if (child == 0) StartChild(run, path, argv.data(), pipe_fds[1]);
  ::setpgid(child, child);  // as the child does, whichever comes first
  ::close(pipe_fds[1]);
  bool whole = Collect(pipe_fds[0], run, deadline, output, outcome);
  if (!whole) ::kill(-child, SIGKILL);
  ::close(pipe_fds[0]);
  WaitUnreaped(child, deadline, &whole, outcome);
  // A process it started may outlive it: its group goes now, while the
  // ended helper, not yet reaped, still holds the group's number.
  ::kill(-child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  outcome->elapsed_ms = static_cast<uint32_t>(NowMs() - start);
  outcome->exit_status = whole && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  // Processor time runs out with SIGXCPU, or SIGKILL at the hard limit
  // when this run did not send one.
  outcome->over_limit = outcome->signal == SIGXCPU || (whole && outcome->signal == SIGKILL);
  if (!whole) output->clear();
  return 0;
}

}  // namespace tessel
