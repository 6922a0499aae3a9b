// changes: what changed from one week's list to the next. For every slot,
// the list the index reads is compared with the numbered list of its base
// name before it in the same directory (by tessel's own order: the local
// time of the last write, in two-second steps), node by node.
#include <algorithm>
#include <string>
#include <vector>

#include "index_tool/address_pattern.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "index_tool/node_changes.h"
#include "index_tool/update_sources.h"
#include "index_tool/update_write.h"
#include "nodediff/list_names.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

// The nodes a pattern keeps: all, one zone, one net or one node.
struct NodeFilter {
  bool all = true;
  TypedAddress pattern;

  bool Keeps(const NodeAddress& a) const {
    const NodeAddress& p = pattern.node;
    if (all) return true;
    if (a.zone != p.zone) return false;
    if (pattern.whole_zone) return true;
    return a.net == p.net && (pattern.whole_net || a.node == p.node);
  }
};

// The numbered list of the same base name written last before "path" (in
// its directory, by tessel's comparison of last-write times): false when
// there is none.
bool FindListBefore(const Platform& platform, const std::string& path, DirEntry* before) {
  std::string_view dir, name;
  SplitLastComponent(path, &dir, &name);
  std::string stem(name.substr(0, name.rfind('.')));
  std::vector<DirEntry> lists = SearchFiles(platform, std::string(dir) + stem + ".*", SearchFilter::kOrdinaryFiles);
  auto now = std::find_if(lists.begin(), lists.end(), [&](const DirEntry& e) { return e.name == name; });
  if (now == lists.end()) return false;
  uint32_t now_time = PackedLocal(platform, now->mtime), best = 0;
  bool found = false;
  std::string day;
  for (const DirEntry& entry : lists) {
    uint32_t time = PackedLocal(platform, entry.mtime);
    if (!IsNumberedName(entry.name, stem, &day) || time >= now_time || (found && time < best)) continue;
    *before = entry;
    best = time;
    found = true;
  }
  return found;
}

// Prints what changed in slot "s" (its summary line, then one line per
// node the filter keeps); returns the status.
int ShowSlotChanges(const ReportSink& report, const IndexFile& index, int s, const NodeFilter& filter,
                    NodelistCache* cache) {
  const NodelistText& now = SlotNodelist(index, s, cache);
  if (now.error != 0) {
    Complain(report, now.path, std::string("cannot read it: ") + ErrorText(now.error));
    return kToolFileError;
  }
  DirEntry before;
  if (!FindListBefore(*index.platform, now.path, &before)) {
    Complain(report, now.path, "no numbered list before it in its directory to compare with");
    return kToolFileError;
  }
  std::string_view dir, name;
  SplitLastComponent(now.path, &dir, &name);
  std::string before_path = std::string(dir) + before.name, bytes, reason;
  if (ReadPlainFile(*index.platform, before_path, before.size, &bytes, &reason) != ReadOutcome::kRead) {
    Complain(report, before_path, reason);
    return kToolFileError;
  }
  std::vector<ListNode> after_nodes = NodesOf(now.bytes);
  std::vector<NodeChange> changes = CompareNodes(NodesOf(bytes), after_nodes);
  Say(report, now.path + " against " + before_path + ": " +
                  ChangeSummary(static_cast<int64_t>(after_nodes.size()), CountChanges(changes)) + "\n");
  for (const NodeChange& change : changes) {
    if (filter.Keeps(change.address)) {
      Say(report,
          std::string(1, change.sign) + " " + NodeAddressText(change.address) + " " + std::string(change.line) + "\n");
    }
  }
  return kToolOk;
}

}  // namespace

int RunChanges(const ToolOptions& options) {
  NodeFilter filter;
  if (!options.operands.empty()) {
    const std::string& given = options.operands[0];
    filter.all = false;
    if (!ParseAddress(given, &filter.pattern) || filter.pattern.point != 0 || !filter.pattern.domain.empty()) {
      Complain(options.report,
               "changes: \"" + given + "\" is not a node, net or zone; use ZONE:NET/NODE, ZONE:NET/* or ZONE:*");
      return kToolUsage;
    }
  }
  IndexFile index;
  if (LoadIndexOrReport(options, &index) != LoadStatus::kOk) return kToolFileError;
  NodelistCache cache;
  int status = kToolOk;
  for (int s = 1; s <= index.slot_count; ++s) {
    if (UsableSlot(index, s)) status = std::max(status, ShowSlotChanges(options.report, index, s, filter, &cache));
  }
  return status;
}

}  // namespace tessel
