#include "run/command_line.h"

#include <string_view>

#include "nodelist/number.h"

namespace tessel {

void ParseCommandLine(RunState* state, int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (!argument.empty() && (argument[0] == '-' || argument[0] == '/')) argument.remove_prefix(1);
    if (!argument.empty() && (argument[0] == 'F' || argument[0] == 'f')) {
      state->settings.force_rebuild = true;
      continue;
    }
    int32_t zone = 0;
    if (ReadNumber(argument, &zone) && state->settings.excluded_count < kMaxExcludedZones) {
      state->settings.excluded_zones[state->settings.excluded_count++] = zone;
    }
  }
}

}  // namespace tessel
