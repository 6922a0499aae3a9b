#include "storage/failed_run.h"

#include "storage/console.h"
#include "storage/fatal_errors.h"
#include "storage/temp_file.h"

namespace tessel {
namespace {

// Closes and deletes "nlindex.bar" when it is open.
bool RemoveNewIndex(RunState* state) {
  const Platform& platform = *state->platform;
  if (state->files.new_index == kNoFile) return true;
  int error = platform.close(platform.ctx, state->files.new_index);
  state->files.new_index = kNoFile;
  if (error != 0) return FatalIoError(state, error, "closing", state->files.new_index_path);
  error = platform.remove(platform.ctx, state->files.new_index_path.c_str());
  if (error != 0) return FatalIoError(state, error, "deleting", state->files.new_index_path);
  return true;
}

}  // namespace

bool EndFailedRun(RunState* state, int exit_code) {
  const Platform& platform = *state->platform;
  if (!RemoveNewIndex(state)) return false;
  if (state->files.nodelist != kNoFile) {
    int error = platform.close(platform.ctx, state->files.nodelist);
    state->files.nodelist = kNoFile;
    if (error != 0) return FatalIoError(state, error, "closing", state->files.nodelist_path);
  }
  if (!RemoveTempFile(state)) return false;
  return EndRun(state, exit_code);
}

bool EndWithWriteError(RunState* state, int error) {
  const Platform& platform = *state->platform;
  // The new index goes before the report, so that a failure to delete it
  // is reported instead.
  if (!RemoveNewIndex(state)) return false;
  PrintLineEnd(platform);
  Print(platform, "Error ");
  PrintNumber(platform, error);
  Print(platform, " writing file (not enough disk space?)");
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  return EndFailedRun(state, kExitWriteError);
}

}  // namespace tessel
