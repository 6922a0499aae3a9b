#include "platform/standard_calls.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace tessel {

std::string StandardAbsolutePath(void*, std::string_view path) {
  std::error_code ignored;
  return std::filesystem::absolute(path.empty() ? std::filesystem::path(".") : std::filesystem::path(path), ignored)
      .string();
}

int64_t StandardNow(void*) {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace tessel
