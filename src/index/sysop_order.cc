#include "index/sysop_order.h"

#include <algorithm>
#include <cstring>

#include "index/entry_writer.h"
#include "index/partition_sort.h"
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

void ResetPass(Pass* pass) {
  std::fill(std::begin(pass->letters), std::end(pass->letters), false);
  pass->count = 0;
}

// The count of the first initial above "initial" that has nodes; 0 when
// none has.
int32_t NextInitialCount(const RunState& state, int initial) {
  for (int b = initial + 1; b < 256; ++b) {
    if (state.initial_counts[b] != 0) return state.initial_counts[b];
  }
  return 0;
}

bool FailPassTooLarge(RunState* state, const Pass& pass) {
  const Platform& platform = *state->platform;
  PrintInsufficientMemory(platform, (static_cast<int64_t>(pass.count) - pass.capacity) * sizeof(NodeRecord));
  int error = platform.close(platform.ctx, state->new_index);
  state->new_index = kNoFile;
  if (error != 0) return FatalIoError(state, error, "closing", state->new_index_path);
  error = platform.remove(platform.ctx, state->new_index_path.c_str());
  if (error != 0) return FatalIoError(state, error, "deleting", state->new_index_path);
  return FatalExitWithCleanup(state, kExitNoMemory);
}

// Reads the pass's records into its area, in temporary-file order: one
// read per run of consecutive records whose initials belong to the pass,
// stopping at the pass's last record.
bool GatherPassRecords(RunState* state, const Pass& pass) {
  if (pass.count == state->total_nodes) return ReadNodeBlock(state, 0, state->total_nodes, pass.area);
  const uint8_t* block = state->first_chain_block;
  int32_t p = 0;      // record being looked at
  int32_t run = 0;    // records of the pass just before p, not yet read
  int32_t found = 0;  // records already read
  while (found + run < pass.count) {
    if (pass.letters[block[p % kInitialsPerChainBlock]]) {
      ++run;
    } else if (run > 0) {
      if (!ReadNodeBlock(state, p - run, run, pass.area + found)) return false;
      found += run;
      run = 0;
    }
    ++p;
    if (p % kInitialsPerChainBlock == 0) block = HeapAddress(state->heap, GetU32LE(block + kInitialsPerChainBlock));
  }
  if (run > 0) return ReadNodeBlock(state, p - run, run, pass.area + found);
  return true;
}

void SortPassPointers(Pass* pass, int32_t first, int32_t last) {
  const NodeRecord* area = pass->area;
  uint8_t* pointers = pass->pointers;
  // The key is the record itself: records never move, only references.
  auto key_at = [pointers](int32_t p) { return PointerAt(pointers, p); };
  auto less = [area](uint32_t a, uint32_t b) { return SysopPrecedes(area[a], area[b]); };
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
    std::memcpy(entry, &pass.area[PointerAt(pass.pointers, k)], kIndexEntrySize);
    entry[0] = static_cast<uint8_t>(256 - entry[0]);
    if (!AppendEntry(state, entry)) return false;
  }
  return true;
}

bool RunSysopPass(RunState* state, Pass* pass) {
  if (pass->count > pass->capacity) return FailPassTooLarge(state, *pass);
  for (int32_t k = 0; k < pass->count; ++k) SetPointer(pass->pointers, k, static_cast<uint32_t>(k));
  if (!GatherPassRecords(state, *pass)) return false;
  SortPassPointers(pass, 0, pass->count - 1);
  if (!AppendSysopEntries(state, *pass)) return false;
  ResetPass(pass);
  return true;
}

}  // namespace

bool SysopPrecedes(const NodeRecord& a, const NodeRecord& b) {
  int length_a = std::min<int>(a.sysop_name[0], kSysopNameCapacity);
  int length_b = std::min<int>(b.sysop_name[0], kSysopNameCapacity);
  int order = std::memcmp(a.sysop_name + 1, b.sysop_name + 1, std::min(length_a, length_b));
  if (order != 0) return order < 0;
  if (length_a != length_b) return length_a < length_b;
  if (RecordZone(a) != RecordZone(b)) return RecordZone(a) < RecordZone(b);
  if (RecordNet(a) != RecordNet(b)) return RecordNet(a) < RecordNet(b);
  return RecordNode(a) < RecordNode(b);
}

int32_t PassCapacityFor(uint32_t largest_free_block, int32_t total_nodes) {
  int64_t capacity = largest_free_block / sizeof(NodeRecord);
  capacity = std::min<int64_t>(capacity, kPassPointerCapacity);
  return static_cast<int32_t>(std::min<int64_t>(capacity, total_nodes));
}

bool OrderBySysopName(RunState* state) {
  const Platform& platform = *state->platform;
  Pass pass;
  pass.capacity = state->pass_capacity_override >= 0
                      ? state->pass_capacity_override
                      : PassCapacityFor(LargestFreeBlock(state->heap), state->total_nodes);
  pass.area = reinterpret_cast<NodeRecord*>(
      TakeBlock(&state->heap, static_cast<uint32_t>(pass.capacity) * sizeof(NodeRecord)));
  // The pointer array takes the net table's block, free since the
  // node-number section was written.
  pass.pointers = reinterpret_cast<uint8_t*>(state->net_table);
  if (pass.area == nullptr) {  // only when a test asks for more than the heap has
    PrintInsufficientMemory(platform, static_cast<int64_t>(pass.capacity) * sizeof(NodeRecord));
    return FatalExitWithCleanup(state, kExitNoMemory);
  }
  for (int b = 0; b < 256; ++b) {
    if (state->initial_counts[b] <= 0) continue;
    PrintChar(platform, static_cast<char>(b));
    pass.letters[b] = true;
    pass.count += state->initial_counts[b];
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
