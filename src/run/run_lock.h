// One build at a time. A run holds an exclusive lock on the directories
// whose files it writes (the working directory, where "nlindex.foo" lives,
// and the index's directory, where "nlindex.bar" replaces the index) from
// before it reads the catalogue until its temporary file is gone. Readers
// of the index take no lock and are never kept out.
#ifndef TESSEL_RUN_RUN_LOCK_H_
#define TESSEL_RUN_RUN_LOCK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tessel {

constexpr uint32_t kLockRetryMs = 50;
constexpr uint32_t kLockWaitLimitMs = 10 * 60 * 1000;

// Who is told, once, that a run waits for another to finish with a
// directory: "say" is called with "ctx" (tessel prints on its console,
// tessel-index writes to its report sink; without "say", no one is told).
struct WaitNotice {
  const void* ctx = nullptr;
  void (*say)(const void* ctx, const Platform& platform, std::string_view dir) = nullptr;
};

// The locks of a run: at most two directories.
struct DirectoryLocks {
  DirectoryLock locks[2];
  int count = 0;
};

// Locks directories "first" and "second" ("" is the current directory;
// two paths of one directory are locked once). Locks are taken in the order
// of device and inode, so that two runs needing the same two can never wait
// for each other. While another run holds one, waits: "on_wait" is told
// once, with that directory, before the first wait. Returns 0 with every
// lock held; otherwise holds none, names the directory in "*failed" and
// returns the error number of the directory's lock, which is
// kErrAccessDenied with "*timed_out" set when the wait went past
// kLockWaitLimitMs.
int LockDirectories(const Platform& platform, std::string_view first, std::string_view second,
                    const WaitNotice& on_wait, DirectoryLocks* locks, std::string* failed, bool* timed_out);

// Releases and closes every lock of "locks".
void UnlockDirectories(const Platform& platform, DirectoryLocks* locks);

// The locks of a run that writes into any number of directories.
struct DirectoryLockSet {
  std::vector<DirectoryLock> locks;
};

// Locks every directory of "dirs" as LockDirectories locks two: each
// directory once, in the order of device and inode, waiting while another
// run holds one; the same results.
int LockDirectorySet(const Platform& platform, const std::vector<std::string>& dirs, const WaitNotice& on_wait,
                     DirectoryLockSet* locks, std::string* failed, bool* timed_out);
void UnlockDirectorySet(const Platform& platform, DirectoryLockSet* locks);

// A directory as messages name it: "" is "the current directory".
std::string DirectoryName(std::string_view dir);

// What a run says, without a line end, when it has to wait for the lock
// of "dir" (each program ends the line as its console does).
std::string WaitingMessage(std::string_view dir);

}  // namespace tessel

#endif  // TESSEL_RUN_RUN_LOCK_H_
