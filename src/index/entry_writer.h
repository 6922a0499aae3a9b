// The new index file and the entries written to it (the file's layout is
// in storage/index_format.h). Entries pass through the EntryBuffer (the
// reader's text block) and leave it in writes of 5,460 entries.
#ifndef TESSEL_INDEX_ENTRY_WRITER_H_
#define TESSEL_INDEX_ENTRY_WRITER_H_

#include <cstdint>
#include <cstring>

#include "storage/run_state.h"

namespace tessel {

// Creates "nlindex.bar" in the index's directory and writes the header as
// read, the catalogue as it now stands and the marker byte. A failure is a
// fatal I/O error that leaves the files as they are.
bool WriteIndexHead(RunState* state);

// Writes the waiting entries to the new index. When the write fails or
// falls short, the new index is closed and deleted and the write-error
// report ends the run with exit code 3. REQUIRES: entries are waiting.
bool FlushEntryBuffer(RunState* state);

// Adds one entry to the EntryBuffer, writing the buffer when it is full.
// Inline: every entry of both sections comes through here.
inline bool AppendEntry(RunState* state, const uint8_t* entry) {
  EntryBufferView buffer = EntryBuffer(state->blocks);
  std::memcpy(&buffer.entries[buffer.count], entry, kIndexEntrySize);
  if (++buffer.count == kEntryBufferCapacity) return FlushEntryBuffer(state);
  return true;
}

}  // namespace tessel

#endif  // TESSEL_INDEX_ENTRY_WRITER_H_
