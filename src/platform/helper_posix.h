// The POSIX platform's isolated helper processes (Platform::run_helper).
#ifndef TESSEL_PLATFORM_HELPER_POSIX_H_
#define TESSEL_PLATFORM_HELPER_POSIX_H_

#include <string>

#include "platform/platform.h"

namespace tessel {

int PosixRunHelper(void* ctx, const HelperRun& run, std::string* output, HelperOutcome* outcome);

}  // namespace tessel

#endif  // TESSEL_PLATFORM_HELPER_POSIX_H_
