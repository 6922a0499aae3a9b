#include "nodelist/line_splitter.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace tessel {
namespace {

// Words of eight characters are worked on a byte at a time with these.
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = kOnes * 0x80;

// Copies the first characters of a field (up to its capacity) with letters
// folded to upper case and, in the sysop name, underscores turned into
// blanks.
void TakeField(const char* text, size_t length, bool sysop, LineField* field) {
  size_t kept = length < static_cast<size_t>(kFieldCapacity) ? length : kFieldCapacity;
  size_t i = 0;
  // Eight characters at a time, each byte of a word worked on by itself.
  for (; i + 8 <= kept; i += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, text + i, 8);
    uint64_t low7 = chunk & (kOnes * 0x7F);
    uint64_t from_a = low7 + kOnes * (0x80 - 'a');      // top bit set from 'a' up
    uint64_t past_z = low7 + kOnes * (0x80 - 'z' - 1);  // top bit set past 'z'
    uint64_t lower = from_a & ~past_z & ~chunk & kHighBits;  // bytes 'a' to 'z'
    chunk ^= lower >> 2;  // clears the 0x20 bit of each
    if (sysop) {
      uint64_t x = chunk ^ (kOnes * '_');
      uint64_t underscore = ~(((x & (kOnes * 0x7F)) + kOnes * 0x7F) | x) & kHighBits;
      chunk ^= (underscore >> 7) * ('_' ^ ' ');
    }
    std::memcpy(field->text + i, &chunk, 8);
  }
  for (; i < kept; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 32);
    } else if (sysop && c == '_') {
      c = ' ';
    }
    field->text[i] = c;
  }
  field->length = static_cast<uint8_t>(kept);
}

// The first comma from "next" on, or "end" when there is none. Eight
// characters are looked at a time while eight remain.
const char* FindComma(const char* next, const char* end) {
  constexpr uint64_t kCommas = kOnes * ',';
  for (; end - next >= 8; next += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, next, 8);
    if constexpr (std::endian::native == std::endian::big) chunk = __builtin_bswap64(chunk);
    uint64_t x = chunk ^ kCommas;  // a zero byte where a comma is, the first lowest
    uint64_t found = (x - kOnes) & ~x & kHighBits;
    // The lowest flag marks the first zero byte exactly; flags above it may
    // be false.
    if (found != 0) return next + __builtin_ctzll(found) / 8;
  }
  while (next < end && *next != ',') ++next;
  return next;
}

}  // namespace

void SplitLine(std::string_view line, LineFields* fields) {
  fields->keyword.length = 0;
  fields->number.length = 0;
  fields->sysop.length = 0;
  fields->tail_length = 0;
  fields->rejected = true;
  if (line.size() <= 2 || line[0] == ';') return;

  // Each field is found with one search for its comma; the system name and
  // the location are passed over the same way, without being copied.
  LineField* order[3] = {&fields->keyword, &fields->number, &fields->sysop};
  const char* next = line.data();
  const char* const end = line.data() + line.size();
  for (int f = 0; f < 3; ++f) {
    bool sysop = f == 2;
    const char* comma = FindComma(next, end);
    if (comma == end) return;  // the line ends inside this field
    TakeField(next, static_cast<size_t>(comma - next), sysop, order[f]);
    next = comma + 1;
    if (f == 1) {
      fields->tail_length = static_cast<uint8_t>(end - next);
      // Pass over the system name and the location, commas included.
      for (int commas = 0; commas < 2 && next < end; ++commas) {
        const char* skip = FindComma(next, end);
        next = skip == end ? end : skip + 1;
      }
    }
    if (sysop || next == end) break;
  }
  fields->rejected = false;
}

}  // namespace tessel
