// The new index file and the entries written to it.
//
// Layout of the index file (integers little-endian):
//   IndexHeader        12 bytes, as the host's configuration wrote it
//   NodelistCatalogue  47 bytes per slot, slot 1 first
//   marker byte        1
//   node-number section: 12-byte IndexEntry records by zone, net, node
//   sysop-name section:  12-byte IndexEntry records by sysop name, zone,
//                        net, node, with the slot byte negated (256 - slot)
// Nothing separates the sections and nothing follows them. Entries pass
// through the EntryBuffer (the reader's text block) and leave it in writes
// of 5,460 entries.
#ifndef TESSEL_INDEX_ENTRY_WRITER_H_
#define TESSEL_INDEX_ENTRY_WRITER_H_

#include <cstdint>
#include <cstring>

#include "storage/run_state.h"

namespace tessel {

constexpr uint8_t kMarkerByte = 1;

// Creates "nlindex.bar" in the index's directory and writes the header as
// read, the catalogue as it now stands and the marker byte. A failure is a
// fatal I/O error that leaves the files as they are.
bool WriteIndexHead(RunState* state);

// Writes the waiting entries to the new index. When the write fails or
// falls short, the new index is closed and deleted and the write-error
// report ends the run with exit code 3. REQUIRES: entries are waiting.
bool FlushEntryBuffer(RunState* state);

// Adds one entry to the EntryBuffer, writing the buffer when it is full.
// Inline: both sections add every entry through it.
inline bool AppendEntry(RunState* state, const uint8_t* entry) {
  std::memcpy(state->text_block + state->buffered_count * kIndexEntrySize, entry, kIndexEntrySize);
  if (++state->buffered_count == kEntryBufferCapacity) return FlushEntryBuffer(state);
  return true;
}

// Closes and deletes "nlindex.bar", for a build that will not finish. A
// failure of either is a fatal I/O error.
bool RemoveNewIndex(RunState* state);


}  // namespace tessel

#endif  // TESSEL_INDEX_ENTRY_WRITER_H_
