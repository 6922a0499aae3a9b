// Tests of the platform layer: the POSIX platform in a scratch directory, the
// in-memory disk, and the fault-injecting wrapper.
#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/fake_platform.h"
#include "platform/platform.h"

namespace tessel {
namespace {

// Finds the entry called "name", or null.
const DirEntry* Find(const std::vector<DirEntry>& entries, const std::string& name) {
  auto it = std::find_if(entries.begin(), entries.end(), [&](const DirEntry& e) { return e.name == name; });
  return it == entries.end() ? nullptr : &*it;
}

std::vector<int> Fields(const LocalTime& t) { return {t.year, t.month, t.day, t.hour, t.minute, t.second}; }

std::vector<std::string> SortedNames(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

// Reads everything from the current position of "file".
std::string ReadRest(const Platform& p, FileId file) {
  std::string out;
  char buffer[7];  // small, so that reads take several rounds
  for (;;) {
    uint32_t moved = 99;
    EXPECT_EQ(p.read(p.ctx, file, buffer, sizeof buffer, &moved), 0);
    out.append(buffer, moved);
    if (moved < sizeof buffer) return out;
  }
}

#ifndef _WIN32  // the Win32 platform has its own tests
// ---------------------------------------------------------------------------
// The POSIX platform.

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessel_platform_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void MakeFile(const std::string& name, const std::string& contents) const {
    std::ofstream(Path(name), std::ios::binary) << contents;
  }

  const Platform& p_ = PosixPlatform();
  std::string dir_;
};

TEST_F(PosixPlatformTest, OpenExistingRefusesWhatCannotBeWritten) {
  MakeFile("locked", "data");
  ASSERT_EQ(chmod(Path("locked").c_str(), 0444), 0);
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  MakeFile("plain", "x");

  FileId file = 123;
  // Refused even for the superuser, who could open it for writing.
  EXPECT_EQ(p_.open_existing(p_.ctx, Path("locked").c_str(), &file), kErrAccessDenied);
  EXPECT_EQ(file, kNoFile);
  EXPECT_EQ(p_.open_existing(p_.ctx, Path("sub").c_str(), &file), kErrAccessDenied);
  EXPECT_EQ(p_.open_existing(p_.ctx, Path("missing").c_str(), &file), kErrFileNotFound);
  EXPECT_EQ(p_.open_existing(p_.ctx, Path("plain/below").c_str(), &file), kErrPathNotFound);
  EXPECT_EQ(p_.open_read(p_.ctx, Path("sub").c_str(), &file), kErrAccessDenied);
  EXPECT_EQ(p_.open_read(p_.ctx, Path("missing").c_str(), &file), kErrFileNotFound);

  // Reading a read-only file is fine.
  ASSERT_EQ(p_.open_read(p_.ctx, Path("locked").c_str(), &file), 0);
  EXPECT_EQ(ReadRest(p_, file), "data");
  EXPECT_EQ(p_.close(p_.ctx, file), 0);
}

TEST_F(PosixPlatformTest, CreateWriteSeekReadRoundTrip) {
  FileId file = kNoFile;
  ASSERT_EQ(p_.create(p_.ctx, Path("f").c_str(), &file), 0);
  uint32_t moved = 0;
  ASSERT_EQ(p_.write(p_.ctx, file, "hello world", 11, &moved), 0);
  EXPECT_EQ(moved, 11u);
  ASSERT_EQ(p_.sync(p_.ctx, file), 0);

  char buffer[32] = {};
  ASSERT_EQ(p_.seek(p_.ctx, file, 6), 0);
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, 3, &moved), 0);
  EXPECT_EQ(std::string(buffer, moved), "wor");
  // A read across the end comes back short, without an error; at the end
  // it moves nothing.
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, sizeof buffer, &moved), 0);
  EXPECT_EQ(std::string(buffer, moved), "ld");
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, sizeof buffer, &moved), 0);
  EXPECT_EQ(moved, 0u);
  ASSERT_EQ(p_.close(p_.ctx, file), 0);

  // open_existing writes in place; create truncates.
  ASSERT_EQ(p_.open_existing(p_.ctx, Path("f").c_str(), &file), 0);
  ASSERT_EQ(p_.write(p_.ctx, file, "J", 1, &moved), 0);
  ASSERT_EQ(p_.seek(p_.ctx, file, 0), 0);
  EXPECT_EQ(ReadRest(p_, file), "Jello world");
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  ASSERT_EQ(p_.create(p_.ctx, Path("f").c_str(), &file), 0);
  EXPECT_EQ(ReadRest(p_, file), "");
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
}

