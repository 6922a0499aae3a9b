#include "test_util.h"

#include <filesystem>
#include <stdexcept>

namespace tessel::test {
namespace {

ProcessSpec TesselSpec(const std::string& dir, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, int timeout_seconds) {
  std::vector<std::string> added = {"TZ=UTC"};
  added.insert(added.end(), env.begin(), env.end());
  return ProcessSpec{TESSEL_BINARY, args, dir, EnvironmentWithout({"KORVO", "TZ"}, added), timeout_seconds};
}

}  // namespace

RunResult RunTessel(const std::string& dir, const std::vector<std::string>& args,
                    const std::vector<std::string>& env) {
  ProcessRun run = RunTesselWithTimeout(dir, args, env, 120);
  if (run.timed_out) throw std::runtime_error("tessel did not end within 120 s in " + dir);
  return RunResult{run.out, run.status};
}

ProcessRun RunTesselWithTimeout(const std::string& dir, const std::vector<std::string>& args,
                                const std::vector<std::string>& env, int timeout_seconds) {
  return RunProcess(TesselSpec(dir, args, env, timeout_seconds));
}

#ifndef _WIN32
pid_t StartTessel(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  int timeout_seconds, int output_fd) {
  return StartProcess(TesselSpec(dir, args, env, timeout_seconds), output_fd);
}
#endif

ProcessRun RunTool(const std::string& binary, const std::string& dir, const std::vector<std::string>& args,
                   const std::vector<std::string>& env) {
  return RunProcess(ProcessSpec{binary, args, dir, EnvironmentWithout({"KORVO"}, env), 120});
}

std::string Banner() {
#ifdef _WIN32
  return "Tessel 32-bit for Win32 v3.0a\r\nWindows build, (c) 2026 the Tessel developers\r\n\r\n";
#else
  return "Tessel 32-bit for Win32 v3.0a\r\nLinux build, (c) 2026 the Tessel developers\r\n\r\n";
#endif
}

std::string Shown(std::string path) {
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
#endif
  return path;
}

std::string SharedDataDir() {
  std::error_code ignored;
  return std::filesystem::is_directory(TESSEL_SHARED_DATA, ignored) ? std::string(TESSEL_SHARED_DATA) : std::string();
}

}  // namespace tessel::test
