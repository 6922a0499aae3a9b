#include "index/entry_writer.h"

#include <cstring>

#include "platform/file_search.h"
#include "storage/failed_run.h"
#include "storage/fatal_errors.h"

namespace tessel {
namespace {

bool WriteHeadBytes(RunState* state, const void* bytes, uint32_t size) {
  const Platform& platform = *state->platform;
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->files.new_index, bytes, size, &moved);
  error = TransferError(error, moved, size, kErrShortWrite);
  if (error != 0) return FatalIoError(state, error, "writing", state->files.new_index_path);
  return true;
}

}  // namespace

bool WriteIndexHead(RunState* state) {
  const Platform& platform = *state->platform;
  state->files.new_index_path = HostPath(state->settings.data_path + kNewIndexFileName);
  int error = CreateOrTruncate(platform, state->files.new_index_path.c_str(), &state->files.new_index);
  if (error != 0) {
    state->files.new_index = kNoFile;
    return FatalIoError(state, error, "creating", state->files.new_index_path);
  }
  uint32_t catalogue_bytes = static_cast<uint32_t>(state->head.slot_count) * sizeof(NodelistSlot);
  if (!WriteHeadBytes(state, &state->head.header, sizeof state->head.header)) return false;
  if (catalogue_bytes > 0 && !WriteHeadBytes(state, state->head.catalogue, catalogue_bytes)) return false;
  return WriteHeadBytes(state, &kMarkerByte, 1);
}

bool FlushEntryBuffer(RunState* state) {
  const Platform& platform = *state->platform;
  EntryBufferView buffer = EntryBuffer(state->blocks);
  uint32_t size = static_cast<uint32_t>(buffer.count) * kIndexEntrySize;
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->files.new_index, buffer.entries, size, &moved);
  error = TransferError(error, moved, size, kErrShortWrite);
  if (error != 0) return EndWithWriteError(state, error);
  buffer.count = 0;
  return true;
}

}  // namespace tessel
