// The state of one run of the program, in parts: its settings, the index's
// head, the working heap and the build's blocks, the reader's position and
// the open files.
#ifndef TESSEL_STORAGE_RUN_STATE_H_
#define TESSEL_STORAGE_RUN_STATE_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "storage/build_blocks.h"
#include "storage/heap.h"
#include "storage/index_format.h"

namespace tessel {

constexpr int kMaxExcludedZones = 10;

// Exit statuses of the program's own ends. Others are the error numbers of
// failed file operations.
constexpr int kExitOk = 0;
constexpr int kExitNoMemory = 1;
constexpr int kExitWriteError = 3;
constexpr int kExitTooManyNets = 4;
constexpr int kExitTooManyNodes = 5;
// A working heap too small for the catalogue.
constexpr int kErrHeapOverflow = 203;

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
  int exit_code = kExitOk;  // as EndRun set it, once a phase has ended the run
};

// Ends the run with exit status "exit_code": the one place where a run's
// status is set; the program returns it when the phases have unwound.
// Returns false, for the caller to return.
inline bool EndRun(RunState* state, int exit_code) {
  state->exit_code = exit_code;
  return false;
}

// A NodelistSlot of the catalogue, by slot number (from 1).
inline NodelistSlot& Slot(RunState& state, int slot) { return state.head.catalogue[slot - 1]; }

}  // namespace tessel

#endif  // TESSEL_STORAGE_RUN_STATE_H_
