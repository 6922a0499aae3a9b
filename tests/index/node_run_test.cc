// A net's run is ordered by a sort of its keys unless two of its nodes share
// a number; either way the records must end as the partition-exchange steps
// leave them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "index/node_order.h"
#include "index/partition_sort.h"
#include "storage/coding.h"

namespace tessel {
namespace {

// The steps themselves, on a copy.
std::vector<NodeRecord> ExactOrder(std::vector<NodeRecord> records) {
  auto key_at = [&](int32_t p) { return RecordNode(records[p]); };
  auto less = [](uint16_t a, uint16_t b) { return a < b; };
  auto swap = [&](int32_t p, int32_t q) { std::swap(records[p], records[q]); };
  PartitionSort(0, static_cast<int32_t>(records.size()) - 1, key_at, less, swap);
  return records;
}

TEST(NodeRunTest, GivesTheOrderOfThePartitionSteps) {
  struct Shape {
    const char* label;
    int count;
    int numbers;  // node numbers drawn from 0 to numbers - 1
    bool rising;  // numbers in rising order before a few are swapped
  } shapes[] = {
      {"one record", 1, 65536, false},     {"all different", 300, 65536, false},
      {"many equal", 300, 20, false},      {"all equal", 200, 1, false},
      {"rising", 500, 65536, true},        {"rising with equal neighbours", 500, 400, true},
      {"a full buffer", 5172, 65536, false}, {"a full buffer, some equal", 5172, 3000, false},
  };
  std::mt19937 random(12);
  for (const Shape& shape : shapes) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(std::string(shape.label) + ", round " + std::to_string(round));
      std::vector<NodeRecord> records(static_cast<size_t>(shape.count));
      std::vector<uint16_t> numbers;
      for (int k = 0; k < shape.count; ++k) numbers.push_back(static_cast<uint16_t>(random() % shape.numbers));
      if (shape.rising) {
        std::sort(numbers.begin(), numbers.end());
        if (round > 0) std::swap(numbers[random() % numbers.size()], numbers[random() % numbers.size()]);
      }
      for (int k = 0; k < shape.count; ++k) {
        std::memset(&records[k], 0, sizeof(NodeRecord));
        PutU16LE(records[k].node, numbers[k]);
        PutI32LE(records[k].line_offset, k);  // tells records of one number apart
      }
      std::vector<NodeRecord> exact = ExactOrder(records);
      RunState state;
      state.blocks.node_buffer = records.data();
      SortNodeRun(&state, 0, shape.count - 1);
      for (int k = 0; k < shape.count; ++k) {
        ASSERT_EQ(std::memcmp(&records[k], &exact[k], sizeof(NodeRecord)), 0) << "position " << k;
      }
    }
  }
}

}  // namespace
}  // namespace tessel
