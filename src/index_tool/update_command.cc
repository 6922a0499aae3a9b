// update: turns the week's nodediffs and archived nodelists into the next
// numbered nodelist of every catalogued base name, so that tessel finds a
// newer list and rebuilds.
//
// A run first reads and checks everything (full lists, archives, diffs and
// the lists they apply to) in memory. When anything is refused or cannot
// be read, nothing is written. Otherwise every new list is written beside
// the old ones under a temporary name, flushed, stamped and renamed into
// place; an existing list is never replaced.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index_format.h"
#include "index_tool/commands.h"
#include "nodediff/archive_member.h"
#include "nodediff/diff_apply.h"
#include "nodediff/list_names.h"
#include "nodediff/nodelist_crc.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "platform/platform.h"

namespace tessel {
namespace {

constexpr int kToolRefused = 1;

// A file that may give a full list or a diff.
struct Source {
  std::string path;        // directory and name, as reported
  std::string name;        // the name alone
  bool archived = false;
  std::string day;         // three digits (plain) or the archive's two
  int64_t size = 0;        // as listed
};

// A list to be written.
struct NewList {
  std::string name;   // BASE.nnn, built here
  std::string day;
  std::string from;   // the source, for the report
  std::string bytes;
  uint16_t crc = 0;
};

// What a run does for one base name.
struct BasePlan {
  std::string dir;        // the nodelist directory, with its "/" ("" = current)
  std::string list_name;  // BASE's last component
  bool have_newest = false;
  DirEntry newest;               // the list in use, by tessel's rule
  std::vector<NewList> older;    // full lists older than the one in use, oldest first
  std::vector<NewList> newer;    // then the rest, oldest first
};

struct UpdateRun {
  const Platform& platform;
  const ToolOptions& options;
  int status = kToolOk;
  std::map<std::string, std::vector<DirEntry>> listings;  // by directory
  std::vector<BasePlan> plans;

