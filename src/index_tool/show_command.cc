// show: the head of the index and the size of its two sections.
#include <cstdio>
#include <string>

#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "storage/coding.h"
#include "storage/index_format.h"

namespace tessel {
namespace {

std::string Hex32(const uint8_t* word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(GetU32LE(word)));
  return text;
}

}  // namespace

int RunShow(const ToolOptions& options) {
  IndexFile index;
  if (LoadIndexOrReport(options, &index) != LoadStatus::kOk) return kToolFileError;
  const ReportSink& report = options.report;
  int marker = static_cast<uint8_t>(index.bytes[index.first_entry_offset - 1]);
  Say(report, "Index " + ShownPath(*options.platform, index.path) + ": " + std::to_string(index.bytes.size()) +
                  " bytes\nHeader: first word " + Hex32(index.header.first_word) + ", FirstEntryOffset " +
                  std::to_string(index.first_entry_offset) + " (" + std::to_string(index.slot_count) +
                  (index.slot_count == 1 ? " slot" : " slots") + "), third word " + Hex32(index.header.third_word) +
                  ", marker byte " + std::to_string(marker) + "\n");
  char line[128];
  std::snprintf(line, sizeof line, "%4s  %-40s  %-3s  %s\n", "Slot", "Base name", "Ext", "Highest zone");
  Say(report, line);
  for (int s = 1; s <= index.slot_count; ++s) {
    const NodelistSlot& slot = index.slots[s - 1];
    if (!UsableSlot(index, s)) {
      std::snprintf(line, sizeof line, "%4d  (empty)\n", s);
    } else {
      std::snprintf(line, sizeof line, "%4d  %-40s  %-3s  %u\n", s, std::string(SlotBaseName(slot)).c_str(),
                    std::string(SlotExtension(slot)).c_str(), static_cast<unsigned>(SlotHighestZone(slot)));
    }
    Say(report, line);
  }
  if (index.entry_count == 0) {
    Say(report, "No entries yet: run tessel to fill the index.\n");
  }
  int64_t name_start = index.first_entry_offset + kIndexEntrySize * index.node_entries;
  Say(report, "Node-number section: " + std::to_string(index.node_entries) + " entries from byte " +
                  std::to_string(index.first_entry_offset) +
                  "\nSysop-name section:  " + std::to_string(index.entry_count - index.node_entries) +
                  " entries from byte " + std::to_string(name_start) + "\n");
  if (index.leftover_bytes != 0) {
    Say(report, std::to_string(index.leftover_bytes) + " bytes after the last whole entry\n");
  }
  return kToolOk;
}

}  // namespace tessel
