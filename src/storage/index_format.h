// The index file's format, in one place: its layout, its records and the
// encoding and decoding of each, and the one field of the host's
// configuration file that this system reads (DataPath).
//
// Index file (integers little-endian):
//   0            IndexHeader        12 bytes: first word, FirstEntryOffset
//                                   i32, third word
//   12           NodelistCatalogue  47 bytes per slot, slot 1 first
//   12 + 47n     marker byte        1
//   13 + 47n     node-number section: 12-byte IndexEntry records by zone,
//                                   net, node
//   then         sysop-name section: 12-byte IndexEntry records by sysop
//                                   name, zone, net, node, with the slot
//                                   byte negated (256 - slot)
// Nothing separates the sections and nothing follows them.
//
// NodelistSlot (47 bytes):
//   0  BaseName     length byte + 40 characters
//  41  Extension    length byte + 3 characters
//  45  HighestZone  u16
// IndexEntry (12 bytes): slot u8, zone u16, net u16, node u16, tail length
//   u8, line offset i32 (the first 12 bytes of a NodeRecord).
//
// Host configuration file (config.qdx): at byte 155 the index's directory,
// a length byte and 45 characters.
#ifndef TESSEL_STORAGE_INDEX_FORMAT_H_
#define TESSEL_STORAGE_INDEX_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/coding.h"

