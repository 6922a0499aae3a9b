// Numbers read from text: command-line zones and nodelist fields.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nodelist/number.h"

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

}  // namespace
}  // namespace tessel
