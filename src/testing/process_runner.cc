#include "testing/process_runner.h"

#ifndef _WIN32  // process_runner_win32.cc on Windows

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

extern "C" char** environ;

namespace tessel::test {
namespace {

std::string UpperName(const std::string& entry) {
  std::string name = entry.substr(0, entry.find('='));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Reads what the two pipes bring until both are closed.
void Drain(int out_fd, int err_fd, std::string* out, std::string* err) {
  struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;  // interrupted
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[k]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names,
                                            const std::vector<std::string>& added) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    bool dropped = false;
    for (const std::string& name : names) dropped = dropped || UpperName(entry) == UpperName(name);
    if (!dropped) environment.push_back(entry);
  }
  environment.insert(environment.end(), added.begin(), added.end());
  return environment;
}

pid_t StartProcess(const ProcessSpec& process, int output_fd, int error_fd) {
  // Everything the child needs is prepared before fork().
  std::vector<std::string> environment = process.environment;
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments = {process.binary};
  arguments.insert(arguments.end(), process.args.begin(), process.args.end());
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
      if (error_fd != kInheritStderr) dup2(error_fd >= 0 ? error_fd : open("/dev/null", O_WRONLY), 2);
    }
    signal(SIGPIPE, SIG_DFL);
    if (chdir(process.dir.c_str()) != 0) _exit(127);
    alarm(static_cast<unsigned>(process.timeout_seconds));  // kept across exec
    execve(process.binary.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

ProcessRun RunProcess(const ProcessSpec& process) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_t pid = StartProcess(process, out_pipe[1], err_pipe[1]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  ProcessRun result;
  Drain(out_pipe[0], err_pipe[0], &result.out, &result.err);
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

#endif  // _WIN32
