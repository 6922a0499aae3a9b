// Whether an index entry points where the build puts it: at the text that
// follows the number field's comma of a node line, to the line's end.
#ifndef TESSEL_INDEX_TOOL_ENTRY_CHECK_H_
#define TESSEL_INDEX_TOOL_ENTRY_CHECK_H_

#include <string>
#include <string_view>

#include "index_tool/index_file.h"

namespace tessel {

// Checks entry "e" against "nodelist", the whole text of its nodelist.
// Returns "" when it is right, with the line's sysop name (as the index
// orders it) in "*sysop_name"; otherwise what is wrong.
//
// Right means: the byte before the offset is the comma that ends the
// line's second field; offset plus tail length is the end of the line as
// the build reads it (followed by CR LF, LF or the end of the file, or the
// line's 255th character); the line is one the build takes (split as the
// build splits it, not a Pvt, Hold or Down line); and its number field
// gives the entry's node number (zone, net and node 0 on a Zone line, net
// and node 0 on a Region or Host line).
std::string CheckEntryLine(std::string_view nodelist, const EntryFields& e, std::string* sysop_name);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_ENTRY_CHECK_H_
