#include "index_tool/update_plan.h"

#include <algorithm>

#include "index_tool/node_changes.h"
#include "nodediff/list_names.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

constexpr const char* kNotAList = "not a nodelist or nodediff: its first line is no nodelist's first line";
constexpr const char* kChanged = "changed while the run read it";

bool IsListFirstLine(std::string_view line) {
  std::string network;
  return NetworkOfFirstLine(line, &network);
}

int DayNumber(const std::string& day) { return day.empty() ? 0 : std::stoi(day); }

// The three digits of a list's day from the day number of a first line.
std::string DayText(int date) { return std::to_string(1000 + date % 1000).substr(1); }

Word Refusal(const std::string& path, std::string text) { return Word{WordKind::kRefuse, path, std::move(text), {}}; }

// The diff name for a base name: from --diff, or LIST replaced by DIFF.
std::string DiffNameOf(const ToolOptions& options, const std::string& base, const std::string& list_name) {
  for (const auto& [list, diff] : options.diff_names) {
    if (EqualIgnoringCase(HostPath(list), HostPath(base)) || EqualIgnoringCase(list, list_name)) return diff;
  }
  return DiffNameFor(list_name);
}

// Whether the sysop named "source" with --accept: by its path, or by its
// name alone when given without folders.
bool Accepted(const ToolOptions& options, const Source& source) {
  return std::any_of(options.accepted.begin(), options.accepted.end(), [&](const std::string& given) {
    std::string path = HostPath(given);
    while (path.starts_with("./")) path.erase(0, 2);
    return EqualIgnoringCase(path, path.find('/') == std::string::npos ? source.name : source.path);
  });
}

// Why a list's CRC does not check; "of" names the list when it is not the
// file itself (" of the list it makes").
std::string CrcProblem(const ListCrc& crc, const std::string& of = "") {
  return !crc.stated ? "the first line" + of + " states no CRC"
                     : "CRC" + of + " does not check: the first line says " + CrcText(crc.stated_crc) +
                           ", the lines give " + CrcText(crc.actual_crc);
}

// Why a diff applies to no list here, and what would bridge the gap.
// "newest" is the newest list's name, "newest_line" its first line.
std::string UnusedDiffNote(const BaseNames& names, const WaitingDiff& diff, const std::string& newest,
                           std::string_view newest_line, const std::string& existing) {
  int wanted = DateInFirstLine(diff.first_line);
  if (wanted == 0) return "skipped, applies to no list here";
  std::string wanted_day = DayText(wanted);
  if (!existing.empty()) return "skipped, made for " + existing + ", which is not the newest list (already applied?)";
  std::string note = "skipped, made for the list of day " + wanted_day + ", which is not here";
  int have = DateInFirstLine(newest_line);
  if (newest.empty() || have == 0 || wanted <= have) {
    return newest.empty() ? note : note + " (older than " + names.dir + newest + ", or of another network)";
  }
  return note + "; the newest list is " + names.dir + newest + ", so a week is missing: " + names.diff_name + "." +
         wanted_day + " or a full " + names.list_name + "." + wanted_day + " would bridge it";
}

// Whether a diff that applied to no list is made redundant by the lists
// here: one of the newest list's network, made for a list that is here
// (so applied before) or for one older than the newest.
bool IsRedundantDiff(const WaitingDiff& diff, std::string_view newest_line, const std::string& existing) {
  std::string network, newest_network;
  if (!NetworkOfFirstLine(diff.first_line, &network) ||
      (NetworkOfFirstLine(newest_line, &newest_network) && !EqualIgnoringCase(network, newest_network))) {
    return false;
  }
  int wanted = DateInFirstLine(diff.first_line), have = DateInFirstLine(newest_line);
  return wanted != 0 && (!existing.empty() || (have != 0 && wanted < have));
}

// Whether an unused diff is judged by a note (else it belongs to another
// edition of the newest list, whose day it bears).
bool NotedUnused(const WaitingDiff& diff, const NewestList& newest) {
  int wanted = DateInFirstLine(diff.first_line);
  return newest.name.empty() || wanted == 0 || wanted != DateInFirstLine(newest.first_line);
}

}  // namespace

