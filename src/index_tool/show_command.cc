// show: the head of the index and the size of its two sections.
#include <cstdio>
#include <iostream>

#include "storage/index_format.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "platform/file_search.h"
#include "storage/coding.h"

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
  std::cout << "Index " << ShownPath(*options.platform, index.path) << ": " << index.bytes.size() << " bytes\n"
            << "Header: first word " << Hex32(index.header.first_word) << ", FirstEntryOffset "
            << index.first_entry_offset << " (" << index.slot_count << (index.slot_count == 1 ? " slot" : " slots")
            << "), third word "
            << Hex32(index.header.third_word) << ", marker byte "
            << static_cast<int>(static_cast<uint8_t>(index.bytes[index.first_entry_offset - 1])) << "\n";
  char line[128];
  std::snprintf(line, sizeof line, "%4s  %-40s  %-3s  %s\n", "Slot", "Base name", "Ext", "Highest zone");
  std::cout << line;
  for (int s = 1; s <= index.slot_count; ++s) {
    const NodelistSlot& slot = index.slots[s - 1];
    if (!UsableSlot(index, s)) {
      std::snprintf(line, sizeof line, "%4d  (empty)\n", s);
    } else {
      std::snprintf(line, sizeof line, "%4d  %-40s  %-3s  %u\n", s, std::string(SlotBaseName(slot)).c_str(),
                    std::string(SlotExtension(slot)).c_str(), static_cast<unsigned>(SlotHighestZone(slot)));
    }
    std::cout << line;
  }
  if (index.entry_count == 0) {
    std::cout << "No entries yet: run tessel to fill the index.\n";
  }
  int64_t name_start = index.first_entry_offset + kIndexEntrySize * index.node_entries;
  std::cout << "Node-number section: " << index.node_entries << " entries from byte " << index.first_entry_offset
            << "\nSysop-name section:  " << index.entry_count - index.node_entries << " entries from byte "
            << name_start << "\n";
  if (index.leftover_bytes != 0) {
    std::cout << index.leftover_bytes << " bytes after the last whole entry\n";
  }
  return kToolOk;
}

}  // namespace tessel
