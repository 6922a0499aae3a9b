// The line splitter and the number reader on arbitrary bytes, each checked
// against a plain restatement of its rules.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "nodelist/line_splitter.h"
#include "nodelist/number.h"

namespace tessel::fuzz {
namespace {

// A number as the rules state it, computed with wide integers.
std::optional<int32_t> ReferenceNumber(std::string_view text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return std::nullopt;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == '%')) base = text[i++] == '$' ? 16 : 2;
  if (i == text.size()) return std::nullopt;
  __int128 value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 99;
    if (digit >= base) return std::nullopt;
    value = std::min<__int128>(value * base + digit, __int128{1} << 40);
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

void CheckNumber(std::string_view text) {
  int32_t value = 12345;
  bool valid = ReadNumber(text, &value);
  std::optional<int32_t> expected = ReferenceNumber(text);
  Require(valid == expected.has_value(), "number validity");
  if (valid) Require(value == *expected, "number value");
  Require(FieldNumber(text) == expected.value_or(0), "field number");
}

std::string Fold(std::string_view text, bool sysop) {
  std::string folded;
  for (char c : text.substr(0, kFieldCapacity)) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (sysop && c == '_') c = ' ';
    folded.push_back(c);
  }
  return folded;
}

// The splitter's outcome table, restated over the line cut at its commas.
void CheckSplit(std::string_view line) {
  LineFields fields;
  SplitLine(line, &fields);
  std::vector<std::string_view> parts;
  std::vector<size_t> commas;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ',') {
      parts.push_back(line.substr(start, i - start));
      if (i < line.size()) commas.push_back(i);
      start = i + 1;
    }
  }
  bool rejected;
  std::string keyword, number, sysop;
  unsigned tail = 0;
  if (line.size() <= 2 || line[0] == ';') {
    rejected = true;
  } else {
    keyword = Fold(parts[0], false);
    if (commas.size() >= 2) {
      number = Fold(parts[1], false);
      tail = static_cast<unsigned>(line.size() - commas[1] - 1);
    }
    if (commas.empty()) {
      rejected = true;
      keyword.clear();
    } else if (commas.size() == 1) {
      rejected = !parts[1].empty();  // the line ends inside the number
    } else if (commas.size() == 4) {
      rejected = !parts[4].empty();  // the line ends inside the sysop name
    } else {
      rejected = false;
      if (commas.size() >= 5) sysop = Fold(parts[4], true);
    }
  }
  Require(fields.rejected == rejected, "rejected");
  if (line.size() <= 2 || line[0] == ';') return;
  Require(fields.keyword.view() == keyword, "keyword");
  Require(fields.number.view() == number, "number field");
  Require(fields.sysop.view() == sysop, "sysop field");
  Require(fields.tail_length == tail, "tail length");
}

}  // namespace
}  // namespace tessel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view line = input.substr(0, tessel::kMaxLineLength);
  tessel::fuzz::CheckSplit(line);
  tessel::fuzz::CheckNumber(input);
  tessel::LineFields fields;
  tessel::SplitLine(line, &fields);
  tessel::fuzz::CheckNumber(fields.number.view());
  return 0;
}
