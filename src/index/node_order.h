// The node-number section: every node of every net, by zone, net and node.
//
// The nets are sorted by zone and net; then, as many nets at a time as fit
// the NodeBuffer, their records are read back from the temporary node file
// (one read per run of nets that follow each other in the file too), each
// net is sorted by node number on its own, and the load goes out as
// entries. Nodes read before the first net started belong to no net and get
// no entry here.
#ifndef TESSEL_INDEX_NODE_ORDER_H_
#define TESSEL_INDEX_NODE_ORDER_H_

#include <cstdint>

#include "storage/run_state.h"

namespace tessel {

// Sorts NetTable positions "lo" to "hi" (from 1) by zone, then net.
void SortNetTable(RunState* state, int32_t lo, int32_t hi);

// Sorts NodeBuffer positions "lo" to "hi" (from 0) by node number.
void SortNodeRun(RunState* state, int32_t lo, int32_t hi);

// Appends the entries of NodeBuffer positions 0 to count - 1.
bool AppendNodeEntries(RunState* state, int32_t count);

// Writes the node-number section through the EntryBuffer.
// REQUIRES: the NetTable is sorted and at least one net exists.
bool BuildNodeNumberSection(RunState* state);

}  // namespace tessel

#endif  // TESSEL_INDEX_NODE_ORDER_H_
