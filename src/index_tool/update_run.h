// The writing side of update: a run's shared state, and what carries the
// plan's decisions out over the platform.
//
// A run holds the locks tessel takes (the current directory and the
// index's) and those of every nodelist directory it writes into, so that
// no other update, init or build runs meanwhile. Each file is judged on
// its own: one that is refused is reported and makes the status 1, while
// everything that checks and comes from no refused file is still written.
// A new list is held in memory with the list it follows (to compare their
// nodes) and at most one diff.
#ifndef TESSEL_INDEX_TOOL_UPDATE_RUN_H_
#define TESSEL_INDEX_TOOL_UPDATE_RUN_H_

#include <cstdint>
#include <map>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "index_tool/commands.h"
#include "index_tool/update_moves.h"
#include "index_tool/update_plan.h"
#include "index_tool/update_sources.h"
#include "platform/platform.h"
#include "run/run_lock.h"

namespace tessel {

struct UpdateRun {
  const Platform& platform;
  const ToolOptions& options;
  int status = kToolOk;
  std::map<std::string, std::vector<DirEntry>> listings;  // by directory
  ArchiveTime archive_time;                               // left for reading archives
  std::set<std::string> sources;                          // every file a list or diff may come from
  std::map<std::string, FileVerdict> verdicts;            // of sources, for --done and --bad
};

// One base name's state during the run.
struct BaseRun {
  BaseNames names;
  std::set<std::string> made;  // days written by this run
  int64_t last_stamp = 0;      // of the latest list written
};

// Says "words" and records what they make of their files.
void Carry(UpdateRun* run, const Words& words);
// "tessel-index: PATH: problem"; status 3.
void Fail(UpdateRun* run, const std::string& path, const std::string& problem);

// The ordinary files of "dir" in search order, listed once per run; null
// when the directory cannot be listed.
const std::vector<DirEntry>* ListFiles(UpdateRun* run, const std::string& dir);

// Runs "work" for file "path"; memory running out is reported naming the
// file (status 3), and the run goes on with the next file.
template <typename Work>
void ForFile(UpdateRun* run, const std::string& path, Work work) {
  try {
    work();
  } catch (const std::bad_alloc&) {
    Fail(run, path, "not enough memory to process it");
  }
}

// The list of "day" of the base name, as the run names it: one this run
// made, or one the nodelist directory holds; "" when there is none.
std::string ListOfDay(UpdateRun* run, const BaseRun& base, const std::string& day);

// The newest numbered list of the base name, by tessel's rule.
bool FindNewestList(const UpdateRun& run, const BaseRun& base, DirEntry* newest);

// Writes list "bytes" of "day", made from "from", as the newest list of
// its base name (or, "before" set, just before the list in use), and
// checks that tessel's newest-file rule sees it so. "summary" follows the
// list's name on the line after the one that says where it came from.
bool Install(UpdateRun* run, BaseRun* base, const std::string& day, std::string_view bytes, const std::string& from,
             uint16_t crc, const StampRule* before, const std::string& summary);

// Removes the temporary lists a killed run left, under the lock.
void RemoveLeftovers(UpdateRun* run, const BaseRun& base);

// Removes all but the "keep" newest numbered lists of a base name.
void KeepNewest(UpdateRun* run, const BaseRun& base, int keep);

// Reads every full list waiting for "base" and installs those that check.
void UpdateFullLists(UpdateRun* run, BaseRun* base, const std::vector<Source>& sources);

// Reads every diff waiting for "base", applies each to the list it was
// made for in turn, and says why the others applied to none.
void UpdateDiffs(UpdateRun* run, BaseRun* base, const std::vector<Source>& sources);

// Reads the catalogue's base names and locks the directories the run
// writes into; False when the run cannot go on.
bool LockAndReadBases(UpdateRun* run, DirectoryLockSet* locks, std::vector<CatalogueBase>* bases);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_UPDATE_RUN_H_
