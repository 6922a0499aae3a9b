// The fixed-layout records of the build and of the index file. Every record
// is a struct of byte fields (alignment 1, no padding), so its bytes are the
// bytes on disk; integers are little-endian and read through the accessors.
//
// NodeRecord (38 bytes), one per accepted node line; also the temporary
// node file's record:
//   0  slot         u8   catalogue slot of the node's nodelist (1..255)
//   1  zone         u16
//   3  net          u16
//   5  node         u16
//   7  tail length  u8   characters of the line after the number field's comma
//   8  line offset  i32  byte offset in the nodelist of the first of them
//  12  sysop name   length byte + 25 characters
// Its first 12 bytes are the IndexEntry written to the index.
//
// NetRecord (10 bytes): zone u16, net u16, node count u16, first record i32.
// The records of the index file itself are in storage/index_format.h.
#ifndef TESSEL_STORAGE_RECORDS_H_
#define TESSEL_STORAGE_RECORDS_H_

#include <cstddef>
#include <cstdint>

#include "storage/coding.h"
#include "storage/index_format.h"

namespace tessel {

constexpr int kSysopNameCapacity = 25;

struct NodeRecord {
  uint8_t slot;
  uint8_t zone[2];
  uint8_t net[2];
  uint8_t node[2];
  uint8_t tail_length;
  uint8_t line_offset[4];
  uint8_t sysop_name[1 + kSysopNameCapacity];  // length byte, then characters
};
static_assert(sizeof(NodeRecord) == 38);
static_assert(offsetof(NodeRecord, line_offset) == 8);
static_assert(offsetof(NodeRecord, sysop_name) == kIndexEntrySize);

struct NetRecord {
  uint8_t zone[2];
  uint8_t net[2];
  uint8_t node_count[2];
  uint8_t first_record[4];
};
static_assert(sizeof(NetRecord) == 10);

// NodeRecord fields.
inline uint16_t RecordZone(const NodeRecord& r) { return GetU16LE(r.zone); }
inline uint16_t RecordNet(const NodeRecord& r) { return GetU16LE(r.net); }
inline uint16_t RecordNode(const NodeRecord& r) { return GetU16LE(r.node); }
inline int32_t RecordLineOffset(const NodeRecord& r) { return GetI32LE(r.line_offset); }

// NetRecord fields.
inline uint16_t NetZone(const NetRecord& r) { return GetU16LE(r.zone); }
inline uint16_t NetNumber(const NetRecord& r) { return GetU16LE(r.net); }
inline uint16_t NetNodeCount(const NetRecord& r) { return GetU16LE(r.node_count); }
inline int32_t NetFirstRecord(const NetRecord& r) { return GetI32LE(r.first_record); }

}  // namespace tessel

#endif  // TESSEL_STORAGE_RECORDS_H_
