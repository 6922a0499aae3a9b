// The platform layer: the only code of tessel and tessel-index that touches
// the operating system (the testing library of src/testing, which neither
// program links, also works on real files and processes).
//
// The system was designed for a 32-bit Windows console; it runs there
// (platform_win32.cc) and on Linux (platform_posix.cc). Everything the program needs from its host (files, directory
// listings, the environment, file times and the console) goes through one
// plain table of function pointers, passed explicitly, so that tests can put
// an in-memory disk or a failing one under the program.
//
// Error numbers are the host's: 0 is success, 2 file not found, 3 path not
// found, 4 too many open files, 5 access denied, 6 bad handle, 8 out of
// memory, 17 a rename to another device, 80 the file exists, 100 a read
// that moved no bytes, 101 a write that moved too few, 162 any other
// device fault. On Windows they are the
// system's own numbers, except that its device errors 19 to 31 become 150
// to 162 and the sharing violation 32 becomes 5.
#ifndef TESSEL_PLATFORM_PLATFORM_H_
#define TESSEL_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

constexpr int kErrFileNotFound = 2;
constexpr int kErrPathNotFound = 3;
constexpr int kErrTooManyOpenFiles = 4;
constexpr int kErrAccessDenied = 5;
constexpr int kErrBadHandle = 6;
constexpr int kErrNoMemory = 8;
constexpr int kErrNotSameDevice = 17;
constexpr int kErrFileExists = 80;
constexpr int kErrShortRead = 100;
constexpr int kErrShortWrite = 101;
constexpr int kErrDeviceFault = 162;

// A short description of an error number for messages ("access denied").
const char* ErrorText(int error);

using FileId = int;
constexpr FileId kNoFile = -1;

// One entry of a directory listing.
struct DirEntry {
  std::string name;
  bool is_regular = false;    // a regular file, after following symlinks
  bool is_directory = false;  // a directory, after following symlinks
  int64_t mtime = 0;          // last write, seconds since 1970-01-01 UTC
  int64_t size = 0;           // bytes, of a regular file
  bool hidden = false;        // marked hidden or system (Windows attributes)
};

// A directory opened for locking. Two paths of one directory give the same
// device and inode, which also order locks, so that runs needing two of them
// take them in one order and never wait for each other.
struct DirectoryLock {
  int handle = -1;  // -1: not open
  uint64_t device = 0;
  uint64_t inode = 0;
  bool held = false;
};

// What the system knows of a file or of a directory entry.
struct FileInfo {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t mtime = 0;   // last write, seconds since 1970-01-01 UTC
  int64_t size = 0;
  bool is_regular = false;
  bool is_directory = false;
  bool is_fifo = false;        // a named pipe
  bool is_link = false;        // the entry itself is a symbolic link (entry_info)
  bool leads_nowhere = false;  // a symbolic link whose target does not exist (entry_info)
  uint32_t link_count = 1;     // the names that share the file's data (hard links)
};

// A helper program run in isolation (see Platform::run_helper).
struct HelperRun {
  const char* program = nullptr;    // its file name, without folders
  std::vector<std::string> args;    // arguments after the program's name
  FileId input = kNoFile;           // its standard input: an open file, or none
  uint32_t cpu_seconds = 10;        // processor time
  uint64_t address_space = 0;       // bytes of address space; 0 = no limit
  uint32_t wall_ms = 20000;         // time from start to end, enforced from outside
  size_t max_output = 0;            // bytes of standard output taken at most
};

struct HelperOutcome {
  bool timed_out = false;        // killed after wall_ms
  bool output_overflow = false;  // killed for writing more than max_output
  bool over_limit = false;       // ended by its limit of processor time or memory
  int exit_status = -1;          // its exit status; -1 when it did not exit by itself
  int signal = 0;                // the signal that ended it (POSIX); 0 when none did
  uint32_t elapsed_ms = 0;       // time from start to end
  std::string searched;          // where the program was looked for, when it was not found
};

// A moment in local time, as the host's clock shows it.
struct LocalTime {
  int year = 0;    // e.g. 1996
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59 (60 for a leap second)
};

