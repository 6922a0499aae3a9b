#include "index_tool/index_file.h"

#include "index_tool/tool_files.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

// Whether entry byte "b" can be a slot byte of the node-number section
// (first) or of the sysop-name section (second).
bool NodeSlotByte(const IndexFile& index, uint8_t b) { return b >= 1 && b <= index.slot_count; }
bool NameSlotByte(const IndexFile& index, uint8_t b) {
  int s = SlotOfSysopByte(b);
  return s >= 1 && s <= index.slot_count;
}

// Where the sysop-name section starts. The file holds no count, so the
// boundary is where the slot bytes change from slot numbers to negated slot
// numbers: the split that leaves the fewest bytes out of place, and of
// those the one nearest the middle (both sections normally hold every
// node), so that a damaged slot byte does not move it.
int64_t SectionBoundary(const IndexFile& index) {
  int64_t n = index.entry_count;
  std::vector<int64_t> name_bytes_after(static_cast<size_t>(n) + 1, 0);
  for (int64_t i = n - 1; i >= 0; --i) {
    uint8_t b = static_cast<uint8_t>(index.bytes[index.first_entry_offset + kIndexEntrySize * i]);
    name_bytes_after[i] = name_bytes_after[i + 1] + (NameSlotByte(index, b) ? 1 : 0);
  }
  int64_t best = 0, best_score = -1, node_bytes_before = 0;
  for (int64_t b = 0; b <= n; ++b) {
    int64_t score = node_bytes_before + name_bytes_after[b];
    int64_t distance = b * 2 > n ? b * 2 - n : n - b * 2;
    int64_t best_distance = best * 2 > n ? best * 2 - n : n - best * 2;
    if (score > best_score || (score == best_score && distance < best_distance)) {
      best = b;
      best_score = score;
    }
    if (b < n) {
      uint8_t byte = static_cast<uint8_t>(index.bytes[index.first_entry_offset + kIndexEntrySize * b]);
      if (NodeSlotByte(index, byte)) ++node_bytes_before;
    }
  }
  return best;
}

}  // namespace

LoadStatus LoadIndexFile(const Platform& platform, const std::string& path, IndexFile* index, std::string* message) {
  *index = IndexFile{};
  index->platform = &platform;
  index->path = path;
  int error = ReadWholeFile(platform, path, &index->bytes);
  if (error != 0) {
    *message = std::string("cannot read: ") + ErrorText(error);
    return LoadStatus::kUnreadable;
  }
  const std::string& bytes = index->bytes;
  IndexHead head;
  HeadFault fault = ParseIndexHead(bytes, &head);
  int32_t first = FirstEntryOffset(head.header);
  if (fault == HeadFault::kNoHeader) {
    *message = "only " + std::to_string(bytes.size()) + " bytes, too short for the 12-byte header";
    return LoadStatus::kDamaged;
  }
  if (fault == HeadFault::kBadOffset) {
    *message = "FirstEntryOffset " + std::to_string(first) + " is not 13 + 47 x slots (0 to 255 slots)";
    return LoadStatus::kDamaged;
  }
  if (fault != HeadFault::kNone) {
    *message = "ends at byte " + std::to_string(bytes.size()) + ", inside the catalogue that runs to byte " +
               std::to_string(first);
    return LoadStatus::kDamaged;
  }
  index->header = head.header;
  index->first_entry_offset = first;
  index->slot_count = head.slot_count;
  index->slots = std::move(head.slots);
  int64_t rest = static_cast<int64_t>(bytes.size()) - first;
  index->entry_count = rest / kIndexEntrySize;
  index->leftover_bytes = static_cast<int>(rest % kIndexEntrySize);
  index->node_entries = SectionBoundary(*index);
  return LoadStatus::kOk;
}

EntryFields EntryAt(const IndexFile& index, int64_t i) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(index.bytes.data()) + index.first_entry_offset + kIndexEntrySize * i;
  return DecodeEntry(p, i < index.node_entries ? Section::kNodeNumber : Section::kSysopName);
}

bool UsableSlot(const IndexFile& index, int s) {
  return s >= 1 && s <= index.slot_count && SlotInUse(index.slots[s - 1]);
}

bool SameBaseName(std::string_view a, std::string_view b) {
  auto comparable = [](std::string_view name) {
    std::string text;
    for (char c : HostPath(name)) {
      if (c == '/' && !text.empty() && text.back() == '/') continue;
      text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    while (text.starts_with("./")) text.erase(0, 2);
    return text;
  };
  return comparable(a) == comparable(b);
}

const NodelistText& SlotNodelist(const IndexFile& index, int s, NodelistCache* cache) {
  if (cache->size() <= static_cast<size_t>(s)) cache->resize(static_cast<size_t>(s) + 1);
  NodelistText& text = (*cache)[s];
  if (text.tried) return text;
  text.tried = true;
  text.path = HostPath(NodelistPath(index.slots[s - 1]));
  const Platform& platform = *index.platform;
  FileId file = kNoFile;
  std::string opened;
  text.error = OpenExistingFile(platform, text.path, /*read_only=*/true, &file, &opened);
  if (text.error != 0) return text;
  text.path = opened;
  text.error = ReadOpenFile(platform, file, &text.bytes);
  platform.close(platform.ctx, file);
  return text;
}

std::string_view EntryText(const NodelistText& text, const EntryFields& e) {
  std::string_view all = text.bytes;
  if (e.line_offset < 0 || static_cast<size_t>(e.line_offset) > all.size()) return {};
  return all.substr(static_cast<size_t>(e.line_offset), e.tail_length);
}

}  // namespace tessel
