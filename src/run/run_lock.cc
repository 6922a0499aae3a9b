#include "run/run_lock.h"

#include <utility>

namespace tessel {
namespace {

bool Before(const DirectoryLock& a, const DirectoryLock& b) {
  return a.device != b.device ? a.device < b.device : a.inode < b.inode;
}

}  // namespace

std::string DirectoryName(std::string_view dir) {
  return dir.empty() ? std::string("the current directory") : std::string(dir);
}

int LockDirectories(const Platform& platform, std::string_view first, std::string_view second,
                    void (*on_wait)(const Platform& platform, std::string_view dir), DirectoryLocks* locks,
                    std::string* failed, bool* timed_out) {
  const std::string dirs[2] = {std::string(first), std::string(second)};
  std::string names[2];
  locks->count = 0;
  *timed_out = false;
  for (const std::string& dir : dirs) {
    DirectoryLock lock;
    if (int error = platform.open_lock(platform.ctx, dir.c_str(), &lock)) {
      UnlockDirectories(platform, locks);
      *failed = DirectoryName(dir);
      return error;
    }
    if (locks->count == 1 && lock.device == locks->locks[0].device && lock.inode == locks->locks[0].inode) {
      platform.close_lock(platform.ctx, &lock);  // the same directory twice
      continue;
    }
    names[locks->count] = dir;
    locks->locks[locks->count++] = lock;
  }
  if (locks->count == 2 && Before(locks->locks[1], locks->locks[0])) {
    std::swap(locks->locks[0], locks->locks[1]);
    std::swap(names[0], names[1]);
  }

  uint32_t waited = 0;
  for (int i = 0; i < locks->count; ++i) {
    for (;;) {
      bool taken = false;
      int error = platform.try_lock(platform.ctx, &locks->locks[i], &taken);
      if (error == 0 && taken) break;
      if (error == 0 && waited >= kLockWaitLimitMs) {
        *timed_out = true;
        error = kErrAccessDenied;
      }
      if (error != 0) {
        UnlockDirectories(platform, locks);
        *failed = DirectoryName(names[i]);
        return error;
      }
      if (waited == 0) on_wait(platform, names[i]);
      platform.sleep(platform.ctx, kLockRetryMs);
      waited += kLockRetryMs;
    }
  }
  return 0;
}

void UnlockDirectories(const Platform& platform, DirectoryLocks* locks) {
  for (int i = 0; i < locks->count; ++i) platform.close_lock(platform.ctx, &locks->locks[i]);
  locks->count = 0;
}

}  // namespace tessel
