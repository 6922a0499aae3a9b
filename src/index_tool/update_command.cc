// update: turns the week's nodediffs and archived nodelists into the next
// numbered nodelist of every catalogued base name, so that tessel finds a
// newer list and rebuilds. update_plan decides; the update_* files beside
// it carry the decisions out (update_run.h tells how a run goes).
#include <string>
#include <vector>

#include "index_tool/commands.h"
#include "index_tool/report.h"
#include "index_tool/update_moves.h"
#include "index_tool/update_plan.h"
#include "index_tool/update_run.h"
#include "platform/file_search.h"
#include "platform/platform.h"
#include "run/run_lock.h"

namespace tessel {
namespace {

// Everything update does for one base name.
void UpdateBase(UpdateRun* run, const CatalogueBase& catalogued) {
  BaseRun base{NamesOf(catalogued, run->options), {}, 0};
  std::vector<std::string> dirs = SourceDirs(base.names, run->options);
  std::vector<const std::vector<DirEntry>*> listings = {ListFiles(run, dirs[0])};
  for (size_t d = 1; listings[0] != nullptr && d < dirs.size(); ++d) listings.push_back(ListFiles(run, dirs[d]));
  BaseSources planned = PlanSources(base.names, dirs, listings);
  if (!planned.words.empty()) return Carry(run, planned.words);
  RemoveLeftovers(run, base);
  for (const std::vector<Source>* found : {&planned.files.full_lists, &planned.files.diffs}) {
    for (const Source& source : *found) run->sources.insert(source.path);
  }
  UpdateFullLists(run, &base, planned.files.full_lists);
  DirEntry newest;
  if (!FindNewestList(*run, base, &newest)) return Carry(run, {NoListWord(base.names)});
  UpdateDiffs(run, &base, planned.files.diffs);
  if (run->options.keep > 0) KeepNewest(run, base, run->options.keep);
}

// The directory of --done or --bad as the run names it, "" when not
// given or when it cannot be listed (reported: nothing moves there).
std::string MoveDirectory(UpdateRun* run, const char* option, const std::string& given) {
  if (given.empty()) return "";
  std::string dir = WithSlash(HostPath(given));
  std::vector<DirEntry> ignored;
  if (dir.empty() || !run->platform.list_directory(run->platform.ctx, dir.c_str(), &ignored)) {
    Fail(run, given,
         std::string(option) + ": " +
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
      Fail(run, move.from,
           "cannot " + step + ": " + ErrorText(error) +
               (error == kErrNotSameDevice ? " (a move is a rename: put " + move.dir + " on the same disk); it stays"
                                           : "; it stays"));
    } else if (move.refused) {
      Complain(run->options.report, move.from, "refused, moved to " + to);
    } else {
      Say(run->options.report, move.from + ": moved to " + to + "\n");
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
    if (ListFiles(&run, WithSlash(HostPath(inbound))) == nullptr) Fail(&run, inbound, "cannot list it");
  }
  std::string done_dir = MoveDirectory(&run, "--done", options.done_dir);
  std::string bad_dir = MoveDirectory(&run, "--bad", options.bad_dir);
  for (const CatalogueBase& base : bases) ForFile(&run, base.base, [&] { UpdateBase(&run, base); });
  ForFile(&run, "the inbound", [&] { MoveFinishedFiles(&run, done_dir, bad_dir); });
  UnlockDirectorySet(run.platform, &locks);
  return run.status;
}

}  // namespace tessel