  void Note(const std::string& path, const std::string& text) { std::cout << path << ": " << text << "\n"; }
  void Refuse(const std::string& path, const std::string& reason) {
    std::cerr << "tessel-index: " << path << ": refused: " << reason << "\n";
    status = std::max(status, kToolRefused);
  }
  void Fail(const std::string& path, const std::string& doing, int error) {
    std::cerr << "tessel-index: " << path << ": cannot " << doing << ": " << ErrorText(error) << "\n";
    status = kToolFileError;
  }
};

// A directory as the run names it: "/" at its end, no leading "./".
std::string WithSlash(std::string dir) {
  while (dir.starts_with("./")) dir.erase(0, 2);
  if (dir == ".") dir.clear();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// The ordinary files of "dir" in search order, listed once per run. False
// when the directory cannot be listed.
bool ListFiles(UpdateRun* run, const std::string& dir, const std::vector<DirEntry>** files) {
  auto it = run->listings.find(dir);
  if (it == run->listings.end()) {
    std::vector<DirEntry> listing;
    if (!run->platform.list_directory(run->platform.ctx, dir.c_str(), &listing)) return false;
    std::vector<DirEntry> kept;
    for (DirEntry& entry : listing) {
      if (entry.is_regular && !entry.name.empty() && entry.name[0] != '.') kept.push_back(std::move(entry));
    }
    std::sort(kept.begin(), kept.end(),
              [](const DirEntry& a, const DirEntry& b) { return SearchOrderLess(a.name, b.name); });
    it = run->listings.emplace(dir, std::move(kept)).first;
  }
  *files = &it->second;
  return true;
}

enum class ReadResult { kRead, kFailed, kTooLarge };

// Reads the whole of file "path", at most kMaxListBytes. "listed_size",
// the size a listing showed, sizes the buffer: fresh memory is much of the
// cost of a run, so it is taken once.
ReadResult ReadWholeFile(UpdateRun* run, const std::string& path, int64_t listed_size, std::string* bytes) {
  const Platform& p = run->platform;
  bytes->clear();
  FileId file = kNoFile;
  int error = p.open_read(p.ctx, path.c_str(), &file);
  if (error != 0) {
    run->Fail(path, "open it", error);
    return ReadResult::kFailed;
  }
  // One byte more than listed shows a file that has grown meanwhile.
  size_t chunk = listed_size > 0 && static_cast<uint64_t>(listed_size) <= kMaxListBytes
                     ? static_cast<size_t>(listed_size) + 1
                     : size_t{1} << 20;
  for (;;) {
    size_t at = bytes->size();
    bytes->resize(at + chunk);
    uint32_t moved = 0;
    error = p.read(p.ctx, file, bytes->data() + at, static_cast<uint32_t>(chunk), &moved);
    bytes->resize(at + moved);
    // A read moves fewer bytes than asked for only at the end of the file.
    if (error != 0 || moved < chunk || bytes->size() > kMaxListBytes) break;
    chunk = size_t{1} << 20;
  }
  p.close(p.ctx, file);
  if (error != 0) {
    run->Fail(path, "read it", error);
    return ReadResult::kFailed;
  }
  if (bytes->size() > kMaxListBytes) {
    run->Refuse(path, "larger than 64 MiB");
    return ReadResult::kTooLarge;
  }
  return ReadResult::kRead;
}

// The list or diff a source holds: the file itself, or the member of an
// archive named "stem.nnn". Sets "*day" to the three digits of its name.
bool ReadSource(UpdateRun* run, const Source& source, const std::string& stem, std::string* bytes,
                std::string* day) {
  if (ReadWholeFile(run, source.path, source.size, bytes) != ReadResult::kRead) return false;
  if (!source.archived) {
    *day = source.day;
    return true;
  }
  ArchiveMember member = ReadArchiveMember(*bytes, stem, source.day);
  std::string format = ArchiveFormatOf(*bytes);
  bytes->clear();
  std::string expected = stem + ".?" + source.day;
  switch (member.status) {
    case MemberStatus::kRead:
      *bytes = std::move(member.bytes);
      *day = member.day;
      return true;
    case MemberStatus::kNoMember:
      run->Refuse(source.path, "holds no member named " + expected + " (without folders)");
      return false;
    case MemberStatus::kTooLarge:
      run->Refuse(source.path, "member " + member.name + " would unpack to more than 64 MiB");
      return false;
    case MemberStatus::kUnsupported: {
      if (format.empty()) {
        const char* by_name = ArchiverOfLetter(source.name[source.name.size() - 3]);
        format = *by_name != '\0' ? std::string(by_name) + " (by its name)" : "unknown";
      }
      run->Refuse(source.path, "an archive of format " + format + ", which the archive library cannot read");
      return false;
    }
    case MemberStatus::kDamaged:
      run->Refuse(source.path, "cannot be unpacked: " + member.detail);
      return false;
  }
  return false;
}

// Why a list (or "the list it makes", of a diff) fails its CRC.
std::string CrcProblem(const ListCrc& crc, const std::string& subject) {
  if (!crc.stated) return "the first line " + (subject.empty() ? std::string() : "of " + subject) + "states no CRC";
  return "CRC " + (subject.empty() ? std::string() : "of " + subject) + "does not check: the first line says " +
         CrcText(crc.stated_crc) + ", the lines give " + CrcText(crc.actual_crc);
}

int DayNumber(const std::string& day) { return day.empty() ? 0 : std::stoi(day); }

// Whether the nodelist directory already holds BASE.day, or the run makes it.
bool HasList(UpdateRun* run, const BasePlan& plan, const std::string& day, std::string* existing) {
  const std::vector<DirEntry>* files = nullptr;
  if (ListFiles(run, plan.dir, &files)) {
    std::string found_day;
    for (const DirEntry& entry : *files) {
      if (IsNumberedName(entry.name, plan.list_name, &found_day) && found_day == day) {
        *existing = plan.dir + entry.name;
        return true;
      }
    }
  }
  for (const auto* group : {&plan.older, &plan.newer}) {
    for (const NewList& list : *group) {
      if (list.day == day) {
        *existing = plan.dir + list.name + " (made from " + list.from + ")";
        return true;
      }
    }
  }
  return false;
}

// Inserts "list" into "group", keeping it ordered from oldest to latest.
void InsertByDay(std::vector<NewList>* group, NewList list) {
  size_t at = group->size();
  while (at > 0 && IsLaterList({FirstLine((*group)[at - 1].bytes), DayNumber((*group)[at - 1].day)},
                               {FirstLine(list.bytes), DayNumber(list.day)})) {
    --at;
  }
  group->insert(group->begin() + static_cast<std::ptrdiff_t>(at), std::move(list));
}

// The diff name for a base name: from --diff, or LIST replaced by DIFF.
std::string DiffNameOf(const ToolOptions& options, const std::string& base, const std::string& list_name) {
  for (const auto& [list, diff] : options.diff_names) {
    if (EqualIgnoringCase(HostPath(list), HostPath(base)) || EqualIgnoringCase(list, list_name)) return diff;
  }
  return DiffNameFor(list_name);
}

// Reads and checks everything one base name's new lists come from, and
// plans them.
void PlanBase(UpdateRun* run, const std::string& base) {
  NodelistPathParts parts = SplitNodelistPath(base);
  BasePlan plan;
  plan.dir = WithSlash(HostPath(parts.directory));
  plan.list_name = parts.name;
  std::string diff_name = DiffNameOf(run->options, base, plan.list_name);

  const std::vector<DirEntry>* files = nullptr;
  if (!ListFiles(run, plan.dir, &files)) {
    run->Note(plan.dir.empty() ? "." : plan.dir, "cannot be listed; nothing done for " + base);
    return;
  }
  std::vector<std::string> dirs = {plan.dir};
  for (const std::string& inbound : run->options.inbound) {
    std::string dir = WithSlash(HostPath(inbound));
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  }
  std::vector<Source> full_lists, diffs;
  for (size_t d = 0; d < dirs.size(); ++d) {
    if (!ListFiles(run, dirs[d], &files)) continue;  // reported once, by RunUpdate
    for (const DirEntry& entry : *files) {
      Source source{dirs[d] + entry.name, entry.name, false, "", entry.size};
      char letter = 0;
      if (d > 0 && IsNumberedName(entry.name, plan.list_name, &source.day)) {
        full_lists.push_back(source);
      } else if (IsArchivedName(entry.name, plan.list_name, &letter, &source.day)) {
        source.archived = true;
        full_lists.push_back(source);
      } else if (!diff_name.empty() && IsNumberedName(entry.name, diff_name, &source.day)) {
        diffs.push_back(source);
      } else if (!diff_name.empty() && IsArchivedName(entry.name, diff_name, &letter, &source.day)) {
        source.archived = true;
        diffs.push_back(source);
      }
    }
  }
  if (full_lists.empty() && diffs.empty()) return;

  // The list in use, as tessel picks it.
  std::string newest_bytes;
  plan.have_newest = FindNewestFile(run->platform, plan.dir + plan.list_name + ".*", &plan.newest);
  if (plan.have_newest &&
      ReadWholeFile(run, plan.dir + plan.newest.name, plan.newest.size, &newest_bytes) != ReadResult::kRead) {
    return;
  }
  std::string newest_day;
  if (plan.have_newest) IsNumberedName(plan.newest.name, plan.list_name, &newest_day);
  ListDay in_use{FirstLine(newest_bytes), DayNumber(newest_day)};

  for (const Source& source : full_lists) {
    NewList list;
    if (!ReadSource(run, source, plan.list_name, &list.bytes, &list.day)) continue;
    std::string existing;
    if (HasList(run, plan, list.day, &existing)) {
      run->Note(source.path, "skipped, " + existing + " is already there");
      continue;
    }
    ListCrc crc = CheckListCrc(list.bytes);
    if (!CrcChecks(crc)) {
      run->Refuse(source.path, CrcProblem(crc, ""));
      continue;
    }
    list.name = plan.list_name + "." + list.day;
    list.from = source.path;
    list.crc = crc.actual_crc;
    bool older = plan.have_newest && !IsLaterList({FirstLine(list.bytes), DayNumber(list.day)}, in_use);
    InsertByDay(older ? &plan.older : &plan.newer, std::move(list));
  }

  struct LoadedDiff {
    const Source* source;
    std::string day, bytes;
    bool used = false;
  };
  std::vector<LoadedDiff> loaded;
  for (const Source& source : diffs) {
    LoadedDiff diff{&source, "", ""};
    if (ReadSource(run, source, diff_name, &diff.bytes, &diff.day)) loaded.push_back(std::move(diff));
  }
  // From the latest list, apply every diff made for it, one after another.
  for (;;) {
    std::string_view current = plan.newer.empty() ? std::string_view(newest_bytes) : plan.newer.back().bytes;
    if (plan.newer.empty() && !plan.have_newest) break;
    auto it = std::find_if(loaded.begin(), loaded.end(), [&](const LoadedDiff& diff) {
      return !diff.used && FirstLine(diff.bytes) == FirstLine(current);
    });
    if (it == loaded.end()) break;
    it->used = true;
    const std::string& path = it->source->path;
    std::string existing;
    if (HasList(run, plan, it->day, &existing)) {
      run->Note(path, "skipped, " + existing + " is already there");
      continue;
    }
    NewList list;
    DiffOutcome outcome = ApplyNodediff(current, it->bytes, &list.bytes);
    if (outcome.status != DiffStatus::kApplied) {
      run->Refuse(path, DiffProblem(outcome, it->bytes));
      break;
    }
    ListCrc crc = CheckListCrc(list.bytes);
    if (!CrcChecks(crc)) {
      run->Refuse(path, CrcProblem(crc, "the list it makes "));
      break;
    }
    list.name = plan.list_name + "." + it->day;
    list.day = it->day;
    list.from = path;
    list.crc = crc.actual_crc;
    plan.newer.push_back(std::move(list));
  }
  for (const LoadedDiff& diff : loaded) {
    if (!diff.used) run->Note(diff.source->path, "skipped, applies to no list here");
  }
  run->plans.push_back(std::move(plan));
}

// The last-write time of "name" in "dir" as a fresh listing shows it.
bool FileTime(const Platform& p, const std::string& dir, const std::string& name, int64_t* time) {
  std::vector<DirEntry> listing;
  if (!p.list_directory(p.ctx, dir.c_str(), &listing)) return false;
  for (const DirEntry& entry : listing) {
    if (entry.name == name) {
      *time = entry.mtime;
      return true;
    }
  }
  return false;
}

// Writes "list" into "dir" under a temporary name, flushes it, gives it a
// last-write time no earlier than "*stamp" (which it then holds) and
// renames it into place, unless a list of that name has appeared meanwhile.
bool WriteList(UpdateRun* run, const std::string& dir, const NewList& list, int64_t* stamp, bool at_least_now) {
  const Platform& p = run->platform;
  std::string path = dir + list.name;
  std::string temp = path + ".new";  // never a numbered name
  FileId file = kNoFile;
  int error = p.create(p.ctx, temp.c_str(), &file);
  if (error != 0) {
    run->Fail(temp, "create it", error);
    return false;
  }
  const char* what = "write it";
  for (size_t at = 0; at < list.bytes.size() && error == 0;) {
    uint32_t size = static_cast<uint32_t>(std::min<size_t>(list.bytes.size() - at, 1 << 20));
    uint32_t moved = 0;
    error = p.write(p.ctx, file, list.bytes.data() + at, size, &moved);
    if (error == 0 && moved < size) error = kErrShortWrite;
    at += moved;
  }
  if (error == 0) {
    what = "flush it";
    error = p.sync(p.ctx, file);
  }
  int close_error = p.close(p.ctx, file);
  if (error == 0 && close_error != 0) {
    what = "close it";
    error = close_error;
  }
  int64_t written = 0;
  if (error == 0 && at_least_now && !FileTime(p, dir, list.name + ".new", &written)) {
    what = "read its time";
    error = kErrFileNotFound;
  }
  if (error == 0) {
    what = "set its time";
    *stamp = std::max(*stamp, written);
    error = p.set_file_time(p.ctx, temp.c_str(), *stamp);
  }
  if (error == 0 && FileExists(p, path)) {
    p.remove(p.ctx, temp.c_str());
    std::cerr << "tessel-index: " << path << ": appeared during the run; not replaced\n";
    run->status = kToolFileError;
    return false;
  }
  if (error == 0) {
    what = "rename it";
    error = p.rename(p.ctx, temp.c_str(), path.c_str());
  }
  if (error != 0) {
    p.remove(p.ctx, temp.c_str());
    run->Fail(temp, what, error);
    return false;
  }
  std::cout << path << " from " << list.from << ", CRC " << CrcText(list.crc) << "\n";
  return true;
}

// Writes a base name's new lists so that tessel's newest-file rule, which
// goes by last-write time in two-second steps, picks the latest day: older
// full lists are stamped just before the list in use, the others after it
// in the order of their days, each at least two seconds after the one
// before.
bool WritePlan(UpdateRun* run, const BasePlan& plan) {
  int64_t newest_time = plan.have_newest ? plan.newest.mtime : 0;
  int64_t stamp = newest_time - 2 * static_cast<int64_t>(plan.older.size());
  for (const NewList& list : plan.older) {
    if (!WriteList(run, plan.dir, list, &stamp, false)) return false;
    stamp += 2;
  }
  stamp = plan.have_newest ? newest_time + 2 : 0;
  for (const NewList& list : plan.newer) {
    if (!WriteList(run, plan.dir, list, &stamp, true)) return false;
    stamp += 2;
  }
  return true;
}

// Removes all but the "keep" newest numbered lists of a base name, by
// tessel's rule (never the newest).
void KeepNewest(UpdateRun* run, const std::string& dir, const std::string& list_name, int keep) {
  const Platform& p = run->platform;
  std::vector<DirEntry> lists;
  std::string day;
  for (DirEntry& entry : SearchFiles(p, dir + list_name + ".*", SearchFilter::kOrdinaryFiles)) {
    if (IsNumberedName(entry.name, list_name, &day)) lists.push_back(std::move(entry));
  }
  auto stamp = [&](const DirEntry& e) {
    LocalTime local;
    return p.local_time(p.ctx, e.mtime, &local) ? PackFatTime(local) : 0u;
  };
  std::stable_sort(lists.begin(), lists.end(), [&](const DirEntry& a, const DirEntry& b) { return stamp(a) > stamp(b); });
  DirEntry newest;
  bool have_newest = FindNewestFile(p, dir + list_name + ".*", &newest);
  for (size_t i = static_cast<size_t>(keep); i < lists.size(); ++i) {
    if (have_newest && lists[i].name == newest.name) continue;
    std::string path = dir + lists[i].name;
    int error = p.remove(p.ctx, path.c_str());
    if (error != 0) {
      run->Fail(path, "remove it", error);
    } else {
      std::cout << "removed " << path << "\n";
    }
  }
}

// The catalogued base names, each once, read through the platform.
bool ReadBaseNames(UpdateRun* run, std::vector<std::string>* bases) {
  const Platform& p = run->platform;
  std::string path = IndexPath(run->options);
  FileId file = kNoFile;
  std::string opened;
  int error = OpenExistingFile(p, path, /*read_only=*/true, &file, &opened);
  if (error != 0) {
    run->Fail(path, "open it", error);
    return false;
  }
  std::string head(kIndexHeaderSize + kSlotSize * kMaxSlots, '\0');
  size_t got = 0;
  for (;;) {
    uint32_t moved = 0;
    error = p.read(p.ctx, file, head.data() + got, static_cast<uint32_t>(head.size() - got), &moved);
    got += moved;
    if (error != 0 || moved == 0 || got == head.size()) break;
  }
  p.close(p.ctx, file);
  if (error != 0) {
    run->Fail(opened, "read it", error);
    return false;
  }
  IndexHeader header = {};
  if (got >= sizeof header) std::memcpy(&header, head.data(), sizeof header);
  int count = 0;
  if (got < sizeof header || !SlotCountOf(FirstEntryOffset(header), &count) ||
      static_cast<size_t>(kIndexHeaderSize + kSlotSize * count) > got) {
    std::cerr << "tessel-index: " << opened << ": damaged: no header and catalogue as tessel-index init writes them\n";
    run->status = kToolFileError;
    return false;
  }
  for (int s = 0; s < count; ++s) {
    NodelistSlot slot;
    std::memcpy(&slot, head.data() + kIndexHeaderSize + s * kSlotSize, sizeof slot);
    if (!SlotInUse(slot)) continue;
    std::string base(SlotBaseName(slot));
    if (std::find(bases->begin(), bases->end(), base) == bases->end()) bases->push_back(base);
  }
  return true;
}

}  // namespace

int RunUpdate(const ToolOptions& options) {
  UpdateRun run{NativePlatform(), options, kToolOk, {}, {}};
  std::vector<std::string> bases;
  if (!ReadBaseNames(&run, &bases)) return run.status;
  for (const std::string& inbound : options.inbound) {
    const std::vector<DirEntry>* files = nullptr;
    std::string dir = WithSlash(HostPath(inbound));
    if (!ListFiles(&run, dir, &files)) run.Fail(inbound, "list it", kErrPathNotFound);
  }
  for (const std::string& base : bases) PlanBase(&run, base);
  if (run.status != kToolOk) {
    std::cerr << "tessel-index: nothing written\n";
    return run.status;
  }
  for (const BasePlan& plan : run.plans) {
    if (!WritePlan(&run, plan)) break;
  }
  if (run.status == kToolOk && options.keep > 0) {
    for (const std::string& base : bases) {
      NodelistPathParts parts = SplitNodelistPath(base);
      KeepNewest(&run, WithSlash(HostPath(parts.directory)), parts.name, options.keep);
    }
  }
  return run.status;
}

}  // namespace tessel
