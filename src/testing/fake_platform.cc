// The in-memory disk and the fault-injecting wrapper used by tests.
#include "testing/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace tessel {

const char* FileOpName(FileOp op) {
  switch (op) {
    case FileOp::kOpenExisting:
      return "open_existing";
    case FileOp::kOpenRead:
      return "open_read";
    case FileOp::kCreate:
      return "create";
    case FileOp::kRead:
      return "read";
    case FileOp::kWrite:
      return "write";
    case FileOp::kSeek:
      return "seek";
    case FileOp::kSync:
      return "sync";
    case FileOp::kClose:
      return "close";
    case FileOp::kRemove:
      return "remove";
    case FileOp::kRename:
      return "rename";
    case FileOp::kSetTime:
      return "set_file_time";
    case FileOp::kList:
      return "list_directory";
    case FileOp::kCreateNew:
      return "create_new";
    case FileOp::kSetOpenTime:
      return "set_open_file_time";
    case FileOp::kInfo:
      return "file_info";
    case FileOp::kHelper:
      return "run_helper";
  }
  return "?";
}

namespace {

// ---------------------------------------------------------------------------
// The fake disk.

FakeDisk* Disk(void* ctx) { return static_cast<FakeDisk*>(ctx); }

void Log(FakeDisk* disk, FileOp op, std::string path, uint32_t size = 0) {
  disk->log.push_back(FakeOpRecord{op, std::move(path), size});
}

// True when some key lies below "path", which makes "path" a directory.
bool HasChildren(const FakeDisk& disk, const std::string& path) {
  std::string prefix = path + "/";
  auto it = disk.files.lower_bound(prefix);
  return it != disk.files.end() && it->first.starts_with(prefix);
}

bool IsDirectory(const FakeDisk& disk, const std::string& path) {
  auto it = disk.files.find(path);
  if (it != disk.files.end() && it->second.directory) return true;
  return HasChildren(disk, path);
}

FileId NewHandle(FakeDisk* disk, const std::string& path) {
  // Slots are never reused, so a handle used after close stays invalid.
  disk->handles.push_back(FakeDisk::Handle{path, 0, true});
  return static_cast<FileId>(disk->handles.size() - 1);
}

FakeDisk::Handle* FindHandle(FakeDisk* disk, FileId file) {
  if (file < 0 || static_cast<size_t>(file) >= disk->handles.size()) return nullptr;
  FakeDisk::Handle& handle = disk->handles[static_cast<size_t>(file)];
  return handle.open ? &handle : nullptr;
}

// The file behind an open handle, or null when the handle is invalid or its
// file has been removed or replaced.
FakeFile* FileOf(FakeDisk* disk, const FakeDisk::Handle* handle) {
  if (handle == nullptr) return nullptr;
  auto it = disk->files.find(handle->path);
  if (it == disk->files.end() || it->second.directory) return nullptr;
  return &it->second;
}

std::string HandlePath(FakeDisk* disk, FileId file) {
  const FakeDisk::Handle* handle = FindHandle(disk, file);
  return handle != nullptr ? handle->path : std::string();
}

// Detaches open handles from "path" as a file there goes away; like a
// descriptor to an unlinked file, they no longer reach any name.
void OrphanHandles(FakeDisk* disk, const std::string& path) {
  for (FakeDisk::Handle& handle : disk->handles) {
    if (handle.open && handle.path == path) handle.path.clear();
  }
}

int OpenFile(FakeDisk* disk, const char* path, bool for_writing, FileId* file) {
  *file = kNoFile;
  auto it = disk->files.find(path);
  if (it == disk->files.end()) {
    return HasChildren(*disk, path) ? kErrAccessDenied : kErrFileNotFound;
  }
  if (it->second.directory || (for_writing && it->second.read_only)) return kErrAccessDenied;
  *file = NewHandle(disk, path);
  return 0;
}

int FakeOpenExisting(void* ctx, const char* path, FileId* file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kOpenExisting, path);
  return OpenFile(disk, path, /*for_writing=*/true, file);
}

int FakeOpenRead(void* ctx, const char* path, FileId* file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kOpenRead, path);
  return OpenFile(disk, path, /*for_writing=*/false, file);
}

