// update: turns the week's nodediffs and archived nodelists into the next
// numbered nodelist of every catalogued base name, so that tessel finds a
// newer list and rebuilds.
//
// A run holds the locks tessel takes (the current directory and the
// index's) and those of every nodelist directory it writes into, so that
// no other update, init or build runs meanwhile. Each file is judged on
// its own: one that is refused is reported and makes the status 1, while
// everything that checks and comes from no refused file is still written.
// A new list is held in memory with the list it follows (to compare their
// nodes) and at most one diff.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index_format.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "index_tool/list_succession.h"
#include "index_tool/node_changes.h"
#include "index_tool/update_moves.h"
#include "index_tool/update_sources.h"
#include "index_tool/update_write.h"
#include "nodediff/diff_apply.h"
#include "nodediff/list_names.h"
#include "nodediff/nodelist_crc.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "platform/platform.h"
#include "run/run_lock.h"

namespace tessel {
namespace {

constexpr int kToolRefused = 1;

// A catalogued base name and the extension of the list the index was
// built from.
struct CatalogueBase {
  std::string base;
  std::string extension;
};

// A full list that checks, to be installed.
struct FullList {
  const Source* source = nullptr;
  std::string day;
  std::string first_line;
  uint16_t crc = 0;
};

// A diff that was read, by the list it applies to.
struct WaitingDiff {
  const Source* source = nullptr;
  std::string day;
  std::string first_line;
  bool used = false;
};

// One base name's state during the run.
struct BaseRun {
  std::string base;
  std::string dir;        // the nodelist directory, with its "/" ("" = current)
  std::string list_name;  // BASE's last component
  std::string diff_name;
  std::string index_extension;  // of the list the index was built from
  std::set<std::string> made;   // days written by this run
  int64_t last_stamp = 0;       // of the latest list written
};

struct UpdateRun {
  const Platform& platform;
  const ToolOptions& options;
  int status = kToolOk;
  std::map<std::string, std::vector<DirEntry>> listings;  // by directory
  ArchiveTime archive_time;                               // left for reading archives
  std::set<std::string> sources;                          // every file a list or diff may come from
  std::map<std::string, FileVerdict> verdicts;            // of sources, for --done and --bad

