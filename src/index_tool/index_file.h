// A finished index as the host reads it: the head (header, catalogue and
// marker byte), then 12-byte entries, first in node-number order, then in
// sysop-name order with the slot byte negated. Also the nodelist text the
// entries point into, and the sysop name read from it.
#ifndef TESSEL_INDEX_TOOL_INDEX_FILE_H_
#define TESSEL_INDEX_TOOL_INDEX_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index_format.h"
#include "platform/platform.h"

namespace tessel {

struct IndexFile {
  const Platform* platform = nullptr;  // for the index and its nodelists
  std::string path;   // as given, for messages
  std::string bytes;  // the whole file
  IndexHeader header = {};
  int32_t first_entry_offset = 0;
  int slot_count = 0;
  std::vector<NodelistSlot> slots;  // slot s at slots[s - 1]
  int64_t entry_count = 0;          // whole entries after the head
  int64_t node_entries = 0;         // of them in the node-number section
  int leftover_bytes = 0;           // bytes after the last whole entry
};

enum class LoadStatus { kOk, kUnreadable, kDamaged };

// Reads the index at "path" through "platform". On anything but kOk, "*message" says what is
// wrong (without the path). A head that cannot be made sense of (too short,
// a FirstEntryOffset that is not 13 + 47n for n up to 255, a file ending
// inside the catalogue) is kDamaged.
LoadStatus LoadIndexFile(const Platform& platform, const std::string& path, IndexFile* index, std::string* message);

// Entry "i", counted from 0 over both sections.
EntryFields EntryAt(const IndexFile& index, int64_t i);

// Whether slot "s" (from 1) exists and is not empty.
bool UsableSlot(const IndexFile& index, int s);

// Whether two base names name the same nodelist, letter case and separators
// ("/" or "\", doubled, a leading "./") aside.
bool SameBaseName(std::string_view a, std::string_view b);

// The text of a nodelist, loaded once per slot on first use.
struct NodelistText {
  bool tried = false;
  int error = 0;        // 0, or the host error number of the open or read
  std::string path;     // the path opened (or tried)
  std::string bytes;
};
using NodelistCache = std::vector<NodelistText>;  // slot s at [s]

// The nodelist of slot "s", resolved as the build resolves it (letter case
// ignored in the file name, "\" or "/" as separator).
const NodelistText& SlotNodelist(const IndexFile& index, int s, NodelistCache* cache);

// The bytes an entry points at: "tail length" bytes from its line offset,
// cut to what the file holds.
std::string_view EntryText(const NodelistText& text, const EntryFields& e);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_INDEX_FILE_H_
