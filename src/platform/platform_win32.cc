// The real platform over Win32, the system the host itself runs on. Files
// are opened with read and write sharing, directories are searched with
// FindFirstFile and FindNextFile, file times become local time through
// FileTimeToLocalFileTime and FileTimeToSystemTime, and the error numbers
// are the system's own. Everything above this file sees host error numbers.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/helper_win32.h"
#include "platform/platform.h"
#include "platform/standard_calls.h"

namespace tessel {
namespace {

// The system's error number as the host reports it: the device errors
// 19 to 31 become 150 to 162 and a sharing violation (32) is an access
// denied (5), so a locked file reads like a read-only one.
int MapError(DWORD e) {
  if (e == ERROR_SHARING_VIOLATION) return kErrAccessDenied;
  if (e >= ERROR_WRITE_PROTECT && e <= ERROR_GEN_FAILURE) return static_cast<int>(e) + 131;
  if (e == 0 || e > 0x7fff) return kErrDeviceFault;
  return static_cast<int>(e);
}

int LastError() { return MapError(GetLastError()); }

// Open files by number: the handles live here, their slots are reused.
// The guard keeps the table (and the held locks below) whole where threads
// share the platform, as runs of the tests do.
std::vector<HANDLE> g_files;
std::mutex g_guard;

FileId Keep(HANDLE handle) {
  std::lock_guard<std::mutex> guard(g_guard);
  for (size_t i = 0; i < g_files.size(); ++i) {
    if (g_files[i] == INVALID_HANDLE_VALUE) {
      g_files[i] = handle;
      return static_cast<FileId>(i);
    }
  }
  g_files.push_back(handle);
  return static_cast<FileId>(g_files.size() - 1);
}

HANDLE Handle(FileId file) {
  std::lock_guard<std::mutex> guard(g_guard);
  if (file < 0 || static_cast<size_t>(file) >= g_files.size()) return INVALID_HANDLE_VALUE;
  return g_files[static_cast<size_t>(file)];
}

void Forget(FileId file) {
  std::lock_guard<std::mutex> guard(g_guard);
  g_files[static_cast<size_t>(file)] = INVALID_HANDLE_VALUE;
}

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens "path" and keeps it when it is a file on a disk (not a console, a
// pipe or a device such as NUL).
int OpenFile(const char* path, DWORD access, DWORD disposition, FileId* file) {
  *file = kNoFile;
  HANDLE h = CreateFileA(path, access, kShareReadWrite, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return kErrAccessDenied;
  }
  *file = Keep(h);
  return 0;
}

int WinOpenExisting(void*, const char* path, FileId* file) {
  // A read-only file is refused also where the system would let an
  // administrator (or Wine's root) write it.
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    *file = kNoFile;
    return kErrAccessDenied;
  }
  return OpenFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file);
}

int WinOpenRead(void*, const char* path, FileId* file) { return OpenFile(path, GENERIC_READ, OPEN_EXISTING, file); }

int WinCreate(void*, const char* path, FileId* file) {
  return OpenFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, file);
}

int WinRead(void*, FileId file, void* buffer, uint32_t size, uint32_t* moved) {
  HANDLE h = Handle(file);
  char* out = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!ReadFile(h, out + done, size - done, &n, nullptr)) {
      *moved = done;
      return h == INVALID_HANDLE_VALUE ? kErrBadHandle : LastError();
    }
    if (n == 0) break;  // end of file
    done += n;
  }
  *moved = done;
  return 0;
}

int WinWrite(void*, FileId file, const void* buffer, uint32_t size, uint32_t* moved) {
  HANDLE h = Handle(file);
  const char* in = static_cast<const char*>(buffer);
  uint32_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!WriteFile(h, in + done, size - done, &n, nullptr)) {
      *moved = done;
      return h == INVALID_HANDLE_VALUE ? kErrBadHandle : LastError();
    }
    if (n == 0) break;  // the caller sees the short count
    done += n;
  }
  *moved = done;
  return 0;
}

int WinSeek(void*, FileId file, int64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = position;
  if (!SetFilePointerEx(Handle(file), to, nullptr, FILE_BEGIN)) return LastError();
  return 0;
}

int WinSync(void*, FileId file) { return FlushFileBuffers(Handle(file)) ? 0 : LastError(); }

int WinClose(void*, FileId file) {
  HANDLE h = Handle(file);
  if (h == INVALID_HANDLE_VALUE) return kErrBadHandle;
  Forget(file);
  return CloseHandle(h) ? 0 : LastError();
}

