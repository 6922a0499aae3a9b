#include <gtest/gtest.h>

#include <filesystem>

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

// A link planted at either temporary name, nlindex.foo in the current
// directory or nlindex.bar in the data directory, is replaced by a file of
// the run's own: the file it leads to keeps its bytes, and the build is the
// one made without it.
TEST(SmallBuild, LinksAtTheTemporaryNamesAreReplacedNotFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "links are made with POSIX calls here";
#else
  namespace fs = std::filesystem;
  auto build = [](const ScopedTempDir& dir, const std::string& link, bool hard) {
    fs::create_directories(dir.path() / "data");
    WriteFile(dir / "config.qdx", HostConfig("data/"));
    WriteFile(dir / "data/nlindex.qdx", IndexHead({{"NODELIST", ""}}));
    WriteFile(dir / "NODELIST.123", Lines({"Zone,2,Eu,Pl,Al_Bee,x,", ",7,Sy,Pl,Bo_Eve,x,"}));
    WriteFile(dir / "victim", "keep me");
    if (hard) fs::create_hard_link(dir.path() / "victim", dir.path() / link);
    if (!hard && !link.empty()) fs::create_symlink(dir.path() / "victim", dir.path() / link);
    return RunTessel(dir.path(), {"-F"});
  };
  ScopedTempDir clean;
  RunResult expected = build(clean, "", false);
  ASSERT_EQ(expected.status, 0) << expected.out;
  for (const char* name : {"nlindex.foo", "data/nlindex.bar"}) {
    for (bool hard : {false, true}) {
      SCOPED_TRACE(std::string(name) + (hard ? ", hard link" : ", symbolic link"));
      ScopedTempDir dir;
      RunResult run = build(dir, name, hard);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out, expected.out);
      EXPECT_EQ(ReadFile(dir / "victim"), "keep me");
      EXPECT_EQ(ReadFile(dir / "data/nlindex.qdx"), ReadFile(clean / "data/nlindex.qdx"));
      EXPECT_FALSE(Exists(dir / name));
    }
  }
#endif
}

}  // namespace
}  // namespace tessel::test
