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

#include "storage/records.h"

namespace tessel {

constexpr int kSlotRecordSize = sizeof(NodelistSlot);  // 47
constexpr int kHeadFixedSize = sizeof(IndexHeader) + 1;  // header and marker byte
constexpr int kMinBaseNameLength = 5;  // shorter BaseNames mark an empty slot

struct IndexFile {
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

// One decoded entry; "slot" is the catalogue slot, already negated back in
// the sysop-name section.
struct EntryFields {
  uint8_t slot_byte = 0;  // as stored
  int slot = 0;
  uint16_t zone = 0, net = 0, node = 0;
  uint8_t tail_length = 0;
  int32_t line_offset = 0;
};

enum class LoadStatus { kOk, kUnreadable, kDamaged };

// Reads the index at "path". On anything but kOk, "*message" says what is
// wrong (without the path). A head that cannot be made sense of (too short,
// a FirstEntryOffset that is not 13 + 47n for n up to 255, a file ending
// inside the catalogue) is kDamaged.
LoadStatus LoadIndexFile(const std::string& path, IndexFile* index, std::string* message);

// Entry "i", counted from 0 over both sections.
EntryFields EntryAt(const IndexFile& index, int64_t i);

// The slot number a stored slot byte names in the sysop-name section.
inline int NegatedSlot(uint8_t byte) { return (256 - byte) & 0xFF; }

// Whether slot "s" (from 1) exists and is not empty.
bool UsableSlot(const IndexFile& index, int s);

// "BaseName" and "BaseName.Extension" of a slot.
std::string SlotBaseName(const NodelistSlot& slot);
std::string SlotExtension(const NodelistSlot& slot);

// Whether base name "name" ends in a numbered extension (nl/NODELIST.362),
// which tessel would take as part of the name and never find; "*without"
// receives the base name to use instead (nl/NODELIST).
bool EndsInNumberedExtension(std::string_view name, std::string* without);

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

// A sysop name as the index orders it: letters in upper case, "_" as a
// blank, at most 25 characters.
std::string FoldSysopName(std::string_view name);

// The sysop name of an entry's text (which starts at the system name): its
// third field, folded.
std::string SysopNameOf(std::string_view entry_text);

// "zone:net/node".
std::string AddressText(const EntryFields& e);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_INDEX_FILE_H_