namespace tessel {

constexpr const char* kIndexFileName = "nlindex.qdx";
constexpr const char* kNewIndexFileName = "nlindex.bar";  // written beside the index, then renamed
constexpr const char* kHostConfigFileName = "config.qdx";

constexpr int kIndexHeaderSize = 12;
constexpr int kSlotSize = 47;
constexpr int kMarkerSize = 1;
constexpr uint8_t kMarkerByte = 1;
constexpr int kHeadFixedSize = kIndexHeaderSize + kMarkerSize;  // 13: the head without its slots
constexpr int kIndexEntrySize = 12;
constexpr int kMaxSlots = 255;
constexpr int kBaseNameCapacity = 40;
constexpr int kExtensionCapacity = 3;
constexpr int kMinBaseNameLength = 5;  // shorter BaseNames mark an empty slot

constexpr int kDataPathOffset = 155;
constexpr int kDataPathCapacity = 45;
constexpr int kDataPathFieldSize = 1 + kDataPathCapacity;  // length byte, then characters

struct IndexHeader {
  uint8_t first_word[4];
  uint8_t first_entry_offset[4];
  uint8_t third_word[4];
};
static_assert(sizeof(IndexHeader) == kIndexHeaderSize);

struct NodelistSlot {
  uint8_t base_name[1 + kBaseNameCapacity];  // length byte, then characters
  uint8_t extension[1 + kExtensionCapacity];
  uint8_t highest_zone[2];
};
static_assert(sizeof(NodelistSlot) == kSlotSize);
static_assert(offsetof(NodelistSlot, extension) == 41);
static_assert(offsetof(NodelistSlot, highest_zone) == 45);

struct IndexEntry {
  uint8_t bytes[kIndexEntrySize];
};
static_assert(sizeof(IndexEntry) == kIndexEntrySize);

// The head ---------------------------------------------------------------

inline int32_t FirstEntryOffset(const IndexHeader& h) { return GetI32LE(h.first_entry_offset); }

// The FirstEntryOffset of a head of "slot_count" slots: 13 + 47n.
inline int32_t FirstEntryOffsetFor(int slot_count) { return kHeadFixedSize + kSlotSize * slot_count; }

// The slot count a FirstEntryOffset gives. Returns false when the offset is
// not 13 + 47n for n from 0 to 255, which no host writes.
bool SlotCountOf(int32_t first_entry_offset, int* slot_count);

// A header holding the FirstEntryOffset of "slot_count" slots and the two
// other words as given.
IndexHeader MakeIndexHeader(int slot_count, uint32_t first_word = 0, uint32_t third_word = 0);

// The bytes of a head: "header", "slot_count" slots from "slots" and the
// marker byte.
std::string IndexHeadBytes(const IndexHeader& header, const NodelistSlot* slots, int slot_count);

// What the first bytes of an index tell of its head.
enum class HeadFault {
  kNone,          // header, catalogue and marker byte are all there
  kNoHeader,      // fewer bytes than the 12-byte header
  kBadOffset,     // a FirstEntryOffset that is not 13 + 47n for n up to 255
  kCutCatalogue,  // the bytes end inside the catalogue
  kNoMarker,      // the bytes hold the catalogue but end before the marker byte
};

// A head as read from an index.
struct IndexHead {
  IndexHeader header = {};
  int slot_count = 0;               // from FirstEntryOffset; 0 when that is bad
  std::vector<NodelistSlot> slots;  // slot s at slots[s - 1], when the bytes hold them all
};

// Reads the head at the start of "bytes", the index's first bytes (as
// many as were read): the header when it is whole, the slot count when its
// FirstEntryOffset is sound, and the slots when the bytes hold them all.
HeadFault ParseIndexHead(std::string_view bytes, IndexHead* head);

// Slots --------------------------------------------------------------------

// The length of a slot's BaseName and Extension, a larger stored length
// taken as the field's capacity.
inline int BaseNameLength(const NodelistSlot& s) {
  return s.base_name[0] > kBaseNameCapacity ? kBaseNameCapacity : s.base_name[0];
}
inline int ExtensionLength(const NodelistSlot& s) {
  return s.extension[0] > kExtensionCapacity ? kExtensionCapacity : s.extension[0];
}
inline std::string_view SlotBaseName(const NodelistSlot& s) {
  return std::string_view(reinterpret_cast<const char*>(s.base_name + 1), static_cast<size_t>(BaseNameLength(s)));
}
inline std::string_view SlotExtension(const NodelistSlot& s) {
  return std::string_view(reinterpret_cast<const char*>(s.extension + 1), static_cast<size_t>(ExtensionLength(s)));
}
inline uint16_t SlotHighestZone(const NodelistSlot& s) { return GetU16LE(s.highest_zone); }

// Whether a slot names a nodelist (its BaseName has 5 or more characters).
inline bool SlotInUse(const NodelistSlot& s) { return s.base_name[0] >= kMinBaseNameLength; }

// A slot with the fields given, each cut to its capacity; the bytes after
// a field's characters are zeros.
NodelistSlot MakeSlot(std::string_view base_name, std::string_view extension, uint16_t highest_zone = 0);

// Stores "extension" (cut to 3 characters) as the slot's Extension.
void SetSlotExtension(NodelistSlot* slot, std::string_view extension);

// Entries ------------------------------------------------------------------

// The slot byte of a sysop-name entry for "slot", and back.
inline uint8_t SysopSlotByte(uint8_t slot) { return static_cast<uint8_t>(256 - slot); }
inline int SlotOfSysopByte(uint8_t byte) { return (256 - byte) & 0xFF; }

enum class Section { kNodeNumber, kSysopName };

// One entry's fields; "slot" is the catalogue slot, negated back in the
// sysop-name section.
struct EntryFields {
  uint8_t slot_byte = 0;  // as stored
  int slot = 0;
  uint16_t zone = 0, net = 0, node = 0;
  uint8_t tail_length = 0;
  int32_t line_offset = 0;
};

// Decodes the 12 bytes at "bytes", an entry of "section".
EntryFields DecodeEntry(const uint8_t* bytes, Section section);

// "zone:net/node".
std::string AddressText(const EntryFields& e);

// The host configuration's DataPath ----------------------------------------

// The DataPath in the field's bytes (a stored length above 45 counts as 45).
std::string DecodeDataPath(const uint8_t field[kDataPathFieldSize]);

// Stores "data_path" (at most 45 characters) in the configuration file's
// bytes "config", which grow with zeros to hold the field when shorter; the
// field's unused characters become zeros and every other byte is kept.
void StoreDataPath(std::string* config, std::string_view data_path);

}  // namespace tessel

#endif  // TESSEL_STORAGE_INDEX_FORMAT_H_
