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
    const char* label;
    std::string bytes;
    HeadFault fault;
    int slot_count;
    size_t slots;
  } cases[] = {
      {"no header", two.substr(0, 11), HeadFault::kNoHeader, 0, 0},
      {"offset between slots", bad_offset, HeadFault::kBadOffset, 0, 0},
      {"256 slots", too_many, HeadFault::kBadOffset, 0, 0},
      {"header alone", two.substr(0, 12), HeadFault::kCutCatalogue, 2, 0},
      {"second slot cut", two.substr(0, 12 + 47 + 46), HeadFault::kCutCatalogue, 2, 0},
      {"no marker", two.substr(0, 12 + 94), HeadFault::kNoMarker, 2, 2},
      {"whole head and entries", two + std::string(24, 'e'), HeadFault::kNone, 2, 2},
      {"no slots, no marker", IndexHeadBytes(MakeIndexHeader(0), nullptr, 0).substr(0, 12), HeadFault::kNoMarker, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
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
