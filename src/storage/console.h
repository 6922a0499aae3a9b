// Console output. Everything goes to standard output at once, unbuffered, so
// that progress shown without a line end is seen. A line end is CR LF.
#ifndef TESSEL_STORAGE_CONSOLE_H_
#define TESSEL_STORAGE_CONSOLE_H_

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace tessel {

constexpr std::string_view kLineEnd = "\r\n";
constexpr char kBell = '\a';
constexpr char kBackspace = '\b';

void Print(const Platform& platform, std::string_view text);
void PrintChar(const Platform& platform, char c);
void PrintLineEnd(const Platform& platform);
// A signed number in decimal, right-aligned in "width" characters (wider
// numbers are printed in full).
void PrintNumber(const Platform& platform, int64_t value, int width = 0);

}  // namespace tessel

#endif  // TESSEL_STORAGE_CONSOLE_H_