int FakeCreate(void* ctx, const char* path, FileId* file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kCreate, path);
  *file = kNoFile;
  if (IsDirectory(*disk, path)) return kErrAccessDenied;
  auto it = disk->files.find(path);
  if (it != disk->files.end()) {
    if (it->second.read_only) return kErrAccessDenied;
    it->second.data.clear();
  } else {
    disk->files.emplace(path, FakeFile{});
  }
  *file = NewHandle(disk, path);
  return 0;
}

int FakeRead(void* ctx, FileId file, void* buffer, uint32_t size, uint32_t* moved) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kRead, HandlePath(disk, file), size);
  *moved = 0;
  FakeDisk::Handle* handle = FindHandle(disk, file);
  const FakeFile* data_file = FileOf(disk, handle);
  if (data_file == nullptr) return kErrBadHandle;
  const std::string& data = data_file->data;
  if (handle->position >= data.size()) return 0;
  size_t count = std::min<uint64_t>(size, data.size() - handle->position);
  std::memcpy(buffer, data.data() + handle->position, count);
  handle->position += count;
  *moved = static_cast<uint32_t>(count);
  return 0;
}

int FakeWrite(void* ctx, FileId file, const void* buffer, uint32_t size, uint32_t* moved) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kWrite, HandlePath(disk, file), size);
  *moved = 0;
  FakeDisk::Handle* handle = FindHandle(disk, file);
  FakeFile* data_file = FileOf(disk, handle);
  if (data_file == nullptr) return kErrBadHandle;
  std::string& data = data_file->data;
  uint64_t end = handle->position + size;
  if (end > data.size()) data.resize(end, '\0');  // a gap reads as zeros
  if (size > 0) std::memcpy(data.data() + handle->position, buffer, size);
  handle->position = end;
  *moved = size;
  return 0;
}

int FakeSeek(void* ctx, FileId file, int64_t position) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kSeek, HandlePath(disk, file), static_cast<uint32_t>(position));
  FakeDisk::Handle* handle = FindHandle(disk, file);
  if (FileOf(disk, handle) == nullptr) return kErrBadHandle;
  if (position < 0) return kErrDeviceFault;  // as the host rejects it
  handle->position = static_cast<uint64_t>(position);
  return 0;
}

int FakeSync(void* ctx, FileId file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kSync, HandlePath(disk, file));
  return FileOf(disk, FindHandle(disk, file)) == nullptr ? kErrBadHandle : 0;
}

int FakeClose(void* ctx, FileId file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kClose, HandlePath(disk, file));
  FakeDisk::Handle* handle = FindHandle(disk, file);
  if (handle == nullptr) return kErrBadHandle;
  handle->open = false;
  return 0;
}

int FakeRemove(void* ctx, const char* path) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kRemove, path);
  if (IsDirectory(*disk, path)) return kErrAccessDenied;
  auto it = disk->files.find(path);
  if (it == disk->files.end()) return kErrFileNotFound;
  disk->files.erase(it);
  OrphanHandles(disk, path);
  return 0;
}

int FakeRename(void* ctx, const char* from, const char* to) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kRename, from);
  auto it = disk->files.find(from);
  if (it == disk->files.end()) return kErrFileNotFound;
  std::string target = to;
  if (target == from) return 0;
  if (IsDirectory(*disk, target)) return kErrAccessDenied;
  FakeFile moved = std::move(it->second);
  disk->files.erase(it);
  OrphanHandles(disk, target);
  disk->files[target] = std::move(moved);
  // Open handles follow the file to its new name.
  for (FakeDisk::Handle& handle : disk->handles) {
    if (handle.open && handle.path == from) handle.path = target;
  }
  return 0;
}

int FakeSetFileTime(void* ctx, const char* path, int64_t time) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kSetTime, path);
  auto it = disk->files.find(path);
  if (it == disk->files.end()) return HasChildren(*disk, path) ? kErrAccessDenied : kErrFileNotFound;
  if (it->second.directory) return kErrAccessDenied;
  it->second.mtime = time;
  return 0;
}

int FakeCreateNew(void* ctx, const char* path, FileId* file) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kCreateNew, path);
  *file = kNoFile;
  if (disk->files.count(path) != 0 || HasChildren(*disk, path)) return kErrFileExists;
  FakeFile created;
  created.inode = disk->next_inode++;
  disk->files.emplace(path, std::move(created));
  *file = NewHandle(disk, path);
  return 0;
}