TEST_F(PosixPlatformTest, HandleMisuseIsBadHandle) {
  MakeFile("f", "abc");
  FileId file = kNoFile;
  ASSERT_EQ(p_.open_read(p_.ctx, Path("f").c_str(), &file), 0);
  uint32_t moved = 7;
  EXPECT_EQ(p_.write(p_.ctx, file, "x", 1, &moved), kErrBadHandle);
  EXPECT_EQ(moved, 0u);
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  char c;
  EXPECT_EQ(p_.read(p_.ctx, file, &c, 1, &moved), kErrBadHandle);
  EXPECT_EQ(p_.close(p_.ctx, file), kErrBadHandle);
}

TEST_F(PosixPlatformTest, WriteToFullDeviceIsDiskFull) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  FileId file = kNoFile;
  ASSERT_EQ(p_.open_existing(p_.ctx, "/dev/full", &file), 0);
  uint32_t moved = 99;
  EXPECT_EQ(p_.write(p_.ctx, file, "0123456789", 10, &moved), kErrShortWrite);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(p_.close(p_.ctx, file), 0);
}

TEST_F(PosixPlatformTest, RenameReplacesAndRemoveDeletes) {
  MakeFile("a", "new");
  MakeFile("b", "old contents");
  ASSERT_EQ(p_.rename(p_.ctx, Path("a").c_str(), Path("b").c_str()), 0);
  FileId file = kNoFile;
  EXPECT_EQ(p_.open_read(p_.ctx, Path("a").c_str(), &file), kErrFileNotFound);
  ASSERT_EQ(p_.open_read(p_.ctx, Path("b").c_str(), &file), 0);
  EXPECT_EQ(ReadRest(p_, file), "new");
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  EXPECT_EQ(p_.rename(p_.ctx, Path("a").c_str(), Path("c").c_str()), kErrFileNotFound);
  ASSERT_EQ(p_.set_file_time(p_.ctx, Path("b").c_str(), 820454400), 0);
  struct stat st;
  ASSERT_EQ(stat(Path("b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 820454400);
  EXPECT_EQ(p_.set_file_time(p_.ctx, Path("a").c_str(), 1), kErrFileNotFound);

  EXPECT_EQ(p_.remove(p_.ctx, Path("b").c_str()), 0);
  EXPECT_EQ(p_.remove(p_.ctx, Path("b").c_str()), kErrFileNotFound);
}

TEST_F(PosixPlatformTest, ListsFilesDirectoriesAndLinks) {
  MakeFile("file.txt", "x");
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub", Path("to_sub").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
  const struct timespec times[2] = {{820454400, 0}, {820454400, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("file.txt").c_str(), times, 0), 0);

  std::vector<DirEntry> entries = {DirEntry{"stale"}};
  ASSERT_TRUE(p_.list_directory(p_.ctx, dir_.c_str(), &entries));
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"dangling", "file.txt", "sub", "to_sub"}));
  const DirEntry* file = Find(entries, "file.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->is_regular);
  EXPECT_FALSE(file->is_directory);
  EXPECT_EQ(file->mtime, 820454400);
  for (const char* name : {"sub", "to_sub"}) {
    const DirEntry* dir = Find(entries, name);
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(dir->is_directory) << name;
    EXPECT_FALSE(dir->is_regular) << name;
  }
  const DirEntry* dangling = Find(entries, "dangling");
  ASSERT_NE(dangling, nullptr);
  EXPECT_FALSE(dangling->is_regular);
  EXPECT_FALSE(dangling->is_directory);

  EXPECT_FALSE(p_.list_directory(p_.ctx, Path("missing").c_str(), &entries));
  EXPECT_FALSE(p_.list_directory(p_.ctx, Path("file.txt").c_str(), &entries));
}

TEST_F(PosixPlatformTest, EmptyDirectoryNameIsTheCurrentOne) {
  MakeFile("here", "");
  int saved = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  std::vector<DirEntry> entries;
  bool ok = p_.list_directory(p_.ctx, "", &entries);
  EXPECT_EQ(fchdir(saved), 0);
  close(saved);
  ASSERT_TRUE(ok);
  EXPECT_EQ(SortedNames(entries), std::vector<std::string>{"here"});
}

TEST_F(PosixPlatformTest, AbsolutePathsAndTheClockAreTheSystems) {
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(p_.absolute_path(p_.ctx, ""), cwd + "/.");
  EXPECT_EQ(p_.absolute_path(p_.ctx, "a/b"), cwd + "/a/b");
  EXPECT_EQ(p_.absolute_path(p_.ctx, "/x/../y"), "/x/../y");
  int64_t before = std::time(nullptr);
  int64_t now = p_.now(p_.ctx);
  EXPECT_GE(now, before);
  EXPECT_LE(now, std::time(nullptr));
}

TEST_F(PosixPlatformTest, FifoIsRefusedWithoutWaitingForAWriter) {
  const std::string fifo = Path("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  auto opening = std::async(std::launch::async, [&] {
    FileId file = kNoFile;
    int error = p_.open_read(p_.ctx, fifo.c_str(), &file);
    if (error == 0) p_.close(p_.ctx, file);
    return error;
  });
  if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Give the stuck open a writer so that the test can end.
    int unblock = open(fifo.c_str(), O_RDWR);
    opening.wait();
    close(unblock);
    FAIL() << "open_read blocked on a FIFO";
  }
  EXPECT_EQ(opening.get(), kErrAccessDenied);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
    tzset();
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PosixLocalTimeTest, FollowsTimeZoneChanges) {
  const Platform& p = PosixPlatform();
  LocalTime t;
  {
    ScopedEnv tz("TZ", "UTC0");
    ASSERT_TRUE(p.local_time(p.ctx, 820454400, &t));  // 1996-01-01 00:00:00 UTC
    EXPECT_EQ(Fields(t), (std::vector<int>{1996, 1, 1, 0, 0, 0}));
  }
  {
    ScopedEnv tz("TZ", "EST5");
    ASSERT_TRUE(p.local_time(p.ctx, 820454400 + 59, &t));
    EXPECT_EQ(Fields(t), (std::vector<int>{1995, 12, 31, 19, 0, 59}));
  }
}

