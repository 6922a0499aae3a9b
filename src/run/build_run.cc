#include "run/build_run.h"

#include "index/entry_writer.h"
#include "index/node_order.h"
#include "index/sysop_order.h"
#include "nodelist/catalogue.h"
#include "nodelist/nodelist_reader.h"
#include "platform/file_search.h"
#include "storage/console.h"
#include "storage/fatal_errors.h"
#include "storage/new_file.h"
#include "storage/temp_file.h"

namespace tessel {
namespace {

bool ReadAllNodelists(RunState* state) {
  for (int s = 1; s <= state->head.slot_count; ++s) {
    const NodelistSlot& slot = Slot(*state, s);
    if (slot.base_name[0] == 0) continue;
    if (!ReadNodelist(state, static_cast<uint8_t>(s), NodelistPath(slot))) return false;
  }
  return true;
}

// Ends a build that found nothing to index; the old index stays as it was.
bool ReportNothingFound(RunState* state, std::string_view message) {
  const Platform& platform = *state->platform;
  Print(platform, message);
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  return RemoveTempFile(state);
}

bool WriteSections(RunState* state) {
  const Platform& platform = *state->platform;
  Print(platform, "Sorting by node number...");
  SortNetTable(state, 1, state->blocks.net_count);
  if (!BuildNodeNumberSection(state)) return false;
  PrintLineEnd(platform);

  Print(platform, "Sorting by sysop name... ");
  ReleaseBlock(&state->heap, reinterpret_cast<uint8_t*>(state->blocks.node_buffer), kNodeBufferBytes);
  state->blocks.node_buffer = nullptr;
  if (!OrderBySysopName(state)) return false;
  if (EntryBuffer(state->blocks).count > 0 && !FlushEntryBuffer(state)) return false;
  PrintLineEnd(platform);
  return true;
}

// Makes the new index durable and renames it over the old one in one step,
// so that the host finds either the old index or the new one, never none;
// nothing is renamed unless nlindex.bar still holds the file this run
// wrote. A failure leaves nlindex.bar where it is.
bool ReplaceIndex(RunState* state) {
  const Platform& platform = *state->platform;
  NewFile index{HostPath(state->settings.index_path), state->files.new_index_path, state->files.new_index};
  int error = FinishNewFile(platform, &index);
  state->files.new_index = kNoFile;
  if (error == 0) return true;
  switch (index.step) {
    case NewFileStep::kFlush:
      return FatalIoError(state, error, "writing", index.temp_path);
    case NewFileStep::kClose:
      return FatalIoError(state, error, "closing", index.temp_path);
    default:
      return FatalIoError(state, error, "replacing", index.path);
  }
}

void PrintCounts(RunState* state) {
  const Platform& platform = *state->platform;
  PrintLineEnd(platform);
  PrintNumber(platform, state->blocks.total_nodes, 5);
  Print(platform, " nodes processed");
  PrintLineEnd(platform);
  PrintNumber(platform, state->blocks.net_count, 5);
  Print(platform, " nets processed");
  PrintLineEnd(platform);
}

}  // namespace

bool RunBuild(RunState* state) {
  if (!HasFreeMemory(state, kBuildBlocksBytes)) return EndRun(state, kExitNoMemory);
  TakeBuildBlocks(&state->heap, *state->platform, &state->blocks);
  if (!CreateTempFile(state)) return false;
  if (!ReadAllNodelists(state)) return false;
  if (!ReopenTempFile(state)) return false;
  if (state->blocks.total_nodes == 0) return ReportNothingFound(state, "No nodes found!");
  if (state->blocks.net_count == 0) return ReportNothingFound(state, "No nets found!");
  if (!WriteIndexHead(state)) return false;
  if (!WriteSections(state)) return false;
  if (!ReplaceIndex(state)) return false;
  PrintCounts(state);
  return RemoveTempFile(state);
}

}  // namespace tessel
