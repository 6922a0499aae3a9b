// The index's head: its header and the catalogue of configured nodelists,
// and the resolution of every catalogued nodelist to its newest file.
//
// A slot names a nodelist by its path without extension (BaseName) and
// remembers the extension of the file the index was last built from. The
// newest file of a base name is the most recently written one among those
// whose name has a digit third from its end (NODELIST.123); when its
// extension differs from the remembered one, the index must be rebuilt.
#ifndef TESSEL_NODELIST_CATALOGUE_H_
#define TESSEL_NODELIST_CATALOGUE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "storage/run_state.h"

namespace tessel {

// A time packed in the FAT file system's 32-bit form: bits 31-25 the year
// minus 1980, 24-21 the month, 20-16 the day, 15-11 the hour, 10-5 the
// minute, 4-0 the seconds halved. Years before 1980 pack as 1980-01-01
// 00:00:00, years after 2107 as 2107-12-31 23:59:58.
uint32_t PackFatTime(const LocalTime& time);

// The parts of a nodelist path: the directory (with its separator), the
// file name and the extension (from the last "." on, empty when there is
// none). "/" counts as "\"; a drive such as "D:" belongs to the directory.
struct NodelistPathParts {
  std::string directory;
  std::string name;
  std::string extension;
};
NodelistPathParts SplitNodelistPath(std::string_view path);

// Whether a file named "file_name" (without its directory) can be the
// newest file of its base name: its name has a digit third from its end.
bool IsNewestCandidate(std::string_view file_name);

// The newest file that "pattern" finds among ordinary files: the most
// recently written one (by its packed local time) whose name has a digit
// third from its end; among equal times the first in search order. Returns
// false when there is none.
bool FindNewestFile(const Platform& platform, std::string_view pattern, DirEntry* newest);

// Reads the header and catalogue of the index at state->settings.index_path
// into the run state (the catalogue in the working heap) and prepares every
// slot (PrepareSlot). May set state->settings.force_rebuild. Returns false
// when the run has ended (a fatal I/O error, or a damaged index).
bool ReadCatalogue(RunState* state);

// The first half of ReadCatalogue: reads the header and the catalogue as
// they are, without preparing any slot.
bool ReadIndexHead(RunState* state);

// Resolves slot "slot" when its BaseName has 5 or more characters; clears
// it to zeros otherwise.
void PrepareSlot(RunState* state, int slot);

// The most recently written file of base name "base_name" whose name has a
// digit third from its end, as the directory search names it (without its
// directory); "" when there is none.
std::string NewestNodelistFile(const Platform& platform, std::string_view base_name);

// Resolves slot "slot" to the newest file of its base name, updating its
// Extension and HighestZone and setting force_rebuild when the extension
// changed. A slot with no suitable file is left as it is.
void ResolveNewestFile(RunState* state, int slot);

// The nodelist path of a slot: BaseName, ".", Extension.
std::string NodelistPath(const NodelistSlot& slot);

}  // namespace tessel

#endif  // TESSEL_NODELIST_CATALOGUE_H_
