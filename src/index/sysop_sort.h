// Ordering one sysop-name pass: references to the pass's records, sorted by
// sysop name, then zone, net and node.
//
// Records with equal keys end in the order that the partition-exchange
// steps leave them (starting from file order), and that order is part of
// the index's bytes. Where no two records of a pass have equal keys, every
// correct sort gives the same order, so a pass is first ordered by a radix
// sort on the names; only when that finds two records with equal keys is
// the pass ordered again with the exact partition-exchange steps.
//
// A reference is 4 bytes at any alignment: the record's position in the
// pass area in its low 16 bits; the high 16 bits are the sort's own.
#ifndef TESSEL_INDEX_SYSOP_SORT_H_
#define TESSEL_INDEX_SYSOP_SORT_H_

#include <cstdint>

#include "storage/records.h"

namespace tessel {

// Whether record "a" comes before record "b": by sysop name (bytes compared
// unsigned, a prefix first), then zone, net and node.
bool SysopPrecedes(const NodeRecord& a, const NodeRecord& b);

// Whether neither record comes before the other.
bool SameSysopKey(const NodeRecord& a, const NodeRecord& b);

// Puts references to records 0 to "count" - 1 of "area" into "pointers" in
// the order that the partition-exchange steps leave, starting from file
// order, comparing the records themselves. REQUIRES: "count" is at most
// 65,536.
void SortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers);

// The scratch bytes the radix sort needs for "count" records: with
// "wide", for 8-byte references (the faster way), else for 4-byte ones.
uint64_t RadixScratchBytes(int32_t count, bool wide);

// Sorts references to the records into sysop-name order by a radix sort in
// "scratch" (any alignment), moving them through "pointers" where the
// scratch holds only 4-byte ones. Returns where the sorted references are
// ("pointers" or a place in "scratch"), or null when two records have
// equal keys or "scratch_bytes" fall short of RadixScratchBytes (count,
// false). REQUIRES: "count" is at most 65,536.
const uint8_t* RadixSortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers,
                                        uint8_t* scratch, uint32_t scratch_bytes);

// Orders the pass as the sysop-name section needs it: the radix sort when
// "scratch_bytes" of scratch give it room and no keys are equal, the exact
// steps (into "pointers") otherwise; the order is always
// SortSysopReferences's. Returns where the references are.
const uint8_t* OrderSysopPass(const NodeRecord* area, int32_t count, uint8_t* pointers, uint8_t* scratch,
                              uint32_t scratch_bytes);

// The record (its position in the pass area) that reference "p" names.
int32_t ReferencedRecord(const uint8_t* pointers, int32_t p);

}  // namespace tessel

#endif  // TESSEL_INDEX_SYSOP_SORT_H_
