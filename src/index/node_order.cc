#include "index/node_order.h"

#include <algorithm>
#include <utility>

#include "index/entry_writer.h"
#include "index/partition_sort.h"
#include "storage/temp_file.h"

namespace tessel {

void SortNetTable(RunState* state, int32_t lo, int32_t hi) {
  NetRecord* table = NetTable(state->blocks) - 1;  // positions from 1
  // Zone and net compared as one number: zone first, net when zones tie.
  auto key_at = [table](int32_t p) {
    return (static_cast<uint32_t>(NetZone(table[p])) << 16) | NetNumber(table[p]);
  };
  auto less = [](uint32_t a, uint32_t b) { return a < b; };
  auto swap = [table](int32_t p, int32_t q) { std::swap(table[p], table[q]); };
  PartitionSort(lo, hi, key_at, less, swap);
}

namespace {

// Orders the "count" records of one net by node number with a sort of
// their keys, then moves each record once. Where two records have the same
// node number their order is the exact steps' business: returns false
// having moved nothing.
bool SortNodeRunByKeys(NodeRecord* records, int32_t count) {
  // Node number and position; the position's top bit marks a record moved.
  static_assert(kNodeBufferCapacity <= 0x8000);
  uint32_t keys[kNodeBufferCapacity];
  for (int32_t k = 0; k < count; ++k) keys[k] = (uint32_t{RecordNode(records[k])} << 16) | static_cast<uint32_t>(k);
  std::sort(keys, keys + count);
  for (int32_t p = 1; p < count; ++p) {
    if ((keys[p] >> 16) == (keys[p - 1] >> 16)) return false;
  }
  // Position p takes the record at keys[p]'s position: cycle by cycle.
  constexpr uint32_t kMoved = 0x8000;
  constexpr uint32_t kPosition = 0x7FFF;
  for (int32_t p = 0; p < count; ++p) {
    if ((keys[p] & kMoved) != 0) continue;
    int32_t source = static_cast<int32_t>(keys[p] & kPosition);
    keys[p] |= kMoved;
    if (source == p) continue;
    NodeRecord held = records[p];
    int32_t at = p;
    while (source != p) {
      records[at] = records[source];
      at = source;
      source = static_cast<int32_t>(keys[at] & kPosition);
      keys[at] |= kMoved;
    }
    records[at] = held;
  }
  return true;
}

}  // namespace

void SortNodeRun(RunState* state, int32_t lo, int32_t hi) {
  NodeRecord* buffer = state->blocks.node_buffer;
  // Node numbers that already rise are what the steps leave; other nets
  // without equal node numbers may be sorted any way.
  int32_t p = lo;
  while (p < hi && RecordNode(buffer[p]) < RecordNode(buffer[p + 1])) ++p;
  if (p >= hi || SortNodeRunByKeys(buffer + lo, hi - lo + 1)) return;
  auto key_at = [buffer](int32_t p) { return RecordNode(buffer[p]); };
  auto less = [](uint16_t a, uint16_t b) { return a < b; };
  auto swap = [buffer](int32_t p, int32_t q) { std::swap(buffer[p], buffer[q]); };
  PartitionSort(lo, hi, key_at, less, swap);
}

bool AppendNodeEntries(RunState* state, int32_t count) {
  for (int32_t p = 0; p < count; ++p) {
    if (!AppendEntry(state, reinterpret_cast<const uint8_t*>(&state->blocks.node_buffer[p]))) return false;
  }
  return true;
}

bool BuildNodeNumberSection(RunState* state) {
  const NetRecord* table = NetTable(state->blocks) - 1;  // positions from 1
  const int32_t nets = state->blocks.net_count;
  int32_t a = 1;  // the first net not yet placed
  while (a <= nets) {
    int32_t fill = 0;  // records in this load
    do {
      // A group: nets that follow each other in the file, read at once.
      int32_t start = NetFirstRecord(table[a]);
      int32_t group_first = a;
      int32_t size = 0;
      do {
        size += NetNodeCount(table[a]);
        ++a;
      } while (a <= nets && NetFirstRecord(table[a]) == start + size &&
               fill + size + NetNodeCount(table[a]) <= kNodeBufferCapacity);
      if (!ReadNodeBlock(state, start, size, state->blocks.node_buffer + fill)) return false;
      for (int32_t k = group_first; k < a; ++k) {
        SortNodeRun(state, fill, fill + NetNodeCount(table[k]) - 1);
        fill += NetNodeCount(table[k]);
      }
    } while (a <= nets && fill + NetNodeCount(table[a]) <= kNodeBufferCapacity);
    if (!AppendNodeEntries(state, fill)) return false;
  }
  return true;
}

}  // namespace tessel
