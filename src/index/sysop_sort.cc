#include "index/sysop_sort.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "index/partition_sort.h"

namespace tessel {
namespace {

// References lie in the heap at no particular alignment.
uint32_t PointerAt(const uint8_t* pointers, int32_t p) {
  uint32_t value;
  std::memcpy(&value, pointers + 4 * static_cast<size_t>(p), 4);
  return value;
}

void SetPointer(uint8_t* pointers, int32_t p, uint32_t value) {
  std::memcpy(pointers + 4 * static_cast<size_t>(p), &value, 4);
}

// Eight bytes as a number whose most significant byte is the first.
uint64_t BigEndian64(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, 8);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

int NameLength(const NodeRecord& record) { return std::min<int>(record.sysop_name[0], kSysopNameCapacity); }

// Characters 2 * "depth" and 2 * "depth" + 1 of the record's sysop name as
// one 16-bit number, 0 past the name's end. Where two records' digits
// differ, their names differ there (or one is the other's beginning), so
// the digits order them as SysopPrecedes does; names whose digits agree at
// every depth are told apart by the records themselves.
constexpr int kLastDepth = kSysopNameCapacity / 2;  // characters 24 and 25
uint32_t NameDigit(const NodeRecord& record, int depth) {
  int length = NameLength(record);
  int i = 2 * depth;
  uint32_t first = i < length ? record.sysop_name[1 + i] : 0;
  uint32_t second = i + 1 < length ? record.sysop_name[2 + i] : 0;
  return (first << 8) | second;
}

// A reference: the record's position in the low 16 bits, a digit of its
// name in the high 16 bits.
static_assert(kSysopNameCapacity == 25);
constexpr uint32_t kPositionBits = 0xFFFF;

uint32_t DigitReference(const NodeRecord* area, uint32_t position, int depth) {
  return (NameDigit(area[position], depth) << 16) | position;
}

// Whether reference "a" comes before reference "b", their names agreeing
// before the digits they hold.
struct DigitThenRecordLess {
  const NodeRecord* area;
  bool operator()(uint32_t a, uint32_t b) const {
    if ((a ^ b) > kPositionBits) return a < b;  // the digits decide
    return SysopPrecedes(area[a & kPositionBits], area[b & kPositionBits]);
  }
};

// The exact steps over references to records 0 to "count" - 1.
void PartitionSortReferences(const NodeRecord* area, uint8_t* pointers, int32_t count) {
  for (int32_t k = 0; k < count; ++k) SetPointer(pointers, k, DigitReference(area, static_cast<uint32_t>(k), 0));
  // The key is the record itself: records never move, only references.
  auto key_at = [pointers](int32_t p) { return PointerAt(pointers, p); };
  auto less = DigitThenRecordLess{area};
  auto swap = [pointers](int32_t p, int32_t q) {
    uint32_t held = PointerAt(pointers, p);
    SetPointer(pointers, p, PointerAt(pointers, q));
    SetPointer(pointers, q, held);
  };
  PartitionSort(0, count - 1, key_at, less, swap);
}

// The radix sort: references in "keys" (aligned), "spare" as room for
// their moves.
struct RadixSorter {
  const NodeRecord* area;
  uint32_t* keys;
  uint8_t* spare;  // 4 bytes per reference, any alignment
};

// Groups no larger than this are sorted by comparison.
constexpr int32_t kSmallGroup = 48;

// Sorts references "lo" to "hi" - 1 by the digits they hold, with two
// stable counting passes (low byte, then high byte), each left out when
// all references share that byte.
void SortByDigit(const RadixSorter& s, int32_t lo, int32_t hi) {
  uint32_t low_counts[256] = {};
  uint32_t high_counts[256] = {};
  for (int32_t p = lo; p < hi; ++p) {
    ++low_counts[(s.keys[p] >> 16) & 0xFF];
    ++high_counts[s.keys[p] >> 24];
  }
  uint32_t size = static_cast<uint32_t>(hi - lo);
  bool by_low = low_counts[(s.keys[lo] >> 16) & 0xFF] != size;
  bool by_high = high_counts[s.keys[lo] >> 24] != size;
  // Pass 1 moves keys into spare, pass 2 back; a single pass is copied back.
  auto place = [](uint32_t* counts, int32_t lo) {
    uint32_t next = static_cast<uint32_t>(lo);
    for (int b = 0; b < 256; ++b) {
      uint32_t n = counts[b];
      counts[b] = next;
      next += n;
    }
  };
  if (by_low) {
    place(low_counts, lo);
    for (int32_t p = lo; p < hi; ++p) {
      uint32_t key = s.keys[p];
      SetPointer(s.spare, static_cast<int32_t>(low_counts[(key >> 16) & 0xFF]++), key);
    }
  }
  if (by_high) {
    place(high_counts, lo);
    if (by_low) {
      for (int32_t p = lo; p < hi; ++p) {
        uint32_t key = PointerAt(s.spare, p);
        s.keys[high_counts[key >> 24]++] = key;
      }
      return;
    }
    for (int32_t p = lo; p < hi; ++p) {
      uint32_t key = s.keys[p];
      SetPointer(s.spare, static_cast<int32_t>(high_counts[key >> 24]++), key);
    }
  }
  if (by_low || by_high) std::memcpy(s.keys + lo, s.spare + 4 * static_cast<size_t>(lo), 4 * size);
}

// Sorts references "lo" to "hi" - 1, whose names agree before the digit of
// "depth" that they hold.
void SortGroup(const RadixSorter& s, int32_t lo, int32_t hi, int depth) {
  if (hi - lo <= kSmallGroup) {
    std::sort(s.keys + lo, s.keys + hi, DigitThenRecordLess{s.area});
    return;
  }
  SortByDigit(s, lo, hi);
  for (int32_t run = lo; run < hi;) {
    uint32_t digit = s.keys[run] >> 16;
    int32_t end = run + 1;
    while (end < hi && (s.keys[end] >> 16) == digit) ++end;
    if (end - run > 1) {
      if (depth == kLastDepth) {
        // The names agree as far as they go: the records decide.
        std::sort(s.keys + run, s.keys + end, DigitThenRecordLess{s.area});
      } else {
        for (int32_t p = run; p < end; ++p) s.keys[p] = DigitReference(s.area, s.keys[p] & kPositionBits, depth + 1);
        SortGroup(s, run, end, depth + 1);
      }
    }
    run = end;
  }
}

// The first six characters of the record's sysop name, 0 past its end,
// big end first.
uint64_t NamePrefix48(const NodeRecord& record) {
  int length = NameLength(record);
  if (length == 0) return 0;
  uint64_t prefix = BigEndian64(record.sysop_name + 1);  // within the 26-byte field
  if (length < 8) prefix &= ~uint64_t{0} << (8 * (8 - length));
  return prefix >> 16;
}

// Six characters of the record's sysop name from "offset" on, 0 past its
// end, big end first.
uint64_t NameChars48(const NodeRecord& record, int offset) {
  int length = NameLength(record);
  int left = length - offset;
  if (left <= 0) return 0;
  if (offset + 8 <= kSysopNameCapacity) {  // eight characters from "offset" lie within the field
    uint64_t chars = BigEndian64(record.sysop_name + 1 + offset);
    if (left < 8) chars &= ~uint64_t{0} << (8 * (8 - left));
    return chars >> 16;
  }
  uint64_t chars = 0;
  for (int i = offset; i < offset + 6; ++i) chars = (chars << 8) | (i < length ? record.sysop_name[1 + i] : 0);
  return chars;
}

// References "lo" to "hi" - 1 are in order of the six name characters from
// "offset" on that they hold, their names agreeing before. Orders each run
// of them that agrees in those characters too, by the next six, and at the
// names' end by the records.
void RefineRuns(const NodeRecord* area, uint64_t* keys, int32_t lo, int32_t hi, int offset) {
  for (int32_t run = lo; run < hi;) {
    int32_t end = run + 1;
    while (end < hi && (keys[end] >> 16) == (keys[run] >> 16)) ++end;
    if (end - run > 1) {
      // Names that end before "offset" + 6 and are equally long are the
      // same name: zone, net and node decide, held in place of characters.
      int first_length = NameLength(area[keys[run] & kPositionBits]);
      bool same_names = first_length <= offset + 6;
      for (int32_t p = run + 1; p < end && same_names; ++p) {
        same_names = NameLength(area[keys[p] & kPositionBits]) == first_length;
      }
      if (same_names) {
        for (int32_t p = run; p < end; ++p) {
          uint64_t position = keys[p] & kPositionBits;
          const NodeRecord& record = area[position];
          uint64_t address = (uint64_t{RecordZone(record)} << 32) | (uint64_t{RecordNet(record)} << 16) | RecordNode(record);
          keys[p] = (address << 16) | position;
        }
        std::sort(keys + run, keys + end);
      } else if (offset + 6 >= kSysopNameCapacity) {
        std::sort(keys + run, keys + end, [area](uint64_t a, uint64_t b) {
          return SysopPrecedes(area[a & kPositionBits], area[b & kPositionBits]);
        });
      } else {
        for (int32_t p = run; p < end; ++p) {
          uint64_t position = keys[p] & kPositionBits;
          keys[p] = (NameChars48(area[position], offset + 6) << 16) | position;
        }
        std::sort(keys + run, keys + end);
        RefineRuns(area, keys, run, end, offset + 6);
      }
    }
    run = end;
  }
}

// The radix sort with room for 8-byte references: six characters and the
// position each. They are sorted by a stable counting pass per twelve bits
// of the characters, from the last to the first, between "keys" and
// "other", each pass left out when all names share those bits; names that
// agree in six characters are then ordered by the records. Returns the
// array that holds the sorted references.
// The six characters are taken twelve bits at a time.
constexpr int kDigitBits = 12;
constexpr int kWideDigits = 48 / kDigitBits;
constexpr uint32_t kDigitValues = 1u << kDigitBits;

const uint64_t* WideRadixSort(const NodeRecord* area, int32_t count, uint64_t* keys, uint64_t* other,
                              uint32_t* counts) {
  constexpr uint64_t kDigitMask = kDigitValues - 1;
  std::memset(counts, 0, sizeof(uint32_t) * kWideDigits * kDigitValues);
  for (int32_t k = 0; k < count; ++k) {
    uint64_t key = (NamePrefix48(area[k]) << 16) | static_cast<uint64_t>(k);
    keys[k] = key;
    for (int d = 0; d < kWideDigits; ++d) ++counts[d * kDigitValues + ((key >> (16 + kDigitBits * d)) & kDigitMask)];
  }
  for (int d = 0; d < kWideDigits; ++d) {
    int shift = 16 + kDigitBits * d;
    uint32_t* digit_counts = counts + d * kDigitValues;
    if (digit_counts[(keys[0] >> shift) & kDigitMask] == static_cast<uint32_t>(count)) continue;
    uint32_t next = 0;
    for (uint32_t b = 0; b < kDigitValues; ++b) {
      uint32_t n = digit_counts[b];
      digit_counts[b] = next;
      next += n;
    }
    for (int32_t k = 0; k < count; ++k) other[digit_counts[(keys[k] >> shift) & kDigitMask]++] = keys[k];
    std::swap(keys, other);
  }
  RefineRuns(area, keys, 0, count, 0);
  return keys;
}

}  // namespace

bool SysopPrecedes(const NodeRecord& a, const NodeRecord& b) {
  int length_a = NameLength(a);
  int length_b = NameLength(b);
  int common = std::min(length_a, length_b);
  const uint8_t* name_a = a.sysop_name + 1;
  const uint8_t* name_b = b.sysop_name + 1;
  // The names are compared eight characters at a time, read big-end first
  // so that the first differing character decides, as bytewise.
  int i = 0;
  for (; i + 8 <= common; i += 8) {
    uint64_t chunk_a = BigEndian64(name_a + i);
    uint64_t chunk_b = BigEndian64(name_b + i);
    if (chunk_a != chunk_b) return chunk_a < chunk_b;
  }
  for (; i < common; ++i) {
    if (name_a[i] != name_b[i]) return name_a[i] < name_b[i];
  }
  if (length_a != length_b) return length_a < length_b;
  if (RecordZone(a) != RecordZone(b)) return RecordZone(a) < RecordZone(b);
  if (RecordNet(a) != RecordNet(b)) return RecordNet(a) < RecordNet(b);
  return RecordNode(a) < RecordNode(b);
}

bool SameSysopKey(const NodeRecord& a, const NodeRecord& b) {
  // Zone, net and node first: they tell most records apart.
  if (std::memcmp(a.zone, b.zone, 6) != 0) return false;
  int length = NameLength(a);
  return length == NameLength(b) && std::memcmp(a.sysop_name + 1, b.sysop_name + 1, length) == 0;
}

void SortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers) {
  PartitionSortReferences(area, pointers, count);
}

