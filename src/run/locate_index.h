// Finding the index: in the current directory, or in the data directory
// that the host's configuration file (config.qdx, in the directory the
// environment variable KORVO names) records at byte 155.
#ifndef TESSEL_RUN_LOCATE_INDEX_H_
#define TESSEL_RUN_LOCATE_INDEX_H_

#include <string>

#include "storage/run_state.h"

namespace tessel {

constexpr const char* kHomeVariable = "KORVO";

// The value of environment variable "name", matched without regard to
// letter case (the first matching entry wins); empty when it is not set.
std::string EnvironmentValue(const Platform& platform, std::string_view name);

// Finds the index and sets state->settings.data_path and state->settings.index_path.
// "*found" tells whether the index exists. Returns false when the run has
// ended (config.qdx could not be read).
bool LocateIndex(RunState* state, bool* found);

}  // namespace tessel

#endif  // TESSEL_RUN_LOCATE_INDEX_H_
