#include "storage/temp_file.h"

#include <string>

#include "platform/file_search.h"
#include "storage/failed_run.h"
#include "storage/console.h"

namespace tessel {

int TransferError(int error, uint32_t moved, uint32_t asked, int short_error) {
  if (error != 0) return error;
  return moved < asked ? short_error : 0;
}

bool FatalIoError(RunState* state, int error, std::string_view doing, std::string_view path) {
  const Platform& platform = *state->platform;
  PrintLineEnd(platform);
  Print(platform, "I/O error ");
  PrintNumber(platform, error);
  Print(platform, " (");
  Print(platform, ErrorText(error));
  Print(platform, ") ");
  Print(platform, doing);
  Print(platform, " ");
  Print(platform, path);
  PrintLineEnd(platform);
  state->exit_code = error;
  return false;
}

void PrintInsufficientMemory(const Platform& platform, int64_t shortfall) {
  PrintLineEnd(platform);
  Print(platform, "Insufficient memory - I need at least ");
  PrintNumber(platform, shortfall / 1024 + 1);
  Print(platform, "k more");
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
}

bool HasFreeMemory(RunState* state, int32_t requested) {
  int64_t free = FreeMemory(state->heap);
  if (free >= requested) return true;
  PrintInsufficientMemory(*state->platform, requested - free);
  return false;
}

void TakeBuildBlocks(RunState* state) {
  WorkingHeap* heap = &state->heap;
  state->blocks.net_table = reinterpret_cast<NetRecord*>(TakeBlock(heap, kNetTableBytes));
  state->blocks.text_block = TakeBlock(heap, kTextBlockBytes);
  state->blocks.first_chain_block = TakeBlock(heap, kChainBlockBytes);
  state->blocks.current_chain_block = state->blocks.first_chain_block;
  state->blocks.node_buffer = reinterpret_cast<NodeRecord*>(TakeBlock(heap, kNodeBufferBytes));
  PrepareMemory(*state, state->blocks.text_block, kTextBlockBytes);
  PrepareMemory(*state, state->blocks.first_chain_block, kChainBlockBytes);
  PrepareMemory(*state, state->blocks.node_buffer, kNodeBufferBytes);
}

void PrepareMemory(const RunState& state, void* block, size_t size) {
  const Platform& platform = *state.platform;
  if (platform.prepare_memory != nullptr && block != nullptr) platform.prepare_memory(platform.ctx, block, size);
}

bool CreateTempFile(RunState* state) {
  const Platform& platform = *state->platform;
  int error = platform.create(platform.ctx, kTempFileName, &state->files.temp_file);
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

bool FlushNodeBuffer(RunState* state) {
  const Platform& platform = *state->platform;
  uint32_t size = static_cast<uint32_t>(NodeBufferCount(state->blocks)) * sizeof(NodeRecord);
  uint32_t moved = 0;
  int error = platform.write(platform.ctx, state->files.temp_file, state->blocks.node_buffer, size, &moved);
  error = TransferError(error, moved, size, kErrShortWrite);
  if (error != 0) return EndWithWriteError(state, error);
  NodeBufferCount(state->blocks) = 0;
  return true;
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
