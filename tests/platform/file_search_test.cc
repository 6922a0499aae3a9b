// The host's file-name rules: name patterns and search order.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_search.h"

namespace tessel {
namespace {

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

}  // namespace
}  // namespace tessel