TEST(PosixEnvironmentTest, ShowsTheProcessEnvironment) {
  ScopedEnv var("TESSEL_PLATFORM_TEST", "a=b");
  const Platform& p = PosixPlatform();
  bool found = false;
  for (const char* const* e = p.environment(p.ctx); *e != nullptr; ++e) {
    found = found || std::strcmp(*e, "TESSEL_PLATFORM_TEST=a=b") == 0;
  }
  EXPECT_TRUE(found);
}

#endif  // _WIN32

// Every table fills every member of the one list: the system's own (POSIX
// here, Win32 in the Windows build), the in-memory disk and the faulty one.
TEST(PlatformMembersTest, EveryTableFillsEveryMember) {
  FakeDisk disk;
  Platform fake = MakeFakePlatform(&disk);
  FaultPlan plan;
  plan.inner = &fake;
  EXPECT_EQ(MissingPlatformMembers(NativePlatform()), std::vector<std::string>{});
  EXPECT_EQ(MissingPlatformMembers(fake), std::vector<std::string>{});
  EXPECT_EQ(MissingPlatformMembers(MakeFaultyPlatform(&plan)), std::vector<std::string>{});
  fake.entry_info = nullptr;
  fake.prepare_memory = nullptr;  // may be null: nothing to gain
  EXPECT_EQ(MissingPlatformMembers(fake), std::vector<std::string>{"entry_info"});
}

TEST(ErrorTextTest, DeviceErrorsShareOneText) {
  EXPECT_STREQ(ErrorText(kErrAccessDenied), "access denied");
  EXPECT_STREQ(ErrorText(150), "device error");
  EXPECT_STREQ(ErrorText(kErrDeviceFault), "device error");
  EXPECT_STREQ(ErrorText(149), "error");
  EXPECT_STREQ(ErrorText(163), "error");
  EXPECT_STREQ(ErrorText(0), "error");
}

// ---------------------------------------------------------------------------
// The in-memory disk.

class FakePlatformTest : public ::testing::Test {
 protected:
  FakeDisk disk_;
  Platform p_ = MakeFakePlatform(&disk_);
};

