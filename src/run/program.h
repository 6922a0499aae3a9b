// The program: start-up, the up-to-date decision and the build run.
#ifndef TESSEL_RUN_PROGRAM_H_
#define TESSEL_RUN_PROGRAM_H_

#include <cstdint>

#include "platform/platform.h"
#include "storage/heap.h"

namespace tessel {

struct RunOptions {
  uint32_t heap_size = kWorkingHeapSize;
  int32_t pass_capacity_override = -1;  // tests only: records per sysop-name pass
};

// Runs the program on "platform" with the arguments argv[1..argc-1] and
// returns its exit status.
int RunProgram(const Platform& platform, int argc, const char* const* argv,
               const RunOptions& options = RunOptions());

}  // namespace tessel

#endif  // TESSEL_RUN_PROGRAM_H_
