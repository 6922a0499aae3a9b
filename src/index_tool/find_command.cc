// find: what the host's reader does with the finished index. An address is
// looked up in the node-number section, a sysop name in the sysop-name
// section, both by binary search; the node's line is then read from its
// nodelist at the entry's offset.
#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "index/entry_check.h"
#include "index_tool/address_pattern.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "platform/platform.h"

namespace tessel {
namespace {

struct Finder {
  const IndexFile& index;
  const ReportSink& report;
  NodelistCache cache;
  std::string failed_path, failed;  // the file that could not be read, and why
  bool changed = false;  // "failed" says that a nodelist changed since the build
  int matches = 0;

  bool Fail(const std::string& path, std::string problem) {
    failed_path = path;
    failed = std::move(problem);
    return false;
  }

  // The nodelist of entry "e", or null (with "failed" set) when unreadable
  // or no longer the text the entry was made from.
  const NodelistText* NodelistOf(const EntryFields& e) {
    const NodelistText* text = ReadableNodelistOf(e);
    std::string name;
    if (text == nullptr) return nullptr;
    if (std::string problem = CheckEntryLine(text->bytes, e, &name); !problem.empty()) {
      changed = true;
      Fail(text->path, "changed since the index was built (the entry of " + AddressText(e) + ", " + problem +
                           "); tessel -F rebuilds the index");
      return nullptr;
    }
    return text;
  }

  const NodelistText* ReadableNodelistOf(const EntryFields& e) {
    if (!UsableSlot(index, e.slot)) {
      Fail(index.path, "entry names slot " + std::to_string(e.slot) + ", which is empty or missing");
      return nullptr;
    }
    const NodelistText& text = SlotNodelist(index, e.slot, &cache);
    if (text.error != 0) {
      Fail(text.path, std::string("cannot read: ") + ErrorText(text.error));
      return nullptr;
    }
    return &text;
  }

  bool Print(const EntryFields& e) {
    const NodelistText* text = NodelistOf(e);
    if (text == nullptr) return false;
    std::string_view line = EntryText(*text, e);
    Say(report, "slot " + std::to_string(e.slot) + "  " + AddressText(e) + "  " + SysopNameOf(line) + "\n    " +
                    std::string(line) + "\n");
    ++matches;
    return true;
  }
};

// The first node-number entry of net "key" (or of the nets after it).
int64_t FirstOfNet(const IndexFile& index, const NodeAddress& key) {
  auto net_before = [&](const EntryFields& e) { return e.zone < key.zone || (e.zone == key.zone && e.net < key.net); };
  int64_t lo = 0, hi = index.node_entries;
  while (lo < hi) {
    int64_t mid = lo + (hi - lo) / 2;
    if (net_before(EntryAt(index, mid))) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The same net may come from several nodelists, each run of it in node
// order, so the net is found by zone and net, and its entries are scanned:
// for the node, or all of them, put in address order (the host first),
// nodelist by nodelist for each address.
bool FindAddress(Finder* finder, const NodeAddress& key, bool whole_net) {
  const IndexFile& index = finder->index;
  std::vector<EntryFields> found;
  for (int64_t i = FirstOfNet(index, key); i < index.node_entries; ++i) {
    EntryFields e = EntryAt(index, i);
    if (e.zone != key.zone || e.net != key.net) break;
    if (whole_net || e.node == key.node) found.push_back(e);
  }
  std::stable_sort(found.begin(), found.end(), [](const EntryFields& a, const EntryFields& b) {
    return std::tie(a.node, a.slot) < std::tie(b.node, b.slot);
  });
  for (const EntryFields& e : found) {
    if (!finder->Print(e)) return false;
  }
  return true;
}

bool FindName(Finder* finder, const std::string& name) {
  const IndexFile& index = finder->index;
  auto name_at = [&](int64_t i, std::string* out) {
    EntryFields e = EntryAt(index, i);
    const NodelistText* text = finder->NodelistOf(e);
    if (text != nullptr) *out = SysopNameOf(EntryText(*text, e));
    return text != nullptr;
  };
  int64_t lo = index.node_entries, hi = index.entry_count;
  std::string probe;
  while (lo < hi) {
    int64_t mid = lo + (hi - lo) / 2;
    if (!name_at(mid, &probe)) return false;
    if (probe < name) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  for (int64_t i = lo; i < index.entry_count; ++i) {
    if (!name_at(i, &probe)) return false;
    if (!probe.starts_with(name)) break;
    if (!finder->Print(EntryAt(index, i))) return false;
  }
  return true;
}

}  // namespace

int RunFind(const ToolOptions& options) {
  std::string wanted;
  for (const std::string& word : options.operands) wanted += (wanted.empty() ? "" : " ") + word;
  std::string name = FoldSysopName(wanted);
  if (name.empty()) {
    Complain(options.report, "find needs an address or a name, not an empty text");
    return kToolUsage;
  }
  TypedAddress address;
  bool by_address = LooksLikeAddress(wanted);
  if (by_address && (!ParseAddress(wanted, &address) || address.whole_zone)) {
    Complain(options.report, "find: \"" + wanted +
                                 "\" is not an address; use ZONE:NET/NODE, optionally with .POINT and @DOMAIN "
                                 "(2:250/101.0@fidonet), or ZONE:NET/* for a whole net");
    return kToolUsage;
  }
  IndexFile index;
  if (LoadIndexOrReport(options, &index) != LoadStatus::kOk) return kToolFileError;
  if (by_address && address.point != 0) {
    Complain(options.report, index.path, wanted + " is a point; the index holds nodes only, not their points");
    return kToolNoMatchOrFaults;
  }
  if (!address.domain.empty()) {
    Say(options.report, "Domain @" + address.domain + " is not kept in the index; every nodelist's " +
                            std::to_string(address.node.zone) + ":" + std::to_string(address.node.net) + "/" +
                            (address.whole_net ? std::string("*") : std::to_string(address.node.node)) +
                            " is shown.\n");
  }
  Finder finder{index, options.report, {}, {}, {}, false, 0};
  bool done = by_address ? FindAddress(&finder, address.node, address.whole_net) : FindName(&finder, name);
  if (!done) {
    Complain(options.report, finder.failed_path, finder.failed);
    return finder.changed ? kToolNoMatchOrFaults : kToolFileError;
  }
  if (finder.matches == 0) {
    Complain(options.report, index.path, "nothing found for \"" + wanted + "\"");
    return kToolNoMatchOrFaults;
  }
  return kToolOk;
}

}  // namespace tessel
