#include "index/sysop_order.h"

#include <algorithm>
#include <cstring>

#include "index/entry_writer.h"
#include "index/sysop_sort.h"
#include "storage/failed_run.h"
#include "storage/console.h"
#include "storage/fatal_errors.h"
#include "storage/temp_file.h"

namespace tessel {
namespace {

// The pass being gathered and the memory it is read into.
struct Pass {
  bool letters[256] = {};  // the initials gathered
  int32_t count = 0;       // their nodes
  int32_t capacity = 0;
  NodeRecord* area = nullptr;
  PassPointersView pointers = {};  // 4-byte record numbers within the area
  uint8_t* scratch = nullptr;   // what the heap has left, for the sort
  uint32_t scratch_bytes = 0;
  int32_t number = 0;  // passes run before this one
};

// At scale every pass would pick its few records out of the whole
// temporary file. Instead the file is read once before the first pass and
// its records are written again behind it, grouped by pass, each group in
// file order; a pass then reads its group with one read. The passes are
// planned exactly as the phase will run them.
struct PassPlan {
  int32_t passes = 0;
  uint8_t pass_of[256] = {};  // the pass of each initial that has nodes
  int32_t first[257] = {};    // where each pass's group starts, from the copy's start
  bool grouped = false;       // the groups are written and complete
};

// Grouping pays when the passes are many and the file is large; small
// builds read their passes straight from the file.
constexpr int32_t kGroupFromPasses = 3;
constexpr int32_t kGroupFromNodes = kInitialsPerChainBlock;
// Each pass's share of the pass area, while the groups are written, is at
// least this many records.
constexpr int32_t kGroupBufferRecords = 16;

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

// The passes as the phase will run them. Returns false when a pass would
// fail for want of room (the phase then ends there anyway).
bool PlanPasses(const RunState& state, int32_t capacity, PassPlan* plan) {
  int32_t count = 0;
  for (int b = 0; b < 256; ++b) {
    if (state.blocks.initial_counts[b] <= 0) continue;
    plan->pass_of[b] = static_cast<uint8_t>(plan->passes);
    count += state.blocks.initial_counts[b];
    if (count > capacity) return false;
    if (static_cast<int64_t>(NextInitialCount(state, b)) + count > capacity || count == capacity) {
      plan->first[plan->passes + 1] = plan->first[plan->passes] + count;
      ++plan->passes;
      count = 0;
    }
  }
  if (count > 0) {
    plan->first[plan->passes + 1] = plan->first[plan->passes] + count;
    ++plan->passes;
  }
  return true;
}

// Writes the records buffered for pass "p" behind the file's own records,
// where its group continues. Returns false when the write fails; a failed
// repositioning is fatal as for every read.
bool WriteGroupPart(RunState* state, const PassPlan& plan, int32_t p, const NodeRecord* records, int32_t count,
                    int32_t written, bool* failed) {
  const Platform& platform = *state->platform;
  int64_t record = static_cast<int64_t>(state->blocks.total_nodes) + plan.first[p] + written;
  int error = platform.seek(platform.ctx, state->files.temp_file, record * static_cast<int64_t>(sizeof(NodeRecord)));
  if (error != 0) return FatalIoError(state, error, "positioning in", kTempFileName);
  uint32_t size = static_cast<uint32_t>(count) * sizeof(NodeRecord);
  uint32_t moved = 0;
  error = platform.write(platform.ctx, state->files.temp_file, records, size, &moved);
  *failed = TransferError(error, moved, size, kErrShortWrite) != 0;
  return true;
}

// Reads the temporary file once, through the net table's block, and
// writes its records again grouped by pass, through a share of the pass
// area for each pass. When a write fails (a full disk, say) the groups are
// given up and every pass picks its records out of the file instead.
bool GroupRecordsByPass(RunState* state, const Pass& pass, PassPlan* plan) {
  const int32_t share = pass.capacity / plan->passes;
  GroupInputView input = GroupInput(state->blocks);
  int32_t buffered[256] = {};
  int32_t written[256] = {};
  const uint8_t* chain = state->blocks.first_chain_block;
  int32_t in_block = 0;
  bool failed = false;
  for (int32_t first = 0; first < state->blocks.total_nodes && !failed;) {
    int32_t count = std::min(input.capacity, state->blocks.total_nodes - first);
    if (!ReadNodeBlock(state, first, count, input.records)) return false;
    for (int32_t k = 0; k < count && !failed; ++k) {
      int32_t p = plan->pass_of[chain[in_block]];
      if (++in_block == kInitialsPerChainBlock) {
        chain = HeapAddress(state->heap, GetU32LE(chain + kInitialsPerChainBlock));
        in_block = 0;
      }
      NodeRecord* buffer = pass.area + static_cast<int64_t>(p) * share;
      std::memcpy(&buffer[buffered[p]], &input.records[k], sizeof(NodeRecord));
      if (++buffered[p] == share) {
        if (!WriteGroupPart(state, *plan, p, buffer, share, written[p], &failed)) return false;
        written[p] += share;
        buffered[p] = 0;
      }
    }
    first += count;
  }
  for (int32_t p = 0; p < plan->passes && !failed; ++p) {
    if (buffered[p] == 0) continue;
    NodeRecord* buffer = pass.area + static_cast<int64_t>(p) * share;
    if (!WriteGroupPart(state, *plan, p, buffer, buffered[p], written[p], &failed)) return false;
  }
  plan->grouped = !failed;
  return true;
}

bool AppendSysopEntries(RunState* state, const Pass& pass, const uint8_t* references) {
  for (int32_t k = 0; k < pass.count; ++k) {
    uint8_t entry[kIndexEntrySize];
    std::memcpy(entry, &pass.area[ReferencedRecord(references, k)], kIndexEntrySize);
    entry[0] = SysopSlotByte(entry[0]);
    if (!AppendEntry(state, entry)) return false;
  }
  return true;
}

bool RunSysopPass(RunState* state, Pass* pass, const PassPlan& plan) {
  if (pass->count > pass->capacity) return FailPassTooLarge(state, *pass);
  if (plan.grouped) {
    if (!ReadNodeBlock(state, state->blocks.total_nodes + plan.first[pass->number], pass->count, pass->area)) {
      return false;
    }
  } else if (!GatherPassRecords(state, *pass)) {
    return false;
  }
  ++pass->number;
  const uint8_t* references =
      OrderSysopPass(pass->area, pass->count, pass->pointers.bytes, pass->scratch, pass->scratch_bytes);
  if (!AppendSysopEntries(state, *pass, references)) return false;
  ResetPass(pass);
  return true;
}

}  // namespace

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
  // The sort may use what the heap has left: nothing is taken after it.
  pass.scratch_bytes = static_cast<uint32_t>(
      std::min<uint64_t>(LargestFreeBlock(state->heap), RadixScratchBytes(pass.capacity, /*wide=*/true)));
  pass.scratch = TakeBlock(&state->heap, pass.scratch_bytes);
  MakeBlockPresent(platform, pass.area, static_cast<size_t>(pass.capacity) * sizeof(NodeRecord));
  MakeBlockPresent(platform, pass.scratch, pass.scratch_bytes);
  PassPlan plan;
  bool group = state->blocks.total_nodes > kGroupFromNodes && PlanPasses(*state, pass.capacity, &plan) &&
               plan.passes >= kGroupFromPasses && pass.capacity / plan.passes >= kGroupBufferRecords;
  for (int b = 0; b < 256; ++b) {
    if (state->blocks.initial_counts[b] <= 0) continue;
    PrintChar(platform, static_cast<char>(b));
    pass.letters[b] = true;
    pass.count += state->blocks.initial_counts[b];
    if (static_cast<int64_t>(NextInitialCount(*state, b)) + pass.count > pass.capacity ||
        pass.count == pass.capacity) {
      // The groups are written when the first pass runs, where that pass
      // would have read the file.
      if (group && pass.number == 0 && !GroupRecordsByPass(state, pass, &plan)) return false;
      if (!RunSysopPass(state, &pass, plan)) return false;
    }
    PrintChar(platform, kBackspace);
  }
  if (pass.count > 0) return RunSysopPass(state, &pass, plan);
  return true;
}

}  // namespace tessel
