// The temporary node file, "nlindex.foo" in the current directory: the
// NodeRecords of the build in the order they were read, record k at byte
// 38 k, with no header. Created at the start of the build, appended to
// while the nodelists are read, then read back by record number in both
// orderings, and deleted at the end of the run.
//
// Functions that may end the run return false after a fatal I/O error
// report (storage/fatal_errors.h); the caller then unwinds at once.
#ifndef TESSEL_STORAGE_TEMP_FILE_H_
#define TESSEL_STORAGE_TEMP_FILE_H_

#include <cstdint>

#include "storage/run_state.h"

namespace tessel {

constexpr const char* kTempFileName = "nlindex.foo";

// Creates (or truncates) the temporary node file in the current directory.
bool CreateTempFile(RunState* state);

// Closes the temporary node file and opens it again for reading and
// writing, ready for the orderings.
bool ReopenTempFile(RunState* state);

// Closes and deletes the temporary node file, if it is open.
bool RemoveTempFile(RunState* state);

// Appends "count" records to the temporary node file at its position, in
// one write. Returns the write's error: the platform's, or 101 when fewer
// bytes were written; 0 when all were.
int AppendNodeRecords(RunState* state, const NodeRecord* records, int32_t count);

// Reads "count" NodeRecords from record "first" of the temporary node file
// into "destination": a seek, then one read. (The platform keeps the file's
// position, so a seek to where it stands costs nothing.) A failed or short
// read is a fatal I/O error.
bool ReadNodeBlock(RunState* state, int32_t first, int32_t count, NodeRecord* destination);

}  // namespace tessel

#endif  // TESSEL_STORAGE_TEMP_FILE_H_
