// Helper processes for work on hostile input, on Win32: a child started
// suspended with nothing but its three standard handles inherited, put in
// a job object of its own before it runs (processor time, committed
// memory, one process, everything killed when the job closes), and killed
// from outside when it runs too long or says too much.
#include "platform/helper_win32.h"

#include <windows.h>

#include <string>
#include <vector>

namespace tessel {
namespace {

// The helper's file: beside this program, else in ..\libexec\tessel.
// When there is none, "*searched" names the places looked in.
std::string HelperPath(const char* program, std::string* searched) {
  char self[4096];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) {
    *searched = "beside this program, whose own file name cannot be had";
    return std::string();
  }
  std::string dir(self, n);
  dir.erase(dir.find_last_of("\\/") + 1);
  std::string file = std::string(program) + ".exe";
  for (std::string path : {dir + file, dir + "..\\libexec\\tessel\\" + file}) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return path;
    *searched += (searched->empty() ? "" : " and ") + path;
  }
  return std::string();
}

// One word of a command line, quoted so that the C runtime's parser gives
// it back as it is: backslashes are doubled only before a quote.
void AppendWord(const std::string& word, std::string* line) {
  if (!line->empty()) *line += ' ';
  *line += '"';
  size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line->append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, '\\');
  *line += '"';
}

int SystemError() {
  DWORD e = GetLastError();
  return e == 0 || e > 0x7fff ? kErrDeviceFault : static_cast<int>(e);
}

// The handles a run owns; Close() lets go of every one still held.
struct HelperHandles {
  HANDLE in = nullptr, out_read = nullptr, out_write = nullptr, err = nullptr;
  HANDLE job = nullptr, port = nullptr, process = nullptr, reader = nullptr;
  void Close() {
    for (HANDLE* h : {&in, &out_read, &out_write, &err, &job, &port, &process, &reader}) {
      if (*h != nullptr && *h != INVALID_HANDLE_VALUE) CloseHandle(*h);
      *h = nullptr;
    }
  }
};

// The child's standard handles, inheritable, and the pipe's end kept here,
// not inheritable. Standard input is the archive ("input"), or NUL.
int MakeStandardHandles(HANDLE input, HelperHandles* h) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE self = GetCurrentProcess();
  bool in_ok = input != INVALID_HANDLE_VALUE && input != nullptr
                   ? DuplicateHandle(self, input, self, &h->in, 0, TRUE, DUPLICATE_SAME_ACCESS) != 0
                   : (h->in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          OPEN_EXISTING, 0, nullptr)) != INVALID_HANDLE_VALUE;
  if (!in_ok) return SystemError();
  h->err = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  if (h->err == INVALID_HANDLE_VALUE) return SystemError();
  if (!CreatePipe(&h->out_read, &h->out_write, &inherit, 1 << 20)) return SystemError();
  if (!SetHandleInformation(h->out_read, HANDLE_FLAG_INHERIT, 0)) return SystemError();
  return 0;
}

// A job that holds one process at most, ends it at "run"'s processor time,
// limits its committed memory, and kills it when the last handle to the
// job closes; its notices go to a completion port.
int MakeJob(const HelperRun& run, HelperHandles* h) {
  h->job = CreateJobObjectA(nullptr, nullptr);
  if (h->job == nullptr) return SystemError();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  JOBOBJECT_BASIC_LIMIT_INFORMATION& basic = limits.BasicLimitInformation;
  basic.LimitFlags = JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_JOB_TIME |
                     JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  basic.ActiveProcessLimit = 1;
  basic.PerJobUserTimeLimit.QuadPart = static_cast<LONGLONG>(run.cpu_seconds) * 10'000'000;
  if (run.address_space != 0) {
    basic.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(run.address_space);
  }
  if (!SetInformationJobObject(h->job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    return SystemError();
  }
  h->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (h->port == nullptr) return SystemError();
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT notices = {h->job, h->port};
  if (!SetInformationJobObject(h->job, JobObjectAssociateCompletionPortInformation, &notices, sizeof notices)) {
    return SystemError();
  }
  return 0;
}

// Starts the child suspended with only its standard handles inherited,
// puts it in the job, then lets it run.
int StartChild(const std::string& path, const HelperRun& run, HelperHandles* h) {
  std::string line;
  AppendWord(path, &line);
  for (const std::string& arg : run.args) AppendWord(arg, &line);
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attribute_space(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_space.data());
  HANDLE inherited[3] = {h->in, h->out_write, h->err};
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return SystemError();
  STARTUPINFOEXA start = {};
  start.StartupInfo.cb = sizeof start;
  start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  start.StartupInfo.hStdInput = h->in;
  start.StartupInfo.hStdOutput = h->out_write;
  start.StartupInfo.hStdError = h->err;
  start.lpAttributeList = attributes;
  PROCESS_INFORMATION child = {};
  std::string dir = path.substr(0, path.find_last_of('\\') + 1);
  bool started = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                           sizeof inherited, nullptr, nullptr) &&
                 CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE,
                                CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                dir.c_str(), &start.StartupInfo, &child);
  int error = started ? 0 : SystemError();
  DeleteProcThreadAttributeList(attributes);
  if (!started) return error;
  h->process = child.hProcess;
  if (!AssignProcessToJobObject(h->job, child.hProcess)) {
    error = SystemError();
    TerminateProcess(child.hProcess, 1);
  } else {
    ResumeThread(child.hThread);
  }
  CloseHandle(child.hThread);
  return error;
}

