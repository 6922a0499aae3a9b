// The real platform over POSIX: files, directories, the environment, local
// time, the console and the directory locks, each call giving host error
// numbers. Helper processes are in helper_posix.cc, the absolute path and the
// clock in standard_calls.cc, Wine's drive letters in wine_drives.cc.
//
// What the layer remembers between calls lives in its context (PosixState):
// the positions of positioned files and the read-ahead window, under one
// mutex since runs on several threads may share the table, and the time
// zone last converted with. The Wine prefix is read from the environment
// the table gives.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/helper_posix.h"
#include "platform/platform.h"
#include "platform/standard_calls.h"
#include "platform/wine_drives.h"

extern "C" char** environ;

namespace tessel {
namespace {

// Maps an errno value to a host error number. ELOOP counts as a path that
// cannot be resolved (3), like a missing or non-directory component.
int MapErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
      return kErrAccessDenied;
    case EBADF:
      return kErrBadHandle;
    case ENOMEM:
      return kErrNoMemory;
    case EXDEV:
      return kErrNotSameDevice;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrShortWrite;
    default:
      return kErrDeviceFault;
  }
}

int LastError() { return MapErrno(errno); }

// The process environment, as the table gives it.
const char* const* PosixEnvironment(void*) {
  static const char* const kEmpty[] = {nullptr};
  if (environ == nullptr) return kEmpty;
  return environ;
}

// The path the system knows "path" by: one with a drive letter through the
// Wine prefix, any other as it is. "storage" holds a resolved path.
const char* Native(const char* path, std::string* storage) {
  if (!HasDriveLetter(path)) return path;
  *storage = ResolveWineDrive(path, WinePrefix(PosixEnvironment(nullptr)));
  return storage->c_str();
}

// Small reads that step forward through a positioned file a little at a
// time (the sysop-name passes pick their records out of the temporary file
// a run at a time, most runs a record or two with a few others between)
// are served from one stretch of the file read ahead, rather than with a
// system call each. That pays while the reads come close together: a
// window costs about as much as four small reads, so it is used while the
// bytes skipped between small reads average under a quarter of it. The
// window belongs to one file at a time and is dropped when that file is
// written, closed or opened anew.
constexpr uint32_t kWindowBytes = 16384;
constexpr uint32_t kSmallRead = 512;  // larger reads always go to the file
constexpr int64_t kNearby = kWindowBytes / 4;
constexpr int64_t kFarGap = 1 << 20;

// Positions of files that have been positioned once, kept here from then
// on: their reads and writes name the offset (pread, pwrite), so that a
// repositioning (the orderings make one before most reads of the temporary
// file) costs no system call of its own.
struct FilePosition {
  bool kept = false;
  int64_t offset = 0;
  int64_t last_read_end = -1;  // where the last read of the file ended
  int64_t mean_gap = kFarGap;  // bytes skipped between recent small reads, averaged
};
constexpr int kKeptPositions = 64;  // descriptors beyond fall back to lseek

struct ReadWindow {
  FileId file = kNoFile;
  int64_t start = 0;
  uint32_t length = 0;
  char bytes[kWindowBytes];
};

// The layer's memory between calls: the table's context.
struct PosixState {
  std::mutex guard;  // over positions and window
  FilePosition positions[kKeptPositions];
  ReadWindow window;
  // The time zone of the last conversion (see PosixLocalTime).
  std::mutex zone_guard;
  bool converted = false;
  bool tz_set = false;
  std::string tz_value;
};

PosixState* State(void* ctx) { return static_cast<PosixState*>(ctx); }

FilePosition* KeptPosition(PosixState* state, FileId file) {
  if (file < 0 || file >= kKeptPositions || !state->positions[file].kept) return nullptr;
  return &state->positions[file];
}

void ForgetPosition(PosixState* state, FileId file) {
  std::lock_guard<std::mutex> hold(state->guard);
  if (file >= 0 && file < kKeptPositions) state->positions[file] = FilePosition{};
  if (state->window.file == file) state->window.file = kNoFile;
}

