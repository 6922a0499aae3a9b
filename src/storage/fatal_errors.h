// The checks and reports that end a run, which every phase may give: the
// memory check with its insufficient-memory message, and the fatal I/O
// error report; and the error of a block transfer that moved too little.
//
// Functions that end the run return false after printing what went wrong
// and ending it (EndRun); the caller then unwinds at once. A failure
// that leaves files to clean up ends through storage/failed_run.h.
#ifndef TESSEL_STORAGE_FATAL_ERRORS_H_
#define TESSEL_STORAGE_FATAL_ERRORS_H_

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "storage/run_state.h"

namespace tessel {

// The error of a block transfer: the platform's error number, or
// "short_error" (100 for reads, 101 for writes) when fewer bytes than asked
// for moved without one; 0 when all moved.
int TransferError(int error, uint32_t moved, uint32_t asked, int short_error);

// The fatal I/O error report: a line end, then a line naming the error
// number, what failed and the file; ends the run with the error number as
// exit status. Files are left as they are. Returns false.
bool FatalIoError(RunState* state, int error, std::string_view doing, std::string_view path);

// The memory check: whether the heap's free memory holds "requested"
// bytes. When it does not, prints the insufficient-memory message naming
// the shortfall in kilobytes (rounded up past each full 1024) and returns
// false; otherwise prints nothing.
bool HasFreeMemory(RunState* state, int32_t requested);

// Prints the insufficient-memory message for a shortfall of "shortfall"
// bytes: a line end, "Insufficient memory - I need at least Nk more", BEL,
// a line end.
void PrintInsufficientMemory(const Platform& platform, int64_t shortfall);

}  // namespace tessel

#endif  // TESSEL_STORAGE_FATAL_ERRORS_H_
