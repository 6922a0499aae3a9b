// The command line: a force flag and zones to exclude.
#ifndef TESSEL_RUN_COMMAND_LINE_H_
#define TESSEL_RUN_COMMAND_LINE_H_

#include "storage/run_state.h"

namespace tessel {

// Reads the arguments (argv[1] on) into the run's settings. Each argument
// loses one leading "-" or "/"; one starting with F or f forces a rebuild
// (whatever follows), a number is a zone to exclude (the first ten count),
// and anything else is ignored without a word.
void ParseCommandLine(RunState* state, int argc, const char* const* argv);

}  // namespace tessel

#endif  // TESSEL_RUN_COMMAND_LINE_H_
