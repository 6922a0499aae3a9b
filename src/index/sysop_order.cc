#include "index/sysop_order.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "index/entry_writer.h"
#include "index/partition_sort.h"
#include "run/failed_run.h"
#include "storage/console.h"
#include "storage/working_storage.h"

namespace tessel {
namespace {

// The pass being gathered and the memory it is read into.
struct Pass {
  bool letters[256] = {};  // the initials gathered
  int32_t count = 0;       // their nodes
  int32_t capacity = 0;
  NodeRecord* area = nullptr;
  uint8_t* pointers = nullptr;  // 4-byte record numbers within the area
};

// The pointer array lies in the heap at no particular alignment.
uint32_t PointerAt(const uint8_t* pointers, int32_t p) {
  uint32_t value;
  std::memcpy(&value, pointers + 4 * static_cast<size_t>(p), 4);
  return value;
}

void SetPointer(uint8_t* pointers, int32_t p, uint32_t value) {
  std::memcpy(pointers + 4 * static_cast<size_t>(p), &value, 4);
}

// Eight bytes as a number whose most significant byte is the first.
uint64_t BigEndian64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, 8);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

void ResetPass(Pass* pass) {
  std::fill(std::begin(pass->letters), std::end(pass->letters), false);
  pass->count = 0;
}

// The count of the first initial above "initial" that has nodes; 0 when
// none has.
int32_t NextInitialCount(const RunState& state, int initial) {
  for (int b = initial + 1; b < 256; ++b) {
    if (state.blocks.initial_counts[b] != 0) return state.blocks.initial_counts[b];
  }
  return 0;
}

bool FailPassTooLarge(RunState* state, const Pass& pass) {
  const Platform& platform = *state->platform;
  PrintInsufficientMemory(platform, (static_cast<int64_t>(pass.count) - pass.capacity) * sizeof(NodeRecord));
  return EndFailedRun(state, kExitNoMemory);
}

// Reads the pass's records into its area, in temporary-file order: one
// read per run of consecutive records whose initials belong to the pass,
// stopping at the pass's last record.
bool GatherPassRecords(RunState* state, const Pass& pass) {
  if (pass.count == state->blocks.total_nodes) return ReadNodeBlock(state, 0, state->blocks.total_nodes, pass.area);
  const uint8_t* block = state->blocks.first_chain_block;
  int32_t p = 0;      // record being looked at
  int32_t run = 0;    // records of the pass just before p, not yet read
  int32_t found = 0;  // records already read
  if (pass.count == 0) return true;
  // Block by block through the chain, until the pass's last record.
  for (;;) {
    const uint8_t* block_end = block + kInitialsPerChainBlock;
    for (const uint8_t* initial = block; initial < block_end; ++initial, ++p) {
      if (pass.letters[*initial]) {
        ++run;
        if (found + run == pass.count) return ReadNodeBlock(state, p + 1 - run, run, pass.area + found);
      } else if (run > 0) {
        if (!ReadNodeBlock(state, p - run, run, pass.area + found)) return false;
        found += run;
        run = 0;
      }
    }
    block = HeapAddress(state->heap, GetU32LE(block_end));
  }
}

// A reference to a record of the pass: its position in the pass area in
// the low 16 bits, and the first two characters of its sysop name (0 past
// the name's end) in the high 16 bits, so that most comparisons of the sort
// are decided without reaching into the records. Where two references'
// characters differ, the names differ there (or one name is the other's
// beginning), so comparing them orders the records as SysopPrecedes does.
static_assert(kPassPointerCapacity <= 0x10000);
constexpr uint32_t kPositionBits = 0xFFFF;

uint32_t RecordReference(const NodeRecord& record, int32_t position) {
  int length = std::min<int>(record.sysop_name[0], kSysopNameCapacity);
  uint32_t first = length > 0 ? record.sysop_name[1] : 0;
  uint32_t second = length > 1 ? record.sysop_name[2] : 0;
  return (first << 24) | (second << 16) | static_cast<uint32_t>(position);
}

// Whether reference "a" comes before reference "b".
bool ReferencePrecedes(const NodeRecord* area, uint32_t a, uint32_t b) {
  if ((a ^ b) > kPositionBits) return a < b;  // the names' first characters decide
  return SysopPrecedes(area[a & kPositionBits], area[b & kPositionBits]);
}

// The partition-exchange sort of references "first" to "last".
void SortPassPointers(const NodeRecord* area, uint8_t* pointers, int32_t first, int32_t last) {
  // The key is the record itself: records never move, only references.
  auto key_at = [pointers](int32_t p) { return PointerAt(pointers, p); };
  auto less = [area](uint32_t a, uint32_t b) { return ReferencePrecedes(area, a, b); };
  auto swap = [pointers](int32_t p, int32_t q) {
    uint32_t held = PointerAt(pointers, p);
    SetPointer(pointers, p, PointerAt(pointers, q));
    SetPointer(pointers, q, held);
  };
  PartitionSort(first, last, key_at, less, swap);
}

bool AppendSysopEntries(RunState* state, const Pass& pass) {
  for (int32_t k = 0; k < pass.count; ++k) {
    uint8_t entry[kIndexEntrySize];
    std::memcpy(entry, &pass.area[ReferencedRecord(pass.pointers, k)], kIndexEntrySize);
    entry[0] = SysopSlotByte(entry[0]);
    if (!AppendEntry(state, entry)) return false;
  }
  return true;
}

bool RunSysopPass(RunState* state, Pass* pass) {
  if (pass->count > pass->capacity) return FailPassTooLarge(state, *pass);
  if (!GatherPassRecords(state, *pass)) return false;
  SortSysopReferences(pass->area, pass->count, pass->pointers);
  if (!AppendSysopEntries(state, *pass)) return false;
  ResetPass(pass);
  return true;
}

}  // namespace