// The operations of the host. Paths arrive with "/" as separator. Every
// function that returns int returns 0 or a host error number.
//
// Every member is declared once, in TESSEL_PLATFORM_MEMBERS: X(result,
// name, parameters). The struct below is made from it, and so are the
// console catcher of tessel-index and the check that a table leaves no
// member out (MissingPlatformMembers); prepare_memory alone may be null.
#define TESSEL_PLATFORM_MEMBERS(X)                                                                      \
  /* Opens an existing file for reading and writing; other programs may read                         */ \
  /* and write it meanwhile. A file nobody may write, or a directory, is 5.                          */ \
  X(int, open_existing, (void* ctx, const char* path, FileId* file))                                    \
  /* Opens an existing regular file for reading only.                                                */ \
  X(int, open_read, (void* ctx, const char* path, FileId* file))                                        \
  /* Creates a file, or truncates an existing one, for reading and writing.                          */ \
  /* A FIFO at the name is refused (5); CreateOrTruncate (file_search.h)                             */ \
  /* also keeps links at the name from being followed.                                               */ \
  X(int, create, (void* ctx, const char* path, FileId* file))                                           \
  /* Reads up to "size" bytes at the current position; "*moved" tells how                            */ \
  /* many came (fewer only at the end of the file). Returns 0 when the file                          */ \
  /* simply ended.                                                                                   */ \
  X(int, read, (void* ctx, FileId file, void* buffer, uint32_t size, uint32_t* moved))                  \
  /* Writes "size" bytes at the current position; "*moved" tells how many                            */ \
  /* went out, also on failure.                                                                      */ \
  X(int, write, (void* ctx, FileId file, const void* buffer, uint32_t size, uint32_t* moved))           \
  /* Moves the current position to byte "position" from the start.                                   */ \
  X(int, seek, (void* ctx, FileId file, int64_t position))                                              \
  /* Makes the file's contents durable on disk.                                                      */ \
  X(int, sync, (void* ctx, FileId file))                                                                \
  X(int, close, (void* ctx, FileId file))                                                               \
  X(int, remove, (void* ctx, const char* path))                                                         \
  /* Renames "from" to "to" in one step, replacing "to" when it exists, and                         */ \
  /* makes the new name durable (its directory synced, or written through).                         */ \
  X(int, rename, (void* ctx, const char* from, const char* to))                                         \
  /* Sets the last-write time of file "path" (seconds since 1970-01-01 UTC).                         */ \
  X(int, set_file_time, (void* ctx, const char* path, int64_t time))                                    \
  /* Creates file "path", which must not exist, for reading and writing. An                          */ \
  /* entry already at that name (a file, a directory, a link, also a link                            */ \
  /* to nothing) is kErrFileExists and is never opened nor followed; a                               */ \
  /* link among the folders of "path" is followed as usual.                                          */ \
  X(int, create_new, (void* ctx, const char* path, FileId* file))                                       \
  /* Sets the last-write time of open file "file" (seconds since 1970 UTC).                          */ \
  X(int, set_open_file_time, (void* ctx, FileId file, int64_t time))                                    \
  /* What the system knows of open file "file".                                                      */ \
  X(int, open_file_info, (void* ctx, FileId file, FileInfo* info))                                      \
  /* What the system knows of the entry "path" itself: a link is described,                          */ \
  /* not followed (is_link set). kErrFileNotFound when there is none.                                */ \
  X(int, entry_info, (void* ctx, const char* path, FileInfo* info))                                     \
  /* A number that tells this process from every other one running now.                              */ \
  X(uint32_t, process_id, (void* ctx))                                                                  \
  /* Runs helper program "run.program", found beside the running program                             */ \
  /* (or in ../libexec/tessel from there), isolated from this run: it sees                           */ \
  /* only its standard input (run.input, or nothing), may write no file and                          */ \
  /* open few, runs under the limits of processor time and address space,                            */ \
  /* and is killed once run.wall_ms have passed or once it writes more than                          */ \
  /* run.max_output bytes. Waits for it to end and puts what it wrote to                             */ \
  /* standard output into "*output". Returns 0 when the helper ran (however                          */ \
  /* it ended: see "*outcome"), or the error number of starting it                                   */ \
  /* (kErrFileNotFound: there is no such program, and outcome->searched                              */ \
  /* names the places looked in).                                                                    */ \
  X(int, run_helper, (void* ctx, const HelperRun& run, std::string* output, HelperOutcome* outcome))    \
  /* Lists every entry of directory "dir" ("" is the current directory)                              */ \
  /* except "." and "..", in no particular order. Returns false when the                             */ \
  /* directory cannot be listed (it does not exist, say).                                            */ \
  X(bool, list_directory, (void* ctx, const char* dir, std::vector<DirEntry>* entries))                 \
  /* The process environment: "NAME=value" entries, ended by a null pointer.                         */ \
  X(const char* const*, environment, (void* ctx))                                                       \
  /* Converts a file time to local time. Returns false when it cannot.                               */ \
  X(bool, local_time, (void* ctx, int64_t time, LocalTime* local))                                      \
  /* Writes bytes to standard output at once (no buffering across calls).                            */ \
  /* A console that cannot take them (a closed pipe, a full device) is                               */ \
  /* given up silently: it never ends or changes a run.                                              */ \
  X(void, write_console, (void* ctx, const char* data, size_t size))                                    \
  /* Opens directory "dir" ("" is the current directory) for locking.                                */ \
  X(int, open_lock, (void* ctx, const char* dir, DirectoryLock* lock))                                  \
  /* Takes the exclusive lock without waiting; "*taken" is false when                                */ \
  /* another process holds it. Locks are advisory (they keep out other runs,                         */ \
  /* not readers of the files) and vanish with the process that holds them,                          */ \
  /* however it ends.                                                                                */ \
  X(int, try_lock, (void* ctx, DirectoryLock* lock, bool* taken))                                       \
  /* Releases the lock, if held, and closes it.                                                      */ \
  X(void, close_lock, (void* ctx, DirectoryLock* lock))                                                 \
  /* Waits "milliseconds".                                                                           */ \
  X(void, sleep, (void* ctx, uint32_t milliseconds))                                                    \
  /* Makes the memory of a block that is about to be filled present at                               */ \
  /* once, where the system can do that more cheaply than page by page on                            */ \
  /* first use. Null where there is nothing to gain.                                                 */ \
  X(void, prepare_memory, (void* ctx, void* block, size_t size))                                        \
  /* "path" made absolute against the current directory, as the system                               */ \
  /* resolves it, in the system's own form (on Windows with its drive and                            */ \
  /* "\"); "" stands for ".". Nothing is looked up on disk                                           */ \
  /* beyond the current directory, and every byte of "path" is kept; "" when                         */ \
  /* that cannot be had. On Linux a path with a drive letter is the one the                          */ \
  /* Wine prefix resolves it to, or stays as it is when no prefix maps it.                           */ \
  X(std::string, absolute_path, (void* ctx, std::string_view path))                                     \
  /* The time now, in seconds since 1970-01-01 UTC.                                                  */ \
  X(int64_t, now, (void* ctx))

