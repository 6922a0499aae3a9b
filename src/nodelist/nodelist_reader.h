// Reads catalogued nodelists into the build's working records.
//
// Every ZONE, REGION and HOST line starts a net (a NetRecord) and is itself
// node 0 of it; every other accepted line is a node of the current net,
// except PVT, HOLD and DOWN lines and the lines of an excluded zone. Each
// node becomes a NodeRecord in the NodeBuffer (written to the temporary
// node file when full), and its sysop name's initial is counted and added
// to the initial chain.
#ifndef TESSEL_NODELIST_NODELIST_READER_H_
#define TESSEL_NODELIST_NODELIST_READER_H_

#include "storage/run_state.h"

namespace tessel {

// Reads the nodelist "path" for catalogue slot "slot", carrying the zone,
// net and node numbers and the current net over from the previous
// nodelist. A nodelist that cannot be opened is reported by its slot's
// BaseName and skipped. Returns false when the run has ended (too many
// nets or nodes in a net, no memory, a failed write or read).
// REQUIRES: the build blocks are taken and the temporary file is open.
bool ReadNodelist(RunState* state, uint8_t slot, const std::string& path);

// Closes the current net, if any, and starts a new one with the current
// zone and net numbers. Returns false when the run has ended.
bool StartNet(RunState* state);

}  // namespace tessel

#endif  // TESSEL_NODELIST_NODELIST_READER_H_
