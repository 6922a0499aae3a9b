// The nodes of a nodelist and what changed between two lists: the nodes
// added, removed and changed, by address.
//
// A list's lines are read as tessel reads them (at most 255 characters, a
// CR before the LF dropped, the text ending where a line would start with
// Ctrl-Z), split by tessel's splitter and numbered by its keyword rules:
// every accepted line is a node, PVT, HOLD and DOWN ones included, a ZONE
// line Z:Z/0 and a REGION or HOST line Z:N/0.
#ifndef TESSEL_INDEX_TOOL_NODE_CHANGES_H_
#define TESSEL_INDEX_TOOL_NODE_CHANGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index_tool/address_pattern.h"

namespace tessel {

struct ListNode {
  NodeAddress address;
  std::string_view line;  // the whole line, within the list's text
};

// The nodes of "list" ordered by address (a node listed twice stays
// twice, its lines in text order). The lines point into "list".
std::vector<ListNode> NodesOf(std::string_view list);

struct NodeChange {
  char sign = '+';  // '+' added, '-' removed, '~' changed (the line now)
  NodeAddress address;
  std::string_view line;
};

// What changed from "before" to "after" (both as NodesOf gives them),
// ordered by address. A node whose line is the same in both is unchanged;
// an address listed more often in one list than in the other has the
// surplus added or removed.
std::vector<NodeChange> CompareNodes(const std::vector<ListNode>& before, const std::vector<ListNode>& after);

struct ChangeCounts {
  int64_t added = 0, removed = 0, changed = 0;
};
ChangeCounts CountChanges(const std::vector<NodeChange>& changes);

// A count as people read it: "33,583".
std::string GroupedNumber(int64_t value);

// "1 node", "33,583 nodes".
std::string NodeCount(int64_t nodes);

// "33,583 nodes (+49, -165, 303 changed)".
std::string ChangeSummary(int64_t nodes, const ChangeCounts& counts);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_NODE_CHANGES_H_
