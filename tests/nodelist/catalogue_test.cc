// The catalogue's pure pieces: FAT time stamps and nodelist paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nodelist/catalogue.h"

namespace tessel {
namespace {

TEST(PackFatTimeTest, PacksAndClampsToTheFatRange) {
  const struct {
    LocalTime time;
    uint32_t packed;
  } cases[] = {
      {{1980, 1, 1, 0, 0, 0}, 0x00210000},
      {{1979, 12, 31, 23, 59, 59}, 0x00210000},
      {{1970, 1, 1, 0, 0, 0}, 0x00210000},
      {{1996, 3, 15, 13, 45, 31}, 0x206F6DAF},
      {{2000, 2, 29, 12, 0, 1}, 0x285D6000},
      {{2043, 12, 31, 23, 59, 58}, 0x7F9FBF7D},
      {{2044, 1, 1, 0, 0, 0}, 0x80210000},
      {{2107, 12, 31, 23, 59, 59}, 0xFF9FBF7D},
      {{2108, 1, 1, 0, 0, 0}, 0xFF9FBF7D},
      {{2300, 6, 15, 12, 30, 0}, 0xFF9FBF7D},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PackFatTime(c.time), c.packed) << c.time.year << "-" << c.time.month << "-" << c.time.day;
  }
}

TEST(SplitNodelistPathTest, DirectoryNameAndExtension) {
  const struct {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  } cases[] = {
      {"D:\\NL\\NODELIST", "D:\\NL\\", "NODELIST", ""},
      {"a/b/NODELIST.TXT", "a\\b\\", "NODELIST", ".TXT"},
      {"NODELIST", "", "NODELIST", ""},
      {"nodelist.123", "", "nodelist", ".123"},
      {"D:NODELIST.1", "D:", "NODELIST", ".1"},
      {"C:\\x.y\\NODE", "C:\\x.y\\", "NODE", ""},
      {"/srv/nl\\a.b.c", "\\srv\\nl\\", "a.b", ".c"},
      {"NODELIST.", "", "NODELIST", "."},
      {"dir/", "dir\\", "", ""},
  };
  for (const auto& c : cases) {
    NodelistPathParts parts = SplitNodelistPath(c.path);
    EXPECT_EQ(parts.directory, c.directory) << c.path;
    EXPECT_EQ(parts.name, c.name) << c.path;
    EXPECT_EQ(parts.extension, c.extension) << c.path;
  }
}

}  // namespace
}  // namespace tessel
