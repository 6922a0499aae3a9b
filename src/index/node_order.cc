#include "index/node_order.h"

#include <utility>

#include "index/entry_writer.h"
#include "index/partition_sort.h"
#include "storage/working_storage.h"

namespace tessel {

void SortNetTable(RunState* state, int32_t lo, int32_t hi) {
  NetRecord* table = state->blocks.net_table - 1;  // positions from 1
  // Zone and net compared as one number: zone first, net when zones tie.
  auto key_at = [table](int32_t p) {
    return (static_cast<uint32_t>(NetZone(table[p])) << 16) | NetNumber(table[p]);
  };
  auto less = [](uint32_t a, uint32_t b) { return a < b; };
  auto swap = [table](int32_t p, int32_t q) { std::swap(table[p], table[q]); };
  PartitionSort(lo, hi, key_at, less, swap);
}

void SortNodeRun(RunState* state, int32_t lo, int32_t hi) {
  NodeRecord* buffer = state->blocks.node_buffer;
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
  const NetRecord* table = state->blocks.net_table - 1;  // positions from 1
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
