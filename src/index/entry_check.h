// Whether an index entry points where the build puts it: at the text that
// follows the number field's comma of a node line, to the line's end; and
// the sysop name an entry is ordered by. Used by tessel-index verify and
// find and by the tests; the build itself does not need it.
#ifndef TESSEL_INDEX_ENTRY_CHECK_H_
#define TESSEL_INDEX_ENTRY_CHECK_H_

#include <string>
#include <string_view>

#include "storage/index_format.h"

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

// A sysop name as the index orders it: letters in upper case, "_" as a
// blank, at most 25 characters.
std::string FoldSysopName(std::string_view name);

// The sysop name of an entry's text (which starts at the system name): its
// third field, folded.
std::string SysopNameOf(std::string_view entry_text);

}  // namespace tessel

#endif  // TESSEL_INDEX_ENTRY_CHECK_H_
