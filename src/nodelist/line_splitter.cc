#include "nodelist/line_splitter.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#if TESSEL_SCAN_SSE2
#include <emmintrin.h>
#endif

namespace tessel {
namespace {

#if TESSEL_SCAN_SSE2
// Sixteen characters at a time (see TESSEL_SCAN_SSE2).

// 16 bytes of 0xFF, then 16 of 0: a mask keeping the first n bytes of 16
// is read at kKeepFirst + 16 - n.
alignas(16) constexpr uint8_t kKeepFirst[32] = {255, 255, 255, 255, 255, 255, 255, 255,
                                               255, 255, 255, 255, 255, 255, 255, 255};

void TakeField(const char* text, int length, bool sysop, LineField* field) {
  int kept = length < kFieldCapacity ? length : kFieldCapacity;
  if (sysop) std::memset(field->text, 0, 32);
  const __m128i before_a = _mm_set1_epi8('a' - 1);
  const __m128i after_z = _mm_set1_epi8('z' + 1);
  const __m128i case_bit = _mm_set1_epi8(0x20);
  const __m128i underscore = _mm_set1_epi8('_');
  const __m128i underscore_to_blank = _mm_set1_epi8('_' ^ ' ');
  for (int i = 0; i < kept; i += 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    // Compared as signed bytes, so bytes from 128 up are never letters.
    __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(chunk, before_a), _mm_cmplt_epi8(chunk, after_z));
    chunk = _mm_xor_si128(chunk, _mm_and_si128(lower, case_bit));
    if (sysop) {
      chunk = _mm_xor_si128(chunk, _mm_and_si128(_mm_cmpeq_epi8(chunk, underscore), underscore_to_blank));
      if (kept - i < 16) {
        __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepFirst + 16 - (kept - i)));
        chunk = _mm_and_si128(chunk, keep);
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(field->text + i), chunk);
  }
  field->length = static_cast<uint8_t>(kept);
}

// Looks at 64 characters a time: the fields the index needs nearly always
// end within the first 64.
int FindCommas(const char* line, int length, int wanted, int* commas) {
  const __m128i comma = _mm_set1_epi8(',');
  int found = 0;
  for (int at = 0; at < length; at += 64) {
    uint64_t flags = 0;
    for (int k = 0; k < 4; ++k) {
      __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + at + 16 * k));
      auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, comma)));
      flags |= static_cast<uint64_t>(bits) << (16 * k);
    }
    if (length - at < 64) flags &= (uint64_t{1} << (length - at)) - 1;
    while (flags != 0) {
      commas[found++] = at + __builtin_ctzll(flags);
      if (found == wanted) return found;
      flags &= flags - 1;
    }
  }
  return found;
}

#else

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

#endif

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