// The reading thread: takes the child's output until its end closes or
// more than "limit" bytes come.
struct Collector {
  HANDLE pipe;
  size_t limit;
  std::string* output;
  bool overflow = false;
};

DWORD WINAPI Collect(void* context) {
  auto* c = static_cast<Collector*>(context);
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(c->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    if (c->output->size() + n > c->limit) {
      c->overflow = true;
      break;
    }
    c->output->append(buffer, n);
  }
  return 0;
}

// Waits for "object" until "deadline" (GetTickCount64); false on time-out.
bool WaitUntil(HANDLE object, ULONGLONG deadline) {
  ULONGLONG now = GetTickCount64();
  DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  return WaitForSingleObject(object, wait) == WAIT_OBJECT_0;
}

// Whether the job's notices tell that a limit of processor time or memory
// was reached.
bool LimitReached(HANDLE port) {
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED detail = nullptr;
  bool reached = false;
  while (GetQueuedCompletionStatus(port, &message, &key, &detail, 0)) {
    reached = reached || message == JOB_OBJECT_MSG_END_OF_JOB_TIME ||
              message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT || message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT;
  }
  return reached;
}

// Collects the child's output under the deadline and waits for its end;
// "whole" is false when it was killed for its time or its output.
bool Supervise(const HelperRun& run, ULONGLONG deadline, HelperHandles* h, std::string* output,
               HelperOutcome* outcome) {
  Collector collector = {h->out_read, run.max_output, output};
  h->reader = CreateThread(nullptr, 0, Collect, &collector, 0, nullptr);
  if (h->reader == nullptr) Collect(&collector);
  bool whole = h->reader == nullptr || WaitUntil(h->reader, deadline);
  outcome->timed_out = !whole;
  // A child that closed its output may still be running: the deadline
  // holds until it has ended.
  if (whole && !collector.overflow && !WaitUntil(h->process, deadline)) outcome->timed_out = true;
  whole = whole && !collector.overflow && !outcome->timed_out;
  if (!whole) TerminateJobObject(h->job, 1);
  WaitForSingleObject(h->process, INFINITE);
  if (h->reader != nullptr && WaitForSingleObject(h->reader, 2000) != WAIT_OBJECT_0) {
    CancelSynchronousIo(h->reader);
    WaitForSingleObject(h->reader, INFINITE);
  }
  outcome->output_overflow = collector.overflow;
  return whole;
}

}  // namespace

int Win32RunHelper(const HelperRun& run, HANDLE input, std::string* output, HelperOutcome* outcome) {
  *outcome = HelperOutcome{};
  output->clear();
  std::string path = HelperPath(run.program, &outcome->searched);
  if (path.empty()) return kErrFileNotFound;
  HelperHandles h;
  int error = MakeStandardHandles(input, &h);
  if (error == 0) error = MakeJob(run, &h);
  ULONGLONG start = GetTickCount64();
  if (error == 0) error = StartChild(path, run, &h);
  // Only the child holds the pipe's writing end now: its end is the end of
  // the output.
  for (HANDLE* mine : {&h.in, &h.out_write, &h.err}) {
    if (*mine != nullptr && *mine != INVALID_HANDLE_VALUE) CloseHandle(*mine);
    *mine = nullptr;
  }
  if (error != 0) {
    h.Close();
    return error;
  }
  bool whole = Supervise(run, start + run.wall_ms, &h, output, outcome);
  DWORD code = 0;
  GetExitCodeProcess(h.process, &code);
  bool limit = LimitReached(h.port);
  outcome->elapsed_ms = static_cast<uint32_t>(GetTickCount64() - start);
  outcome->over_limit = whole && limit && code != 0;
  // An exception's status (0xC0000005 and the like) is no exit of its own.
  outcome->exit_status = whole && !outcome->over_limit && code < 0xC0000000 ? static_cast<int>(code) : -1;
  if (!whole) output->clear();
  h.Close();
  return 0;
}

}  // namespace tessel
