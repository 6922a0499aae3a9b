#include "run/program.h"

#include <algorithm>

#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "run/build_run.h"
#include "run/command_line.h"
#include "run/locate_index.h"
#include "run/run_lock.h"
#include "storage/console.h"
#include "storage/fatal_errors.h"
#include "storage/run_state.h"

namespace tessel {
namespace {

void PrintBanner(const RunState& state) {
  const Platform& platform = *state.platform;
  Print(platform, "Tessel 32-bit for Win32 v3.0a");
  PrintLineEnd(platform);
#ifdef _WIN32
  Print(platform, "Windows build, (c) 2026 the Tessel developers");
#else
  Print(platform, "Linux build, (c) 2026 the Tessel developers");
#endif
  PrintLineEnd(platform);
  PrintLineEnd(platform);
  if (state.settings.excluded_count == 0) return;
  Print(platform, "Excluding zones:");
  for (int i = 0; i < state.settings.excluded_count; ++i) {
    Print(platform, " ");
    PrintNumber(platform, state.settings.excluded_zones[i]);
  }
  PrintLineEnd(platform);
  PrintLineEnd(platform);
}

void PrintWaiting(const void*, const Platform& platform, std::string_view dir) {
  Print(platform, WaitingMessage(dir));
  PrintLineEnd(platform);
}

// Takes the locks of the working directory and of the index's directory,
// waiting while another run holds them. Returns false when the run has
// ended.
bool LockRun(RunState* state, DirectoryLocks* locks) {
  const Platform& platform = *state->platform;
  std::string_view data_dir, name;
  std::string index_path = HostPath(state->settings.index_path);
  SplitLastComponent(index_path, &data_dir, &name);
  std::string failed;
  bool timed_out = false;
  int error = LockDirectories(platform, "", data_dir, WaitNotice{nullptr, PrintWaiting}, locks, &failed, &timed_out);
  if (error == 0) return true;
  if (!timed_out) return FatalIoError(state, error, "locking", failed);
  PrintLineEnd(platform);
  Print(platform, "Gave up after 10 minutes waiting for the lock on ");
  Print(platform, DisplayPath(failed));
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  return EndRun(state, error);
}

// Reads the catalogue, then rebuilds the index or reports it up to date.
void CheckAndBuild(RunState* state) {
  if (!ReadCatalogue(state)) return;
  if (!state->settings.force_rebuild) {
    Print(*state->platform, "Nodelist index is up to date. Use -F to force recompilation.");
    PrintLineEnd(*state->platform);
    return;
  }
  RunBuild(state);
}

// Finds the index, then checks and builds it under the run's locks.
// Whatever ends the run early has set its exit status (EndRun).
void FindLockAndBuild(RunState* state) {
  const Platform& platform = *state->platform;
  bool found = false;
  if (!LocateIndex(state, &found)) return;
  if (!found) {
    Print(platform, kIndexFileName);
    Print(platform, " not found; please set up nodelists in CONFIG.");
    PrintChar(platform, kBell);
    PrintLineEnd(platform);
    return;
  }
  // One build at a time: held until the temporary file is gone.
  DirectoryLocks locks;
  if (!LockRun(state, &locks)) return;
  CheckAndBuild(state);
  UnlockDirectories(platform, &locks);
}

}  // namespace

int RunProgram(const Platform& platform, int argc, const char* const* argv, const RunOptions& options) {
  RunState state;
  state.platform = &platform;
  state.settings.pass_record_limit = std::min(options.pass_record_limit, kPassPointerCapacity);
  InitHeap(&state.heap, options.heap_size);
  ParseCommandLine(&state, argc, argv);
  PrintBanner(state);
  FindLockAndBuild(&state);
  // The program's exit status, decided here alone: kExitOk unless a phase
  // ended the run.
  return state.exit_code;
}

}  // namespace tessel
