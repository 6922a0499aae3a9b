#include "run/program.h"

#include "nodelist/catalogue.h"
#include "run/build_run.h"
#include "run/command_line.h"
#include "run/locate_index.h"
#include "storage/console.h"
#include "storage/run_state.h"

namespace tessel {
namespace {

void PrintBanner(const RunState& state) {
  const Platform& platform = *state.platform;
  Print(platform, "Tessel 32-bit for Win32 v3.0a");
  PrintLineEnd(platform);
  Print(platform, "Linux build, (c) 2026 the Tessel developers");
  PrintLineEnd(platform);
  PrintLineEnd(platform);
  if (state.excluded_count == 0) return;
  Print(platform, "Excluding zones:");
  for (int i = 0; i < state.excluded_count; ++i) {
    Print(platform, " ");
    PrintNumber(platform, state.excluded_zones[i]);
  }
  PrintLineEnd(platform);
  PrintLineEnd(platform);
}

}  // namespace

int RunProgram(const Platform& platform, int argc, const char* const* argv, const RunOptions& options) {
  RunState state;
  state.platform = &platform;
  state.pass_capacity_override = options.pass_capacity_override;
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
  if (!ReadCatalogue(&state)) return state.exit_code;
  if (!state.force_rebuild) {
    Print(platform, "Nodelist index is up to date. Use -F to force recompilation.");
    PrintLineEnd(platform);
    return kExitOk;
  }
  return RunBuild(&state);
}

}  // namespace tessel