uint64_t RadixScratchBytes(int32_t count, bool wide) {
  if (!wide) return 4 * static_cast<uint64_t>(count) + 3;
  return 16 * static_cast<uint64_t>(count) + sizeof(uint32_t) * kWideDigits * kDigitValues + 7;
}

const uint8_t* RadixSortSysopReferences(const NodeRecord* area, int32_t count, uint8_t* pointers, uint8_t* scratch,
                                        uint32_t scratch_bytes) {
  if (count <= 0) return pointers;
  if (scratch == nullptr || scratch_bytes < RadixScratchBytes(count, false)) return nullptr;
  if (scratch_bytes >= RadixScratchBytes(count, true)) {
    uint8_t* aligned = scratch + (-reinterpret_cast<uintptr_t>(scratch) & 7);
    uint64_t* keys = reinterpret_cast<uint64_t*>(aligned);
    auto* counts = reinterpret_cast<uint32_t*>(keys + 2 * static_cast<size_t>(count));
    const uint64_t* sorted = WideRadixSort(area, count, keys, keys + count, counts);
    for (int32_t p = 1; p < count; ++p) {
      if (SameSysopKey(area[sorted[p - 1] & kPositionBits], area[sorted[p] & kPositionBits])) return nullptr;
    }
    // The 4-byte references go where the other array of keys lies, so the
    // pointer array is never touched.
    uint8_t* references = reinterpret_cast<uint8_t*>(sorted == keys ? keys + count : keys);
    for (int32_t p = 0; p < count; ++p) SetPointer(references, p, static_cast<uint32_t>(sorted[p]));
    return references;
  }
  // 4-byte references, sorted in "scratch" and moving through "pointers",
  // then copied into "pointers" when they are in order.
  uint32_t* keys = reinterpret_cast<uint32_t*>(scratch + (-reinterpret_cast<uintptr_t>(scratch) & 3));
  for (int32_t k = 0; k < count; ++k) keys[k] = DigitReference(area, static_cast<uint32_t>(k), 0);
  SortGroup(RadixSorter{area, keys, pointers}, 0, count, 0);
  // Records with equal keys are neighbours now; their order is the exact
  // steps' business.
  for (int32_t p = 1; p < count; ++p) {
    if (SameSysopKey(area[keys[p - 1] & kPositionBits], area[keys[p] & kPositionBits])) return nullptr;
  }
  std::memcpy(pointers, keys, 4 * static_cast<size_t>(count));
  return pointers;
}

const uint8_t* OrderSysopPass(const NodeRecord* area, int32_t count, uint8_t* pointers, uint8_t* scratch,
                              uint32_t scratch_bytes) {
  if (const uint8_t* references = RadixSortSysopReferences(area, count, pointers, scratch, scratch_bytes)) {
    return references;
  }
  SortSysopReferences(area, count, pointers);
  return pointers;
}

int32_t ReferencedRecord(const uint8_t* pointers, int32_t p) {
  return static_cast<int32_t>(PointerAt(pointers, p) & kPositionBits);
}

}  // namespace tessel
