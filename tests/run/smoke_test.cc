#include <gtest/gtest.h>

#include "test_util.h"

namespace tessel::test {
namespace {

// The complete small build: one slot, six lines, byte for byte.
TEST(SmallBuild, WritesTheIndexAndConsoleByteForByte) {
  ScopedTempDir dir;
  WriteFile(dir / "NODELIST.123", Lines({";comment", "Zone,2,Eu,Pl,Al_Bee,x,", "Host,5,Sy,Pl,Cy_Dee,x,",
                                          ",7,Sy,Pl,Bo_Eve,x,", "Hub,3,Sy,Pl,Al_Bee,x,", "Pvt,9,Sy,Pl,Di_Fay,x,"}));
  std::string head = IndexHead({{"NODELIST", ""}}, 0x11223344, 0x55667788);
  WriteFile(dir / "nlindex.qdx", head);

  RunResult run = RunTessel(dir.path(), {"-F"});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Banner() +
                         "Reading NODELIST.123... Zone      \b\b\b\b\b    2\r\n"
                         "Sorting by node number...\r\n"
                         "Sorting by sysop name... A\bB\bC\b\r\n"
                         "\r\n    4 nodes processed\r\n    2 nets processed\r\n");
  std::string index = ReadFile(dir / "nlindex.qdx");
  ASSERT_EQ(index.size(), 156u);
  std::string expected_head = IndexHead({{"NODELIST", "123", 2}}, 0x11223344, 0x55667788);
  EXPECT_EQ(index.substr(0, 60), expected_head);
  struct Want {
    uint16_t net, node;
    int32_t offset;
  };
  const Want by_number[] = {{2, 0, 17}, {5, 0, 41}, {5, 3, 84}, {5, 7, 61}};
  const Want by_name[] = {{2, 0, 17}, {5, 3, 84}, {5, 7, 61}, {5, 0, 41}};
  for (int k = 0; k < 4; ++k) {
    Entry e = ReadEntry(index, 60 + 12 * k);
    EXPECT_EQ(e.slot, 1);
    EXPECT_EQ(e.zone, 2);
    EXPECT_EQ(e.net, by_number[k].net) << k;
    EXPECT_EQ(e.node, by_number[k].node) << k;
    EXPECT_EQ(e.tail_length, 15);
    EXPECT_EQ(e.line_offset, by_number[k].offset) << k;
    Entry s = ReadEntry(index, 108 + 12 * k);
    EXPECT_EQ(s.slot, 255);
    EXPECT_EQ(s.net, by_name[k].net) << k;
    EXPECT_EQ(s.node, by_name[k].node) << k;
    EXPECT_EQ(s.line_offset, by_name[k].offset) << k;
  }
  EXPECT_FALSE(Exists(dir / "nlindex.bar"));
  EXPECT_FALSE(Exists(dir / "nlindex.foo"));
}

}  // namespace
}  // namespace tessel::test
