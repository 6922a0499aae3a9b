// The program: start-up, the up-to-date decision and the build run.
#ifndef TESSEL_RUN_PROGRAM_H_
#define TESSEL_RUN_PROGRAM_H_

#include <cstdint>

#include "platform/platform.h"
#include "storage/run_state.h"

namespace tessel {

// The run's memory budget. The program runs with the defaults; a smaller
// budget makes the same run in less memory (smaller or more passes).
struct RunOptions {
  uint32_t heap_size = kWorkingHeapSize;
  // The most records one sysop-name pass may hold; the pointer array holds
  // no more than the default.
  int32_t pass_record_limit = kPassPointerCapacity;
};

// Runs the program on "platform" with the arguments argv[1..argc-1] and
// returns its exit status.
int RunProgram(const Platform& platform, int argc, const char* const* argv,
               const RunOptions& options = RunOptions());

}  // namespace tessel

#endif  // TESSEL_RUN_PROGRAM_H_