int FakeSetOpenFileTime(void* ctx, FileId file, int64_t time) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kSetOpenTime, HandlePath(disk, file));
  FakeFile* data_file = FileOf(disk, FindHandle(disk, file));
  if (data_file == nullptr) return kErrBadHandle;
  data_file->mtime = time;
  return 0;
}

void DescribeFake(const FakeFile& file, FileInfo* info) {
  info->inode = file.inode;
  info->mtime = file.mtime;
  info->size = static_cast<int64_t>(file.data.size());
  info->is_regular = !file.directory;
  info->is_directory = file.directory;
  info->link_count = file.links;
}

int FakeOpenFileInfo(void* ctx, FileId file, FileInfo* info) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kInfo, HandlePath(disk, file));
  *info = FileInfo{};
  const FakeFile* data_file = FileOf(disk, FindHandle(disk, file));
  if (data_file == nullptr) return kErrBadHandle;
  DescribeFake(*data_file, info);
  return 0;
}

int FakeEntryInfo(void* ctx, const char* path, FileInfo* info) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kInfo, path);
  *info = FileInfo{};
  auto it = disk->files.find(path);
  if (it == disk->files.end()) return HasChildren(*disk, path) ? 0 : kErrFileNotFound;
  DescribeFake(it->second, info);
  return 0;
}

uint32_t FakeProcessId(void* ctx) { return Disk(ctx)->process_id; }

std::string FakeAbsolutePath(void* ctx, std::string_view path) {
  if (path.starts_with('/')) return std::string(path);
  return Disk(ctx)->current_directory + "/" + std::string(path.empty() ? "." : path);
}

int64_t FakeNow(void* ctx) { return Disk(ctx)->now; }

int FakeRunHelper(void* ctx, const HelperRun& run, std::string* output, HelperOutcome* outcome) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kHelper, run.program);
  *outcome = HelperOutcome{};
  output->clear();
  if (!disk->helper_present) {
    outcome->searched = std::string("/fake/bin/") + run.program;
    return kErrFileNotFound;
  }
  disk->helper_runs.push_back(run.args);
  outcome->elapsed_ms = std::min(disk->helper_elapsed_ms, run.wall_ms);
  if (disk->helper_elapsed_ms > run.wall_ms) {
    outcome->timed_out = true;
    return 0;
  }
  if (disk->helper_output.size() > run.max_output) {
    outcome->output_overflow = true;
    return 0;
  }
  *output = disk->helper_output;
  outcome->signal = disk->helper_signal;
  outcome->exit_status = disk->helper_signal != 0 ? -1 : disk->helper_exit_status;
  return 0;
}

bool FakeListDirectory(void* ctx, const char* dir, std::vector<DirEntry>* entries) {
  FakeDisk* disk = Disk(ctx);
  Log(disk, FileOp::kList, dir);
  entries->clear();
  std::string base = dir;
  if (!base.empty() && base.back() == '/') base.pop_back();
  if (!base.empty() && !IsDirectory(*disk, base)) return false;
  std::string prefix = base.empty() ? std::string() : base + "/";

  std::map<std::string, DirEntry> found;  // by name, so implied ones merge
  for (auto it = disk->files.lower_bound(prefix); it != disk->files.end(); ++it) {
    const std::string& key = it->first;
    if (!key.starts_with(prefix)) break;
    std::string rest = key.substr(prefix.size());
    if (rest.empty()) continue;
    size_t slash = rest.find('/');
    if (slash != std::string::npos) {
      // Something deeper down: its first component is a directory here.
      DirEntry& entry = found[rest.substr(0, slash)];
      entry.is_directory = true;
      entry.is_regular = false;
      continue;
    }
    DirEntry& entry = found[rest];
    entry.is_directory = entry.is_directory || it->second.directory;
    entry.is_regular = !entry.is_directory;
    entry.mtime = it->second.mtime;
    entry.size = entry.is_regular ? static_cast<int64_t>(it->second.data.size()) : 0;
  }
  for (auto& [name, entry] : found) {
    entry.name = name;
    entries->push_back(std::move(entry));
  }
  return true;
}

const char* const* FakeEnvironment(void* ctx) {
  FakeDisk* disk = Disk(ctx);
  disk->env_pointers.clear();
  for (const std::string& entry : disk->environment) disk->env_pointers.push_back(entry.c_str());
  disk->env_pointers.push_back(nullptr);
  return disk->env_pointers.data();
}

constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The proleptic Gregorian date of day "days" counted from 1970-01-01.
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;  // count from 0000-03-01, so leap days fall at year end
  const int64_t era = FloorDiv(days, 146097);
  const int64_t day_of_era = days - era * 146097;                     // [0, 146096]
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;  // [0, 399]
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;           // 0 = March
  *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  *year = year_of_era + era * 400 + (*month <= 2 ? 1 : 0);
}

bool FakeLocalTime(void* ctx, int64_t time, LocalTime* local) {
  const FakeDisk* disk = Disk(ctx);
  // Split both values into days and seconds first so that no sum overflows.
  int64_t days = FloorDiv(time, kSecondsPerDay) + FloorDiv(disk->utc_offset, kSecondsPerDay);
  int64_t seconds = (time - FloorDiv(time, kSecondsPerDay) * kSecondsPerDay) +
                    (disk->utc_offset - FloorDiv(disk->utc_offset, kSecondsPerDay) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++days;
  }
  int64_t year;
  CivilFromDays(days, &year, &local->month, &local->day);
  local->year = static_cast<int>(year);  // wraps only for absurd times
  local->hour = static_cast<int>(seconds / 3600);
  local->minute = static_cast<int>(seconds / 60 % 60);
  local->second = static_cast<int>(seconds % 60);
  return true;
}

void FakeWriteConsole(void* ctx, const char* data, size_t size) { Disk(ctx)->console.append(data, size); }

// A directory's name as the lock keys know it: "" for the current one, no
// trailing "/".
std::string LockKey(std::string dir) {
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir == "." ? std::string() : dir;
}

int FakeOpenLock(void* ctx, const char* dir, DirectoryLock* lock) {
  FakeDisk* disk = Disk(ctx);
  *lock = DirectoryLock{};
  std::string key = LockKey(dir);
  if (!key.empty() && !IsDirectory(*disk, key)) return kErrPathNotFound;
  lock->handle = static_cast<int>(disk->lock_dirs.size());
  lock->inode = std::hash<std::string>()(key);
  disk->lock_dirs.push_back(key);
  return 0;
}

int FakeTryLock(void* ctx, DirectoryLock* lock, bool* taken) {
  FakeDisk* disk = Disk(ctx);
  const std::string& key = disk->lock_dirs.at(static_cast<size_t>(lock->handle));
  auto other = disk->other_runs.find(key);
  // A second lock on a directory this run already holds waits for the
  // first, as two open descriptions of one directory do.
  *taken = (other == disk->other_runs.end() || (other->second >= 0 && disk->clock_ms >= other->second)) &&
           std::find(disk->held.begin(), disk->held.end(), key) == disk->held.end();
  if (*taken) disk->held.push_back(key);
  lock->held = *taken;
  return 0;
}

void FakeCloseLock(void* ctx, DirectoryLock* lock) {
  FakeDisk* disk = Disk(ctx);
  if (lock->handle < 0) return;
  if (lock->held) std::erase(disk->held, disk->lock_dirs.at(static_cast<size_t>(lock->handle)));
  *lock = DirectoryLock{};
}

void FakeSleep(void* ctx, uint32_t milliseconds) { Disk(ctx)->clock_ms += milliseconds; }

// ---------------------------------------------------------------------------
// The fault-injecting wrapper.

FaultPlan* Plan(void* ctx) { return static_cast<FaultPlan*>(ctx); }
const Platform& Inner(void* ctx) { return *Plan(ctx)->inner; }

// Records "op" and tells whether it is the one to fail.
bool Strikes(FaultPlan* plan, FileOp op, std::string_view path = {}) {
  plan->ops.push_back(op);
  if (plan->before) plan->before(static_cast<long>(plan->ops.size()), op, path);
  if (plan->halt && plan->fired) return true;
  if (plan->fail_at <= 0 || static_cast<long>(plan->ops.size()) != plan->fail_at) return false;
  plan->fired = true;
  return true;
}

int FaultyOpenExisting(void* ctx, const char* path, FileId* file) {
  if (Strikes(Plan(ctx), FileOp::kOpenExisting, path)) {
    *file = kNoFile;
    return Plan(ctx)->error;
  }
  return Inner(ctx).open_existing(Inner(ctx).ctx, path, file);
}

int FaultyOpenRead(void* ctx, const char* path, FileId* file) {
  if (Strikes(Plan(ctx), FileOp::kOpenRead, path)) {
    *file = kNoFile;
    return Plan(ctx)->error;
  }
  return Inner(ctx).open_read(Inner(ctx).ctx, path, file);
}

