// The process runner on Windows: CreateProcess with pipes for standard
// output and error, an environment block of its own and a time limit.
#ifdef _WIN32
#include <windows.h>

#include <cctype>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "testing/process_runner.h"

namespace tessel::test {
namespace {

std::string UpperName(const std::string& entry) {
  std::string name = entry.substr(0, entry.find('=', 1));  // "=C:=C:\x" names "=C:"
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// One argument as the C runtime's command-line parser takes it back.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

void Drain(HANDLE pipe, std::string* sink) {
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) sink->append(buffer, n);
  CloseHandle(pipe);
}

void MakePipe(HANDLE* read_end, HANDLE* write_end) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(read_end, write_end, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names,
                                            const std::vector<std::string>& added) {
  std::vector<std::string> environment;
  char* block = GetEnvironmentStringsA();
  for (const char* e = block; e != nullptr && *e != '\0'; e += std::strlen(e) + 1) {
    std::string entry = e;
    bool dropped = false;
    for (const std::string& name : names) dropped = dropped || UpperName(entry) == UpperName(name);
    if (!dropped) environment.push_back(entry);
  }
  if (block != nullptr) FreeEnvironmentStringsA(block);
  environment.insert(environment.end(), added.begin(), added.end());
  return environment;
}

namespace {

// Starts the program with its output and error going to the two handles and
// its input from NUL. Returns its process handle; throws when it cannot.
HANDLE StartChild(const ProcessSpec& process, HANDLE out, HANDLE err) {
  char binary[MAX_PATH];
  if (GetFullPathNameA(process.binary.c_str(), MAX_PATH, binary, nullptr) == 0) throw std::runtime_error("binary path");
  std::string command = Quoted(binary);
  for (const std::string& arg : process.args) {
    command += ' ';
    command += Quoted(arg);
  }
  std::string environment;
  for (const std::string& entry : process.environment) environment.append(entry).push_back('\0');
  environment.push_back('\0');
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = input;
  start.hStdOutput = out;
  start.hStdError = err;
  PROCESS_INFORMATION child = {};
  BOOL started = CreateProcessA(binary, command.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                                process.dir.empty() ? nullptr : process.dir.c_str(), &start, &child);
  CloseHandle(input);
  if (!started) throw std::runtime_error("CreateProcess " + process.binary);
  CloseHandle(child.hThread);
  return child.hProcess;
}

}  // namespace

ProcessRun RunProcess(const ProcessSpec& process) {
  HANDLE out_read, out_write, err_read, err_write;
  MakePipe(&out_read, &out_write);
  MakePipe(&err_read, &err_write);
  HANDLE child = nullptr;
  try {
    child = StartChild(process, out_write, err_write);
  } catch (...) {
    for (HANDLE h : {out_read, out_write, err_read, err_write}) CloseHandle(h);
    throw;
  }
  CloseHandle(out_write);
  CloseHandle(err_write);
  ProcessRun result;
  std::thread out_thread(Drain, out_read, &result.out);
  std::thread err_thread(Drain, err_read, &result.err);
  DWORD waited = WaitForSingleObject(child, static_cast<DWORD>(process.timeout_seconds) * 1000);
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(child, 1);
    WaitForSingleObject(child, INFINITE);
    result.timed_out = true;
  }
  out_thread.join();
  err_thread.join();
  DWORD code = 0;
  if (!result.timed_out && GetExitCodeProcess(child, &code)) {
    // An exception that ended the process (0xC0000005, ...) stands for a signal.
    if (code >= 0xC0000000u) {
      result.signal = static_cast<int>(code & 0xffff);
    } else {
      result.status = static_cast<int>(code);
    }
  }
  CloseHandle(child);
  return result;
}

}  // namespace tessel::test

#endif  // _WIN32