std::string WithSlash(std::string dir) {
  while (dir.starts_with("./")) dir.erase(0, 2);
  if (dir == ".") dir.clear();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

BaseNames NamesOf(const CatalogueBase& base, const ToolOptions& options) {
  NodelistPathParts parts = SplitNodelistPath(base.base);
  return BaseNames{base.base, WithSlash(HostPath(parts.directory)), parts.name,
                   DiffNameOf(options, base.base, parts.name), base.extension};
}

Words ReadWords(ReadOutcome outcome, const std::string& path, const std::string& reason) {
  switch (outcome) {
    case ReadOutcome::kRead:
      return {};
    case ReadOutcome::kRefused:
      return {Refusal(path, reason)};
    case ReadOutcome::kFailed:
      return {Word{WordKind::kFail, path, reason, FileVerdict::kKept}};
    case ReadOutcome::kPostponed:  // neither moved nor refused
      return {Word{WordKind::kNote, path, reason, FileVerdict::kKept}};
  }
  return {};
}

std::vector<std::string> SourceDirs(const BaseNames& names, const ToolOptions& options) {
  std::vector<std::string> dirs = {names.dir};
  for (const std::string& inbound : options.inbound) {
    std::string dir = WithSlash(HostPath(inbound));
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  }
  return dirs;
}

BaseSources PlanSources(const BaseNames& names, const std::vector<std::string>& dirs,
                        const std::vector<const std::vector<DirEntry>*>& listings) {
  BaseSources planned;
  if (listings.empty() || listings[0] == nullptr) {
    planned.words.push_back(
        Word{WordKind::kFail,
             names.dir.empty() ? "." : names.dir,
             "cannot be listed, so the lists of " + names.base + " are not found from the current directory",
             {}});
    return planned;
  }
  FindSources(dirs, listings, names.list_name, names.diff_name, &planned.files);
  return planned;
}

std::vector<std::string> LeftoverLists(const BaseNames& names, const std::vector<DirEntry>& entries) {
  std::vector<std::string> paths;
  for (const DirEntry& entry : entries) {
    if (IsTemporaryList(entry.name, names.list_name)) paths.push_back(names.dir + entry.name);
  }
  return paths;
}

Words SkipExisting(const std::string& path, const std::string& existing) {
  return {Word{WordKind::kNote, path, "skipped, " + existing + " is already there", FileVerdict::kDone}};
}

Words TakeFullList(const Source& source, const FullListRead& read, std::vector<FullList>* lists) {
  if (!read.existing.empty()) return SkipExisting(source.path, read.existing);
  auto same = std::find_if(lists->begin(), lists->end(), [&](const FullList& l) { return l.day == read.day; });
  if (same != lists->end()) {
    return {Word{WordKind::kNote, source.path, "skipped, the list of that day comes from " + same->source->path,
                 FileVerdict::kDone}};
  }
  if (!IsListFirstLine(read.first_line)) return {Refusal(source.path, kNotAList)};
  if (!read.crc.checks) return {Refusal(source.path, CrcProblem(read.crc.as_is))};
  FullList list{&source, read.day, read.first_line, read.crc.crc};
  size_t at = lists->size();
  while (at > 0 && IsLaterList({(*lists)[at - 1].first_line, DayNumber((*lists)[at - 1].day)},
                               {list.first_line, DayNumber(list.day)})) {
    --at;
  }
  lists->insert(lists->begin() + static_cast<std::ptrdiff_t>(at), std::move(list));
  return {};
}

std::vector<ListInstall> PlanFullListInstalls(const std::vector<FullList>& lists, const InUseList& in_use) {
  size_t older = 0;
  while (in_use.found && older < lists.size() &&
         !IsLaterList({lists[older].first_line, DayNumber(lists[older].day)},
                      {in_use.first_line, DayNumber(in_use.day)})) {
    ++older;
  }
  std::vector<ListInstall> installs;
  for (size_t i = 0; i < lists.size(); ++i) {
    ListInstall install{&lists[i], i < older, {}};
    if (install.before) install.rule = {false, in_use.packed, 0, in_use.mtime - 2 * static_cast<int64_t>(older - i)};
    installs.push_back(install);
  }
  return installs;
}

Words JudgeReread(const FullList& list, const std::string& day, const FullListCrc& crc) {
  if (day == list.day && crc.checks && crc.crc == list.crc) return {};
  return {Word{WordKind::kRefuse, list.source->path, kChanged, FileVerdict::kKept}};
}

FollowDecision JudgeFollow(const Succession& judged, const Source& source, bool compared, const ToolOptions& options) {
  FollowDecision decision{true, compared ? judged.summary : NodeCount(judged.nodes), {}};
  if (judged.problem.empty()) return decision;
  if (Accepted(options, source)) {
    decision.words.push_back(Word{WordKind::kNote, source.path, "accepted with --accept: " + judged.problem, {}});
    return decision;
  }
  decision.follows = false;
  decision.words.push_back(Refusal(
      source.path, judged.problem + "; if the network was renamed or cut, --accept " + source.path + " takes it once"));
  return decision;
}

Word NoListWord(const BaseNames& names) {
  return Word{WordKind::kFail, names.base, "no numbered list of it is found from the current directory", {}};
}

Words TakeDiff(const Source& source, const std::string& day, std::string_view first_line,
               std::vector<WaitingDiff>* diffs) {
  if (!IsListFirstLine(first_line)) return {Refusal(source.path, kNotAList)};
  diffs->push_back(WaitingDiff{&source, day, std::string(first_line), false});
  return {};
}

WaitingDiff* NextDiff(std::vector<WaitingDiff>* diffs, std::string_view list_line) {
  auto next = std::find_if(diffs->begin(), diffs->end(),
                           [&](const WaitingDiff& d) { return !d.used && d.first_line == list_line; });
  if (next == diffs->end()) return nullptr;
  next->used = true;
  return &*next;
}

Words JudgeDiffReread(const std::string& path, std::string_view read_line, std::string_view list_line) {
  if (read_line == list_line) return {};
  return {Word{WordKind::kRefuse, path, kChanged, FileVerdict::kKept}};
}

Words JudgeAppliedDiff(const std::string& path, const DiffOutcome& applied, const std::string& problem,
                       const ListCrc& made) {
  if (applied.status != DiffStatus::kApplied) return {Refusal(path, problem)};
  if (CrcChecks(made)) return {};
  return {Refusal(path, CrcProblem(made, " of the list it makes"))};
}

std::string DayToLookFor(const WaitingDiff& diff, const NewestList& newest) {
  int wanted = DateInFirstLine(diff.first_line);
  return NotedUnused(diff, newest) && wanted != 0 ? DayText(wanted) : "";
}

Words UnusedDiffWords(const BaseNames& names, const WaitingDiff& diff, const NewestList& newest,
                      const std::string& existing) {
  const std::string& path = diff.source->path;
  if (NotedUnused(diff, newest)) {
    Word note{WordKind::kNote, path, UnusedDiffNote(names, diff, newest.name, newest.first_line, existing), {}};
    if (IsRedundantDiff(diff, newest.first_line, existing)) note.verdict = FileVerdict::kDone;
    return {note};
  }
  // The newest list's day, yet its first line is another: the diff
  // belongs to another edition of that list and can never apply here.
  ListCrc made_for = CheckListCrc(diff.first_line), have = CheckListCrc(newest.first_line);
  return {Refusal(
      path, "made for another edition of " + names.dir + newest.name + ", the newest list (" +
                (made_for.stated && have.stated ? "the diff's first line says CRC " + CrcText(made_for.stated_crc) +
                                                      ", the list's " + CrcText(have.stated_crc)
                                                : std::string("their first lines differ")) +
                ")")};
}

std::vector<std::string> ListsToRemove(const BaseNames& names, const std::vector<FoundList>& found,
                                       const std::string& newest, int keep) {
  std::vector<FoundList> lists;
  std::string day;
  for (const FoundList& list : found) {
    if (IsNumberedName(list.name, names.list_name, &day)) lists.push_back(list);
  }
  std::stable_sort(lists.begin(), lists.end(),
                   [](const FoundList& a, const FoundList& b) { return a.packed > b.packed; });
  std::string indexed = names.list_name + "." + names.index_extension;
  std::vector<std::string> paths;
  for (size_t i = static_cast<size_t>(keep); i < lists.size(); ++i) {
    if ((!newest.empty() && lists[i].name == newest) || EqualIgnoringCase(lists[i].name, indexed)) continue;
    paths.push_back(names.dir + lists[i].name);
  }
  return paths;
}

}  // namespace tessel
