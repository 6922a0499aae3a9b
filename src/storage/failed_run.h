// The one way a failed run ends once it has files to clean up: whatever
// phase finds the failure calls here, after printing its own message.
#ifndef TESSEL_STORAGE_FAILED_RUN_H_
#define TESSEL_STORAGE_FAILED_RUN_H_

#include "storage/run_state.h"

namespace tessel {

// Ends the run with "exit_code" after closing and deleting the new index
// (if it is open), closing the nodelist being read (if any) and closing
// and deleting the temporary node file (if it is open). A failure of those
// steps becomes a fatal I/O error instead, and nothing further is cleaned
// up. Returns false.
bool EndFailedRun(RunState* state, int exit_code);

// A write that failed or fell short with error "error": closes and deletes
// the new index (if it is open), prints the write-error report (a line end,
// "Error N writing file (not enough disk space?)", BEL and a line end) and
// ends the run with exit code 3 as EndFailedRun does. Returns false.
bool EndWithWriteError(RunState* state, int error);

}  // namespace tessel

#endif  // TESSEL_STORAGE_FAILED_RUN_H_
