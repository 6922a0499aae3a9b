// The sysop-name ordering sorts references that carry the first two name
// characters, so that most comparisons never reach the records: it must
// leave exactly the order that the partition-exchange steps leave when they
// compare the records themselves, equal keys included.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "index/partition_sort.h"
#include "index/sysop_order.h"
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

TEST(SysopSortTest, ReferencesGiveThePlainPartitionOrder) {
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
      {"short names of any byte", 3000, bytes, 3, 0},
      {"names of two letters, large groups", 9000, few, 25, 0},
      {"large groups, some listed twice", 9000, few, 25, 5},
      {"many equal names", 5000, few, 2, 0},
      {"empty names only", 500, few, 0, 0},
      {"a full pass", 49140, letters, 25, 0},
  };
  for (const Shape& shape : shapes) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(std::string(shape.label) + ", seed " + std::to_string(seed));
      std::vector<NodeRecord> records = MakePass(shape, seed);
      std::vector<int32_t> exact = PlainOrder(records);
      ASSERT_EQ(Order(records), exact);
      for (size_t k = 0; k + 1 < exact.size(); ++k) {
        ASSERT_FALSE(SysopPrecedes(records[exact[k + 1]], records[exact[k]])) << "out of order at " << k;
      }
    }
  }
}

TEST(SysopSortTest, EqualKeysStayWhereThePartitionStepsLeaveThem) {
  // Five records with one key, told apart by their slot: they end where
  // the partition steps leave them.
  std::vector<NodeRecord> records(5);
  for (size_t k = 0; k < records.size(); ++k) {
    std::memset(&records[k], 0, sizeof(NodeRecord));
    records[k].slot = static_cast<uint8_t>(k + 1);
    records[k].sysop_name[0] = 2;
    records[k].sysop_name[1] = 'J';
    records[k].sysop_name[2] = 'O';
  }
  EXPECT_EQ(Order(records), PlainOrder(records));
}

}  // namespace
}  // namespace tessel
