// The sysop-name section: every node, by sysop name, then zone, net, node.
//
// The records may be too many to hold at once, so this is a bucket sort on
// the sysop name's initial: initials are taken in ascending byte order and
// gathered into passes that fit the pass area; each pass picks its records
// out of the temporary node file (the initial chain tells which records
// belong to it), sorts references to them and appends their entries. Every
// initial of a pass is below every initial of the next, so nothing needs
// merging. All nodes of one initial always share a pass.
#ifndef TESSEL_INDEX_SYSOP_ORDER_H_
#define TESSEL_INDEX_SYSOP_ORDER_H_

#include <cstdint>

#include "storage/run_state.h"

namespace tessel {

// Whether record "a" comes before record "b": by sysop name (bytes compared
// unsigned, a prefix first), then zone, net and node.
bool SysopPrecedes(const NodeRecord& a, const NodeRecord& b);

// Puts references to the pass's records 0 to "count" - 1 (in the pass
// area "area") into "pointers", 4 bytes each at any alignment, in the
// order of the sysop-name section: the order that the partition-exchange
// sort leaves, starting from file order. REQUIRES: "count" is at most
// 65,536.
void SortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers);

// The record (its position in the pass area) that reference "p" names.
int32_t ReferencedRecord(const uint8_t* pointers, int32_t p);

// The records one pass may hold: the largest free block of the heap in
// records, at most "record_limit" (the pointer array's 49,140 or fewer) and
// at most "total_nodes".
int32_t PassCapacityFor(uint32_t largest_free_block, int32_t total_nodes, int32_t record_limit = kPassPointerCapacity);

// Writes the sysop-name section through the EntryBuffer, printing each
// initial that has nodes followed by a backspace. An initial with more
// nodes than a pass holds ends the run (exit code 1) after deleting the new
// index and the temporary node file.
// REQUIRES: the NodeBuffer is released; at least one node exists.
bool OrderBySysopName(RunState* state);

}  // namespace tessel

#endif  // TESSEL_INDEX_SYSOP_ORDER_H_