// Serves a small read of a positioned file from the window, reading the
// window afresh when the read lies beyond it while small reads come close
// together. Returns false, having read nothing, when the read is to go to
// the file itself.
bool ReadThroughWindow(ReadWindow* window, FileId file, FilePosition* kept, char* out, uint32_t size, uint32_t* moved,
                       int* error) {
  int64_t offset = kept->offset;
  int64_t gap = kept->last_read_end >= 0 && offset >= kept->last_read_end ? offset - kept->last_read_end : kFarGap;
  kept->mean_gap = (3 * kept->mean_gap + std::min(gap, kFarGap)) / 4;
  bool inside = window->file == file && offset >= window->start &&
                offset + size <= window->start + window->length;
  if (!inside) {
    if (kept->mean_gap > kNearby) return false;
    ssize_t n;
    do {
      n = ::pread(file, window->bytes, kWindowBytes, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    window->file = kNoFile;
    if (n < 0) {
      *error = LastError();
      *moved = 0;
      return true;
    }
    window->file = file;
    window->start = offset;
    window->length = static_cast<uint32_t>(n);
  }
  // A window shorter than the read ends at the end of the file.
  int64_t available = window->start + window->length - offset;
  uint32_t count = available < static_cast<int64_t>(size) ? static_cast<uint32_t>(available) : size;
  std::memcpy(out, window->bytes + (offset - window->start), count);
  kept->offset += count;
  kept->last_read_end = kept->offset;
  *moved = count;
  *error = 0;
  return true;
}

// Opens "path" with "flags", retrying when a signal interrupts the call.
int OpenRetrying(const char* path, int flags, mode_t mode, int* fd) {
  do {
    *fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (*fd < 0 && errno == EINTR);
  return *fd < 0 ? LastError() : 0;
}

// A file just opened as "fd" starts with no kept position: one the number
// had before belonged to a file since closed.
int Opened(void* ctx, int fd, FileId* file) {
  ForgetPosition(State(ctx), fd);
  *file = fd;
  return 0;
}

int PosixOpenExisting(void* ctx, const char* given_path, FileId* file) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  *file = kNoFile;
  // Decide access from the permission bits rather than from what open()
  // allows: the superuser could otherwise write files marked read-only.
  struct stat st;
  if (::stat(path, &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return kErrAccessDenied;
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return kErrAccessDenied;
  // A FIFO holds no data to read: the first read would wait forever.
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return kErrAccessDenied;
  int fd;
  if (int error = OpenRetrying(path, O_RDWR, 0, &fd)) return error;
  return Opened(ctx, fd, file);
}

int PosixOpenRead(void* ctx, const char* given_path, FileId* file) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  *file = kNoFile;
  // Non-blocking so that a FIFO without a writer does not stall the open;
  // such a file is refused right after.
  int fd;
  if (int error = OpenRetrying(path, O_RDONLY | O_NONBLOCK, 0, &fd)) return error;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = LastError();
    ::close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return kErrAccessDenied;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    int error = LastError();
    ::close(fd);
    return error;
  }
  return Opened(ctx, fd, file);
}

int PosixCreate(void* ctx, const char* given_path, FileId* file) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  *file = kNoFile;
  int fd;
  if (int error = OpenRetrying(path, O_RDWR | O_CREAT | O_TRUNC, 0666, &fd)) return error;
  // A FIFO of that name is opened rather than replaced, and writes to it
  // stall once its buffer is full: refuse it.
  struct stat st;
  int error = ::fstat(fd, &st) != 0 ? LastError() : S_ISFIFO(st.st_mode) ? kErrAccessDenied : 0;
  if (error != 0) {
    ::close(fd);
    return error;
  }
  return Opened(ctx, fd, file);
}

int PosixRead(void* ctx, FileId file, void* buffer, uint32_t size, uint32_t* moved) {
  char* out = static_cast<char*>(buffer);
  PosixState* state = State(ctx);
  std::lock_guard<std::mutex> hold(state->guard);
  FilePosition* kept = KeptPosition(state, file);
  if (kept != nullptr && size <= kSmallRead) {
    int error = 0;
    if (ReadThroughWindow(&state->window, file, kept, out, size, moved, &error)) return error;
  }
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = kept != nullptr ? ::pread(file, out + done, size - done, static_cast<off_t>(kept->offset + done))
                                : ::read(file, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (kept != nullptr) kept->offset += done;
      *moved = done;
      return LastError();
    }
    if (n == 0) break;  // end of file
    done += static_cast<uint32_t>(n);
  }
  if (kept != nullptr) {
    kept->offset += done;
    kept->last_read_end = kept->offset;
  }
  *moved = done;
  return 0;
}

