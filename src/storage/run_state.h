// The state of one run of the program: its settings, the index's head, the
// working heap and its blocks, the counters of the build and its open files.
// One RunState lives for the whole run and every phase works on it.
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

struct RunState {
  const Platform* platform = nullptr;

  // Settings from the command line and the host's configuration.
  bool force_rebuild = false;
  int32_t excluded_zones[kMaxExcludedZones] = {};
  int excluded_count = 0;
  std::string data_path;   // the index's directory, as stored ("" = here)
  std::string index_path;  // the index file as found, in host form

  // The index's head, as read.
  IndexHeader header = {};
  NodelistSlot* catalogue = nullptr;  // slot s at catalogue[s - 1]
  int32_t slot_count = 0;

  WorkingHeap heap;

  // Working blocks of the build, all inside the heap.
  NetRecord* net_table = nullptr;  // net position p (from 1) at net_table[p - 1]
  uint8_t* text_block = nullptr;   // line buffer while reading, EntryBuffer after
  NodeRecord* node_buffer = nullptr;
  uint8_t* first_chain_block = nullptr;
  uint8_t* current_chain_block = nullptr;

  // Counters of the build.
  int32_t initial_counts[256] = {};
  int32_t total_nodes = 0;
  int32_t net_count = 0;
  int32_t buffered_count = 0;  // NodeBuffer records while reading, EntryBuffer entries after

  // The nodelist reader's numbers, carried from one nodelist to the next.
  int32_t zone = 0;
  int32_t net = 0;
  int32_t node = 0;
  int32_t nodes_in_net = 0;
  uint8_t current_slot = 0;

  // Open files.
  FileId nodelist = kNoFile;
  std::string nodelist_path;  // as opened, for messages
  FileId temp_file = kNoFile;
  FileId new_index = kNoFile;
  std::string new_index_path;
  int32_t temp_file_position = -1;  // record the temporary file stands at, -1 unknown

  // The most records a sysop-name pass may hold (the memory budget's).
  int32_t pass_record_limit = kPassPointerCapacity;

  // The exit status, once a phase has ended the run.
  int exit_code = 0;
};

// A NodelistSlot of the catalogue, by slot number (from 1).
inline NodelistSlot& Slot(RunState& state, int slot) { return state.catalogue[slot - 1]; }

}  // namespace tessel

#endif  // TESSEL_STORAGE_RUN_STATE_H_
