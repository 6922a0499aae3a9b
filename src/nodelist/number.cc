#include "nodelist/number.h"

namespace tessel {
namespace {

// The value of digit "c" in "base", or -1.
int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

bool ReadNumber(std::string_view text, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < text.size() && text[i] == '%') {
    base = 2;
    ++i;
  }
  if (i == text.size()) return false;
  // The magnitude may reach 2^31 (for the most negative value); anything
  // beyond is out of range however many digits follow.
  constexpr uint64_t kLimit = uint64_t{1} << 31;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * base + digit;
    if (magnitude > kLimit) return false;
  }
  if (!negative && magnitude == kLimit) return false;
  *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
  return true;
}

int32_t FieldNumber(std::string_view text) {
  // Nearly every field is a few decimal digits and nothing else: read those
  // at once. Nine digits cannot leave the 32-bit range.
  if (!text.empty() && text.size() <= 9) {
    int32_t digits = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
      unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
      if (digit > 9) break;
      digits = digits * 10 + static_cast<int32_t>(digit);
    }
    if (i == text.size()) return digits;
  }
  int32_t value = 0;
  return ReadNumber(text, &value) ? value : 0;
}

}  // namespace tessel
