#include "testing/index_builders.h"

namespace tessel::test {

std::string SlotBytes(const SlotSpec& slot) {
  NodelistSlot bytes = MakeSlot(slot.base_name, slot.extension, slot.highest_zone);
  return std::string(reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

std::string IndexHead(const std::vector<SlotSpec>& slots, uint32_t first_word, uint32_t third_word) {
  std::vector<NodelistSlot> catalogue;
  for (const SlotSpec& slot : slots) catalogue.push_back(MakeSlot(slot.base_name, slot.extension, slot.highest_zone));
  int count = static_cast<int>(catalogue.size());
  return IndexHeadBytes(MakeIndexHeader(count, first_word, third_word), catalogue.data(), count);
}

std::string HostConfig(const std::string& data_path, size_t size) {
  std::string config;
  StoreDataPath(&config, data_path);
  config.resize(size, '\0');
  return config;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& line_end) {
  std::string text;
  for (const std::string& line : lines) text += line + line_end;
  return text;
}

Entry ReadEntry(const std::string& index, size_t offset) {
  if (offset + kIndexEntrySize > index.size()) return Entry{};
  return DecodeEntry(reinterpret_cast<const uint8_t*>(index.data()) + offset, Section::kNodeNumber);
}

}  // namespace tessel::test
