// The nodediff applier on arbitrary old lists and diffs, checked against a
// plain restatement of its rules (lines in vectors, one command at a time),
// and the CRC check on what it makes. The first two bytes give the old
// list's length; the old list follows, then the diff.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "nodediff/diff_apply.h"
#include "nodediff/nodelist_crc.h"

namespace tessel::fuzz {
namespace {

// The lines of a text up to its first Ctrl-Z, without line ends.
std::vector<std::string> ReferenceLines(std::string_view text) {
  text = text.substr(0, text.find('\x1A'));
  std::vector<std::string> lines;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string line(text.substr(0, lf));
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
  }
  return lines;
}

DiffOutcome ReferenceApply(std::string_view old_list, std::string_view diff, std::string* result) {
  std::vector<std::string> old_lines = ReferenceLines(old_list), diff_lines = ReferenceLines(diff);
  size_t o = 0, d = 1;
  result->clear();
  while (d < diff_lines.size()) {
    const std::string& command = diff_lines[d];
    size_t line = ++d;
    auto blank = [](const std::string& text) { return text.find_first_not_of(" \t\r") == std::string::npos; };
    if (blank(command) && std::all_of(diff_lines.begin() + static_cast<std::ptrdiff_t>(d), diff_lines.end(), blank)) {
      break;  // blank lines after the last command
    }
    bool digits = command.size() >= 2 && command.find_first_not_of("0123456789", 1) == std::string::npos;
    if (!digits || (command[0] != 'A' && command[0] != 'C' && command[0] != 'D')) {
      return {DiffStatus::kBadCommand, line};
    }
    size_t count = 0;  // saturating: any count above 10^15 is past every end
    for (char c : command.substr(1)) count = std::min<size_t>(count * 10 + static_cast<size_t>(c - '0'), size_t{1000000000000000});
    if (command[0] == 'A') {
      if (count > diff_lines.size() - d) return {DiffStatus::kTruncated, line};
      for (size_t i = 0; i < count; ++i) *result += diff_lines[d++] + "\r\n";
    } else {
      if (count > old_lines.size() - o) return {DiffStatus::kPastEnd, line};
      for (size_t i = 0; i < count; ++i, ++o) {
        if (command[0] == 'C') *result += old_lines[o] + "\r\n";
      }
    }
  }
  if (o < old_lines.size()) return {DiffStatus::kShortOfEnd, d};
  *result += '\x1A';
  return {DiffStatus::kApplied, d};
}

// The CRC bit by bit: polynomial 1021h, initial value 0.
uint16_t ReferenceCrc(std::string_view bytes) {
  uint32_t crc = 0;
  for (unsigned char c : bytes) {
    crc ^= static_cast<uint32_t>(c) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
  }
  return static_cast<uint16_t>(crc);
}

}  // namespace
}  // namespace tessel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  using namespace tessel::fuzz;
  if (size < 2) return 0;
  size_t old_size = std::min<size_t>(static_cast<size_t>(data[0] | data[1] << 8), size - 2);
  std::string_view old_list(reinterpret_cast<const char*>(data) + 2, old_size);
  std::string_view diff(reinterpret_cast<const char*>(data) + 2 + old_size, size - 2 - old_size);

  std::string result, expected;
  DiffOutcome outcome = ApplyNodediff(old_list, diff, &result);
  DiffOutcome reference = ReferenceApply(old_list, diff, &expected);
  Require(outcome.status == reference.status, "status as the rules say");
  Require(outcome.line == reference.line, "the diff line at fault as the rules say");
  Require(!DiffProblem(outcome, diff).empty(), "a problem described");
  if (outcome.status == DiffStatus::kApplied) {
    Require(result == expected, "the new list as the rules say");
    Require(result.find('\x1A') == result.size() - 1, "one Ctrl-Z, at the end");
    size_t lf = result.find('\n');
    size_t body = lf == std::string::npos ? result.size() - 1 : lf + 1;
    Require(CheckListCrc(result).actual_crc == ReferenceCrc(std::string_view(result).substr(body, result.size() - 1 - body)),
            "CRC of the lines after the first");
  }
  return 0;
}
