#include "nodelist/nodelist_reader.h"

#include <cstring>
#include <string_view>

#include "nodelist/line_reader.h"
#include "nodelist/line_role.h"
#include "nodelist/line_splitter.h"
#include "nodelist/number.h"
#include "platform/file_search.h"
#include "storage/failed_run.h"
#include "storage/console.h"
#include "storage/fatal_errors.h"
#include "storage/temp_file.h"

namespace tessel {
namespace {

// Wrapping 32-bit addition, as the counters of a 32-bit program behave.
int32_t Add32(int32_t a, int64_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

bool ExceedsNetLimit(const RunState& state) { return state.reader.nodes_in_net > kNodeBufferCapacity; }

bool EndWithMessage(RunState* state, std::string_view message, int exit_code) {
  const Platform& platform = *state->platform;
  PrintLineEnd(platform);
  Print(platform, message);
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  return EndFailedRun(state, exit_code);
}

// Stores the node count of the current net and checks the limit.
bool CloseCurrentNet(RunState* state) {
  if (state->blocks.net_count == 0) return true;
  PutU16LE(NetTable(state->blocks)[state->blocks.net_count - 1].node_count, static_cast<uint16_t>(state->reader.nodes_in_net));
  if (ExceedsNetLimit(*state)) return EndWithMessage(state, "Too many nodes in net", kExitTooManyNodes);
  return true;
}

bool IsExcluded(const RunState& state, int32_t zone) {
  for (int i = 0; i < state.settings.excluded_count; ++i) {
    if (state.settings.excluded_zones[i] == zone) return true;
  }
  return false;
}

// Records the initial of the next node and takes a further chain block as
// soon as the current one is full.
bool AddInitial(RunState* state, uint8_t initial) {
  ++state->blocks.initial_counts[initial];
  state->blocks.current_chain_block[static_cast<uint32_t>(state->blocks.total_nodes) % kInitialsPerChainBlock] = initial;
  state->reader.nodes_in_net = Add32(state->reader.nodes_in_net, 1);
  state->blocks.total_nodes = Add32(state->blocks.total_nodes, 1);
  if (static_cast<uint32_t>(state->blocks.total_nodes) % kInitialsPerChainBlock != 0) return true;
  if (!HasFreeMemory(state, kChainBlockBytes)) return EndFailedRun(state, kExitNoMemory);
  uint8_t* block = TakeBlock(&state->heap, kChainBlockBytes);
  if (block == nullptr) {  // enough free bytes, but not in one piece
    PrintInsufficientMemory(*state->platform, kChainBlockBytes - LargestFreeBlock(state->heap));
    return EndFailedRun(state, kExitNoMemory);
  }
  MakeBlockPresent(*state->platform, block, kChainBlockBytes);
  PutU32LE(state->blocks.current_chain_block + kInitialsPerChainBlock, HeapOffset(state->heap, block));
  state->blocks.current_chain_block = block;
  return true;
}

// Appends the NodeBuffer's records to the temporary node file in one write
// and empties it. A failed or short write ends the run with the
// write-error report.
bool FlushNodeBuffer(RunState* state) {
  NodeBufferView buffer = NodeBuffer(state->blocks);
  int error = AppendNodeRecords(state, buffer.records, buffer.count);
  if (error != 0) return EndWithWriteError(state, error);
  buffer.count = 0;
  return true;
}

bool ProduceNode(RunState* state, const LineFields& fields, int64_t line_offset) {
  uint8_t initial = fields.sysop.length > 0 ? static_cast<uint8_t>(fields.sysop.text[0]) : 0;
  if (!AddInitial(state, initial)) return false;
  NodeBufferView buffer = NodeBuffer(state->blocks);
  NodeRecord& record = buffer.records[buffer.count];
  record.slot = state->reader.current_slot;
  PutU16LE(record.zone, static_cast<uint16_t>(state->reader.zone));
  PutU16LE(record.net, static_cast<uint16_t>(state->reader.net));
  PutU16LE(record.node, static_cast<uint16_t>(state->reader.node));
  record.tail_length = fields.tail_length;
  PutU32LE(record.line_offset, static_cast<uint32_t>(line_offset));
  int name_length = fields.sysop.length > kSysopNameCapacity ? kSysopNameCapacity : fields.sysop.length;
  record.sysop_name[0] = static_cast<uint8_t>(name_length);
  // A name the splitter took is cleared past its end, so the record's
  // unused characters are zeros either way.
  if (name_length > 0) {
    std::memcpy(record.sysop_name + 1, fields.sysop.text, kSysopNameCapacity);
  } else {
    std::memset(record.sysop_name + 1, 0, kSysopNameCapacity);
  }
  if (++buffer.count == kNodeBufferCapacity) return FlushNodeBuffer(state);
  return true;
}

void ShowZone(const Platform& platform, int32_t zone) {
  Print(platform, "\b\b\b\b\b");
  PrintNumber(platform, zone, 5);
}

// Acts on one line; "excluded" is the file's excluded-zone flag.
bool TakeLine(RunState* state, const LineFields& fields, int64_t line_offset, bool* excluded) {
  std::string_view keyword = fields.keyword.view();
  LineRole role = RoleOfKeyword(keyword);
  bool is_zone = role == LineRole::kZone;
  if (*excluded && !is_zone) return true;
  if (role == LineRole::kNet) {
    state->reader.net = FieldNumber(fields.number.view());
    if (!StartNet(state)) return false;
  } else if (is_zone) {
    *excluded = false;
    state->reader.zone = FieldNumber(fields.number.view());
    ShowZone(*state->platform, state->reader.zone);
    state->reader.net = state->reader.zone;
    NodelistSlot& slot = Slot(*state, state->reader.current_slot);
    if (GetU16LE(slot.highest_zone) < state->reader.zone) PutU16LE(slot.highest_zone, static_cast<uint16_t>(state->reader.zone));
    *excluded = IsExcluded(*state, state->reader.zone);
    if (!*excluded && !StartNet(state)) return false;
  } else {
    state->reader.node = FieldNumber(fields.number.view());
  }
  if (IsUnindexedKeyword(keyword) || *excluded) return true;
  return ProduceNode(state, fields, line_offset);
}

bool ReadLines(RunState* state) {
  LineReader reader;
  LineBufferView buffer = LineBuffer(state->blocks);
  StartLineReader(&reader, *state->platform, state->files.nodelist, buffer.bytes, buffer.size);
  LineFields fields;
  char line[kMaxLineLength + kLinePadding];
  bool excluded = false;
  bool ended = false;
  while (!ended) {
    int length = 0;
    int64_t line_start = 0;
    if (!ReadTextLine(&reader, line, &length, &line_start)) break;
    SplitPaddedLine(line, length, &fields);
    if (!fields.rejected) {
      // The line's system name starts "tail length" characters before its end.
      int64_t line_offset = line_start + length - fields.tail_length;
      if (!TakeLine(state, fields, line_offset, &excluded)) return false;
    }
    if (!TextEnded(&reader, &ended)) break;
  }
  if (reader.error != 0) return FatalIoError(state, reader.error, "reading", state->files.nodelist_path);
  return true;
}

}  // namespace

bool StartNet(RunState* state) {
  if (state->blocks.net_count == kNetTableCapacity) return EndWithMessage(state, "Too many nets", kExitTooManyNets);
  if (!CloseCurrentNet(state)) return false;
  state->reader.nodes_in_net = 0;
  state->reader.node = 0;
  NetRecord& record = NetTable(state->blocks)[state->blocks.net_count++];
  PutU16LE(record.zone, static_cast<uint16_t>(state->reader.zone));
  PutU16LE(record.net, static_cast<uint16_t>(state->reader.net));
  PutU16LE(record.node_count, 0);
  PutI32LE(record.first_record, state->blocks.total_nodes);
  return true;
}

bool ReadNodelist(RunState* state, uint8_t slot, const std::string& path) {
  const Platform& platform = *state->platform;
  state->reader.current_slot = slot;
  int error = OpenExistingFile(platform, path, /*read_only=*/true, &state->files.nodelist, &state->files.nodelist_path);
  if (error != 0) {
    state->files.nodelist = kNoFile;
    const NodelistSlot& s = Slot(*state, slot);
    Print(platform, "Nodelist ");
    Print(platform, std::string_view(reinterpret_cast<const char*>(s.base_name + 1), BaseNameLength(s)));
    Print(platform, " not found");
    PrintChar(platform, kBell);
    PrintLineEnd(platform);
    return true;
  }
  Print(platform, "Reading ");
  Print(platform, path);
  Print(platform, "... Zone      ");
  if (!ReadLines(state)) return false;
  if (!CloseCurrentNet(state)) return false;
  error = platform.close(platform.ctx, state->files.nodelist);
  state->files.nodelist = kNoFile;
  if (error != 0) return FatalIoError(state, error, "closing", state->files.nodelist_path);
  if (NodeBuffer(state->blocks).count > 0 && !FlushNodeBuffer(state)) return false;
  PrintLineEnd(platform);
  return true;
}

}  // namespace tessel
