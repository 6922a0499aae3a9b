#include "storage/index_format.h"

#include <algorithm>
#include <cstring>

namespace tessel {

bool SlotCountOf(int32_t first_entry_offset, int* slot_count) {
  // Checked before subtracting: the offset is read from the file and may be
  // any 32-bit value, INT32_MIN included.
  if (first_entry_offset < kHeadFixedSize) return false;
  int32_t slots_bytes = first_entry_offset - kHeadFixedSize;
  if (slots_bytes % kSlotSize != 0 || slots_bytes / kSlotSize > kMaxSlots) return false;
  *slot_count = slots_bytes / kSlotSize;
  return true;
}

IndexHeader MakeIndexHeader(int slot_count, uint32_t first_word, uint32_t third_word) {
  IndexHeader header;
  PutU32LE(header.first_word, first_word);
  PutI32LE(header.first_entry_offset, FirstEntryOffsetFor(slot_count));
  PutU32LE(header.third_word, third_word);
  return header;
}

std::string IndexHeadBytes(const IndexHeader& header, const NodelistSlot* slots, int slot_count) {
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  if (slot_count > 0) bytes.append(reinterpret_cast<const char*>(slots), sizeof(NodelistSlot) * slot_count);
  bytes.push_back(static_cast<char>(kMarkerByte));
  return bytes;
}

HeadFault ParseIndexHead(std::string_view bytes, IndexHead* head) {
  *head = IndexHead{};
  if (bytes.size() < sizeof(IndexHeader)) return HeadFault::kNoHeader;
  std::memcpy(&head->header, bytes.data(), sizeof(IndexHeader));
  if (!SlotCountOf(FirstEntryOffset(head->header), &head->slot_count)) return HeadFault::kBadOffset;
  size_t slots_end = sizeof(IndexHeader) + sizeof(NodelistSlot) * static_cast<size_t>(head->slot_count);
  if (bytes.size() < slots_end) return HeadFault::kCutCatalogue;
  head->slots.resize(static_cast<size_t>(head->slot_count));
  if (head->slot_count > 0)
    std::memcpy(head->slots.data(), bytes.data() + sizeof(IndexHeader), slots_end - sizeof(IndexHeader));
  return bytes.size() > slots_end ? HeadFault::kNone : HeadFault::kNoMarker;
}

NodelistSlot MakeSlot(std::string_view base_name, std::string_view extension, uint16_t highest_zone) {
  NodelistSlot slot = {};
  size_t length = std::min<size_t>(base_name.size(), kBaseNameCapacity);
  slot.base_name[0] = static_cast<uint8_t>(length);
  std::memcpy(slot.base_name + 1, base_name.data(), length);
  SetSlotExtension(&slot, extension);
  PutU16LE(slot.highest_zone, highest_zone);
  return slot;
}

void SetSlotExtension(NodelistSlot* slot, std::string_view extension) {
  size_t length = std::min<size_t>(extension.size(), kExtensionCapacity);
  slot->extension[0] = static_cast<uint8_t>(length);
  std::memcpy(slot->extension + 1, extension.data(), length);
}

EntryFields DecodeEntry(const uint8_t* p, Section section) {
  EntryFields e;
  e.slot_byte = p[0];
  e.slot = section == Section::kNodeNumber ? p[0] : SlotOfSysopByte(p[0]);
  e.zone = GetU16LE(p + 1);
  e.net = GetU16LE(p + 3);
  e.node = GetU16LE(p + 5);
  e.tail_length = p[7];
  e.line_offset = GetI32LE(p + 8);
  return e;
}

std::string AddressText(const EntryFields& e) {
  return std::to_string(e.zone) + ":" + std::to_string(e.net) + "/" + std::to_string(e.node);
}

std::string DecodeDataPath(const uint8_t field[kDataPathFieldSize]) {
  int length = field[0] > kDataPathCapacity ? kDataPathCapacity : field[0];
  return std::string(reinterpret_cast<const char*>(field + 1), static_cast<size_t>(length));
}

void StoreDataPath(std::string* config, std::string_view data_path) {
  size_t field_end = kDataPathOffset + kDataPathFieldSize;
  if (config->size() < field_end) config->resize(field_end, '\0');
  size_t length = std::min<size_t>(data_path.size(), kDataPathCapacity);
  (*config)[kDataPathOffset] = static_cast<char>(length);
  std::fill(config->begin() + kDataPathOffset + 1, config->begin() + static_cast<std::ptrdiff_t>(field_end), '\0');
  config->replace(kDataPathOffset + 1, length, data_path.substr(0, length));
}

}  // namespace tessel
