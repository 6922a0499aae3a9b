// What check finds beyond tessel's own view of the setup: the state of the
// index itself, of the nodelists it points into and of those tessel would
// read next, a base name catalogued twice, and files left by runs that were
// stopped.
#ifndef TESSEL_INDEX_TOOL_CHECK_FINDINGS_H_
#define TESSEL_INDEX_TOOL_CHECK_FINDINGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "index_tool/report.h"
#include "platform/platform.h"
#include "storage/index_format.h"

namespace tessel {

struct CheckReport {
  std::vector<std::string> problems;  // each says what to do; any makes the status 1
  std::vector<std::string> notes;     // worth knowing, not wrong
  bool unreadable = false;            // a file could not be read: status 3
};

// Examines the index at "path" as verify does and says a summary line to
// "sink".
void CheckIndexContents(const Platform& platform, const ReportSink& sink, const std::string& path, CheckReport* report);

// The nodelist the index was built from for slot "s" ("before" as the
// index holds it) and the one tessel would read now ("now", "" when none):
// gone, or failing its CRC.
void CheckSlotLists(const Platform& platform, int s, const NodelistSlot& before, const std::string& now,
                    CheckReport* report);

// Slots that catalogue the same base name (letter case and separators
// ignored).
void CheckDuplicateBaseNames(const std::vector<NodelistSlot>& slots, CheckReport* report);

// nlindex.foo in the current directory, nlindex.bar beside the index at
// "index_path" and temporary lists (*.new) beside the catalogued ones, with
// their age at "now" (seconds since 1970).
void NoteLeftovers(const Platform& platform, const std::string& index_path, const std::vector<NodelistSlot>& slots,
                   int64_t now, CheckReport* report);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_CHECK_FINDINGS_H_
