// verify: checks a finished index against its header and its nodelists.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <tuple>

#include "index/entry_check.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "platform/file_search.h"
#include "platform/platform.h"
#include "storage/index_format.h"

namespace tessel {
namespace {

constexpr int64_t kShownFaults = 10;

struct Verifier {
  const IndexFile& index;
  NodelistCache& cache;
  bool skip_unreadable_lists;
  std::vector<std::string>& shown;
  std::vector<bool> slot_reported;
  int64_t faults = 0;

  // Whether a fault of slot "s" that concerns the whole slot is still to
  // be reported; it is reported once.
  bool ReportOnce(int s) {
    if (slot_reported.size() <= static_cast<size_t>(s)) slot_reported.resize(s + 1);
    if (slot_reported[s]) return false;
    slot_reported[s] = true;
    return true;
  }

  void Fault(const std::string& text) {
    if (faults < kShownFaults) shown.push_back(text);
    ++faults;
  }

  // "nlindex.qdx: sysop-name entry 12 (slot 1, 2:250/101)".
  std::string Describe(int64_t i, const EntryFields& e) const {
    bool by_node = i < index.node_entries;
    int64_t number = (by_node ? i : i - index.node_entries) + 1;
    return index.path + ": " + (by_node ? "node-number" : "sysop-name") + " entry " + std::to_string(number) +
           " (slot " + std::to_string(e.slot) + ", " + AddressText(e) + ")";
  }