int FaultyCreate(void* ctx, const char* path, FileId* file) {
  if (Strikes(Plan(ctx), FileOp::kCreate, path)) {
    *file = kNoFile;
    return Plan(ctx)->error;
  }
  return Inner(ctx).create(Inner(ctx).ctx, path, file);
}

int FaultyRead(void* ctx, FileId file, void* buffer, uint32_t size, uint32_t* moved) {
  if (Strikes(Plan(ctx), FileOp::kRead)) {
    if (Plan(ctx)->partial && size >= 1) {
      return Inner(ctx).read(Inner(ctx).ctx, file, buffer, size / 2, moved);
    }
    *moved = 0;
    return Plan(ctx)->error;
  }
  return Inner(ctx).read(Inner(ctx).ctx, file, buffer, size, moved);
}

int FaultyWrite(void* ctx, FileId file, const void* buffer, uint32_t size, uint32_t* moved) {
  if (Strikes(Plan(ctx), FileOp::kWrite)) {
    if (Plan(ctx)->partial && size >= 1) {
      return Inner(ctx).write(Inner(ctx).ctx, file, buffer, size / 2, moved);
    }
    *moved = 0;
    return Plan(ctx)->error;
  }
  return Inner(ctx).write(Inner(ctx).ctx, file, buffer, size, moved);
}

int FaultySeek(void* ctx, FileId file, int64_t position) {
  if (Strikes(Plan(ctx), FileOp::kSeek)) return Plan(ctx)->error;
  return Inner(ctx).seek(Inner(ctx).ctx, file, position);
}

int FaultySync(void* ctx, FileId file) {
  if (Strikes(Plan(ctx), FileOp::kSync)) return Plan(ctx)->error;
  return Inner(ctx).sync(Inner(ctx).ctx, file);
}

int FaultyClose(void* ctx, FileId file) {
  if (Strikes(Plan(ctx), FileOp::kClose)) return Plan(ctx)->error;
  return Inner(ctx).close(Inner(ctx).ctx, file);
}

int FaultyRemove(void* ctx, const char* path) {
  if (Strikes(Plan(ctx), FileOp::kRemove, path)) return Plan(ctx)->error;
  return Inner(ctx).remove(Inner(ctx).ctx, path);
}

int FaultyRename(void* ctx, const char* from, const char* to) {
  if (Strikes(Plan(ctx), FileOp::kRename, from)) return Plan(ctx)->error;
  return Inner(ctx).rename(Inner(ctx).ctx, from, to);
}

int FaultySetFileTime(void* ctx, const char* path, int64_t time) {
  if (Strikes(Plan(ctx), FileOp::kSetTime, path)) return Plan(ctx)->error;
  return Inner(ctx).set_file_time(Inner(ctx).ctx, path, time);
}

bool FaultyListDirectory(void* ctx, const char* dir, std::vector<DirEntry>* entries) {
  if (Strikes(Plan(ctx), FileOp::kList, dir)) {
    entries->clear();
    return false;
  }
  return Inner(ctx).list_directory(Inner(ctx).ctx, dir, entries);
}

int FaultyCreateNew(void* ctx, const char* path, FileId* file) {
  if (Strikes(Plan(ctx), FileOp::kCreateNew, path)) {
    *file = kNoFile;
    return Plan(ctx)->error;
  }
  return Inner(ctx).create_new(Inner(ctx).ctx, path, file);
}

int FaultySetOpenFileTime(void* ctx, FileId file, int64_t time) {
  if (Strikes(Plan(ctx), FileOp::kSetOpenTime)) return Plan(ctx)->error;
  return Inner(ctx).set_open_file_time(Inner(ctx).ctx, file, time);
}

int FaultyOpenFileInfo(void* ctx, FileId file, FileInfo* info) {
  if (Strikes(Plan(ctx), FileOp::kInfo)) return Plan(ctx)->error;
  return Inner(ctx).open_file_info(Inner(ctx).ctx, file, info);
}

int FaultyEntryInfo(void* ctx, const char* path, FileInfo* info) {
  if (Strikes(Plan(ctx), FileOp::kInfo, path)) return Plan(ctx)->error;
  return Inner(ctx).entry_info(Inner(ctx).ctx, path, info);
}

uint32_t FaultyProcessId(void* ctx) { return Inner(ctx).process_id(Inner(ctx).ctx); }

