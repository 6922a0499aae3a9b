// Platforms for tests: an in-memory disk, and a wrapper that fails one file
// operation of another platform.
#ifndef TESSEL_TESTING_FAKE_PLATFORM_H_
#define TESSEL_TESTING_FAKE_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tessel {

// The kinds of file operation that go through a platform.
enum class FileOp {
  kOpenExisting, kOpenRead, kCreate, kRead, kWrite, kSeek, kSync, kClose, kRemove, kRename, kSetTime, kList,
  kCreateNew, kSetOpenTime, kInfo, kHelper
};
const char* FileOpName(FileOp op);

struct FakeFile {
  std::string data;
  int64_t mtime = 0;       // seconds since 1970-01-01 UTC
  bool directory = false;  // an explicit directory entry (data unused)
  bool read_only = false;  // opening it for writing is error 5
  uint64_t inode = 0;      // its identity; files made by create_new get a fresh one
  uint32_t links = 1;      // the names that share its data, as a hard link elsewhere would make them
};

// One operation as the fake disk saw it.
struct FakeOpRecord {
  FileOp op;
  std::string path;    // for file operations on handles: the path opened
  uint32_t size = 0;   // bytes asked for (read, write) or the seek position
};

// An in-memory disk. Paths are keys exactly as the program builds them
// ("nlindex.qdx", "data/nlindex.qdx"); a file "a/b" makes directory "a"
// exist. Local time is UTC shifted by "utc_offset".
struct FakeDisk {
  std::map<std::string, FakeFile> files;
  std::vector<std::string> environment;  // "NAME=value" entries
  int64_t utc_offset = 0;                // seconds added to convert to local
  std::string console;                   // everything written to standard output
  std::vector<FakeOpRecord> log;         // every file operation, in order
  uint64_t next_inode = 1;
  uint32_t process_id = 4242;

  // The helper program: run_helper returns kErrFileNotFound unless
  // "helper_present", else hands back this output and exit status, or the
  // signal that ended it; a helper that needs more time than its run
  // allows is timed out at that limit.
  bool helper_present = false;
  std::string helper_output;
  int helper_exit_status = 0;
  int helper_signal = 0;
  uint32_t helper_elapsed_ms = 0;
  std::vector<std::vector<std::string>> helper_runs;  // the arguments of each run

  // Directory locks. "other_runs" holds the directories ("" the current
  // one) that another run has locked, each until the clock reaches the
  // millisecond given (-1: for ever); the clock moves only by sleeping.
  std::map<std::string, int64_t> other_runs;
  int64_t clock_ms = 0;
  // The current directory, against which relative paths are made absolute
  // (nothing else is taken from it: file paths stay keys as given), and
  // the time now, in seconds since 1970 UTC.
  std::string current_directory = "/run";
  int64_t now = 0;
  std::vector<std::string> held;  // directories this run holds now, in the order taken

  // Used by the platform functions.
  struct Handle {
    std::string path;
    uint64_t position = 0;
    bool open = false;
  };
  std::vector<Handle> handles;
  std::vector<const char*> env_pointers;
  std::vector<std::string> lock_dirs;  // by lock handle
};

// The platform over "disk". REQUIRES: "disk" outlives every use.
Platform MakeFakePlatform(FakeDisk* disk);

// A plan for failing the k-th file operation of an inner platform.
struct FaultPlan {
  const Platform* inner = nullptr;
  // 1-based number, over all file operations (those of FileOp), of the
  // operation to fail; 0 fails none.
  long fail_at = 0;
  // Instead of failing a read or write, move only half of its bytes (none
  // of a single byte) and report success.
  bool partial = false;
  int error = kErrDeviceFault;  // the error number the failed operation returns
  // The run is killed at the planned operation: it and every later one
  // fail without reaching the inner platform, whose files stay as the
  // operations before left them.
  bool halt = false;
  // Called just before each file operation goes on (or fails), with its
  // number as "fail_at" counts it, its kind and its path ("" for an
  // operation on an open file): a test changes the disk under the run
  // here, at the very point it chooses.
  std::function<void(long number, FileOp op, std::string_view path)> before;
  // What the wrapper saw: every file operation, in order, and whether the
  // planned fault happened.
  std::vector<FileOp> ops;
  bool fired = false;
};

// The platform that forwards every call to plan->inner, counting file
// operations and failing the one the plan names. Console, environment,
// clock, lock, sleep and current-directory calls are forwarded and not counted.
Platform MakeFaultyPlatform(FaultPlan* plan);

}  // namespace tessel

#endif  // TESSEL_TESTING_FAKE_PLATFORM_H_
