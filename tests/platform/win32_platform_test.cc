// The Win32 platform in a scratch directory (run under Wine in CI).
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/file_search.h"
#include "platform/platform.h"
#include "test_util.h"

namespace tessel::test {
namespace {

const Platform& p = NativePlatform();

TEST(Win32PlatformTest, SharingAndTheSystemsErrorNumbers) {
  ScopedTempDir dir;
  WriteFile(dir / "shared", "data");
  WriteFile(dir / "locked", "data");
  WriteFile(dir / "readonly", "data");
  SetFileAttributesA((dir / "readonly").c_str(), FILE_ATTRIBUTE_READONLY);
  // Another program holds "shared" open for writing, sharing it; "locked" without sharing.
  HANDLE sharer = CreateFileA((dir / "shared").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE locker = CreateFileA((dir / "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(sharer, INVALID_HANDLE_VALUE);
  ASSERT_NE(locker, INVALID_HANDLE_VALUE);
  struct Case {
    std::string name;
    int error;
  } cases[] = {{"shared", 0}, {"locked", kErrAccessDenied}, {"readonly", kErrAccessDenied},
               {"missing", kErrFileNotFound}, {"nodir/x", kErrPathNotFound}, {"", kErrAccessDenied}};
  for (const Case& c : cases) {
    FileId file = kNoFile;
    EXPECT_EQ(p.open_existing(p.ctx, (dir / c.name).c_str(), &file), c.error) << c.name;
    if (file != kNoFile) {
      EXPECT_EQ(p.close(p.ctx, file), 0);
    }
  }
  CloseHandle(sharer);
  CloseHandle(locker);
  SetFileAttributesA((dir / "readonly").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32PlatformTest, SearchLeavesOutDirectoriesHiddenAndSystemFiles) {
  ScopedTempDir dir;
  for (const char* name : {"NODELIST.001", "NODELIST.002", "NODELIST.003"}) WriteFile(dir / name, "x");
  CreateDirectoryA((dir / "NODELIST.004").c_str(), nullptr);
  SetFileAttributesA((dir / "NODELIST.002").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((dir / "NODELIST.003").c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::vector<DirEntry> found = SearchFiles(p, dir / "nodelist.*", SearchFilter::kOrdinaryFiles);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "NODELIST.001");
  EXPECT_EQ(SearchFiles(p, dir / "nodelist.*", SearchFilter::kAnyEntry).size(), 4u);
  std::vector<DirEntry> none;
  EXPECT_FALSE(p.list_directory(p.ctx, (dir / "nowhere/").c_str(), &none));
}

// File times become local time to the second, also outside the FAT
// form's years (its packing is the caller's).
TEST(Win32PlatformTest, LocalTimeToTheSecond) {
  TIME_ZONE_INFORMATION zone;
  DWORD kind = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);  // minutes to add to local
  LocalTime local;
  ASSERT_TRUE(p.local_time(p.ctx, 1'600'000'001 + bias * 60, &local));  // 2020-09-13 12:26:41 local
  EXPECT_EQ(std::vector<int>({local.year, local.month, local.day, local.hour, local.minute, local.second}),
            std::vector<int>({2020, 9, 13, 12, 26, 41}));
  ASSERT_TRUE(p.local_time(p.ctx, 86'400 * 365 + bias * 60, &local));  // 1971: before the FAT form
  EXPECT_EQ(local.year, 1971);
  ASSERT_TRUE(p.local_time(p.ctx, 7'258'118'400 + bias * 60, &local));  // 2200-01-01: after it
  EXPECT_EQ(std::vector<int>({local.year, local.month, local.day}), std::vector<int>({2200, 1, 1}));
}

TEST(Win32PlatformTest, ADirectoryLockKeepsOutASecondOne) {
  ScopedTempDir dir;
  DirectoryLock first, second;
  bool taken = false;
  ASSERT_EQ(p.open_lock(p.ctx, dir.path().string().c_str(), &first), 0);
  ASSERT_EQ(p.open_lock(p.ctx, (dir / "").c_str(), &second), 0);
  EXPECT_EQ(first.inode, second.inode);
  ASSERT_EQ(p.try_lock(p.ctx, &first, &taken), 0);
  EXPECT_TRUE(taken);
  ASSERT_EQ(p.try_lock(p.ctx, &second, &taken), 0);
  EXPECT_FALSE(taken);
  p.close_lock(p.ctx, &first);
  ASSERT_EQ(p.try_lock(p.ctx, &second, &taken), 0);
  EXPECT_TRUE(taken);
  p.close_lock(p.ctx, &second);
}

}  // namespace
}  // namespace tessel::test
#endif  // _WIN32