TEST_F(FakePlatformTest, ListsExplicitAndImpliedDirectories) {
  disk_.files["top.txt"] = FakeFile{"x", 42};
  disk_.files["a.txt"] = FakeFile{};  // sorts between "a" and "a/..."
  disk_.files["a/x.txt"] = FakeFile{"", 7};
  disk_.files["a/b/c.txt"] = FakeFile{};
  disk_.files["e"] = FakeFile{"", 0, /*directory=*/true};

  std::vector<DirEntry> entries;
  ASSERT_TRUE(p_.list_directory(p_.ctx, "", &entries));
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"a", "a.txt", "e", "top.txt"}));
  EXPECT_TRUE(Find(entries, "a")->is_directory);
  EXPECT_FALSE(Find(entries, "a")->is_regular);
  EXPECT_TRUE(Find(entries, "e")->is_directory);
  EXPECT_TRUE(Find(entries, "top.txt")->is_regular);
  EXPECT_EQ(Find(entries, "top.txt")->mtime, 42);

  for (const char* dir : {"a", "a/"}) {
    ASSERT_TRUE(p_.list_directory(p_.ctx, dir, &entries)) << dir;
    EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"b", "x.txt"})) << dir;
    EXPECT_EQ(Find(entries, "x.txt")->mtime, 7);
  }
  ASSERT_TRUE(p_.list_directory(p_.ctx, "a/b", &entries));
  EXPECT_EQ(SortedNames(entries), std::vector<std::string>{"c.txt"});
  ASSERT_TRUE(p_.list_directory(p_.ctx, "e", &entries));
  EXPECT_TRUE(entries.empty());

  EXPECT_FALSE(p_.list_directory(p_.ctx, "missing", &entries));
  EXPECT_FALSE(p_.list_directory(p_.ctx, "top.txt", &entries));
  EXPECT_FALSE(p_.list_directory(p_.ctx, "a/b/c", &entries));
}

TEST_F(FakePlatformTest, OpenRules) {
  disk_.files["ro"] = FakeFile{"r", 0, false, /*read_only=*/true};
  disk_.files["d"] = FakeFile{"", 0, /*directory=*/true};
  disk_.files["implied/f"] = FakeFile{};
  FileId file = 5;
  EXPECT_EQ(p_.open_existing(p_.ctx, "missing", &file), kErrFileNotFound);
  EXPECT_EQ(file, kNoFile);
  EXPECT_EQ(p_.open_read(p_.ctx, "missing", &file), kErrFileNotFound);
  for (const char* path : {"ro", "d", "implied"}) {
    EXPECT_EQ(p_.open_existing(p_.ctx, path, &file), kErrAccessDenied) << path;
    EXPECT_EQ(p_.create(p_.ctx, path, &file), kErrAccessDenied) << path;
  }
  EXPECT_EQ(p_.open_read(p_.ctx, "d", &file), kErrAccessDenied);
  EXPECT_EQ(p_.open_read(p_.ctx, "implied", &file), kErrAccessDenied);
  EXPECT_EQ(disk_.files["ro"].data, "r");  // the refused create left it alone
  ASSERT_EQ(p_.open_read(p_.ctx, "ro", &file), 0);
  EXPECT_EQ(ReadRest(p_, file), "r");
}

TEST_F(FakePlatformTest, ReadWriteSeekWorkOnTheFileContents) {
  FileId file = kNoFile;
  ASSERT_EQ(p_.create(p_.ctx, "f", &file), 0);
  uint32_t moved = 0;
  ASSERT_EQ(p_.write(p_.ctx, file, "abc", 3, &moved), 0);
  EXPECT_EQ(moved, 3u);
  ASSERT_EQ(p_.seek(p_.ctx, file, 6), 0);
  ASSERT_EQ(p_.write(p_.ctx, file, "xy", 2, &moved), 0);
  EXPECT_EQ(disk_.files["f"].data, std::string("abc\0\0\0xy", 8));
  ASSERT_EQ(p_.seek(p_.ctx, file, 2), 0);
  ASSERT_EQ(p_.write(p_.ctx, file, "Z", 1, &moved), 0);  // overwrites in place
  EXPECT_EQ(ReadRest(p_, file), std::string("\0\0\0xy", 5));

  char buffer[4];
  ASSERT_EQ(p_.seek(p_.ctx, file, 100), 0);
  moved = 9;
  EXPECT_EQ(p_.read(p_.ctx, file, buffer, 4, &moved), 0);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(p_.seek(p_.ctx, file, -1), kErrDeviceFault);
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  EXPECT_EQ(disk_.files["f"].data, std::string("abZ\0\0\0xy", 8));

  EXPECT_EQ(p_.read(p_.ctx, file, buffer, 4, &moved), kErrBadHandle);
  EXPECT_EQ(p_.close(p_.ctx, file), kErrBadHandle);
  EXPECT_EQ(p_.sync(p_.ctx, 99), kErrBadHandle);

  // Creating again truncates.
  ASSERT_EQ(p_.create(p_.ctx, "f", &file), 0);
  EXPECT_EQ(disk_.files["f"].data, "");
}

