#include "run/program.h"

#include <algorithm>

#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "run/build_run.h"
#include "run/command_line.h"
#include "run/locate_index.h"
#include "run/run_lock.h"
#include "storage/console.h"
#include "storage/run_state.h"
#include "storage/working_storage.h"

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

void PrintWaiting(const Platform& platform, std::string_view dir) {
  Print(platform, "Waiting for another run to finish with ");
  Print(platform, DirectoryName(dir));
  Print(platform, "...");
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
  int error = LockDirectories(platform, "", data_dir, PrintWaiting, locks, &failed, &timed_out);
  if (error == 0) return true;
  if (!timed_out) return FatalIoError(state, error, "locking", failed);
  PrintLineEnd(platform);
  Print(platform, "Gave up after 10 minutes waiting for the lock on ");
  Print(platform, failed);
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
  state->exit_code = error;
  return false;
}

// Reads the catalogue, then rebuilds the index or reports it up to date.
int CheckAndBuild(RunState* state) {
  if (!ReadCatalogue(state)) return state->exit_code;
  if (!state->settings.force_rebuild) {
    Print(*state->platform, "Nodelist index is up to date. Use -F to force recompilation.");
    PrintLineEnd(*state->platform);
    return kExitOk;
  }
  return RunBuild(state);
}

}  // namespace

int RunProgram(const Platform& platform, int argc, const char* const* argv, const RunOptions& options) {
  RunState state;
  state.platform = &platform;
  state.settings.pass_record_limit = std::min(options.pass_record_limit, kPassPointerCapacity);
  InitHeap(&state.heap, options.heap_size);
  ParseCommandLine(&state, argc, argv);
  PrintBanner(state);

  bool found = false;
  if (!LocateIndex(&state, &found)) return state.exit_code;
  if (!found) {
    Print(platform, kIndexFileName);
    Print(platform, " not found; please set up nodelists in CONFIG.");
    PrintChar(platform, kBell);
    PrintLineEnd(platform);
    return kExitOk;
  }
  // One build at a time: held until the temporary file is gone.
  DirectoryLocks locks;
  if (!LockRun(&state, &locks)) return state.exit_code;
  int status = CheckAndBuild(&state);
  UnlockDirectories(platform, &locks);
  return status;
}

}  // namespace tessel
