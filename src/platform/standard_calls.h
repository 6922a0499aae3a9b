// The platform calls that the C++ standard library answers alike on every
// system: the absolute form of a path and the clock. Both platform layers
// take them from here.
#ifndef TESSEL_PLATFORM_STANDARD_CALLS_H_
#define TESSEL_PLATFORM_STANDARD_CALLS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

// "path" made absolute against the current directory ("" is the current
// directory itself); every byte of "path" is kept.
std::string StandardAbsolutePath(void* ctx, std::string_view path);

// Seconds since 1970-01-01 UTC.
int64_t StandardNow(void* ctx);

}  // namespace tessel

#endif  // TESSEL_PLATFORM_STANDARD_CALLS_H_