  // Checks entry "i" against its nodelist; its sysop name goes to "*name"
  // and true is returned when the entry is right.
  bool CheckLine(int64_t i, const EntryFields& e, std::string* name) {
    if (SlotExtension(index.slots[e.slot - 1]).empty()) {
      // The build always records the list it read; a blank Extension
      // beside entries of the slot is damage, and no file can be named.
      if (ReportOnce(e.slot)) {
        Fault(index.path + ": slot " + std::to_string(e.slot) +
              " holds entries, but its catalogue names no nodelist file (its extension is blank)");
      }
      return false;
    }
    const NodelistText& text = SlotNodelist(index, e.slot, &cache);
    if (text.error != 0) {
      if (!skip_unreadable_lists && ReportOnce(e.slot)) {
        Fault(text.path + ": nodelist of slot " + std::to_string(e.slot) + " cannot be read: " +
              ErrorText(text.error));
      }
      return false;
    }
    std::string problem = CheckEntryLine(text.bytes, e, name);
    if (problem.empty()) return true;
    Fault(Describe(i, e) + ": " + text.path + " " + problem);
    return false;
  }
};

void CheckHead(Verifier* v) {
  const IndexFile& index = v->index;
  auto marker = static_cast<uint8_t>(index.bytes[index.first_entry_offset - 1]);
  if (marker != 1) v->Fault(index.path + ": marker byte is " + std::to_string(marker) + ", not 1");
  if (index.leftover_bytes != 0) {
    v->Fault(index.path + ": size " + std::to_string(index.bytes.size()) + " is not FirstEntryOffset " +
             std::to_string(index.first_entry_offset) + " plus whole 12-byte entries (" +
             std::to_string(index.leftover_bytes) + " bytes over)");
  }
  bool built = false;
  for (int s = 1; s <= index.slot_count; ++s) {
    built = built || (UsableSlot(index, s) && !SlotExtension(index.slots[s - 1]).empty());
  }
  if (index.entry_count == 0 && built) {
    v->Fault(index.path + ": holds no entries, though its catalogue says tessel built it: it was cut short");
  }
}

// Slot bytes, lines and order of both sections.
void CheckSections(Verifier* v) {
  const IndexFile& index = v->index;
  EntryFields previous;
  std::string name, previous_name;
  bool previous_known = false;
  for (int64_t i = 0; i < index.entry_count; ++i) {
    EntryFields e = EntryAt(index, i);
    bool by_node = i < index.node_entries;
    if (i == index.node_entries) previous_known = false;
    if (!UsableSlot(index, e.slot)) {
      v->Fault(v->Describe(i, e) + ": slot byte " + std::to_string(e.slot_byte) +
               (by_node ? "" : " (negated)") + " names no catalogued nodelist");
      previous_known = false;
      continue;
    }
    bool line_right = v->CheckLine(i, e, &name);
    if (by_node) {
      // Nets in zone and net order; within a net, nodes ascending, except
      // that the same net from a second nodelist (or twice in one) starts
      // again at its node 0.
      bool net_back = previous_known && (e.zone < previous.zone || (e.zone == previous.zone && e.net < previous.net));
      bool node_back = previous_known && e.zone == previous.zone && e.net == previous.net && e.node < previous.node &&
                       e.node != 0;
      if (net_back || node_back) v->Fault(v->Describe(i, e) + ": out of order after " + AddressText(previous));
      previous_known = true;
    } else {
      if (!line_right) {
        previous_known = false;
        continue;
      }
      auto key = [](const std::string& n, const EntryFields& f) { return std::tie(n, f.zone, f.net, f.node); };
      if (previous_known && key(name, e) < key(previous_name, previous)) {
        v->Fault(v->Describe(i, e) + ": sysop \"" + name + "\" out of order after \"" + previous_name + "\" " +
                 AddressText(previous));
      }
      previous_name = name;
      previous_known = true;
    }
    previous = e;
  }
}

// Every node-number entry has its twin, equal but for the negated slot
// byte, in the sysop-name section.
void CheckTwins(Verifier* v) {
  const IndexFile& index = v->index;
  using Key = std::array<uint8_t, kIndexEntrySize>;
  std::vector<Key> by_node, by_name;
  for (int64_t i = 0; i < index.entry_count; ++i) {
    Key key;
    std::memcpy(key.data(), index.bytes.data() + index.first_entry_offset + kIndexEntrySize * i, key.size());
    if (i < index.node_entries) {
      by_node.push_back(key);
    } else {
      key[0] = static_cast<uint8_t>(SlotOfSysopByte(key[0]));
      by_name.push_back(key);
    }
  }
  std::sort(by_node.begin(), by_node.end());
  std::sort(by_name.begin(), by_name.end());
  std::vector<Key> missing;
  std::set_difference(by_node.begin(), by_node.end(), by_name.begin(), by_name.end(), std::back_inserter(missing));
  for (const Key& key : missing) {
    EntryFields e = DecodeEntry(key.data(), Section::kNodeNumber);
    v->Fault(index.path + ": node-number entry (slot " + std::to_string(e.slot) + ", " + AddressText(e) +
             ") has no twin in the sysop-name section");
  }
}

}  // namespace

int64_t FindIndexFaults(const IndexFile& index, bool skip_unreadable_lists, NodelistCache* cache,
                        std::vector<std::string>* shown) {
  Verifier verifier{index, *cache, skip_unreadable_lists, *shown, {}, 0};
  CheckHead(&verifier);
  CheckSections(&verifier);
  CheckTwins(&verifier);
  return verifier.faults;
}

int RunVerify(const ToolOptions& options) {
  IndexFile index;
  LoadStatus status = LoadIndexOrReport(options, &index);
  if (status != LoadStatus::kOk) return status == LoadStatus::kDamaged ? kToolNoMatchOrFaults : kToolFileError;
  const ReportSink& report = options.report;
  Say(report, "Verifying " + ShownPath(*options.platform, index.path) + ": " + std::to_string(index.slot_count) +
                  (index.slot_count == 1 ? " slot, " : " slots, ") + std::to_string(index.node_entries) +
                  " node-number entries, " + std::to_string(index.entry_count - index.node_entries) +
                  " sysop-name entries\n");
  NodelistCache cache;
  std::vector<std::string> shown;
  int64_t faults = FindIndexFaults(index, false, &cache, &shown);
  for (const std::string& fault : shown) Say(report, "  fault: " + fault + "\n");
  for (size_t s = 1; s < cache.size(); ++s) {
    const NodelistText& text = cache[s];
    if (text.tried && text.error == 0) {
      Say(report, "Slot " + std::to_string(s) + ": " + ShownPath(*options.platform, text.path) + "\n");
    }
  }
  if (faults == 0) {
    Say(report, "No faults.\n");
    return kToolOk;
  }
  if (faults > kShownFaults) Say(report, "  ...\n");
  Say(report, std::to_string(faults) + (faults == 1 ? " fault" : " faults") + " in " + DisplayPath(index.path) + "\n");
  return kToolNoMatchOrFaults;
}

}  // namespace tessel