int PosixWrite(void* ctx, FileId file, const void* buffer, uint32_t size, uint32_t* moved) {
  const char* in = static_cast<const char*>(buffer);
  PosixState* state = State(ctx);
  std::lock_guard<std::mutex> hold(state->guard);
  FilePosition* kept = KeptPosition(state, file);
  if (state->window.file == file) state->window.file = kNoFile;
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = kept != nullptr ? ::pwrite(file, in + done, size - done, static_cast<off_t>(kept->offset + done))
                                : ::write(file, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (kept != nullptr) kept->offset += done;
      *moved = done;
      return LastError();
    }
    if (n == 0) break;  // the caller sees the short count
    done += static_cast<uint32_t>(n);
  }
  if (kept != nullptr) kept->offset += done;
  *moved = done;
  return 0;
}

int PosixSeek(void* ctx, FileId file, int64_t position) {
  PosixState* state = State(ctx);
  std::lock_guard<std::mutex> hold(state->guard);
  if (FilePosition* kept = KeptPosition(state, file)) {
    if (position < 0) return MapErrno(EINVAL);
    kept->offset = position;
    return 0;
  }
  // The first repositioning asks the system, which also tells whether the
  // file can be positioned at all.
  if (::lseek(file, static_cast<off_t>(position), SEEK_SET) < 0) return LastError();
  if (file >= 0 && file < kKeptPositions) state->positions[file] = FilePosition{true, position};
  return 0;
}

int PosixSync(void*, FileId file) {
  while (::fsync(file) != 0) {
    if (errno != EINTR) return LastError();
  }
  return 0;
}

int PosixClose(void* ctx, FileId file) {
  // Linux releases the descriptor even when close() is interrupted, so a
  // retry could close an unrelated file.
  ForgetPosition(State(ctx), file);
  if (::close(file) != 0 && errno != EINTR) return LastError();
  return 0;
}

int PosixRemove(void*, const char* given_path) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  if (::unlink(path) != 0) return LastError();
  return 0;
}

// The directory that holds "path": "." for a bare name, "/" for "/name".
std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int PosixRename(void*, const char* given_from, const char* given_to) {
  std::string from_storage, to_storage;
  const char* from = Native(given_from, &from_storage);
  const char* to = Native(given_to, &to_storage);
  if (::rename(from, to) != 0) return LastError();
  // Make the new name durable too. The rename itself has happened, so a
  // failure here is not reported.
  int dir;
  if (OpenRetrying(ParentOf(to).c_str(), O_RDONLY | O_DIRECTORY, 0, &dir) == 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

int PosixSetFileTime(void*, const char* given_path, int64_t time) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(time);
  times[1].tv_nsec = 0;
  if (::utimensat(AT_FDCWD, path, times, 0) != 0) return LastError();
  return 0;
}

int PosixCreateNew(void* ctx, const char* given_path, FileId* file) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  *file = kNoFile;
  int fd;
  // O_EXCL with O_CREAT fails on any entry of the name, a link included,
  // and never follows one; O_NOFOLLOW says so once more.
  if (OpenRetrying(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666, &fd) != 0) {
    return errno == EEXIST ? kErrFileExists : LastError();
  }
  return Opened(ctx, fd, file);
}

int PosixSetOpenFileTime(void*, FileId file, int64_t time) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time);
  times[1].tv_nsec = 0;
  if (::futimens(file, times) != 0) return LastError();
  return 0;
}

