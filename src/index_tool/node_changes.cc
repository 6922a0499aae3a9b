#include "index_tool/node_changes.h"

#include <algorithm>
#include <tuple>

#include "nodelist/line_reader.h"
#include "nodelist/line_role.h"
#include "nodelist/line_splitter.h"
#include "nodelist/number.h"

namespace tessel {
namespace {

// The line of "text" at "*at", taken as tessel's line reader takes it:
// up to its line feed or its 255th character, a CR before the line feed
// dropped, the rest of a longer line passed over. "*at" moves past it.
std::string_view NextLine(std::string_view text, size_t* at) {
  std::string_view rest = text.substr(*at);
  size_t feed = rest.find('\n');
  size_t limit = std::min<size_t>(rest.size(), kMaxLineLength);
  if (feed != std::string_view::npos && feed < limit) {
    *at += feed + 1;
    std::string_view line = rest.substr(0, feed);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }
  *at += feed == std::string_view::npos ? rest.size() : feed + 1;
  return rest.substr(0, limit);
}

bool ByAddressAndLine(const ListNode& a, const ListNode& b) {
  return std::tie(a.address, a.line) < std::tie(b.address, b.line);
}

// The end of the run of nodes of address "address" from "from" on.
size_t EndOfAddress(const std::vector<ListNode>& nodes, size_t from, const NodeAddress& address) {
  while (from < nodes.size() && nodes[from].address == address) ++from;
  return from;
}

// Compares the lines of one address, both runs ordered by line: equal
// lines pair off; of the rest, as many as both have are changed, the
// surplus added or removed.
void CompareAddress(const NodeAddress& address, const std::vector<ListNode>& before, size_t b, size_t b_end,
                    const std::vector<ListNode>& after, size_t a, size_t a_end, std::vector<NodeChange>* changes) {
  std::vector<std::string_view> gone, came;
  while (b < b_end || a < a_end) {
    if (a == a_end || (b < b_end && before[b].line < after[a].line)) {
      gone.push_back(before[b++].line);
    } else if (b == b_end || after[a].line < before[b].line) {
      came.push_back(after[a++].line);
    } else {
      ++b, ++a;
    }
  }
  size_t paired = std::min(gone.size(), came.size());
  for (size_t i = 0; i < paired; ++i) changes->push_back({'~', address, came[i]});
  for (size_t i = paired; i < came.size(); ++i) changes->push_back({'+', address, came[i]});
  for (size_t i = paired; i < gone.size(); ++i) changes->push_back({'-', address, gone[i]});
}

}  // namespace

std::vector<ListNode> NodesOf(std::string_view list) {
  std::vector<ListNode> nodes;
  int32_t zone = 0, net = 0, node = 0;
  LineFields fields;
  size_t at = 0;
  do {
    std::string_view line = NextLine(list, &at);
    SplitLine(line, &fields);
    if (fields.rejected) continue;
    int32_t number = FieldNumber(fields.number.view());
    switch (RoleOfKeyword(fields.keyword.view())) {
      case LineRole::kZone:
        zone = net = number;
        node = 0;
        break;
      case LineRole::kNet:
        net = number;
        node = 0;
        break;
      case LineRole::kNode:
        node = number;
        break;
    }
    NodeAddress address{static_cast<uint16_t>(zone), static_cast<uint16_t>(net), static_cast<uint16_t>(node)};
    nodes.push_back({address, line});
  } while (at < list.size() && list[at] != kCtrlZ);
  std::sort(nodes.begin(), nodes.end(), ByAddressAndLine);
  return nodes;
}

std::vector<NodeChange> CompareNodes(const std::vector<ListNode>& before, const std::vector<ListNode>& after) {
  std::vector<NodeChange> changes;
  size_t b = 0, a = 0;
  while (b < before.size() || a < after.size()) {
    NodeAddress address = a == after.size() || (b < before.size() && before[b].address < after[a].address)
                              ? before[b].address
                              : after[a].address;
    size_t b_end = EndOfAddress(before, b, address), a_end = EndOfAddress(after, a, address);
    CompareAddress(address, before, b, b_end, after, a, a_end, &changes);
    b = b_end;
    a = a_end;
  }
  return changes;
}

ChangeCounts CountChanges(const std::vector<NodeChange>& changes) {
  ChangeCounts counts;
  for (const NodeChange& change : changes) {
    if (change.sign == '+') ++counts.added;
    if (change.sign == '-') ++counts.removed;
    if (change.sign == '~') ++counts.changed;
  }
  return counts;
}

std::string GroupedNumber(int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return (value < 0 ? "-" : "") + digits;
}

std::string NodeCount(int64_t nodes) { return GroupedNumber(nodes) + (nodes == 1 ? " node" : " nodes"); }

std::string ChangeSummary(int64_t nodes, const ChangeCounts& counts) {
  return NodeCount(nodes) + " (+" + GroupedNumber(counts.added) + ", -" + GroupedNumber(counts.removed) +
         ", " + GroupedNumber(counts.changed) + " changed)";
}

}  // namespace tessel