struct Platform {
  void* ctx;  // the implementation's state; null for the real one
#define TESSEL_PLATFORM_FIELD(result, name, parameters) result(*name) parameters;
  TESSEL_PLATFORM_MEMBERS(TESSEL_PLATFORM_FIELD)
#undef TESSEL_PLATFORM_FIELD
};

// The members that "platform" leaves null, by name; prepare_memory, which
// may be null, is never among them.
std::vector<std::string> MissingPlatformMembers(const Platform& platform);

// The real platform of the system the program was built for: POSIX files
// and directories, the process environment, the local time zone (TZ
// honoured) and standard output on Linux; the Win32 equivalents on Windows.
const Platform& NativePlatform();

#ifndef _WIN32
// The POSIX platform (NativePlatform() on Linux). Paths that start with a
// drive letter ("C:/BBS/NODELIST") are resolved through the Wine prefix
// (platform/wine_drives.h), so that a host running under Wine and its
// configuration's Windows paths are served.
const Platform& PosixPlatform();
#endif

// Whether "path" starts with a drive letter that the system cannot reach:
// on Linux, one that the Wine prefix named by "platform"'s environment does
// not map ("*prefix" is that prefix, "" when there is none); never on
// Windows, whose drives are its own.
bool DriveUnmapped(const Platform& platform, std::string_view path, std::string* prefix);

// Readies the process for running unattended; called first in main(). A
// standard descriptor (0, 1 or 2) that the starting program left closed is
// opened on /dev/null, so that no file of the run can take its number and
// receive console text; and a console pipe closed by its reader makes
// writes fail rather than end the process. On Windows, standard output and
// error take bytes as written (no CR LF translation) and a drive without
// its medium gives an error number rather than a dialog box.
void PrepareProcess();

}  // namespace tessel

#endif  // TESSEL_PLATFORM_PLATFORM_H_