void DescribeFile(const struct stat& st, FileInfo* info) {
  info->device = static_cast<uint64_t>(st.st_dev);
  info->inode = static_cast<uint64_t>(st.st_ino);
  info->mtime = static_cast<int64_t>(st.st_mtime);
  info->size = static_cast<int64_t>(st.st_size);
  info->is_regular = S_ISREG(st.st_mode);
  info->is_directory = S_ISDIR(st.st_mode);
  info->is_fifo = S_ISFIFO(st.st_mode);
  info->is_link = S_ISLNK(st.st_mode);
  info->link_count = static_cast<uint32_t>(st.st_nlink);
}

int PosixOpenFileInfo(void*, FileId file, FileInfo* info) {
  *info = FileInfo{};
  struct stat st;
  if (::fstat(file, &st) != 0) return LastError();
  DescribeFile(st, info);
  return 0;
}

int PosixEntryInfo(void*, const char* given_path, FileInfo* info) {
  std::string storage;
  const char* path = Native(given_path, &storage);
  *info = FileInfo{};
  struct stat st;
  if (::lstat(path, &st) != 0) return LastError();
  DescribeFile(st, info);
  struct stat target;
  info->leads_nowhere = info->is_link && ::stat(path, &target) != 0 && errno == ENOENT;
  return 0;
}

uint32_t PosixProcessId(void*) { return static_cast<uint32_t>(::getpid()); }

