// Keeping update's inbound clean: the files a run has finished with are
// moved out of the way, those it applied or found redundant into one
// directory (--done), those it refused into another (--bad). A move is
// decided first, from what the run made of each file, and then carried
// out as a rename through the platform that never replaces an entry.
#ifndef TESSEL_INDEX_TOOL_UPDATE_MOVES_H_
#define TESSEL_INDEX_TOOL_UPDATE_MOVES_H_

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessel {

// What a run made of a file it found, weakest first: a file one base name
// applied is done whatever another made of it, and one the run did not
// finish with (left for the next run, or changing as it was read) stays.
enum class FileVerdict {
  kRefused,  // unfit: to --bad
  kDone,     // applied, or made redundant by the lists there are: to --done
  kKept,     // stays where it is
};

// Records "verdict" for "path", keeping the stronger of two.
void NoteVerdict(std::map<std::string, FileVerdict>* verdicts, const std::string& path, FileVerdict verdict);

struct PlannedMove {
  std::string from;  // the file, as the run names it ("in/NODEDIFF.003")
  std::string dir;   // where it goes, ending in "/" ("in/done/")
  bool refused = false;
};

// The moves for "verdicts": done files into "done_dir", refused ones into
// "bad_dir" (each "" for no move, else ending in "/"). A file already in
// the directory it would go to stays.
std::vector<PlannedMove> PlanMoves(const std::map<std::string, FileVerdict>& verdicts, const std::string& done_dir,
                                   const std::string& bad_dir);

// Moves "move.from" into "move.dir" under its own name or, when that is
// taken, the first free of NAME.1, NAME.2, ...: the name is first taken by
// creating an empty file there, which the rename then replaces, so no
// other entry is ever replaced. "*to" receives the new path. Returns 0, or
// the error of the failed step ("*step" names it); the file then stays
// where it was (a rename to another device fails with kErrNotSameDevice).
int CarryOutMove(const Platform& platform, const PlannedMove& move, std::string* to, std::string* step);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_UPDATE_MOVES_H_
