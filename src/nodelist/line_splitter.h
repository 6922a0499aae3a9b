// Splits one nodelist line into the three fields the index needs.
//
// A nodelist line is a run of comma-separated fields with no quoting:
//   keyword, number, system name, location, sysop name, phone, speed, flags
// The splitter keeps the keyword, the number and the sysop name (letters
// folded to upper case, underscores in the sysop name turned into blanks),
// passes over the system name and location, counts the characters after the
// number field's comma, and tells whether the line is to be ignored.
#ifndef TESSEL_NODELIST_LINE_SPLITTER_H_
#define TESSEL_NODELIST_LINE_SPLITTER_H_

#include <cstdint>
#include <string_view>

// The line reader and the splitter look at 16 characters at a time where the
// processor has 16-byte vectors (SSE2, which every x86-64 has), and at 8, in
// a 64-bit word, elsewhere. TESSEL_PORTABLE_SCAN (the CMake option of that
// name) builds the portable way on x86-64 too, so that it is tested there.
#if defined(__SSE2__) && !defined(TESSEL_PORTABLE_SCAN)
#define TESSEL_SCAN_SSE2 1
#else
#define TESSEL_SCAN_SSE2 0
#endif

namespace tessel {

constexpr int kMaxLineLength = 255;
constexpr int kFieldCapacity = 127;
// SplitPaddedLine reads whole blocks of up to 64 bytes, up to this many
// bytes past the line's end.
constexpr int kLinePadding = 64;

// A field of a line. Characters past the capacity are passed over. The
// text has room for whole 16-byte blocks; the sysop name's is cleared past
// its end up to 32 characters.
struct LineField {
  uint8_t length = 0;
  char text[kFieldCapacity + 1] = {};

  std::string_view view() const { return std::string_view(text, length); }
};

struct LineFields {
  LineField keyword;
  LineField number;
  LineField sysop;
  // Characters of the line after the comma that ends the number field; 0
  // when the line ends before that comma.
  uint8_t tail_length = 0;
  bool rejected = false;
};

// Splits "line" (at most kMaxLineLength characters, without its line end)
// into "*fields". Every field is emptied first, so nothing of an earlier
// line shows through. A line is rejected when it has two characters or
// fewer, starts with ";", or ends inside the keyword, number or sysop field
// (no comma after it); a line that ends right after a comma of the first
// four fields is accepted with the later fields empty.
void SplitLine(std::string_view line, LineFields* fields);

// SplitLine for the "length" characters at "line", followed by at least
// kLinePadding readable bytes of any value.
void SplitPaddedLine(const char* line, int length, LineFields* fields);

}  // namespace tessel

#endif  // TESSEL_NODELIST_LINE_SPLITTER_H_
