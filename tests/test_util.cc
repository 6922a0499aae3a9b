#include "test_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "reliability_util.h"

namespace tessel::test {
namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (fs::temp_directory_path() / "tessel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Make read-only files and directories removable again.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
  }
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

void SetMtime(const std::string& path, int64_t seconds) {
  struct timespec times[2];
  times[0].tv_sec = seconds;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat " + path);
}

namespace {

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

}  // namespace

std::string SlotBytes(const SlotSpec& slot) {
  std::string bytes(47, '\0');
  bytes[0] = static_cast<char>(slot.base_name.size());
  bytes.replace(1, slot.base_name.size(), slot.base_name);
  bytes[41] = static_cast<char>(slot.extension.size());
  bytes.replace(42, slot.extension.size(), slot.extension);
  bytes[45] = static_cast<char>(slot.highest_zone & 0xFF);
  bytes[46] = static_cast<char>(slot.highest_zone >> 8);
  bytes.resize(47);
  return bytes;
}

std::string IndexHead(const std::vector<SlotSpec>& slots, uint32_t first_word, uint32_t third_word) {
  std::string head;
  PutU32(&head, first_word);
  PutU32(&head, static_cast<uint32_t>(13 + 47 * slots.size()));
  PutU32(&head, third_word);
  for (const SlotSpec& slot : slots) head += SlotBytes(slot);
  head.push_back('\x01');
  return head;
}

std::string HostConfig(const std::string& data_path, size_t size) {
  std::string config(size, '\0');
  if (size > 155) config[155] = static_cast<char>(data_path.size());
  for (size_t i = 0; i < data_path.size() && 156 + i < size; ++i) config[156 + i] = data_path[i];
  return config;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& line_end) {
  std::string text;
  for (const std::string& line : lines) text += line + line_end;
  return text;
}

RunResult RunTessel(const std::string& dir, const std::vector<std::string>& args,
                    const std::vector<std::string>& env) {
  TimedRunResult run = RunTesselWithTimeout(dir, args, env, 120);
  if (run.timed_out) throw std::runtime_error("tessel did not end within 120 s in " + dir);
  return RunResult{run.out, run.status};
}

std::string Banner() { return "Tessel 32-bit for Win32 v3.0a\r\nLinux build, (c) 2026 the Tessel developers\r\n\r\n"; }

Entry DecodeEntry(const std::string& index, size_t offset) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(index.at(offset + i)); };
  Entry e;
  e.slot = byte(0);
  e.zone = static_cast<uint16_t>(byte(1) | byte(2) << 8);
  e.net = static_cast<uint16_t>(byte(3) | byte(4) << 8);
  e.node = static_cast<uint16_t>(byte(5) | byte(6) << 8);
  e.tail_length = byte(7);
  e.line_offset = static_cast<int32_t>(byte(8) | byte(9) << 8 | byte(10) << 16 | static_cast<uint32_t>(byte(11)) << 24);
  return e;
}

std::string SharedDataDir() {
  std::error_code ignored;
  return fs::is_directory(TESSEL_SHARED_DATA, ignored) ? std::string(TESSEL_SHARED_DATA) : std::string();
}

ToolRun RunBinary(const std::string& binary, const std::string& dir, std::vector<std::string> args) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    if (chdir(dir.c_str()) != 0) _exit(127);
    unsetenv("KORVO");
    args.insert(args.begin(), binary);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  ToolRun run;
  char buffer[4096];
  ssize_t n;
  // Standard error carries a line or two, so reading it last cannot block.
  while ((n = read(out_pipe[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, static_cast<size_t>(n));
  while ((n = read(err_pipe[0], buffer, sizeof buffer)) > 0) run.err.append(buffer, static_cast<size_t>(n));
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace tessel::test