  void Note(const std::string& path, const std::string& text) {
    std::cout << DisplayPath(path) << ": " << text << "\n";
  }
  void Refuse(const std::string& path, const std::string& reason) {
    std::cerr << "tessel-index: " << DisplayPath(path) << ": refused: " << reason << "\n";
    status = std::max(status, kToolRefused);
    Mark(path, FileVerdict::kRefused);
  }
  void Mark(const std::string& path, FileVerdict verdict) {
    if (sources.count(path) != 0) NoteVerdict(&verdicts, path, verdict);
  }
  void Fail(const std::string& path, const std::string& problem) {
    std::cerr << "tessel-index: " << DisplayPath(path) << ": " << problem << "\n";
    status = kToolFileError;
  }
  void Report(ReadOutcome outcome, const std::string& path, const std::string& reason) {
    if (outcome == ReadOutcome::kRefused) Refuse(path, reason);
    if (outcome == ReadOutcome::kFailed) Fail(path, reason);
    if (outcome == ReadOutcome::kPostponed) Note(path, reason);  // neither moved nor refused
    // A file the run could not finish reading stays for the next run.
    if (outcome != ReadOutcome::kRead && outcome != ReadOutcome::kRefused) Mark(path, FileVerdict::kKept);
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

// Runs "work" for file "path"; memory running out is reported naming the
// file (status 3), and the run goes on with the next file.
template <typename Work>
void ForFile(UpdateRun* run, const std::string& path, Work work) {
  try {
    work();
  } catch (const std::bad_alloc&) {
    run->Fail(path, "not enough memory to process it");
  }
}

constexpr const char* kNotAList = "not a nodelist or nodediff: its first line is no nodelist's first line";

bool IsListFirstLine(std::string_view line) {
  std::string network;
  return NetworkOfFirstLine(line, &network);
}

int DayNumber(const std::string& day) { return day.empty() ? 0 : std::stoi(day); }

// Whether the nodelist directory holds BASE.day, or this run made it.
bool HasList(UpdateRun* run, const BaseRun& base, const std::string& day, std::string* existing) {
  if (base.made.count(day) != 0) {
    *existing = base.dir + base.list_name + "." + day + " (made by this run)";
    return true;
  }
  std::vector<DirEntry> found =
      SearchFiles(run->platform, base.dir + base.list_name + "." + day, SearchFilter::kOrdinaryFiles);
  if (found.empty()) return false;
  *existing = base.dir + found[0].name;
  return true;
}

// The diff name for a base name: from --diff, or LIST replaced by DIFF.
std::string DiffNameOf(const ToolOptions& options, const std::string& base, const std::string& list_name) {
  for (const auto& [list, diff] : options.diff_names) {
    if (EqualIgnoringCase(HostPath(list), HostPath(base)) || EqualIgnoringCase(list, list_name)) return diff;
  }
  return DiffNameFor(list_name);
}

// The packed local time of the newest numbered list of "base".
uint32_t LatestOtherList(UpdateRun* run, const BaseRun& base) {
  uint32_t latest = 0;
  std::string day;
  for (const DirEntry& entry : SearchFiles(run->platform, base.dir + base.list_name + ".*", SearchFilter::kOrdinaryFiles)) {
    if (entry.name.size() >= 3 && entry.name[entry.name.size() - 3] >= '0' && entry.name[entry.name.size() - 3] <= '9') {
      latest = std::max(latest, PackedLocal(run->platform, entry.mtime));
    }
  }
  return latest;
}

// Writes list "bytes" of "day", made from "from", as the newest list of
// its base name (or, "before" set, just before the list in use), and
// checks that tessel's newest-file rule sees it so. "summary" follows the
// list's name on the line after the one that says where it came from.
bool Install(UpdateRun* run, BaseRun* base, const std::string& day, std::string_view bytes, const std::string& from,
             uint16_t crc, const StampRule* before, const std::string& summary) {
  std::string name = base->list_name + "." + day;
  if (std::string obstacle = StampObstacle(run->platform, base->dir + base->list_name + ".*"); !obstacle.empty()) {
    run->Fail(base->dir + name, "not written: " + obstacle);
    return false;
  }
  StampRule rule;
  if (before != nullptr) {
    rule = *before;
  } else {
    rule.bound = LatestOtherList(run, *base);
    rule.earliest = base->last_stamp + 2;
  }
  std::string step;
  int64_t stamp = 0;
  int error = WriteNewList(run->platform, base->dir, name, bytes, rule, &stamp, &step);
  if (error == kErrFileExists) {
    run->Fail(base->dir + name, TakenNameText(run->platform, base->dir + name) + "; not replaced");
    return false;
  }
  if (error != 0) {
    run->Fail(base->dir + name, error == kErrNoStamp ? "cannot set its time: " + step
                                                     : "cannot " + step + ": " + ErrorText(error));
    return false;
  }
  base->made.insert(day);
  std::cout << DisplayPath(base->dir + name) << " from " << DisplayPath(from) << ", CRC " << CrcText(crc) << "\n";
  std::cout << DisplayPath(base->dir + name) << ": " << summary << "\n";
  if (before != nullptr) return true;
  base->last_stamp = stamp;
  DirEntry newest;
  if (!FindNewestFile(run->platform, base->dir + base->list_name + ".*", &newest) || newest.name != name) {
    run->Fail(base->dir + name, "tessel would not take it as the newest list (" + newest.name + " is)");
    return false;
  }
  return true;
}

// Whether "bytes" is a full list whose CRC checks, as received or with the
// carriage returns it lost restored.
bool FullListChecks(std::string_view bytes, std::string* problem, uint16_t* crc) {
  ListCrc as_is = CheckListCrc(bytes);
  ListCrc restored = CrcChecks(as_is) ? as_is : CheckListCrcWithCrLf(bytes);
  *crc = restored.actual_crc;
  if (CrcChecks(restored)) return true;
  *problem = !as_is.stated ? std::string("the first line states no CRC")
                           : "CRC does not check: the first line says " + CrcText(as_is.stated_crc) +
                                 ", the lines give " + CrcText(as_is.actual_crc);
  return false;
}

// Whether the sysop named "source" with --accept: by its path, or by its
// name alone when given without folders.
bool Accepted(const UpdateRun& run, const Source& source) {
  return std::any_of(run.options.accepted.begin(), run.options.accepted.end(), [&](const std::string& given) {
    std::string path = HostPath(given);
    while (path.starts_with("./")) path.erase(0, 2);
    return EqualIgnoringCase(path, path.find('/') == std::string::npos ? source.name : source.path);
  });
}

// The list a new list follows: its name ("" when there is none) and text.
struct ListBefore {
  std::string name;
  std::string bytes;
};

// Whether "bytes", to be written as "name" from "source", may follow list
// "before_name" ("" for none), "before": a list of another network, or
// one with less than half its nodes, is refused unless --accept names the
// source. "*summary" receives the new list's node count and, with
// "compared", its changes.
bool MayFollow(UpdateRun* run, const std::string& before_name, std::string_view before, const std::string& name,
               std::string_view bytes, const Source& source, bool compared, std::string* summary) {
  Succession judged = JudgeSuccession(before_name, before, name, bytes);
  *summary = compared ? judged.summary : NodeCount(judged.nodes);
  if (judged.problem.empty()) return true;
  if (Accepted(*run, source)) {
    run->Note(source.path, "accepted with --accept: " + judged.problem);
    return true;
  }
  run->Refuse(source.path, judged.problem + "; if the network was renamed or cut, --accept " + source.path +
                               " takes it once");
  return false;
}

// Reads every full list waiting for "base" and keeps those to install,
// each once by day, in the order of their days; refusals are reported.
std::vector<FullList> CheckFullLists(UpdateRun* run, const BaseRun& base, const std::vector<Source>& sources) {
  std::vector<FullList> lists;
  for (const Source& source : sources) {
    ForFile(run, source.path, [&] {
      std::string bytes, day, reason;
      ReadOutcome outcome = ReadSource(run->platform, source, base.list_name, &run->archive_time, &bytes, &day, &reason);
      if (outcome != ReadOutcome::kRead) return run->Report(outcome, source.path, reason);
      std::string existing;
      if (HasList(run, base, day, &existing)) {
        run->Mark(source.path, FileVerdict::kDone);
        return run->Note(source.path, "skipped, " + existing + " is already there");
      }
      auto same = std::find_if(lists.begin(), lists.end(), [&](const FullList& l) { return l.day == day; });
      if (same != lists.end()) {
        run->Mark(source.path, FileVerdict::kDone);
        return run->Note(source.path, "skipped, the list of that day comes from " + same->source->path);
      }
      FullList list{&source, day, std::string(FirstLine(bytes)), 0};
      if (!IsListFirstLine(list.first_line)) return run->Refuse(source.path, kNotAList);
      if (!FullListChecks(bytes, &reason, &list.crc)) return run->Refuse(source.path, reason);
      size_t at = lists.size();
      while (at > 0 && IsLaterList({lists[at - 1].first_line, DayNumber(lists[at - 1].day)},
                                   {list.first_line, DayNumber(list.day)})) {
        --at;
      }
      lists.insert(lists.begin() + static_cast<std::ptrdiff_t>(at), std::move(list));
    });
  }
  return lists;
}

// Installs the full lists: those older than the list in use just before
// it, the rest after it, each read again and checked again. Each is
// checked against the list in use, a newer one against the list it
// follows, which its summary compares it with.
void InstallFullLists(UpdateRun* run, BaseRun* base, const std::vector<FullList>& lists) {
  if (lists.empty()) return;
  DirEntry in_use;
  bool have = FindNewestFile(run->platform, base->dir + base->list_name + ".*", &in_use);
  std::string in_use_day, in_use_line, reason;
  ListBefore latest;  // the list in use, then the last newer list installed
  if (have) {
    IsNumberedName(in_use.name, base->list_name, &in_use_day);
    if (ReadPlainFile(run->platform, base->dir + in_use.name, in_use.size, &latest.bytes, &reason) ==
        ReadOutcome::kRead) {
      latest.name = base->dir + in_use.name;
      in_use_line = FirstLine(latest.bytes);
    }
  }
  base->last_stamp = have ? in_use.mtime : 0;
  size_t older = 0;
  while (have && older < lists.size() &&
         !IsLaterList({lists[older].first_line, DayNumber(lists[older].day)}, {in_use_line, DayNumber(in_use_day)})) {
    ++older;
  }
  for (size_t i = 0; i < lists.size(); ++i) {
    const FullList& list = lists[i];
    ForFile(run, list.source->path, [&] {
      std::string bytes, day, summary;
      ReadOutcome outcome = ReadSource(run->platform, *list.source, base->list_name, &run->archive_time, &bytes, &day, &reason);
      if (outcome != ReadOutcome::kRead) return run->Report(outcome, list.source->path, reason);
      uint16_t crc = 0;
      if (day != list.day || !FullListChecks(bytes, &reason, &crc) || crc != list.crc) {
        run->Mark(list.source->path, FileVerdict::kKept);
        return run->Refuse(list.source->path, "changed while the run read it");
      }
      std::string name = base->dir + base->list_name + "." + day;
      if (!MayFollow(run, latest.name, latest.bytes, name, bytes, *list.source, i >= older, &summary)) return;
      StampRule before{false, PackedLocal(run->platform, in_use.mtime), 0,
                       in_use.mtime - 2 * static_cast<int64_t>(older - i)};
      if (!Install(run, base, day, bytes, list.source->path, crc, i < older ? &before : nullptr, summary)) return;
      run->Mark(list.source->path, FileVerdict::kDone);
      if (i >= older) latest = ListBefore{name, std::move(bytes)};
    });
  }
}

// Why a diff applies to no list here, and what would bridge the gap.
// "newest" is the newest list's name, "newest_line" its first line.
std::string UnusedDiffNote(UpdateRun* run, const BaseRun& base, const WaitingDiff& diff, const std::string& newest,
                           std::string_view newest_line) {
  int wanted = DateInFirstLine(diff.first_line);
  if (wanted == 0) return "skipped, applies to no list here";
  std::string wanted_day = std::to_string(1000 + wanted % 1000).substr(1);
  std::string existing;
  if (HasList(run, base, wanted_day, &existing)) {
    return "skipped, made for " + existing + ", which is not the newest list (already applied?)";
  }
  std::string note = "skipped, made for the list of day " + wanted_day + ", which is not here";
  int have = DateInFirstLine(newest_line);
  if (newest.empty() || have == 0 || wanted <= have) {
    return newest.empty() ? note : note + " (older than " + base.dir + newest + ", or of another network)";
  }
  return note + "; the newest list is " + base.dir + newest + ", so a week is missing: " + base.diff_name + "." +
         wanted_day + " or a full " + base.list_name + "." + wanted_day + " would bridge it";
}

// Whether a diff that applied to no list is made redundant by the lists
// here: one of the newest list's network, made for a list that is here
// (so applied before) or for one older than the newest.
bool IsRedundantDiff(UpdateRun* run, const BaseRun& base, const WaitingDiff& diff, std::string_view newest_line) {
  std::string network, newest_network;
  if (!NetworkOfFirstLine(diff.first_line, &network) ||
      (NetworkOfFirstLine(newest_line, &newest_network) && !EqualIgnoringCase(network, newest_network))) {
    return false;
  }
  int wanted = DateInFirstLine(diff.first_line), have = DateInFirstLine(newest_line);
  std::string existing;
  return wanted != 0 && (HasList(run, base, std::to_string(1000 + wanted % 1000).substr(1), &existing) ||
                         (have != 0 && wanted < have));
}

// Notes every diff that applied to no list.
void NoteUnusedDiffs(UpdateRun* run, const BaseRun& base, const std::vector<WaitingDiff>& diffs) {
  DirEntry newest;
  std::string bytes, reason;
  bool unused = std::any_of(diffs.begin(), diffs.end(), [](const WaitingDiff& d) { return !d.used; });
  if (!unused) return;
  if (!FindNewestFile(run->platform, base.dir + base.list_name + ".*", &newest) ||
      ReadFileHead(run->platform, base.dir + newest.name, &bytes, &reason) != ReadOutcome::kRead) {
    newest.name.clear();
  }
  std::string_view newest_line = FirstLine(bytes);
  for (const WaitingDiff& diff : diffs) {
    if (diff.used) continue;
    int wanted = DateInFirstLine(diff.first_line);
    if (newest.name.empty() || wanted == 0 || wanted != DateInFirstLine(newest_line)) {
      if (IsRedundantDiff(run, base, diff, newest_line)) run->Mark(diff.source->path, FileVerdict::kDone);
      run->Note(diff.source->path, UnusedDiffNote(run, base, diff, newest.name, newest_line));
      continue;
    }
    // The newest list's day, yet its first line is another: the diff
    // belongs to another edition of that list and can never apply here.
    ListCrc made_for = CheckListCrc(diff.first_line), have = CheckListCrc(newest_line);
    run->Refuse(diff.source->path, "made for another edition of " + base.dir + newest.name + ", the newest list (" +
                                       (made_for.stated && have.stated
                                            ? "the diff's first line says CRC " + CrcText(made_for.stated_crc) +
                                                  ", the list's " + CrcText(have.stated_crc)
                                            : std::string("their first lines differ")) +
                                       ")");
  }
}

// Reads every diff once, noting the list each applies to.
std::vector<WaitingDiff> ReadDiffs(UpdateRun* run, const BaseRun& base, const std::vector<Source>& sources) {
  std::vector<WaitingDiff> diffs;
  for (const Source& source : sources) {
    ForFile(run, source.path, [&] {
      std::string bytes, day, reason;
      // A plain diff is known by its first line, read alone here; an
      // archived one is unpacked whole.
      ReadOutcome outcome = source.archived
                                ? ReadSource(run->platform, source, base.diff_name, &run->archive_time, &bytes, &day, &reason)
                                : ReadFileHead(run->platform, source.path, &bytes, &reason);
      if (!source.archived) day = source.day;
      if (outcome != ReadOutcome::kRead) return run->Report(outcome, source.path, reason);
      if (!IsListFirstLine(FirstLine(bytes))) return run->Refuse(source.path, kNotAList);
      diffs.push_back(WaitingDiff{&source, day, std::string(FirstLine(bytes)), false});
    });
  }
  return diffs;
}

// Applies diff "diff" to list "*current_name", "*current"; on success they
// are the new list, written. False when the diff was refused or the list
// not written.
bool ApplyOne(UpdateRun* run, BaseRun* base, WaitingDiff* diff, std::string* current, std::string* current_name) {
  const std::string& path = diff->source->path;
  std::string bytes, day, reason;
  ReadOutcome outcome = ReadSource(run->platform, *diff->source, base->diff_name, &run->archive_time, &bytes, &day, &reason);
  if (outcome != ReadOutcome::kRead) {
    run->Report(outcome, path, reason);
    return false;
  }
  if (FirstLine(bytes) != FirstLine(*current)) {
    run->Mark(path, FileVerdict::kKept);
    run->Refuse(path, "changed while the run read it");
    return false;
  }
  std::string made;
  DiffOutcome applied = ApplyNodediff(*current, bytes, &made);
  if (applied.status != DiffStatus::kApplied) {
    run->Refuse(path, DiffProblem(applied, bytes));
    return false;
  }
  ListCrc crc = CheckListCrc(made);
  if (!CrcChecks(crc)) {
    run->Refuse(path, !crc.stated ? std::string("the first line of the list it makes states no CRC")
                                  : "CRC of the list it makes does not check: the first line says " +
                                        CrcText(crc.stated_crc) + ", the lines give " + CrcText(crc.actual_crc));
    return false;
  }
  bytes = std::string();  // one diff in memory at a time
  std::string name = base->dir + base->list_name + "." + day, summary;
  if (!MayFollow(run, *current_name, *current, name, made, *diff->source, true, &summary)) return false;
  if (!Install(run, base, day, made, path, crc.actual_crc, nullptr, summary)) return false;
  run->Mark(path, FileVerdict::kDone);
  *current = std::move(made);
  *current_name = name;
  return true;
}

// From the newest list, applies every diff made for it, one after another.
void ApplyDiffs(UpdateRun* run, BaseRun* base, std::vector<WaitingDiff>* diffs) {
  DirEntry newest;
  if (diffs->empty()) return;
  if (!FindNewestFile(run->platform, base->dir + base->list_name + ".*", &newest)) {
    return run->Fail(base->base, "no numbered list of it is found from the current directory");
  }
  std::string current, reason;
  ReadOutcome outcome = ReadOutcome::kFailed;
  ForFile(run, base->dir + newest.name, [&] {
    outcome = ReadPlainFile(run->platform, base->dir + newest.name, newest.size, &current, &reason);
    run->Report(outcome, base->dir + newest.name, reason);
  });
  if (outcome != ReadOutcome::kRead) return;
  base->last_stamp = std::max(base->last_stamp, newest.mtime);
  std::string current_name = base->dir + newest.name;
  for (;;) {
    auto next = std::find_if(diffs->begin(), diffs->end(), [&](const WaitingDiff& d) {
      return !d.used && d.first_line == FirstLine(current);
    });
    if (next == diffs->end()) break;
    next->used = true;
    std::string existing;
    if (HasList(run, *base, next->day, &existing)) {
      run->Mark(next->source->path, FileVerdict::kDone);
      run->Note(next->source->path, "skipped, " + existing + " is already there");
      continue;
    }
    ForFile(run, next->source->path, [&] { ApplyOne(run, base, &*next, &current, &current_name); });
  }
}

// Removes all but the "keep" newest numbered lists of a base name, by
// tessel's rule, never the newest nor the one the index was built from.
void KeepNewest(UpdateRun* run, const BaseRun& base, int keep) {
  const Platform& p = run->platform;
  std::vector<DirEntry> lists;
  std::string day;
  for (DirEntry& entry : SearchFiles(p, base.dir + base.list_name + ".*", SearchFilter::kOrdinaryFiles)) {
    if (IsNumberedName(entry.name, base.list_name, &day)) lists.push_back(std::move(entry));
  }
  std::stable_sort(lists.begin(), lists.end(), [&](const DirEntry& a, const DirEntry& b) {
    return PackedLocal(p, a.mtime) > PackedLocal(p, b.mtime);
  });
  DirEntry newest;
  bool have_newest = FindNewestFile(p, base.dir + base.list_name + ".*", &newest);
  std::string indexed = base.list_name + "." + base.index_extension;
  for (size_t i = static_cast<size_t>(keep); i < lists.size(); ++i) {
    if ((have_newest && lists[i].name == newest.name) || EqualIgnoringCase(lists[i].name, indexed)) continue;
    std::string path = base.dir + lists[i].name;
    int error = p.remove(p.ctx, path.c_str());
    if (error != 0) {
      run->Fail(path, std::string("cannot remove it: ") + ErrorText(error));
    } else {
      std::cout << "removed " << DisplayPath(path) << "\n";
    }
  }
}

// Temporary lists left by a killed run: removed under the lock.
void RemoveLeftovers(UpdateRun* run, const BaseRun& base) {
  std::vector<DirEntry> entries;
  if (!run->platform.list_directory(run->platform.ctx, base.dir.c_str(), &entries)) return;
  for (const DirEntry& entry : entries) {
    if (IsTemporaryList(entry.name, base.list_name)) run->platform.remove(run->platform.ctx, (base.dir + entry.name).c_str());
  }
}

// Everything update does for one base name.
void UpdateBase(UpdateRun* run, const CatalogueBase& catalogued) {
  NodelistPathParts parts = SplitNodelistPath(catalogued.base);
  BaseRun base;
  base.base = catalogued.base;
  base.dir = WithSlash(HostPath(parts.directory));
  base.list_name = parts.name;
  base.diff_name = DiffNameOf(run->options, catalogued.base, parts.name);
  base.index_extension = catalogued.extension;

  std::vector<std::string> dirs = {base.dir};
  std::vector<std::vector<DirEntry>> listings;
  const std::vector<DirEntry>* files = nullptr;
  if (!ListFiles(run, base.dir, &files)) {
    return run->Fail(base.dir.empty() ? "." : base.dir, "cannot be listed, so the lists of " + base.base +
                                                            " are not found from the current directory");
  }
  listings.push_back(*files);
  for (const std::string& inbound : run->options.inbound) {
    std::string dir = WithSlash(HostPath(inbound));
    if (std::find(dirs.begin(), dirs.end(), dir) != dirs.end() || !ListFiles(run, dir, &files)) continue;
    dirs.push_back(dir);
    listings.push_back(*files);
  }
  RemoveLeftovers(run, base);
  SourceFiles sources;
  FindSources(dirs, listings, base.list_name, base.diff_name, &sources);
  for (const std::vector<Source>* found : {&sources.full_lists, &sources.diffs}) {
    for (const Source& source : *found) run->sources.insert(source.path);
  }
  listings.clear();
  InstallFullLists(run, &base, CheckFullLists(run, base, sources.full_lists));
  DirEntry newest;
  if (!FindNewestFile(run->platform, base.dir + base.list_name + ".*", &newest)) {
    run->Fail(base.base, "no numbered list of it is found from the current directory");
    return;
  }
  std::vector<WaitingDiff> diffs = ReadDiffs(run, base, sources.diffs);
  ApplyDiffs(run, &base, &diffs);
  NoteUnusedDiffs(run, base, diffs);
  if (run->options.keep > 0) KeepNewest(run, base, run->options.keep);
}

// The catalogued base names, each once, read through the platform.
bool ReadBaseNames(UpdateRun* run, std::vector<CatalogueBase>* bases) {
  const Platform& p = run->platform;
  bases->clear();
  std::string path = IndexPath(run->options);
  FileId file = kNoFile;
  std::string opened;
  int error = OpenExistingFile(p, path, /*read_only=*/true, &file, &opened);
  if (error != 0) {
    run->Fail(path, std::string("cannot open it: ") + ErrorText(error));
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
    run->Fail(opened, std::string("cannot read it: ") + ErrorText(error));
    return false;
  }
  IndexHeader header = {};
  if (got >= sizeof header) std::memcpy(&header, head.data(), sizeof header);
  int count = 0;
  if (got < sizeof header || !SlotCountOf(FirstEntryOffset(header), &count) ||
      static_cast<size_t>(kIndexHeaderSize + kSlotSize * count) > got) {
    run->Fail(opened, "damaged: no header and catalogue as tessel-index init writes them");
    return false;
  }
  for (int s = 0; s < count; ++s) {
    NodelistSlot slot;
    std::memcpy(&slot, head.data() + kIndexHeaderSize + s * kSlotSize, sizeof slot);
    if (!SlotInUse(slot)) continue;
    CatalogueBase base{std::string(SlotBaseName(slot)), std::string(SlotExtension(slot))};
    auto same = [&](const CatalogueBase& b) { return b.base == base.base; };
    if (std::none_of(bases->begin(), bases->end(), same)) bases->push_back(base);
  }
  return true;
}

// The directories the run writes into: those tessel locks (the current
// one and the index's) and every nodelist directory there is (one that
// cannot be listed is reported later, and nothing is written into it).
std::vector<std::string> LockedDirs(const UpdateRun& run, const std::vector<CatalogueBase>& bases) {
  std::vector<std::string> dirs = {"", run.options.data_dir};
  std::vector<DirEntry> ignored;
  for (const CatalogueBase& base : bases) {
    std::string dir = WithSlash(HostPath(SplitNodelistPath(base.base).directory));
    if (run.platform.list_directory(run.platform.ctx, dir.c_str(), &ignored)) dirs.push_back(dir);
  }
  return dirs;
}

// Reads the catalogue and locks its directories; reads it again under the
// locks, since another run may have replaced it meanwhile.
bool LockAndReadBases(UpdateRun* run, DirectoryLockSet* locks, std::vector<CatalogueBase>* bases) {
  if (!ReadBaseNames(run, bases)) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::string> dirs = LockedDirs(*run, *bases);
    std::string failed;
    bool timed_out = false;
    int error = LockDirectorySet(run->platform, dirs, WaitingNotice(run->options.report), locks, &failed, &timed_out);
    if (error != 0) {
      run->Fail(failed, timed_out ? "gave up after 10 minutes waiting for its lock"
                                  : std::string("cannot lock: ") + ErrorText(error));
      return false;
    }
    if (!ReadBaseNames(run, bases)) return false;
    std::vector<std::string> now = LockedDirs(*run, *bases);
    if (std::all_of(now.begin(), now.end(), [&](const std::string& d) {
          return std::find(dirs.begin(), dirs.end(), d) != dirs.end();
        })) {
      return true;
    }
    UnlockDirectorySet(run->platform, locks);
  }
  run->Fail(IndexPath(run->options), "kept changing while the run waited for it");
  return false;
}

// The directory of --done or --bad as the run names it, "" when not
// given or when it cannot be listed (reported: nothing moves there).
std::string MoveDirectory(UpdateRun* run, const char* option, const std::string& given) {
  if (given.empty()) return "";
  std::string dir = WithSlash(HostPath(given));
  std::vector<DirEntry> ignored;
  if (dir.empty() || !run->platform.list_directory(run->platform.ctx, dir.c_str(), &ignored)) {
    run->Fail(given, std::string(option) + ": " +
                         (dir.empty() ? "the current directory; give a directory of its own"
                                      : "cannot list it, so nothing is moved there"));
    return "";
  }
  return dir;
}

// Moves the files the run finished with into --done and --bad.
void MoveFinishedFiles(UpdateRun* run, const std::string& done_dir, const std::string& bad_dir) {
  for (const PlannedMove& move : PlanMoves(run->verdicts, done_dir, bad_dir)) {
    std::string to, step;
    int error = CarryOutMove(run->platform, move, &to, &step);
    if (error != 0) {
      run->Fail(move.from, "cannot " + step + ": " + ErrorText(error) +
                               (error == kErrNotSameDevice ? " (a move is a rename: put " + move.dir +
                                                                 " on the same disk); it stays"
                                                           : "; it stays"));
    } else if (move.refused) {
      std::cerr << "tessel-index: " << move.from << ": refused, moved to " << to << "\n";
    } else {
      std::cout << move.from << ": moved to " << to << "\n";
    }
  }
}

}  // namespace

int RunUpdate(const ToolOptions& options) {
  UpdateRun run{*options.platform, options, kToolOk, {}, {}, {}, {}};
  DirectoryLockSet locks;
  std::vector<CatalogueBase> bases;
  if (!LockAndReadBases(&run, &locks, &bases)) return run.status;
  for (const std::string& inbound : options.inbound) {
    const std::vector<DirEntry>* files = nullptr;
    if (!ListFiles(&run, WithSlash(HostPath(inbound)), &files)) run.Fail(inbound, "cannot list it");
  }
  std::string done_dir = MoveDirectory(&run, "--done", options.done_dir);
  std::string bad_dir = MoveDirectory(&run, "--bad", options.bad_dir);
  for (const CatalogueBase& base : bases) ForFile(&run, base.base, [&] { UpdateBase(&run, base); });
  ForFile(&run, "the inbound", [&] { MoveFinishedFiles(&run, done_dir, bad_dir); });
  UnlockDirectorySet(run.platform, &locks);
  return run.status;
}

}  // namespace tessel
