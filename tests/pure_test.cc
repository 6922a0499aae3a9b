// The pure pieces of start-up: numbers, name patterns and search order,
// FAT time stamps and nodelist paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nodelist/catalogue.h"
#include "nodelist/number.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

TEST(ReadNumberTest, AcceptsSignedThirtyTwoBitNumbersInThreeBases) {
  const struct {
    std::string text;
    int32_t value;
  } valid[] = {
      {"0", 0},
      {"123", 123},
      {" \t 42", 42},
      {"+7", 7},
      {"-7", -7},
      {"$1f", 31},
      {"$1F", 31},
      {"-$a", -10},
      {"%101", 5},
      {"-%1", -1},
      {"007", 7},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"000000000002147483647", INT32_MAX},
      {"$7FFFFFFF", INT32_MAX},
      {"-$80000000", INT32_MIN},
      {"%" + std::string(31, '1'), INT32_MAX},
  };
  for (const auto& c : valid) {
    int32_t value = 12345;
    EXPECT_TRUE(ReadNumber(c.text, &value)) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(ReadNumberTest, RejectsAnythingElseAndLeavesTheValue) {
  const std::string invalid[] = {
      "",           " ",           "+",          "-",          "$",          "%",         "12 ",
      "1 2",        "- 1",         "+-1",        "--1",        "1-",         "$-1",       "%2",
      "$g",         "12a",         "0x10",       "2147483648", "-2147483649", "$80000000", "$FFFFFFFF",
      "-$80000001", "99999999999999999999", "%1" + std::string(32, '0'), "1.5", "\n1",
  };
  for (const std::string& text : invalid) {
    int32_t value = 12345;
    EXPECT_FALSE(ReadNumber(text, &value)) << '"' << text << '"';
    EXPECT_EQ(value, 12345) << '"' << text << '"';
  }
  EXPECT_EQ(FieldNumber("x"), 0);
  EXPECT_EQ(FieldNumber("$10"), 16);
}

TEST(WildcardMatchTest, StarsQuestionMarksAndLetterCase) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"NODELIST.*", "nodelist.123", true},
      {"NODELIST.*", "NODELIST.", true},
      {"NODELIST.*", "NODELIST", false},
      {"NODELIST.*", "NODELISTS.123", false},
      {"nlindex.qdx", "NLINDEX.QDX", true},
      {"nlindex.qdx", "nlindex.qdxx", false},
      {"nlindex.qdx", "nlindex.qd", false},
      {"", "", true},
      {"", "a", false},
      {"*", "", true},
      {"?", "", false},
      {"a?c", "ABC", true},
      {"a?c", "ac", false},
      {"*.1?3", "x.123", true},
      {"*a*b", "xaxxb", true},
      {"*a*b", "xaxxbc", false},
      {"n*l*t.*", "NODELIST.Z27", true},
      {"**a", "bba", true},
      {"a*", "a", true},
      {"[a]", "a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
  }
}

TEST(SearchOrderTest, UpperCaseFormFirstThenRawBytes) {
  const struct {
    const char* a;
    const char* b;
  } ascending[] = {
      {"a", "B"},                              // letters compare as upper case
      {"NODELIST.123", "nodelist.124"},
      {"nodelist.127", "NODELIST.Z27"},
      {"a", "_x"},                             // "A" (0x41) before "_" (0x5F)
      {"ab", "abc"},                           // a prefix first
      {"A", "a"},                              // ties go by the raw bytes
      {"NODELIST.123", "nodelist.123"},
      {"~", "\xE9"},                           // bytes above 127 are unsigned
  };
  for (const auto& c : ascending) {
    EXPECT_TRUE(SearchOrderLess(c.a, c.b)) << c.a << " < " << c.b;
    EXPECT_FALSE(SearchOrderLess(c.b, c.a)) << c.b << " < " << c.a;
    EXPECT_FALSE(SearchOrderLess(c.a, c.a)) << c.a;
  }
}

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
