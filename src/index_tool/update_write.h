// The writing side of update: a new numbered list put in place without
// ever following a link or replacing a file, stamped so that tessel's
// newest-file rule picks it where it belongs.
#ifndef TESSEL_INDEX_TOOL_UPDATE_WRITE_H_
#define TESSEL_INDEX_TOOL_UPDATE_WRITE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tessel {

// Where a new list's time must fall by tessel's comparison (local time
// packed in two-second steps): after every other numbered list of its base
// name (kNewest), or before the list in use (kBefore "bound").
struct StampRule {
  bool newest = true;
  uint32_t bound = 0;   // packed local time: to exceed (newest) or stay below
  int64_t earliest = 0;  // the stamp is at least this (seconds since 1970 UTC); newest only
  int64_t latest = 0;    // the stamp is at most this; before only
};

// A time that "rule" accepts, by the platform's local time: the first in
// two-second steps from the rule's start. False when none lies within
// three hours (which covers any change of the clocks).
bool StampFor(const Platform& platform, const StampRule& rule, int64_t* stamp);

// The packed local time of "time" (0 when it cannot be converted).
uint32_t PackedLocal(const Platform& platform, int64_t time);

// Returned by WriteNewList when no time places the list as "rule" asks;
// "*step" then says why.
constexpr int kErrNoStamp = -1;

// Why no list of the base name whose files "pattern" searches can be
// stamped soundly now: the clock is before 1980, where tessel compares no
// time, or the list tessel takes now is dated more than a day after the
// clock (a list dated at the end of 2107 would drag every later stamp
// there, and one after 2107 can never be passed). "" when nothing stands
// in the way.
std::string StampObstacle(const Platform& platform, const std::string& pattern);

// What holds "path", which WriteNewList found taken: "is a directory",
// "is a FIFO", "is a link to nothing", and so on; a regular file
// "appeared during the run" (one that was there is found before).
std::string TakenNameText(const Platform& platform, const std::string& path);

// Writes "bytes" as "dir" + "name": created new under a name of its own
// for this run (BASE.nnn.<process>.new), stamped on its open descriptor by
// "rule" (the time in "*stamp" afterwards), flushed, and renamed into
// place when the temporary name still holds that very file and "name" is
// still free. On failure "*step" names the step and the temporary file is
// gone; kErrFileExists means "name" is taken (see TakenNameText).
int WriteNewList(const Platform& platform, const std::string& dir, const std::string& name, std::string_view bytes,
                 StampRule rule, int64_t* stamp, std::string* step);

// Whether "file" is a temporary list of update's own naming for a list of
// "list_name" (BASE.nnn.<digits>.new, or BASE.nnn.new of earlier runs).
bool IsTemporaryList(std::string_view file, std::string_view list_name);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_UPDATE_WRITE_H_
