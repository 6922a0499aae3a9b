// The build's working blocks: their sizes and the capacities those give,
// and the roles they take from phase to phase.
//
// Two blocks change role. The net table's block is the NetTable while the
// nodelists are read and the node-number section is written; in the
// sysop-name ordering it is first the input of the records' grouping by
// pass, then each pass's pointer array. The text block is the reader's line
// buffer, then the EntryBuffer; one counter holds the NodeBuffer's waiting
// records, then the EntryBuffer's waiting entries. Each role is a view of
// its own type, taken from the blocks by its name, so that a phase works
// on a block only in a role that it has.
#ifndef TESSEL_STORAGE_BUILD_BLOCKS_H_
#define TESSEL_STORAGE_BUILD_BLOCKS_H_

#include <cstdint>

#include "platform/platform.h"
#include "storage/heap.h"
#include "storage/records.h"

namespace tessel {

// Block sizes and the capacities they give.
constexpr uint32_t kNetTableBytes = 196'560;
constexpr int32_t kNetTableCapacity = kNetTableBytes / sizeof(NetRecord);  // 19,656
constexpr uint32_t kTextBlockBytes = 65'520;
constexpr int32_t kEntryBufferCapacity = kTextBlockBytes / sizeof(IndexEntry);  // 5,460
constexpr uint32_t kChainBlockBytes = 65'520;
constexpr int32_t kInitialsPerChainBlock = kChainBlockBytes - 4;  // 65,516, then the link
constexpr uint32_t kNodeBufferBytes = 196'536;
constexpr int32_t kNodeBufferCapacity = kNodeBufferBytes / sizeof(NodeRecord);  // 5,172
constexpr int32_t kPassPointerCapacity = kNetTableBytes / 4;                 // 49,140
constexpr int32_t kGroupInputCapacity = kNetTableBytes / sizeof(NodeRecord);  // 5,172
constexpr uint32_t kBuildBlocksBytes = kNetTableBytes + kTextBlockBytes + kChainBlockBytes + kNodeBufferBytes;
static_assert(kNetTableCapacity == 19'656 && kEntryBufferCapacity == 5'460);
static_assert(kNodeBufferCapacity == 5'172 && kPassPointerCapacity == 49'140);
static_assert(kBuildBlocksBytes == 524'136);

// The build's working blocks, all inside the heap, and its counters. The
// two blocks that change role are reached through the views below.
struct BuildBlocks {
  uint8_t* net_block = nullptr;       // NetTable, GroupInput, then PassPointers
  uint8_t* text_block = nullptr;      // LineBuffer, then EntryBuffer
  int32_t buffered_count = 0;         // NodeBuffer's records, then EntryBuffer's entries
  NodeRecord* node_buffer = nullptr;  // released before the sysop-name ordering
  uint8_t* first_chain_block = nullptr;
  uint8_t* current_chain_block = nullptr;

  int32_t initial_counts[256] = {};
  int32_t total_nodes = 0;
  int32_t net_count = 0;
};

// While the nodelists are read and the node-number section is written: the
// nets, position p (from 1) at NetTable(b)[p - 1].
inline NetRecord* NetTable(BuildBlocks& b) { return reinterpret_cast<NetRecord*>(b.net_block); }
inline const NetRecord* NetTable(const BuildBlocks& b) { return reinterpret_cast<const NetRecord*>(b.net_block); }

// While the nodelists are read: the text block holds the nodelist's text.
struct LineBufferView {
  uint8_t* bytes;
  uint32_t size;
};
inline LineBufferView LineBuffer(BuildBlocks& b) { return {b.text_block, kTextBlockBytes}; }

// While the nodelists are read: the records waiting to go to the temporary
// node file.
struct NodeBufferView {
  NodeRecord* records;
  int32_t& count;
};
inline NodeBufferView NodeBuffer(BuildBlocks& b) { return {b.node_buffer, b.buffered_count}; }

// From the node-number ordering on: the entries waiting to go to the new
// index.
struct EntryBufferView {
  IndexEntry* entries;
  int32_t& count;
};
inline EntryBufferView EntryBuffer(BuildBlocks& b) {
  return {reinterpret_cast<IndexEntry*>(b.text_block), b.buffered_count};
}

// In the sysop-name ordering, while the records are grouped by pass: the
// temporary file's records, read in a block at a time.
struct GroupInputView {
  NodeRecord* records;
  int32_t capacity;
};
inline GroupInputView GroupInput(BuildBlocks& b) {
  return {reinterpret_cast<NodeRecord*>(b.net_block), kGroupInputCapacity};
}

// In each sysop-name pass: the pass's pointer array (4-byte references at
// any alignment).
struct PassPointersView {
  uint8_t* bytes;
};
inline PassPointersView PassPointers(BuildBlocks& b) { return {b.net_block}; }

// Takes the four build blocks from the heap (net table, text block, first
// initial chain block, node buffer) and has the platform make the last
// three present. REQUIRES: the heap's free memory holds kBuildBlocksBytes.
void TakeBuildBlocks(WorkingHeap* heap, const Platform& platform, BuildBlocks* blocks);

}  // namespace tessel

#endif  // TESSEL_STORAGE_BUILD_BLOCKS_H_