int FaultyRunHelper(void* ctx, const HelperRun& run, std::string* output, HelperOutcome* outcome) {
  if (Strikes(Plan(ctx), FileOp::kHelper, run.program != nullptr ? run.program : "")) {
    *outcome = HelperOutcome{};
    return Plan(ctx)->error;
  }
  return Inner(ctx).run_helper(Inner(ctx).ctx, run, output, outcome);
}

const char* const* FaultyEnvironment(void* ctx) { return Inner(ctx).environment(Inner(ctx).ctx); }

bool FaultyLocalTime(void* ctx, int64_t time, LocalTime* local) {
  return Inner(ctx).local_time(Inner(ctx).ctx, time, local);
}

void FaultyWriteConsole(void* ctx, const char* data, size_t size) {
  Inner(ctx).write_console(Inner(ctx).ctx, data, size);
}

int FaultyOpenLock(void* ctx, const char* dir, DirectoryLock* lock) {
  return Inner(ctx).open_lock(Inner(ctx).ctx, dir, lock);
}

int FaultyTryLock(void* ctx, DirectoryLock* lock, bool* taken) {
  return Inner(ctx).try_lock(Inner(ctx).ctx, lock, taken);
}

void FaultyCloseLock(void* ctx, DirectoryLock* lock) { Inner(ctx).close_lock(Inner(ctx).ctx, lock); }

void FaultySleep(void* ctx, uint32_t milliseconds) { Inner(ctx).sleep(Inner(ctx).ctx, milliseconds); }

std::string FaultyAbsolutePath(void* ctx, std::string_view path) {
  return Inner(ctx).absolute_path(Inner(ctx).ctx, path);
}

int64_t FaultyNow(void* ctx) { return Inner(ctx).now(Inner(ctx).ctx); }

}  // namespace

Platform MakeFakePlatform(FakeDisk* disk) {
  return Platform{
      .ctx = disk,
      .open_existing = FakeOpenExisting,
      .open_read = FakeOpenRead,
      .create = FakeCreate,
      .read = FakeRead,
      .write = FakeWrite,
      .seek = FakeSeek,
      .sync = FakeSync,
      .close = FakeClose,
      .remove = FakeRemove,
      .rename = FakeRename,
      .set_file_time = FakeSetFileTime,
      .create_new = FakeCreateNew,
      .set_open_file_time = FakeSetOpenFileTime,
      .open_file_info = FakeOpenFileInfo,
      .entry_info = FakeEntryInfo,
      .process_id = FakeProcessId,
      .run_helper = FakeRunHelper,
      .list_directory = FakeListDirectory,
      .environment = FakeEnvironment,
      .local_time = FakeLocalTime,
      .write_console = FakeWriteConsole,
      .open_lock = FakeOpenLock,
      .try_lock = FakeTryLock,
      .close_lock = FakeCloseLock,
      .sleep = FakeSleep,
      .prepare_memory = nullptr,  // memory is memory here
      .absolute_path = FakeAbsolutePath,
      .now = FakeNow,
  };
}

Platform MakeFaultyPlatform(FaultPlan* plan) {
  return Platform{
      .ctx = plan,
      .open_existing = FaultyOpenExisting,
      .open_read = FaultyOpenRead,
      .create = FaultyCreate,
      .read = FaultyRead,
      .write = FaultyWrite,
      .seek = FaultySeek,
      .sync = FaultySync,
      .close = FaultyClose,
      .remove = FaultyRemove,
      .rename = FaultyRename,
      .set_file_time = FaultySetFileTime,
      .create_new = FaultyCreateNew,
      .set_open_file_time = FaultySetOpenFileTime,
      .open_file_info = FaultyOpenFileInfo,
      .entry_info = FaultyEntryInfo,
      .process_id = FaultyProcessId,
      .run_helper = FaultyRunHelper,
      .list_directory = FaultyListDirectory,
      .environment = FaultyEnvironment,
      .local_time = FaultyLocalTime,
      .write_console = FaultyWriteConsole,
      .open_lock = FaultyOpenLock,
      .try_lock = FaultyTryLock,
      .close_lock = FaultyCloseLock,
      .sleep = FaultySleep,
      .prepare_memory = nullptr,
      .absolute_path = FaultyAbsolutePath,
      .now = FaultyNow,
  };
}

}  // namespace tessel