TEST_F(FakePlatformTest, RenameAndRemove) {
  disk_.files["a"] = FakeFile{"new"};
  disk_.files["b"] = FakeFile{"old"};
  FileId on_a = kNoFile;
  FileId on_b = kNoFile;
  ASSERT_EQ(p_.open_read(p_.ctx, "a", &on_a), 0);
  ASSERT_EQ(p_.open_read(p_.ctx, "b", &on_b), 0);

  ASSERT_EQ(p_.rename(p_.ctx, "a", "b"), 0);
  EXPECT_EQ(disk_.files.count("a"), 0u);
  EXPECT_EQ(disk_.files["b"].data, "new");
  // As with descriptors: the handle follows its file; the replaced file is
  // gone for its handle.
  EXPECT_EQ(ReadRest(p_, on_a), "new");
  char c;
  uint32_t moved;
  EXPECT_EQ(p_.read(p_.ctx, on_b, &c, 1, &moved), kErrBadHandle);
  EXPECT_EQ(p_.set_file_time(p_.ctx, "b", 820454400), 0);
  EXPECT_EQ(disk_.files["b"].mtime, 820454400);
  EXPECT_EQ(p_.set_file_time(p_.ctx, "a", 1), kErrFileNotFound);

  EXPECT_EQ(p_.rename(p_.ctx, "a", "c"), kErrFileNotFound);
  EXPECT_EQ(p_.remove(p_.ctx, "b"), 0);
  EXPECT_EQ(p_.remove(p_.ctx, "b"), kErrFileNotFound);
  EXPECT_TRUE(disk_.files.empty());

  ASSERT_GE(disk_.log.size(), 4u);
  EXPECT_EQ(disk_.log[2].op, FileOp::kRename);
  EXPECT_EQ(disk_.log[2].path, "a");
  EXPECT_EQ(disk_.log[3].op, FileOp::kRead);
  EXPECT_EQ(disk_.log[3].path, "b");
  EXPECT_EQ(disk_.log[3].size, 7u);  // ReadRest's buffer
}

TEST_F(FakePlatformTest, LocalTimeAgreesWithGmtime) {
#ifdef _WIN32
  GTEST_SKIP() << "compares with gmtime_r(), which Windows lacks";
#else
  // Every 997 hours and some seconds over several centuries, both sides of
  // 1970, so that leap days and century rules are crossed.
  for (int64_t t = -6'000'000'000; t < 8'000'000'000; t += 997 * 3600 + 13) {
    time_t tt = static_cast<time_t>(t);
    struct tm expected;
    ASSERT_NE(gmtime_r(&tt, &expected), nullptr);
    LocalTime got;
    ASSERT_TRUE(p_.local_time(p_.ctx, t, &got));
    ASSERT_EQ(Fields(got), (std::vector<int>{expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday,
                                             expected.tm_hour, expected.tm_min, expected.tm_sec}))
        << "time " << t;
  }
#endif
}

TEST_F(FakePlatformTest, LocalTimeAppliesTheOffset) {
  LocalTime t;
  disk_.utc_offset = 3600;
  ASSERT_TRUE(p_.local_time(p_.ctx, 951868799, &t));  // 2000-02-29 23:59:59 UTC
  EXPECT_EQ(Fields(t), (std::vector<int>{2000, 3, 1, 0, 59, 59}));
  ASSERT_TRUE(p_.local_time(p_.ctx, 82800, &t));  // exactly onto midnight
  EXPECT_EQ(Fields(t), (std::vector<int>{1970, 1, 2, 0, 0, 0}));
  disk_.utc_offset = -3600;
  ASSERT_TRUE(p_.local_time(p_.ctx, 0, &t));
  EXPECT_EQ(Fields(t), (std::vector<int>{1969, 12, 31, 23, 0, 0}));
}

TEST_F(FakePlatformTest, EnvironmentAndConsole) {
  disk_.environment = {"A=1", "PATH=/x"};
  const char* const* env = p_.environment(p_.ctx);
  ASSERT_NE(env, nullptr);
  EXPECT_STREQ(env[0], "A=1");
  EXPECT_STREQ(env[1], "PATH=/x");
  EXPECT_EQ(env[2], nullptr);

  p_.write_console(p_.ctx, "ab", 2);
  p_.write_console(p_.ctx, "c\n", 2);
  EXPECT_EQ(disk_.console, "abc\n");
  EXPECT_TRUE(disk_.log.empty());  // neither is a file operation
}