bool PosixListDirectory(void*, const char* given_dir, std::vector<DirEntry>* entries) {
  std::string storage;
  const char* dir = Native(given_dir, &storage);
  entries->clear();
  DIR* stream = ::opendir(*dir == '\0' ? "." : dir);
  if (stream == nullptr) return false;
  int fd = ::dirfd(stream);
  for (;;) {
    errno = 0;
    const struct dirent* item = ::readdir(stream);
    if (item == nullptr) {
      bool ok = errno == 0;
      ::closedir(stream);
      if (!ok) entries->clear();
      return ok;
    }
    if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
    DirEntry entry;
    entry.name = item->d_name;
    struct stat st;
    if (::fstatat(fd, item->d_name, &st, 0) == 0) {
      entry.is_regular = S_ISREG(st.st_mode);
      entry.is_directory = S_ISDIR(st.st_mode);
      entry.mtime = static_cast<int64_t>(st.st_mtime);
      entry.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    } else if (::fstatat(fd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      // A link to nothing: listed, but neither a file nor a directory.
      entry.mtime = static_cast<int64_t>(st.st_mtime);
    }
    entries->push_back(std::move(entry));
  }
}


bool PosixLocalTime(void* ctx, int64_t time, LocalTime* local) {
  // Follow changes of TZ: the C library would otherwise keep the zone of
  // its first conversion. tzset() runs only when TZ has changed, because
  // with TZ unset it checks /etc/localtime on the disk at every call, and
  // the newest-file search converts the time of every numbered nodelist.
  PosixState* state = State(ctx);
  {
    std::lock_guard<std::mutex> hold(state->zone_guard);
    const char* tz = std::getenv("TZ");
    if (!state->converted || (tz != nullptr) != state->tz_set || (tz != nullptr && state->tz_value != tz)) {
      ::tzset();
      state->converted = true;
      state->tz_set = tz != nullptr;
      state->tz_value = tz != nullptr ? tz : "";
    }
  }
  time_t t = static_cast<time_t>(time);
  if (static_cast<int64_t>(t) != time) return false;
  struct tm tm;
  if (::localtime_r(&t, &tm) == nullptr) return false;
  if (tm.tm_year > INT_MAX - 1900) return false;
  local->year = tm.tm_year + 1900;
  local->month = tm.tm_mon + 1;
  local->day = tm.tm_mday;
  local->hour = tm.tm_hour;
  local->minute = tm.tm_min;
  local->second = tm.tm_sec;
  return true;
}

// Once a write to the console fails (its reader has gone, the device is
// full or hung up), later output is dropped without trying. A console that
// is only busy (non-blocking and full) loses just that text.
bool g_console_gone = false;

void PosixWriteConsole(void*, const char* data, size_t size) {
  while (size > 0 && !g_console_gone) {
    ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      g_console_gone = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);  // nowhere to report it
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

int PosixOpenLock(void*, const char* given_dir, DirectoryLock* lock) {
  std::string storage;
  const char* dir = Native(given_dir, &storage);
  *lock = DirectoryLock{};
  int fd;
  if (int error = OpenRetrying(*dir == '\0' ? "." : dir, O_RDONLY | O_DIRECTORY, 0, &fd)) return error;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = LastError();
    ::close(fd);
    return error;
  }
  lock->handle = fd;
  lock->device = static_cast<uint64_t>(st.st_dev);
  lock->inode = static_cast<uint64_t>(st.st_ino);
  return 0;
}

// flock() locks belong to the open directory, so they go when the process
// ends, also when it is killed, and no lock file is ever left behind.
int PosixTryLock(void*, DirectoryLock* lock, bool* taken) {
  *taken = false;
  while (::flock(lock->handle, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return 0;
    if (errno != EINTR) return LastError();
  }
  lock->held = true;
  *taken = true;
  return 0;
}

void PosixCloseLock(void*, DirectoryLock* lock) {
  if (lock->handle < 0) return;
  // Closing the only descriptor of the open directory releases its lock.
  ::close(lock->handle);
  *lock = DirectoryLock{};
}

void PosixSleep(void*, uint32_t milliseconds) {
  struct timespec left = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1'000'000};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// A page fault for every page a block touches first costs far more than
// having the system fill the block's whole pages in one call (on virtual
// machines ten times more). Systems without the call fault as before.
void PosixPrepareMemory(void*, void* block, size_t size) {
#if defined(MADV_POPULATE_WRITE)
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(page - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)block;
  (void)size;
#endif
}


// A drive path through the Wine prefix (made absolute, for a prefix given
// relative); one that no prefix maps stays as it is, drive letter and all.
std::string PosixAbsolutePath(void* ctx, std::string_view path) {
  if (!HasDriveLetter(path)) return StandardAbsolutePath(ctx, path);
  std::string resolved = ResolveWineDrive(path, WinePrefix(PosixEnvironment(ctx)));
  return HasDriveLetter(resolved) ? resolved : StandardAbsolutePath(ctx, resolved);
}

}  // namespace

bool DriveUnmapped(const Platform& platform, std::string_view path, std::string* prefix) {
  *prefix = WinePrefix(platform.environment(platform.ctx));
  return HasDriveLetter(path) && HasDriveLetter(ResolveWineDrive(path, *prefix));
}

const Platform& PosixPlatform() {
  static PosixState state;
  static const Platform kPlatform = {
      .ctx = &state,
      .open_existing = PosixOpenExisting,
      .open_read = PosixOpenRead,
      .create = PosixCreate,
      .read = PosixRead,
      .write = PosixWrite,
      .seek = PosixSeek,
      .sync = PosixSync,
      .close = PosixClose,
      .remove = PosixRemove,
      .rename = PosixRename,
      .set_file_time = PosixSetFileTime,
      .create_new = PosixCreateNew,
      .set_open_file_time = PosixSetOpenFileTime,
      .open_file_info = PosixOpenFileInfo,
      .entry_info = PosixEntryInfo,
      .process_id = PosixProcessId,
      .run_helper = PosixRunHelper,
      .list_directory = PosixListDirectory,
      .environment = PosixEnvironment,
      .local_time = PosixLocalTime,
      .write_console = PosixWriteConsole,
      .open_lock = PosixOpenLock,
      .try_lock = PosixTryLock,
      .close_lock = PosixCloseLock,
      .sleep = PosixSleep,
      .prepare_memory = PosixPrepareMemory,
      .absolute_path = PosixAbsolutePath,
      .now = StandardNow,
  };
  return kPlatform;
}

const Platform& NativePlatform() { return PosixPlatform(); }

void PrepareProcess() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is "fd" itself, since those below are open.
    int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tessel
