#include "storage/temp_file.h"

#include <string>

#include "platform/file_search.h"
#include "storage/fatal_errors.h"

namespace tessel {

bool CreateTempFile(RunState* state) {
  const Platform& platform = *state->platform;
  int error = CreateOrTruncate(platform, kTempFileName, &state->files.temp_file);
  if (error != 0) {
    state->files.temp_file = kNoFile;
    return FatalIoError(state, error, "creating", kTempFileName);
  }
  return true;
}

bool ReopenTempFile(RunState* state) {
  const Platform& platform = *state->platform;
  int error = platform.close(platform.ctx, state->files.temp_file);
  state->files.temp_file = kNoFile;
  if (error != 0) return FatalIoError(state, error, "closing", kTempFileName);
  std::string opened;
  error = OpenExistingFile(platform, kTempFileName, /*read_only=*/false, &state->files.temp_file, &opened);
  if (error != 0) {
    state->files.temp_file = kNoFile;
    return FatalIoError(state, error, "opening", kTempFileName);
  }
  return true;
}

bool RemoveTempFile(RunState* state) {
  const Platform& platform = *state->platform;
  if (state->files.temp_file == kNoFile) return true;
  int error = platform.close(platform.ctx, state->files.temp_file);
  state->files.temp_file = kNoFile;
  if (error != 0) return FatalIoError(state, error, "closing", kTempFileName);
  error = platform.remove(platform.ctx, kTempFileName);
  if (error != 0) return FatalIoError(state, error, "deleting", kTempFileName);
  return true;
}

int AppendNodeRecords(RunState* state, const NodeRecord* records, int32_t count) {
  const Platform& platform = *state->platform;
  uint32_t size = static_cast<uint32_t>(count) * sizeof(NodeRecord);
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->files.temp_file, records, size, &moved);
  return TransferError(error, moved, size, kErrShortWrite);
}

bool ReadNodeBlock(RunState* state, int32_t first, int32_t count, NodeRecord* destination) {
  const Platform& platform = *state->platform;
  int error = platform.seek(platform.ctx, state->files.temp_file, static_cast<int64_t>(first) * sizeof(NodeRecord));
  if (error != 0) return FatalIoError(state, error, "positioning in", kTempFileName);
  uint32_t size = static_cast<uint32_t>(count) * sizeof(NodeRecord);
  uint32_t moved = 0;
  error = platform.read(platform.ctx, state->files.temp_file, destination, size, &moved);
  error = TransferError(error, moved, size, kErrShortRead);
  if (error != 0) return FatalIoError(state, error, "reading", kTempFileName);
  return true;
}

}  // namespace tessel
