// The real platform over POSIX. This is the only file that speaks to the
// operating system directly; everything above it sees host error numbers.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"

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
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrShortWrite;
    default:
      return kErrDeviceFault;
  }
}

int LastError() { return MapErrno(errno); }

// Opens "path" with "flags", retrying when a signal interrupts the call.
int OpenRetrying(const char* path, int flags, mode_t mode, int* fd) {
  do {
    *fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (*fd < 0 && errno == EINTR);
  return *fd < 0 ? LastError() : 0;
}

int PosixOpenExisting(void*, const char* path, FileId* file) {
  *file = kNoFile;
  // Decide access from the permission bits rather than from what open()
  // allows: the superuser could otherwise write files marked read-only.
  struct stat st;
  if (::stat(path, &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return kErrAccessDenied;
  if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return kErrAccessDenied;
  int fd;
  if (int error = OpenRetrying(path, O_RDWR, 0, &fd)) return error;
  *file = fd;
  return 0;
}

int PosixOpenRead(void*, const char* path, FileId* file) {
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
  *file = fd;
  return 0;
}

int PosixCreate(void*, const char* path, FileId* file) {
  *file = kNoFile;
  int fd;
  if (int error = OpenRetrying(path, O_RDWR | O_CREAT | O_TRUNC, 0666, &fd)) return error;
  *file = fd;
  return 0;
}

int PosixRead(void*, FileId file, void* buffer, uint32_t size, uint32_t* moved) {
  char* out = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = ::read(file, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *moved = done;
      return LastError();
    }
    if (n == 0) break;  // end of file
    done += static_cast<uint32_t>(n);
  }
  *moved = done;
  return 0;
}

int PosixWrite(void*, FileId file, const void* buffer, uint32_t size, uint32_t* moved) {
  const char* in = static_cast<const char*>(buffer);
  uint32_t done = 0;
  while (done < size) {
    ssize_t n = ::write(file, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *moved = done;
      return LastError();
    }
    if (n == 0) break;  // the caller sees the short count
    done += static_cast<uint32_t>(n);
  }
  *moved = done;
  return 0;
}

int PosixSeek(void*, FileId file, int64_t position) {
  if (::lseek(file, static_cast<off_t>(position), SEEK_SET) < 0) return LastError();
  return 0;
}

int PosixSync(void*, FileId file) {
  while (::fsync(file) != 0) {
    if (errno != EINTR) return LastError();
  }
  return 0;
}

int PosixClose(void*, FileId file) {
  // Linux releases the descriptor even when close() is interrupted, so a
  // retry could close an unrelated file.
  if (::close(file) != 0 && errno != EINTR) return LastError();
  return 0;
}

int PosixRemove(void*, const char* path) {
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

int PosixRename(void*, const char* from, const char* to) {
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

bool PosixListDirectory(void*, const char* dir, std::vector<DirEntry>* entries) {
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
    } else if (::fstatat(fd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      // A link to nothing: listed, but neither a file nor a directory.
      entry.mtime = static_cast<int64_t>(st.st_mtime);
    }
    entries->push_back(std::move(entry));
  }
}

const char* const* PosixEnvironment(void*) {
  static const char* const kEmpty[] = {nullptr};
  if (environ == nullptr) return kEmpty;
  return environ;
}

bool PosixLocalTime(void*, int64_t time, LocalTime* local) {
  // Re-read TZ on every call: the C library would otherwise keep the zone
  // of its first conversion. tzset() is cheap when TZ has not changed.
  ::tzset();
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

void PosixWriteConsole(void*, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to report it
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

const Platform& PosixPlatform() {
  static const Platform kPlatform = {
      .ctx = nullptr,
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
      .list_directory = PosixListDirectory,
      .environment = PosixEnvironment,
      .local_time = PosixLocalTime,
      .write_console = PosixWriteConsole,
  };
  return kPlatform;
}

}  // namespace tessel
