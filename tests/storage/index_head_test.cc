// Reading an index's head from its first bytes.
#include <gtest/gtest.h>

#include <string>

#include "storage/index_format.h"

namespace tessel {
namespace {

TEST(IndexHead, TellsWhatTheFirstBytesHold) {
  NodelistSlot slots[] = {MakeSlot("nl/NODELIST", "123"), MakeSlot("nl/REGION", "045")};
  const std::string two = IndexHeadBytes(MakeIndexHeader(2), slots, 2);  // 12 + 94 + 1 bytes
  std::string bad_offset = two;
  bad_offset[4] = 14;
  std::string too_many = IndexHeadBytes(MakeIndexHeader(256), nullptr, 0);
  struct Case {
    std::string bytes;
    HeadFault fault;
    int slot_count;
    size_t slots;
  } cases[] = {
      {two.substr(0, 11), HeadFault::kNoHeader, 0, 0},
      {bad_offset, HeadFault::kBadOffset, 0, 0},
      {too_many, HeadFault::kBadOffset, 0, 0},
      {two.substr(0, 12), HeadFault::kCutCatalogue, 2, 0},
      {two.substr(0, 105), HeadFault::kCutCatalogue, 2, 0},
      {two.substr(0, 106), HeadFault::kNoMarker, 2, 2},
      {two + "entries", HeadFault::kNone, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    IndexHead head;
    EXPECT_EQ(ParseIndexHead(c.bytes, &head), c.fault);
    EXPECT_EQ(head.slot_count, c.slot_count);
    ASSERT_EQ(head.slots.size(), c.slots);
    if (c.slots == 2) {
      EXPECT_EQ(SlotBaseName(head.slots[1]), "nl/REGION");
    }
  }
}

}  // namespace
}  // namespace tessel
