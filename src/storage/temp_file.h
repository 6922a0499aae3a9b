// The build's working storage: its blocks in the working heap, the
// temporary node file, and the ways a run ends when storage fails it.
//
// Functions that may end the run return false after printing what went
// wrong and setting state->exit_code (a failure that leaves files to clean
// up ends through storage/failed_run.h); the caller then unwinds at once.
#ifndef TESSEL_STORAGE_TEMP_FILE_H_
#define TESSEL_STORAGE_TEMP_FILE_H_

#include <cstdint>
#include <string_view>

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

// Takes the four build blocks from the heap (net table, text block, first
// initial chain block, node buffer). REQUIRES: the memory check passed.
void TakeBuildBlocks(RunState* state);

// Asks the platform to make a block's memory present before it is filled
// (see Platform::prepare_memory).
void PrepareMemory(const RunState& state, void* block, size_t size);

// Creates (or truncates) the temporary node file in the current directory.
bool CreateTempFile(RunState* state);

// Closes the temporary node file and opens it again for reading and
// writing, ready for the orderings.
bool ReopenTempFile(RunState* state);

// Closes and deletes the temporary node file, if it is open.
bool RemoveTempFile(RunState* state);

// Appends the buffered NodeRecords to the temporary node file in one write
// and empties the NodeBuffer. A failed or short write ends the run with
// the write-error report.
bool FlushNodeBuffer(RunState* state);

// Reads "count" NodeRecords from record "first" of the temporary node file
// into "destination": a seek, then one read. (The platform keeps the file's
// position, so a seek to where it stands costs nothing.) A failed or short
// read is a fatal I/O error.
bool ReadNodeBlock(RunState* state, int32_t first, int32_t count, NodeRecord* destination);

}  // namespace tessel

#endif  // TESSEL_STORAGE_TEMP_FILE_H_
