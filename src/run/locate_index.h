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

// What LocateIndex looked at beyond the current directory, for explaining
// a setup to a person.
struct IndexSearchTrace {
  bool in_current_directory = false;  // nlindex.qdx was found right here
  std::string home;                   // KORVO's value ending in "/", "" when unset
  std::string config_path;            // the config.qdx looked for
  bool config_found = false;
};

// Finds the index and sets state->settings.data_path and
// state->settings.index_path. "*found" tells whether the index exists;
// "trace", when given, receives where it looked. Returns false when the run
// has ended (config.qdx could not be read).
bool LocateIndex(RunState* state, bool* found, IndexSearchTrace* trace = nullptr);

}  // namespace tessel

#endif  // TESSEL_RUN_LOCATE_INDEX_H_
