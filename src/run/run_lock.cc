#include "run/run_lock.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/file_search.h"

namespace tessel {
namespace {

bool Before(const DirectoryLock& a, const DirectoryLock& b) {
  return a.device != b.device ? a.device < b.device : a.inode < b.inode;
}

}  // namespace

std::string DirectoryName(std::string_view dir) {
  return dir.empty() ? std::string("the current directory") : DisplayPath(dir);
}

std::string WaitingMessage(std::string_view dir) {
  return "Waiting for another run to finish with " + DirectoryName(dir) + "...";
}

int LockDirectories(const Platform& platform, std::string_view first, std::string_view second,
                    const WaitNotice& on_wait, DirectoryLocks* locks, std::string* failed, bool* timed_out) {
  DirectoryLockSet set;
  locks->count = 0;
  int error = LockDirectorySet(platform, {std::string(first), std::string(second)}, on_wait, &set, failed, timed_out);
  for (const DirectoryLock& lock : set.locks) locks->locks[locks->count++] = lock;
  return error;
}

void UnlockDirectories(const Platform& platform, DirectoryLocks* locks) {
  for (int i = 0; i < locks->count; ++i) platform.close_lock(platform.ctx, &locks->locks[i]);
  locks->count = 0;
}

int LockDirectorySet(const Platform& platform, const std::vector<std::string>& dirs, const WaitNotice& on_wait,
                     DirectoryLockSet* locks, std::string* failed, bool* timed_out) {
  std::vector<std::pair<DirectoryLock, std::string>> opened;
  *timed_out = false;
  locks->locks.clear();
  for (const std::string& dir : dirs) {
    DirectoryLock lock;
    if (int error = platform.open_lock(platform.ctx, dir.c_str(), &lock)) {
      for (auto& entry : opened) platform.close_lock(platform.ctx, &entry.first);
      *failed = DirectoryName(dir);
      return error;
    }
    bool again = std::any_of(opened.begin(), opened.end(), [&](const auto& entry) {
      return entry.first.device == lock.device && entry.first.inode == lock.inode;
    });
    if (again) {
      platform.close_lock(platform.ctx, &lock);
    } else {
      opened.emplace_back(lock, dir);
    }
  }
  std::sort(opened.begin(), opened.end(), [](const auto& a, const auto& b) { return Before(a.first, b.first); });
  uint32_t waited = 0;
  for (size_t i = 0; i < opened.size(); ++i) {
    for (;;) {
      bool taken = false;
      int error = platform.try_lock(platform.ctx, &opened[i].first, &taken);
      if (error == 0 && taken) break;
      if (error == 0 && waited >= kLockWaitLimitMs) {
        *timed_out = true;
        error = kErrAccessDenied;
      }
      if (error != 0) {
        for (auto& entry : opened) platform.close_lock(platform.ctx, &entry.first);
        *failed = DirectoryName(opened[i].second);
        return error;
      }
      if (waited == 0 && on_wait.say != nullptr) on_wait.say(on_wait.ctx, platform, opened[i].second);
      platform.sleep(platform.ctx, kLockRetryMs);
      waited += kLockRetryMs;
    }
  }
  for (auto& entry : opened) locks->locks.push_back(entry.first);
  return 0;
}

void UnlockDirectorySet(const Platform& platform, DirectoryLockSet* locks) {
  for (DirectoryLock& lock : locks->locks) platform.close_lock(platform.ctx, &lock);
  locks->locks.clear();
}

}  // namespace tessel