// ---------------------------------------------------------------------------
// The fault-injecting wrapper.

class FaultyPlatformTest : public ::testing::Test {
 protected:
  FaultyPlatformTest() { plan_.inner = &inner_; }

  FakeDisk disk_;
  Platform inner_ = MakeFakePlatform(&disk_);
  FaultPlan plan_;
  Platform p_ = MakeFaultyPlatform(&plan_);
};

TEST_F(FaultyPlatformTest, CountsFileOperationsAndFailsTheKth) {
  FileId file = kNoFile;
  uint32_t moved = 9;
  ASSERT_EQ(p_.create(p_.ctx, "f", &file), 0);  // no plan yet: nothing fails
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  EXPECT_FALSE(plan_.fired);
  plan_.ops.clear();

  plan_.fail_at = 3;
  ASSERT_EQ(p_.create(p_.ctx, "f", &file), 0);
  ASSERT_EQ(p_.write(p_.ctx, file, "abc", 3, &moved), 0);
  EXPECT_FALSE(plan_.fired);
  EXPECT_EQ(p_.write(p_.ctx, file, "def", 3, &moved), kErrDeviceFault);
  EXPECT_TRUE(plan_.fired);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(disk_.files["f"].data, "abc");  // not forwarded
  EXPECT_EQ(disk_.log.size(), 4u);

  // Only once; console, environment and clock are not counted.
  p_.write_console(p_.ctx, "hi", 2);
  p_.environment(p_.ctx);
  LocalTime t;
  EXPECT_TRUE(p_.local_time(p_.ctx, 0, &t));
  ASSERT_EQ(p_.write(p_.ctx, file, "def", 3, &moved), 0);
  ASSERT_EQ(p_.close(p_.ctx, file), 0);
  EXPECT_EQ(disk_.files["f"].data, "abcdef");
  EXPECT_EQ(disk_.console, "hi");
  EXPECT_EQ(plan_.ops, (std::vector<FileOp>{FileOp::kCreate, FileOp::kWrite, FileOp::kWrite, FileOp::kWrite,
                                            FileOp::kClose}));
}

TEST_F(FaultyPlatformTest, FailedOpensAndListingsDoNotReachTheDisk) {
  disk_.files["f"] = FakeFile{"x"};
  plan_.error = kErrAccessDenied;
  FileId file = 3;
  plan_.fail_at = 1;
  EXPECT_EQ(p_.open_read(p_.ctx, "f", &file), kErrAccessDenied);
  EXPECT_EQ(file, kNoFile);
  plan_.fail_at = 2;
  std::vector<DirEntry> entries = {DirEntry{"stale"}};
  EXPECT_FALSE(p_.list_directory(p_.ctx, "", &entries));
  EXPECT_TRUE(entries.empty());
  plan_.fail_at = 3;
  EXPECT_EQ(p_.rename(p_.ctx, "f", "g"), kErrAccessDenied);
  EXPECT_TRUE(disk_.log.empty());
  EXPECT_EQ(disk_.files.count("f"), 1u);
  EXPECT_EQ(p_.rename(p_.ctx, "f", "g"), 0);
  EXPECT_EQ(disk_.files.count("g"), 1u);
}

TEST_F(FaultyPlatformTest, PartialTransfersMoveHalfAndSucceed) {
  plan_.partial = true;
  FileId file = kNoFile;
  ASSERT_EQ(p_.create(p_.ctx, "f", &file), 0);
  uint32_t moved = 0;
  plan_.fail_at = 2;
  ASSERT_EQ(p_.write(p_.ctx, file, "0123456789", 10, &moved), 0);
  EXPECT_EQ(moved, 5u);
  EXPECT_EQ(disk_.files["f"].data, "01234");

  ASSERT_EQ(p_.seek(p_.ctx, file, 0), 0);
  char buffer[8] = {};
  plan_.fail_at = 5;
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, 1, &moved), 0);  // op 4
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, 7, &moved), 0);  // op 5: asks for 3
  EXPECT_EQ(moved, 3u);
  EXPECT_EQ(std::string(buffer, 3), "123");
  plan_.fail_at = 6;
  moved = 9;
  ASSERT_EQ(p_.read(p_.ctx, file, buffer, 1, &moved), 0);  // a single byte moves none
  EXPECT_EQ(moved, 0u);

  // A partial plan still fails what is not a transfer.
  plan_.fail_at = 7;
  EXPECT_EQ(p_.sync(p_.ctx, file), kErrDeviceFault);
}

}  // namespace
}  // namespace tessel
