#include "index/entry_writer.h"

#include <cstring>

#include "platform/file_search.h"
#include "run/failed_run.h"
#include "storage/working_storage.h"

namespace tessel {
namespace {

bool WriteHeadBytes(RunState* state, const void* bytes, uint32_t size) {
  const Platform& platform = *state->platform;
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->new_index, bytes, size, &moved);
  error = TransferError(error, moved, size, kErrShortWrite);
  if (error != 0) return FatalIoError(state, error, "writing", state->new_index_path);
  return true;
}

}  // namespace

bool WriteIndexHead(RunState* state) {
  const Platform& platform = *state->platform;
  state->new_index_path = HostPath(state->data_path + kNewIndexFileName);
  int error = platform.create(platform.ctx, state->new_index_path.c_str(), &state->new_index);
  if (error != 0) {
    state->new_index = kNoFile;
    return FatalIoError(state, error, "creating", state->new_index_path);
  }
  uint32_t catalogue_bytes = static_cast<uint32_t>(state->slot_count) * sizeof(NodelistSlot);
  if (!WriteHeadBytes(state, &state->header, sizeof state->header)) return false;
  if (catalogue_bytes > 0 && !WriteHeadBytes(state, state->catalogue, catalogue_bytes)) return false;
  return WriteHeadBytes(state, &kMarkerByte, 1);
}

bool AppendEntry(RunState* state, const uint8_t* entry) {
  std::memcpy(state->text_block + state->buffered_count * kIndexEntrySize, entry, kIndexEntrySize);
  if (++state->buffered_count == kEntryBufferCapacity) return FlushEntryBuffer(state);
  return true;
}

bool FlushEntryBuffer(RunState* state) {
  const Platform& platform = *state->platform;
  uint32_t size = static_cast<uint32_t>(state->buffered_count) * kIndexEntrySize;
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->new_index, state->text_block, size, &moved);
  error = TransferError(error, moved, size, kErrShortWrite);
  if (error != 0) return EndWithWriteError(state, error);
  state->buffered_count = 0;
  return true;
}

}  // namespace tessel
