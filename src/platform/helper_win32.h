// The Win32 platform's isolated helper processes (Platform::run_helper).
#ifndef TESSEL_PLATFORM_HELPER_WIN32_H_
#define TESSEL_PLATFORM_HELPER_WIN32_H_

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace tessel {

// Platform::run_helper with the archive's handle ("input", or
// INVALID_HANDLE_VALUE for none) as the helper's standard input.
int Win32RunHelper(const HelperRun& run, HANDLE input, std::string* output, HelperOutcome* outcome);

}  // namespace tessel

#endif  // TESSEL_PLATFORM_HELPER_WIN32_H_