int WinRemove(void*, const char* path) { return DeleteFileA(path) ? 0 : LastError(); }

int WinRename(void*, const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
}

// File times count 100-nanosecond steps from 1601-01-01 UTC.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

FILETIME ToFileTime(int64_t seconds) {
  uint64_t ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kUnixEpochTicks);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

int64_t FromFileTime(const FILETIME& time) {
  int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  int64_t since = ticks - kUnixEpochTicks;
  return since >= 0 ? since / kTicksPerSecond : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

int WinSetFileTime(void*, const char* path, int64_t time) {
  HANDLE h = CreateFileA(path, FILE_WRITE_ATTRIBUTES, kShareReadWrite | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  FILETIME write = ToFileTime(time);
  int error = SetFileTime(h, nullptr, nullptr, &write) ? 0 : LastError();
  CloseHandle(h);
  return error;
}

int WinCreateNew(void*, const char* path, FileId* file) {
  // CREATE_NEW fails on any entry of the name, a link included, and never
  // follows one.
  return OpenFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file);
}

int WinSetOpenFileTime(void*, FileId file, int64_t time) {
  FILETIME write = ToFileTime(time);
  return SetFileTime(Handle(file), nullptr, nullptr, &write) ? 0 : LastError();
}

int DescribeHandle(HANDLE h, FileInfo* info) {
  *info = FileInfo{};
  BY_HANDLE_FILE_INFORMATION found;
  if (!GetFileInformationByHandle(h, &found)) return LastError();
  info->device = found.dwVolumeSerialNumber;
  info->inode = (static_cast<uint64_t>(found.nFileIndexHigh) << 32) | found.nFileIndexLow;
  info->mtime = FromFileTime(found.ftLastWriteTime);
  info->size = static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  info->is_link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info->is_directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->is_regular = !info->is_link && !info->is_directory;
  info->link_count = found.nNumberOfLinks;
  return 0;
}

int WinOpenFileInfo(void*, FileId file, FileInfo* info) { return DescribeHandle(Handle(file), info); }

int WinEntryInfo(void*, const char* path, FileInfo* info) {
  // The entry itself: a reparse point (a link) is opened, not followed.
  HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareReadWrite | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *info = FileInfo{};
    return LastError();
  }
  int error = DescribeHandle(h, info);
  CloseHandle(h);
  // A link whose target is gone cannot be followed to its attributes.
  info->leads_nowhere = error == 0 && info->is_link && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
                        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
  return error;
}

uint32_t WinProcessId(void*) { return static_cast<uint32_t>(GetCurrentProcessId()); }

int WinRunHelper(void*, const HelperRun& run, std::string* output, HelperOutcome* outcome) {
  return Win32RunHelper(run, Handle(run.input), output, outcome);
}

// "dir" with a separator at its end, ready for a wildcard.
std::string SearchPattern(const char* dir) {
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\' && pattern.back() != ':') pattern += '/';
  return pattern + "*";
}

DirEntry EntryOf(const WIN32_FIND_DATAA& found) {
  DirEntry entry;
  entry.name = found.cFileName;
  DWORD attributes = found.dwFileAttributes;
  entry.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.is_regular = !entry.is_directory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  entry.hidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
  entry.mtime = FromFileTime(found.ftLastWriteTime);
  entry.size = entry.is_regular ? static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                                       found.nFileSizeLow)
                                : 0;
  return entry;
}

bool WinListDirectory(void*, const char* dir, std::vector<DirEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(SearchPattern(dir).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty root
  do {
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
    entries->push_back(EntryOf(found));
  } while (FindNextFileA(search, &found));
  bool ok = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!ok) entries->clear();
  return ok;
}

// The environment block as the process got it, read once.
const char* const* WinEnvironment(void*) {
  static std::vector<std::string> entries;
  static std::vector<const char*> pointers;
  if (pointers.empty()) {
    if (char* block = GetEnvironmentStringsA()) {
      for (const char* e = block; *e != '\0'; e += std::strlen(e) + 1) entries.emplace_back(e);
      FreeEnvironmentStringsA(block);
    }
    for (const std::string& entry : entries) pointers.push_back(entry.c_str());
    pointers.push_back(nullptr);
  }
  return pointers.data();
}

