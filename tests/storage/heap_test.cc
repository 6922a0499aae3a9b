// The working heap and the memory check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_platform.h"
#include "run/program.h"
#include "storage/heap.h"
#include "storage/fatal_errors.h"
#include "test_util.h"

namespace tessel {
namespace {

struct Block {
  uint8_t* at;
  uint32_t size;
};

uint8_t PatternByte(const Block& b, uint32_t i) { return static_cast<uint8_t>(b.size * 31 + i * 7); }

// Takes a block and fills it with a pattern of its own.
Block Take(WorkingHeap* heap, uint32_t size) {
  Block b{TakeBlock(heap, size), size};
  if (b.at != nullptr) {
    for (uint32_t i = 0; i < size; ++i) b.at[i] = PatternByte(b, i);
  }
  return b;
}

bool HoldsPattern(const Block& b) {
  for (uint32_t i = 0; i < b.size; ++i) {
    if (b.at[i] != PatternByte(b, i)) return false;
  }
  return true;
}

TEST(WorkingHeapTest, FirstFitMergingAndFigures) {
  WorkingHeap heap;
  InitHeap(&heap, 1000);
  const uint8_t* base = heap.memory.get();
  auto expect_free = [&](uint32_t free, uint32_t largest) {
    EXPECT_EQ(FreeMemory(heap), free);
    EXPECT_EQ(LargestFreeBlock(heap), largest);
  };
  expect_free(1000, 1000);

  Block a = Take(&heap, 100), b = Take(&heap, 200), c = Take(&heap, 300), d = Take(&heap, 400);
  ASSERT_TRUE(a.at && b.at && c.at && d.at);
  EXPECT_EQ(a.at, base);
  EXPECT_EQ(b.at, base + 100);
  EXPECT_EQ(c.at, base + 300);
  EXPECT_EQ(d.at, base + 600);
  expect_free(0, 0);
  EXPECT_EQ(TakeBlock(&heap, 1), nullptr);
  EXPECT_NE(TakeBlock(&heap, 0), nullptr);  // nothing asked, nothing taken

  ReleaseBlock(&heap, b.at, b.size);
  ReleaseBlock(&heap, d.at, d.size);
  expect_free(600, 400);
  Block e = Take(&heap, 250);  // too big for the lower hole
  EXPECT_EQ(e.at, base + 600);
  Block f = Take(&heap, 150);  // the lowest hole that holds it
  ASSERT_TRUE(e.at && f.at);
  EXPECT_EQ(f.at, base + 100);
  expect_free(200, 150);       // 50 at 250, 150 at 850
  EXPECT_EQ(TakeBlock(&heap, 151), nullptr);

  ReleaseBlock(&heap, c.at, c.size);  // joins the 50 below it
  expect_free(500, 350);
  ReleaseBlock(&heap, e.at, e.size);  // joins the runs on both sides
  expect_free(750, 750);
  Block g = Take(&heap, 750);
  ASSERT_NE(g.at, nullptr);
  EXPECT_EQ(g.at, base + 250);
  expect_free(0, 0);

  for (const Block& live : {a, f, g}) EXPECT_TRUE(HoldsPattern(live)) << live.at - base;
  ReleaseBlock(&heap, f.at, f.size);
  ReleaseBlock(&heap, a.at, a.size);
  ReleaseBlock(&heap, g.at, g.size);
  expect_free(1000, 1000);
}

struct CheckCase {
  int32_t shortfall;  // requested minus free
  const char* kilobytes;  // null: the check passes
};

TEST(MemoryCheckTest, ShortfallInKilobytes) {
  // k = shortfall div 1024 + 1, so a whole kilobyte short already asks for 2k.
  const CheckCase cases[] = {{-1, nullptr}, {0, nullptr},  {1, "1"},    {1023, "1"},   {1024, "2"},
                             {1025, "2"},   {2047, "2"}, {2048, "3"}, {524'136, "512"}};
  for (const CheckCase& c : cases) {
    FakeDisk disk;
    Platform platform = MakeFakePlatform(&disk);
    RunState state;
    state.platform = &platform;
    InitHeap(&state.heap, 20'000);
    // Free memory counts every free byte, not only the largest run.
    uint8_t* first = TakeBlock(&state.heap, 5'000);
    TakeBlock(&state.heap, 5'000);
    ReleaseBlock(&state.heap, first, 5'000);
    ASSERT_EQ(FreeMemory(state.heap), 15'000u);

    EXPECT_EQ(HasFreeMemory(&state, 15'000 + c.shortfall), c.kilobytes == nullptr) << c.shortfall;
    std::string message = c.kilobytes == nullptr
                              ? ""
                              : std::string("\r\nInsufficient memory - I need at least ") + c.kilobytes + "k more\a\r\n";
    EXPECT_EQ(disk.console, message) << c.shortfall;
  }
}

struct BudgetCase {
  int slots;  // the first has a nodelist, the others none
  uint32_t heap_size;
  int status;
  const char* kilobytes;  // in the message of a failed run
};

// The build needs 524,136 bytes beside the catalogue of 47 bytes a slot.
TEST(MemoryCheckTest, BuildStartsOnlyWithRoomForItsBlocks) {
  const BudgetCase cases[] = {
      {1, 47 + 524'136, 0, nullptr},
      {1, 47 + 524'135, 1, "1"},
      {1, 47 + 524'136 - 1'025, 1, "2"},
      {3, 47 + 524'136, 1, "1"},  // the two further slots take 94 bytes
      {3, 3 * 47 + 524'136, 0, nullptr},
  };
  for (const BudgetCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.slots << " slots, heap " << c.heap_size);
    FakeDisk disk;
    std::vector<test::SlotSpec> slots = {{"NODEA", ""}, {"NODEB", ""}, {"NODEC", ""}};
    slots.resize(static_cast<size_t>(c.slots));
    std::string head = test::IndexHead(slots);
    disk.files[kIndexFileName] = FakeFile{head};
    disk.files["NODEA.001"] = FakeFile{test::Lines({"Zone,1,s,l,Al,x,", ",2,s,l,Bo,x,"}), 1'000'000'000};
    Platform platform = MakeFakePlatform(&disk);
    const char* argv[] = {"tessel"};
    RunOptions options;
    options.heap_size = c.heap_size;

    EXPECT_EQ(RunProgram(platform, 1, argv, options), c.status);
    if (c.kilobytes == nullptr) {
      EXPECT_TRUE(disk.console.ends_with("    2 nodes processed\r\n    1 nets processed\r\n"));
      continue;
    }
    EXPECT_EQ(disk.console, test::Banner() + "\r\nInsufficient memory - I need at least " + c.kilobytes + "k more\a\r\n");
    EXPECT_EQ(disk.files.size(), 2u);  // nothing created
    EXPECT_EQ(disk.files[kIndexFileName].data, head);
  }
}

}  // namespace
}  // namespace tessel
