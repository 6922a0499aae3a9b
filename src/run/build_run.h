// The build run: from the catalogued nodelists to the replaced index.
#ifndef TESSEL_RUN_BUILD_RUN_H_
#define TESSEL_RUN_BUILD_RUN_H_

#include "storage/run_state.h"

namespace tessel {

// Reads every catalogued nodelist, writes "nlindex.bar" with both sections
// of entries, puts it in the index's place in one atomic rename and prints
// the counts. Returns false when the run has ended early (EndRun).
bool RunBuild(RunState* state);

}  // namespace tessel

#endif  // TESSEL_RUN_BUILD_RUN_H_