// The local time of a file time, to the second. The packing into the FAT
// form, with its clamping of years before 1980 and after 2107, is the
// caller's (as on Linux): FileTimeToDosDateTime fails for such years on
// Windows and, under Wine, wraps a year after 2107 to 1981, so a list dated
// far ahead would be chosen differently on each.
bool WinLocalTime(void*, int64_t time, LocalTime* local) {
  FILETIME utc = ToFileTime(time), here;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &here) || !FileTimeToSystemTime(&here, &parts)) return false;
  *local = LocalTime{parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond};
  return true;
}

// Bytes go to the standard output handle as they are: CR LF and backspaces
// reach a console or a pipe unchanged. A missing handle, or one that fails
// once, is given up for the rest of the run.
bool g_console_gone = false;

void WinWriteConsole(void*, const char* data, size_t size) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) g_console_gone = true;
  while (size > 0 && !g_console_gone) {
    DWORD n = 0;
    DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    if (!WriteFile(out, data, chunk, &n, nullptr) || n == 0) {
      g_console_gone = true;
      return;
    }
    data += n;
    size -= n;
  }
}

// Directory locks are named mutexes, one per directory (its volume and file
// index): Windows releases a mutex whose owner has ended, however it ended,
// and no lock file is left behind. A mutex is recursive within its owner,
// so the directories this process holds are remembered to keep a second
// lock of one directory out, as on Linux.
std::set<std::pair<uint64_t, uint64_t>> g_held;

int WinOpenLock(void*, const char* dir, DirectoryLock* lock) {
  *lock = DirectoryLock{};
  HANDLE h = CreateFileA(*dir == '\0' ? "." : dir, 0, kShareReadWrite | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  bool known = GetFileInformationByHandle(h, &info);
  int error = known ? 0 : LastError();
  CloseHandle(h);
  if (!known) return error;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return kErrPathNotFound;
  lock->device = info.dwVolumeSerialNumber;
  lock->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  char name[96];
  std::snprintf(name, sizeof name, "Global\\tessel-directory-%llx-%llx", static_cast<unsigned long long>(lock->device),
                static_cast<unsigned long long>(lock->inode));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return LastError();
  lock->handle = Keep(mutex);
  return 0;
}

int WinTryLock(void*, DirectoryLock* lock, bool* taken) {
  *taken = false;
  HANDLE mutex = Handle(lock->handle);
  std::lock_guard<std::mutex> guard(g_guard);
  if (g_held.count({lock->device, lock->inode}) != 0) return 0;
  DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_TIMEOUT) return 0;
  if (waited == WAIT_FAILED) return LastError();
  // WAIT_ABANDONED: its last owner ended without releasing it.
  g_held.insert({lock->device, lock->inode});
  lock->held = true;
  *taken = true;
  return 0;
}

void WinCloseLock(void*, DirectoryLock* lock) {
  if (lock->handle < 0) return;
  HANDLE mutex = Handle(lock->handle);
  if (lock->held) {
    std::lock_guard<std::mutex> guard(g_guard);
    ReleaseMutex(mutex);
    g_held.erase({lock->device, lock->inode});
  }
  Forget(lock->handle);
  CloseHandle(mutex);
  *lock = DirectoryLock{};
}

void WinSleep(void*, uint32_t milliseconds) { Sleep(milliseconds); }


}  // namespace

bool DriveUnmapped(const Platform&, std::string_view, std::string* prefix) {
  prefix->clear();
  return false;
}

const Platform& NativePlatform() {
  static const Platform kPlatform = {
      .ctx = nullptr,
      .open_existing = WinOpenExisting,
      .open_read = WinOpenRead,
      .create = WinCreate,
      .read = WinRead,
      .write = WinWrite,
      .seek = WinSeek,
      .sync = WinSync,
      .close = WinClose,
      .remove = WinRemove,
      .rename = WinRename,
      .set_file_time = WinSetFileTime,
      .create_new = WinCreateNew,
      .set_open_file_time = WinSetOpenFileTime,
      .open_file_info = WinOpenFileInfo,
      .entry_info = WinEntryInfo,
      .process_id = WinProcessId,
      .run_helper = WinRunHelper,
      .list_directory = WinListDirectory,
      .environment = WinEnvironment,
      .local_time = WinLocalTime,
      .write_console = WinWriteConsole,
      .open_lock = WinOpenLock,
      .try_lock = WinTryLock,
      .close_lock = WinCloseLock,
      .sleep = WinSleep,
      .prepare_memory = nullptr,
      .absolute_path = StandardAbsolutePath,
      .now = StandardNow,
  };
  return kPlatform;
}

void PrepareProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace tessel
