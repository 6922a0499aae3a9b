#include "storage/console.h"

#include <cstdio>

namespace tessel {

void Print(const Platform& platform, std::string_view text) {
  platform.write_console(platform.ctx, text.data(), text.size());
}

void PrintChar(const Platform& platform, char c) { platform.write_console(platform.ctx, &c, 1); }

void PrintLineEnd(const Platform& platform) { Print(platform, kLineEnd); }

void PrintNumber(const Platform& platform, int64_t value, int width) {
  char text[32];
  int length = std::snprintf(text, sizeof text, "%*lld", width, static_cast<long long>(value));
  Print(platform, std::string_view(text, static_cast<size_t>(length)));
}

}  // namespace tessel
