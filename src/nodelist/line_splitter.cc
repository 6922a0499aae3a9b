#include "nodelist/line_splitter.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace tessel {
namespace {

// Words of eight characters are worked on a byte at a time with these.
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kLow7 = kOnes * 0x7F;
constexpr uint64_t kHighBits = kOnes * 0x80;

// The top bit of every byte of "x" that is zero, and no other bit.
uint64_t ZeroBytes(uint64_t x) { return ~(((x & kLow7) + kLow7) | x) & kHighBits; }

uint64_t LoadWord(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  return word;
}

// Copies the first characters of a field (up to its capacity) with letters
// folded to upper case and, in the sysop name, underscores turned into
// blanks, a word at a time: the bytes stored past the field's end do not
// count. The sysop name is cleared past its end up to 32 characters, so
// that a record takes its 25 characters whole.
void TakeField(const char* text, int length, bool sysop, LineField* field) {
  int kept = length < kFieldCapacity ? length : kFieldCapacity;
  if (sysop) std::memset(field->text, 0, 32);
  int i = 0;
  for (; i < kept; i += 8) {
    uint64_t chunk = LoadWord(text + i);
    uint64_t low7 = chunk & kLow7;
    uint64_t from_a = low7 + kOnes * (0x80 - 'a');      // top bit set from 'a' up
    uint64_t past_z = low7 + kOnes * (0x80 - 'z' - 1);  // top bit set past 'z'
    uint64_t lower = from_a & ~past_z & ~chunk & kHighBits;  // bytes 'a' to 'z'
    chunk ^= lower >> 2;  // clears the 0x20 bit of each
    if (sysop) {
      chunk ^= (ZeroBytes(chunk ^ (kOnes * '_')) >> 7) * ('_' ^ ' ');
      if (kept - i < 8) {
        // Only the name's own characters, in the order they lie in memory.
        uint64_t keep_mask = ~uint64_t{0};
        int bits = 8 * (kept - i);
        if constexpr (std::endian::native == std::endian::little) {
          keep_mask = (uint64_t{1} << bits) - 1;
        } else {
          keep_mask = ~(~uint64_t{0} >> bits);
        }
        chunk &= keep_mask;
      }
    }
    std::memcpy(field->text + i, &chunk, 8);
  }
  field->length = static_cast<uint8_t>(kept);
}

// Finds the first commas of the line, at most "wanted" of them, eight
// characters at a time; returns how many it found.
int FindCommas(const char* line, int length, int wanted, int* commas) {
  int found = 0;
  for (int at = 0; at < length; at += 8) {
    uint64_t chunk = LoadWord(line + at);
    if constexpr (std::endian::native == std::endian::big) chunk = __builtin_bswap64(chunk);
    uint64_t flags = ZeroBytes(chunk ^ (kOnes * ','));  // byte k of the text is bits 8k..8k+7
    if (length - at < 8) flags &= (uint64_t{1} << (8 * (length - at))) - 1;
    while (flags != 0) {
      commas[found++] = at + __builtin_ctzll(flags) / 8;
      if (found == wanted) return found;
      flags &= flags - 1;
    }
  }
  return found;
}

}  // namespace

void SplitPaddedLine(const char* line, int length, LineFields* fields) {
  fields->keyword.length = 0;
  fields->number.length = 0;
  fields->sysop.length = 0;
  fields->tail_length = 0;
  fields->rejected = true;
  if (length <= 2 || line[0] == ';') return;

  // The commas that end the keyword, the number, the system name, the
  // location and the sysop name.
  int commas[5];
  int found = FindCommas(line, length, 5, commas);
  if (found == 0) return;  // the line ends inside the keyword
  TakeField(line, commas[0], false, &fields->keyword);
  if (commas[0] == length - 1) {  // nothing after the keyword's comma
    fields->rejected = false;
    return;
  }
  if (found == 1) return;  // the line ends inside the number
  TakeField(line + commas[0] + 1, commas[1] - commas[0] - 1, false, &fields->number);
  fields->tail_length = static_cast<uint8_t>(length - commas[1] - 1);
  // The system name and the location are passed over; a line that ends in
  // them, or right after the location's comma, has no sysop name.
  if (found < 4 || commas[3] == length - 1) {
    fields->rejected = false;
    return;
  }
  if (found == 4) return;  // the line ends inside the sysop name
  TakeField(line + commas[3] + 1, commas[4] - commas[3] - 1, true, &fields->sysop);
  fields->rejected = false;
}

void SplitLine(std::string_view line, LineFields* fields) {
  // A copy with room for the word-wise reads past the end.
  if (line.size() <= static_cast<size_t>(kMaxLineLength)) {
    char padded[kMaxLineLength + kLinePadding] = {};
    std::memcpy(padded, line.data(), line.size());
    SplitPaddedLine(padded, static_cast<int>(line.size()), fields);
    return;
  }
  std::string padded(line);
  padded.append(kLinePadding, '\0');
  SplitPaddedLine(padded.data(), static_cast<int>(line.size()), fields);
}

}  // namespace tessel
