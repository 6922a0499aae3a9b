// Whether a new nodelist may follow the list before it: a list of another
// network, or one that holds less than half the nodes of the list it
// follows, is most likely a stray file under the base name, not this
// week's list.
//
// A nodelist's first line names its network: ";A FidoNet Nodelist for
// Friday, January 3, 1997 -- Day number 003 : 02616" is FidoNet's (the
// words between ";A" and the word ending in "list" that "for" follows).
// A nodediff's first line is that of the list it applies to.
#ifndef TESSEL_INDEX_TOOL_LIST_SUCCESSION_H_
#define TESSEL_INDEX_TOOL_LIST_SUCCESSION_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

// Whether "first_line" is a nodelist's first line; "*network" receives
// the network it names ("" when the list word comes first).
bool NetworkOfFirstLine(std::string_view first_line, std::string* network);

// What "after", about to be written as list "after_name", and "before",
// the list "before_name" it follows, say of each other.
struct Succession {
  std::string problem;  // why "after" may not follow "before"; "" when it may
  std::string summary;  // "33,583 nodes (+49, -165, 303 changed)"
  int64_t nodes = 0;    // of "after"
};

// An empty "before_name" means there is no list before: "after" may come,
// and the summary is its node count alone.
Succession JudgeSuccession(const std::string& before_name, std::string_view before, const std::string& after_name,
                           std::string_view after);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_LIST_SUCCESSION_H_
