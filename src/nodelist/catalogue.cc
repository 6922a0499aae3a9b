#include "nodelist/catalogue.h"

#include <cstring>

#include "platform/file_search.h"
#include "storage/console.h"
#include "storage/fatal_errors.h"

namespace tessel {
namespace {

// An index the host's configuration program would never write: the run
// ends without touching any file.
bool ReportDamagedIndex(RunState* state) {
  const Platform& platform = *state->platform;
  Print(platform, kIndexFileName);
  Print(platform, " is damaged; please set up nodelists in CONFIG.");
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  return EndRun(state, kErrShortRead);
}

// Reads "size" bytes of the open index. "*partial" tells whether some but
// not all of them came; none at all is the fatal I/O error 100.
bool ReadIndexBytes(RunState* state, FileId file, void* buffer, uint32_t size, bool* partial) {
  const Platform& platform = *state->platform;
  uint32_t moved = 0;
  int error = platform.read(platform.ctx, file, buffer, size, &moved);
  if (error == 0 && moved == 0 && size > 0) error = kErrShortRead;
  if (error != 0) {
    platform.close(platform.ctx, file);
    return FatalIoError(state, error, "reading", state->settings.index_path);
  }
  *partial = moved < size;
  return true;
}

}  // namespace

uint32_t PackFatTime(const LocalTime& t) {
  if (t.year < 1980) return (0u << 25) | (1u << 21) | (1u << 16);
  if (t.year > 2107) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  return (static_cast<uint32_t>(t.year - 1980) << 25) | (static_cast<uint32_t>(t.month) << 21) |
         (static_cast<uint32_t>(t.day) << 16) | (static_cast<uint32_t>(t.hour) << 11) |
         (static_cast<uint32_t>(t.minute) << 5) | static_cast<uint32_t>(t.second / 2);
}

NodelistPathParts SplitNodelistPath(std::string_view path) {
  std::string copy(path);
  for (char& c : copy) {
    if (c == '/') c = '\\';
  }
  NodelistPathParts parts;
  size_t colon = copy.find(':');
  if (colon != std::string::npos) {
    parts.directory = copy.substr(0, colon + 1);
    copy.erase(0, colon + 1);
  }
  size_t slash = copy.rfind('\\');
  if (slash != std::string::npos) {
    parts.directory += copy.substr(0, slash + 1);
    copy.erase(0, slash + 1);
  }
  size_t dot = copy.rfind('.');
  if (dot == std::string::npos) dot = copy.size();
  parts.name = copy.substr(0, dot);
  parts.extension = copy.substr(dot);
  return parts;
}

std::string NodelistPath(const NodelistSlot& slot) {
  std::string path(SlotBaseName(slot));
  path += '.';
  path += SlotExtension(slot);
  return path;
}

bool IsNewestCandidate(std::string_view file_name) {
  return file_name.size() >= 3 && file_name[file_name.size() - 3] >= '0' && file_name[file_name.size() - 3] <= '9';
}

bool FindNewestFile(const Platform& platform, std::string_view pattern, DirEntry* newest) {
  // Stamps are compared unsigned, so files dated 2044 and later (whose
  // stamps have the top bit set) are chosen like any other.
  uint32_t best_time = 0;
  // The newest stamp wins; of equal stamps, the name first in search order.
  for (DirEntry& entry : SearchFilesUnordered(platform, pattern, SearchFilter::kOrdinaryFiles)) {
    if (!IsNewestCandidate(entry.name)) continue;
    LocalTime local;
    if (!platform.local_time(platform.ctx, entry.mtime, &local)) continue;
    uint32_t stamp = PackFatTime(local);
    if (stamp > best_time || (stamp == best_time && stamp != 0 && SearchOrderLess(entry.name, newest->name))) {
      best_time = stamp;
      *newest = std::move(entry);
    }
  }
  return best_time != 0;
}

std::string NewestNodelistFile(const Platform& platform, std::string_view base_name) {
  NodelistPathParts parts = SplitNodelistPath(base_name);
  DirEntry newest;
  return FindNewestFile(platform, parts.directory + parts.name + ".*", &newest) ? newest.name : std::string();
}

void ResolveNewestFile(RunState* state, int slot_number) {
  NodelistSlot& slot = Slot(*state, slot_number);
  std::string chosen = NewestNodelistFile(*state->platform, SlotBaseName(slot));
  if (chosen.empty()) return;

  std::string extension = SplitNodelistPath(chosen).extension;
  if (!extension.empty()) extension.erase(0, 1);  // the dot
  if (extension != SlotExtension(slot)) state->settings.force_rebuild = true;
  SetSlotExtension(&slot, extension);
  PutU16LE(slot.highest_zone, 0);
}

bool ReadIndexHead(RunState* state) {
  const Platform& platform = *state->platform;
  FileId file = kNoFile;
  std::string opened;
  int error = OpenExistingFile(platform, state->settings.index_path, /*read_only=*/false, &file, &opened);
  if (error != 0) return FatalIoError(state, error, "opening", state->settings.index_path);
  state->settings.index_path = opened;

  bool partial = false;
  if (!ReadIndexBytes(state, file, &state->head.header, sizeof state->head.header, &partial)) return false;
  int count = 0;
  bool damaged = partial || !SlotCountOf(FirstEntryOffset(state->head.header), &count);
  state->head.slot_count = count;
  uint32_t bytes = static_cast<uint32_t>(count) * sizeof(NodelistSlot);
  state->head.catalogue = reinterpret_cast<NodelistSlot*>(TakeBlock(&state->heap, bytes));
  if (state->head.catalogue == nullptr) {
    platform.close(platform.ctx, file);
    PrintLineEnd(platform);
    Print(platform, "Heap overflow reading the catalogue of ");
    Print(platform, DisplayPath(state->settings.index_path));
    PrintLineEnd(platform);
    return EndRun(state, kErrHeapOverflow);
  }
  if (bytes > 0 && !ReadIndexBytes(state, file, state->head.catalogue, bytes, &partial)) return false;
  if (partial) damaged = true;
  error = platform.close(platform.ctx, file);
  if (error != 0) return FatalIoError(state, error, "closing", state->settings.index_path);
  if (damaged) return ReportDamagedIndex(state);
  return true;
}

void PrepareSlot(RunState* state, int s) {
  NodelistSlot& slot = Slot(*state, s);
  if (SlotInUse(slot)) {
    ResolveNewestFile(state, s);
  } else {
    std::memset(&slot, 0, sizeof slot);
  }
}

bool ReadCatalogue(RunState* state) {
  if (!ReadIndexHead(state)) return false;
  for (int s = 1; s <= state->head.slot_count; ++s) PrepareSlot(state, s);
  return true;
}

}  // namespace tessel
