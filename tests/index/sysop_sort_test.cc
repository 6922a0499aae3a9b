// The sysop-name ordering sorts references that carry two name characters,
// by the partition-exchange steps or by a radix sort that gives way to them
// when keys are equal: it must leave exactly the order that the steps leave
// when they compare the records themselves, equal keys included.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "index/partition_sort.h"
#include "index/sysop_order.h"
#include "index/sysop_sort.h"
#include "storage/coding.h"
#include "storage/records.h"

namespace tessel {
namespace {

struct Shape {
  const char* label;
  int count;
  std::string alphabet;  // the characters names are made of
  int longest;           // longest name
  int duplicates;        // records that repeat an earlier key (0: all keys differ)
};

NodeRecord MakeRecord(std::mt19937* random, const Shape& shape) {
  NodeRecord record;
  // Bytes past the name are not cleared: the order must not depend on them.
  for (size_t i = 0; i < sizeof record; ++i) reinterpret_cast<uint8_t*>(&record)[i] = static_cast<uint8_t>((*random)());
  record.slot = static_cast<uint8_t>(1 + (*random)() % 3);
  PutU16LE(record.zone, static_cast<uint16_t>((*random)() % 3));
  PutU16LE(record.net, static_cast<uint16_t>((*random)() % 5));
  PutU16LE(record.node, static_cast<uint16_t>((*random)() % 65536));
  int length = static_cast<int>((*random)() % (shape.longest + 1));
  record.sysop_name[0] = static_cast<uint8_t>(length);
  for (int i = 0; i < length && i < kSysopNameCapacity; ++i) {
    record.sysop_name[1 + i] = static_cast<uint8_t>(shape.alphabet[(*random)() % shape.alphabet.size()]);
  }
  return record;
}

std::vector<NodeRecord> MakePass(const Shape& shape, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<NodeRecord> records;
  for (int k = 0; k < shape.count; ++k) records.push_back(MakeRecord(&random, shape));
  for (int d = 0; d < shape.duplicates && !records.empty(); ++d) {
    // The same node again, as from another nodelist: equal key, other slot.
    NodeRecord copy = records[random() % records.size()];
    copy.slot = static_cast<uint8_t>(copy.slot + 1);
    records.insert(records.begin() + static_cast<long>(random() % (records.size() + 1)), copy);
  }
  return records;
}

// The order of the pass as the ordering leaves it.
std::vector<int32_t> Order(const std::vector<NodeRecord>& records) {
  int32_t count = static_cast<int32_t>(records.size());
  std::vector<uint8_t> pointers(4 * records.size() + 3);
  // The pointer array lies at no particular alignment in the heap.
  uint8_t* at = pointers.data() + 3;
  SortSysopReferences(records.data(), count, at);
  std::vector<int32_t> order;
  for (int32_t p = 0; p < count; ++p) order.push_back(ReferencedRecord(at, p));
  return order;
}

// The same steps on plain record numbers, comparing the records each time.
std::vector<int32_t> PlainOrder(const std::vector<NodeRecord>& records) {
  std::vector<int32_t> order;
  for (int32_t k = 0; k < static_cast<int32_t>(records.size()); ++k) order.push_back(k);
  auto key_at = [&](int32_t p) { return order[p]; };
  auto less = [&](int32_t a, int32_t b) { return SysopPrecedes(records[a], records[b]); };
  auto swap = [&](int32_t p, int32_t q) { std::swap(order[p], order[q]); };
  PartitionSort(0, static_cast<int32_t>(records.size()) - 1, key_at, less, swap);
  return order;
}

// The order that OrderSysopPass leaves with "scratch_bytes" of scratch, and
// whether the radix sort alone managed it.
std::vector<int32_t> PassOrder(const std::vector<NodeRecord>& records, uint32_t scratch_bytes, bool* by_radix) {
  int32_t count = static_cast<int32_t>(records.size());
  std::vector<uint8_t> pointers(4 * records.size() + 1);
  std::vector<uint8_t> scratch(scratch_bytes + 1);
  uint8_t* at = pointers.data() + 1;
  *by_radix = RadixSortSysopReferences(records.data(), count, at, scratch.data() + 1, scratch_bytes) != nullptr;
  const uint8_t* references = OrderSysopPass(records.data(), count, at, scratch.data() + 1, scratch_bytes);
  std::vector<int32_t> order;
  for (int32_t p = 0; p < count; ++p) order.push_back(ReferencedRecord(references, p));
  return order;
}

// Checks both ways of ordering "records" against the plain steps: the
// references of SortSysopReferences, and OrderSysopPass with room for the
// wide and the narrow radix sort and with too little room for either. The
// radix sort must manage alone exactly when no two keys are equal.
void CheckBothWays(const std::vector<NodeRecord>& records) {
  std::vector<int32_t> exact = PlainOrder(records);
  ASSERT_EQ(Order(records), exact);
  bool equal_keys = false;
  for (size_t k = 0; k + 1 < exact.size(); ++k) {
    ASSERT_FALSE(SysopPrecedes(records[exact[k + 1]], records[exact[k]])) << "out of order at " << k;
    equal_keys = equal_keys || !SysopPrecedes(records[exact[k]], records[exact[k + 1]]);
  }
  int32_t count = static_cast<int32_t>(records.size());
  for (bool wide : {true, false}) {
    bool by_radix = false;
    auto room = static_cast<uint32_t>(RadixScratchBytes(count, wide));
    ASSERT_EQ(PassOrder(records, room, &by_radix), exact) << (wide ? "wide" : "narrow");
    EXPECT_EQ(by_radix, !equal_keys) << (wide ? "wide" : "narrow");
  }
  if (count == 0) return;
  bool by_radix = true;
  uint32_t too_little = static_cast<uint32_t>(RadixScratchBytes(count, false)) - 1;
  ASSERT_EQ(PassOrder(records, too_little, &by_radix), exact) << "too little room";
  EXPECT_FALSE(by_radix) << "too little room";
}

// Every pass shape, in both ways the ordering may take: the exact steps on
// references, and the radix sort (wide, narrow, or without room) that must
// give way exactly when two keys are equal. Both leave the steps' order.
TEST(SysopSortTest, BothWaysGiveThePlainPartitionOrder) {
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ ";
  const std::string few = "AB";
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  const Shape shapes[] = {
      {"empty pass", 0, letters, 25, 0},
      {"one record", 1, letters, 25, 0},
      {"two records", 2, letters, 25, 0},
      {"names of letters", 3000, letters, 25, 0},
      {"names of letters, some listed twice", 3000, letters, 25, 40},
      {"one listed twice", 3000, letters, 25, 1},
      {"one listed twice among many", 20000, letters, 25, 1},
      {"names of any byte", 3000, bytes, 25, 0},
      {"short names of any byte", 3000, bytes, 3, 0},
      {"names of two letters that differ late, large groups", 9000, few, 25, 0},
      {"large groups, some listed twice", 9000, few, 25, 5},
      {"names of one letter, of every length", 3000, "A", 25, 0},
      {"many equal names", 5000, few, 2, 0},
      {"many equal names, some listed twice", 5000, few, 2, 30},
      {"empty names only", 500, few, 0, 0},
      {"a full pass", 49140, letters, 25, 0},
      {"a full pass of few names", 49140, few, 4, 0},
  };
  for (const Shape& shape : shapes) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(std::string(shape.label) + ", seed " + std::to_string(seed));
      CheckBothWays(MakePass(shape, seed));
      if (HasFatalFailure()) return;
    }
  }
  // Every key equal, told apart only by the slot: 5 records whose other
  // bytes are zeros, and 4,000 whose other bytes are random.
  std::vector<NodeRecord> five(5);
  for (size_t k = 0; k < five.size(); ++k) {
    std::memset(&five[k], 0, sizeof(NodeRecord));
    five[k].slot = static_cast<uint8_t>(k + 1);
    five[k].sysop_name[0] = 2;
    five[k].sysop_name[1] = 'J';
    five[k].sysop_name[2] = 'O';
  }
  std::vector<NodeRecord> many(4000, MakePass({"", 1, letters, 25, 0}, 7)[0]);
  for (size_t k = 0; k < many.size(); ++k) many[k].slot = static_cast<uint8_t>(k);
  for (const std::vector<NodeRecord>* same : {&five, &many}) {
    SCOPED_TRACE(std::to_string(same->size()) + " equal keys");
    CheckBothWays(*same);
  }
}

}  // namespace
}  // namespace tessel
