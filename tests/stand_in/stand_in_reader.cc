// A stand-in for the archive reader, run in its place by the tests of the
// helper's isolation: it misbehaves as TESSEL_STAND_IN asks, on the file
// TESSEL_STAND_IN_FILE. Built with the tests only.
//   write            appends to the file
//   fork             starts a process that removes the file a second
//                    later, writes its number and ends at once
//   flood            writes without end
//   hang             waits for ever
//   inspect          writes the descriptors it has open above 2 and its
//                    working directory ("fds=3,4 cwd=/dir")
//   confined-unlink, confined-open, confined-fork
//                    confines itself as the real reader does, then removes
//                    the file, opens it for writing, or starts a process
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#if TESSEL_CONFINE_READER
#include "platform/reader_confinement.h"
#endif

namespace {

void Say(const std::string& text) {
  if (::write(1, text.data(), text.size()) < 0) ::_exit(5);
}

int Forbidden(const std::string& what, const char* file) {
#if TESSEL_CONFINE_READER
  if (tessel::ConfineToStandardStreams() != 0) return 6;
#else
  return 7;  // no confinement in this build
#endif
  if (what == "unlink") ::unlink(file);
  if (what == "open") ::open(file, O_WRONLY | O_TRUNC);
  if (what == "fork") ::fork();
  Say("survived");
  return 0;
}

}  // namespace

int main() {
  const char* mode_text = std::getenv("TESSEL_STAND_IN");
  const char* file = std::getenv("TESSEL_STAND_IN_FILE");
  std::string mode = mode_text != nullptr ? mode_text : "";
  if (file == nullptr) file = "";
  if (mode == "write") {
    int fd = ::open(file, O_WRONLY | O_APPEND);
    return fd >= 0 && ::write(fd, "planted", 7) == 7 ? 0 : 4;
  }
  if (mode == "fork") {
    pid_t child = ::fork();
    if (child == 0) {
      ::close(1);
      ::sleep(1);
      ::unlink(file);
      ::_exit(0);
    }
    Say(std::to_string(child));
    return 0;
  }
  if (mode == "flood") {
    std::string block(65536, 'x');
    for (;;) Say(block);
  }
  if (mode == "hang") {
    for (;;) ::pause();
  }
  if (mode == "inspect") {
    std::string fds;
    for (int fd = 3; fd < 1024; ++fd) {
      if (::fcntl(fd, F_GETFD) >= 0) fds += (fds.empty() ? "" : ",") + std::to_string(fd);
    }
    char cwd[PATH_MAX];
    Say("fds=" + fds + " cwd=" + (::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?"));
    return 0;
  }
  if (mode.starts_with("confined-")) return Forbidden(mode.substr(9), file);
  return 9;
}
