// update's diffs: each read once for the list it applies to; then, from
// the newest list, every diff made for it applied in turn, each list it
// makes written before the next diff is read; and a word on every diff
// that applied to none.
#include <algorithm>

#include "index_tool/list_succession.h"
#include "index_tool/update_run.h"
#include "nodediff/diff_apply.h"
#include "nodediff/nodelist_crc.h"

namespace tessel {
namespace {

// Reads every diff once, noting the list each applies to.
std::vector<WaitingDiff> ReadDiffs(UpdateRun* run, const BaseRun& base, const std::vector<Source>& sources) {
  std::vector<WaitingDiff> diffs;
  for (const Source& source : sources) {
    ForFile(run, source.path, [&] {
      std::string bytes, day, reason;
      // A plain diff is known by its first line, read alone here; an
      // archived one is unpacked whole.
      ReadOutcome outcome = source.archived ? ReadSource(run->platform, source, base.names.diff_name,
                                                         &run->archive_time, &bytes, &day, &reason)
                                            : ReadFileHead(run->platform, source.path, &bytes, &reason);
      if (!source.archived) day = source.day;
      if (outcome != ReadOutcome::kRead) return Carry(run, ReadWords(outcome, source.path, reason));
      Carry(run, TakeDiff(source, day, FirstLine(bytes), &diffs));
    });
  }
  return diffs;
}

// Applies diff "diff" to list "*current_name", "*current"; on success they
// are the new list, written. False when the diff was refused or the list
// not written.
bool ApplyOne(UpdateRun* run, BaseRun* base, const WaitingDiff& diff, std::string* current, std::string* current_name) {
  const std::string& path = diff.source->path;
  std::string bytes, day, reason;
  ReadOutcome outcome =
      ReadSource(run->platform, *diff.source, base->names.diff_name, &run->archive_time, &bytes, &day, &reason);
  Words words = ReadWords(outcome, path, reason);
  if (outcome == ReadOutcome::kRead) words = JudgeDiffReread(path, FirstLine(bytes), FirstLine(*current));
  if (!words.empty()) {
    Carry(run, words);
    return false;
  }
  std::string made;
  DiffOutcome applied = ApplyNodediff(*current, bytes, &made);
  ListCrc crc = CheckListCrc(made);
  if (Words refused = JudgeAppliedDiff(path, applied, DiffProblem(applied, bytes), crc); !refused.empty()) {
    Carry(run, refused);
    return false;
  }
  bytes = std::string();  // one diff in memory at a time
  std::string name = base->names.dir + base->names.list_name + "." + day;
  FollowDecision follow =
      JudgeFollow(JudgeSuccession(*current_name, *current, name, made), *diff.source, true, run->options);
  Carry(run, follow.words);
  if (!follow.follows || !Install(run, base, day, made, path, crc.actual_crc, nullptr, follow.summary)) return false;
  Carry(run, {Word{WordKind::kMark, path, "", FileVerdict::kDone}});
  *current = std::move(made);
  *current_name = name;
  return true;
}

// From the newest list, applies every diff made for it, one after another.
void ApplyDiffs(UpdateRun* run, BaseRun* base, std::vector<WaitingDiff>* diffs) {
  DirEntry newest;
  if (diffs->empty()) return;
  if (!FindNewestList(*run, *base, &newest)) return Carry(run, {NoListWord(base->names)});
  std::string current, reason, current_name = base->names.dir + newest.name;
  ReadOutcome outcome = ReadOutcome::kFailed;
  ForFile(run, current_name, [&] {
    outcome = ReadPlainFile(run->platform, current_name, newest.size, &current, &reason);
    Carry(run, ReadWords(outcome, current_name, reason));
  });
  if (outcome != ReadOutcome::kRead) return;
  base->last_stamp = std::max(base->last_stamp, newest.mtime);
  while (WaitingDiff* next = NextDiff(diffs, FirstLine(current))) {
    if (std::string existing = ListOfDay(run, *base, next->day); !existing.empty()) {
      Carry(run, SkipExisting(next->source->path, existing));
      continue;
    }
    ForFile(run, next->source->path, [&] { ApplyOne(run, base, *next, &current, &current_name); });
  }
}

// Says of every diff that applied to no list why, and what would bridge
// the gap.
void NoteUnusedDiffs(UpdateRun* run, const BaseRun& base, const std::vector<WaitingDiff>& diffs) {
  if (std::none_of(diffs.begin(), diffs.end(), [](const WaitingDiff& d) { return !d.used; })) return;
  DirEntry found;
  std::string bytes, reason;
  NewestList newest;
  if (FindNewestList(*run, base, &found) &&
      ReadFileHead(run->platform, base.names.dir + found.name, &bytes, &reason) == ReadOutcome::kRead) {
    newest.name = found.name;
  }
  newest.first_line = FirstLine(bytes);
  for (const WaitingDiff& diff : diffs) {
    if (diff.used) continue;
    std::string day = DayToLookFor(diff, newest);
    Carry(run, UnusedDiffWords(base.names, diff, newest, day.empty() ? "" : ListOfDay(run, base, day)));
  }
}

}  // namespace

void UpdateDiffs(UpdateRun* run, BaseRun* base, const std::vector<Source>& sources) {
  std::vector<WaitingDiff> diffs = ReadDiffs(run, *base, sources);
  ApplyDiffs(run, base, &diffs);
  NoteUnusedDiffs(run, *base, diffs);
}

}  // namespace tessel