bool SysopPrecedes(const NodeRecord& a, const NodeRecord& b) {
  int length_a = std::min<int>(a.sysop_name[0], kSysopNameCapacity);
  int length_b = std::min<int>(b.sysop_name[0], kSysopNameCapacity);
  int common = std::min(length_a, length_b);
  const uint8_t* name_a = a.sysop_name + 1;
  const uint8_t* name_b = b.sysop_name + 1;
  // The names are compared eight characters at a time, read big-end first
  // so that the first differing character decides, as bytewise.
  int i = 0;
  for (; i + 8 <= common; i += 8) {
    uint64_t chunk_a = BigEndian64(name_a + i);
    uint64_t chunk_b = BigEndian64(name_b + i);
    if (chunk_a != chunk_b) return chunk_a < chunk_b;
  }
  for (; i < common; ++i) {
    if (name_a[i] != name_b[i]) return name_a[i] < name_b[i];
  }
  if (length_a != length_b) return length_a < length_b;
  if (RecordZone(a) != RecordZone(b)) return RecordZone(a) < RecordZone(b);
  if (RecordNet(a) != RecordNet(b)) return RecordNet(a) < RecordNet(b);
  return RecordNode(a) < RecordNode(b);
}

void SortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers) {
  for (int32_t k = 0; k < count; ++k) SetPointer(pointers, k, RecordReference(area[k], k));
  SortPassPointers(area, pointers, 0, count - 1);
}

int32_t ReferencedRecord(const uint8_t* pointers, int32_t p) {
  return static_cast<int32_t>(PointerAt(pointers, p) & kPositionBits);
}

int32_t PassCapacityFor(uint32_t largest_free_block, int32_t total_nodes, int32_t record_limit) {
  int64_t capacity = largest_free_block / sizeof(NodeRecord);
  capacity = std::min<int64_t>(capacity, std::max(0, std::min(record_limit, kPassPointerCapacity)));
  return static_cast<int32_t>(std::min<int64_t>(capacity, total_nodes));
}

bool OrderBySysopName(RunState* state) {
  const Platform& platform = *state->platform;
  Pass pass;
  pass.capacity = PassCapacityFor(LargestFreeBlock(state->heap), state->blocks.total_nodes, state->settings.pass_record_limit);
  // Never null: the capacity fits the largest free block.
  pass.area = reinterpret_cast<NodeRecord*>(
      TakeBlock(&state->heap, static_cast<uint32_t>(pass.capacity) * sizeof(NodeRecord)));
  // The pointer array takes the net table's block, free since the
  // node-number section was written.
  pass.pointers = PassPointers(state->blocks);
  for (int b = 0; b < 256; ++b) {
    if (state->blocks.initial_counts[b] <= 0) continue;
    PrintChar(platform, static_cast<char>(b));
    pass.letters[b] = true;
    pass.count += state->blocks.initial_counts[b];
    if (static_cast<int64_t>(NextInitialCount(*state, b)) + pass.count > pass.capacity ||
        pass.count == pass.capacity) {
      if (!RunSysopPass(state, &pass)) return false;
    }
    PrintChar(platform, kBackspace);
  }
  if (pass.count > 0) return RunSysopPass(state, &pass);
  return true;
}

}  // namespace tessel
