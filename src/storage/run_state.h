// The state of one run of the program, in parts: its settings, the index's
// head, the working heap and the build's blocks, the reader's position and
// the open files.
#ifndef TESSEL_STORAGE_RUN_STATE_H_
#define TESSEL_STORAGE_RUN_STATE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "storage/heap.h"
#include "storage/records.h"

namespace tessel {

constexpr int kMaxExcludedZones = 10;

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
constexpr uint32_t kBuildBlocksBytes = kNetTableBytes + kTextBlockBytes + kChainBlockBytes + kNodeBufferBytes;
static_assert(kNetTableCapacity == 19'656 && kEntryBufferCapacity == 5'460);
static_assert(kNodeBufferCapacity == 5'172 && kPassPointerCapacity == 49'140);
static_assert(kBuildBlocksBytes == 524'136);

// Exit statuses of the program's own ends. Others are the error numbers of
// failed file operations.
constexpr int kExitOk = 0;
constexpr int kExitNoMemory = 1;
constexpr int kExitWriteError = 3;
constexpr int kExitTooManyNets = 4;
constexpr int kExitTooManyNodes = 5;
// A working heap too small for the catalogue.
constexpr int kErrHeapOverflow = 203;

constexpr const char* kTempFileName = "nlindex.foo";

// Settings from the command line and the host's configuration, fixed
// before the build starts.
struct RunSettings {
  bool force_rebuild = false;
  int32_t excluded_zones[kMaxExcludedZones] = {};
  int excluded_count = 0;
  std::string data_path;   // the index's directory, as stored ("" = here)
  std::string index_path;  // the index file as found, in host form
  // The most records a sysop-name pass may hold (the memory budget's).
  int32_t pass_record_limit = kPassPointerCapacity;
};

// The index's head, as read at start-up; the catalogue (in the working
// heap) is updated by start-up and by the reader, and written back whole.
struct IndexHeadAsRead {
  IndexHeader header = {};
  NodelistSlot* catalogue = nullptr;  // slot s at catalogue[s - 1]
  int32_t slot_count = 0;
};

// The build's working blocks, all inside the heap, and its counters. Two
// blocks change role between phases; use them through the views below,
// which name the role they have in each phase.
struct BuildBlocks {
  NetRecord* net_table = nullptr;  // net position p (from 1) at net_table[p - 1]
  uint8_t* text_block = nullptr;   // the line buffer, then the EntryBuffer
  NodeRecord* node_buffer = nullptr;  // released before the sysop-name ordering
  uint8_t* first_chain_block = nullptr;
  uint8_t* current_chain_block = nullptr;

  int32_t initial_counts[256] = {};
  int32_t total_nodes = 0;
  int32_t net_count = 0;
  int32_t buffered_count = 0;  // NodeBuffer records, then EntryBuffer entries
};

// While the nodelists are read: the text block is the reader's line buffer
// and the counter holds the records waiting in the NodeBuffer.
inline uint8_t* LineBuffer(BuildBlocks& b) { return b.text_block; }
inline int32_t& NodeBufferCount(BuildBlocks& b) { return b.buffered_count; }
// From the node-number ordering on: the text block is the EntryBuffer and
// the same counter holds the entries waiting in it.
inline uint8_t* EntryBuffer(BuildBlocks& b) { return b.text_block; }
inline int32_t& EntryCount(BuildBlocks& b) { return b.buffered_count; }
// In the sysop-name ordering: the net table's block holds the pass's
// pointer array (4-byte references at any alignment).
inline uint8_t* PassPointers(BuildBlocks& b) { return reinterpret_cast<uint8_t*>(b.net_table); }

// The nodelist reader's numbers, carried from one nodelist to the next.
struct ReaderPosition {
  int32_t zone = 0;
  int32_t net = 0;
  int32_t node = 0;
  int32_t nodes_in_net = 0;
  uint8_t current_slot = 0;
};

// The files a run has open; each is kNoFile when closed.
struct OpenFiles {
  FileId nodelist = kNoFile;
  std::string nodelist_path;  // as opened, for messages
  FileId temp_file = kNoFile;
  FileId new_index = kNoFile;
  std::string new_index_path;
};

// The state of one run, by part. One RunState lives for the whole run and
// every phase works on the parts it names.
struct RunState {
  const Platform* platform = nullptr;
  RunSettings settings;
  IndexHeadAsRead head;
  WorkingHeap heap;
  BuildBlocks blocks;
  ReaderPosition reader;
  OpenFiles files;
  int exit_code = 0;  // once a phase has ended the run
};

// A NodelistSlot of the catalogue, by slot number (from 1).
inline NodelistSlot& Slot(RunState& state, int slot) { return state.head.catalogue[slot - 1]; }

}  // namespace tessel

#endif  // TESSEL_STORAGE_RUN_STATE_H_
