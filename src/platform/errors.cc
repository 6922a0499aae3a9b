// Messages for the host error numbers.
#include "platform/platform.h"

namespace tessel {

const char* ErrorText(int error) {
  switch (error) {
    case kErrFileNotFound:
      return "file not found";
    case kErrPathNotFound:
      return "path not found";
    case kErrTooManyOpenFiles:
      return "too many open files";
    case kErrAccessDenied:
      return "access denied";
    case kErrBadHandle:
      return "invalid handle";
    case kErrNoMemory:
      return "not enough memory";
    case kErrNotSameDevice:
      return "not on the same device";
    case kErrFileExists:
      return "an entry of that name exists";
    case kErrShortRead:
      return "read past end of file";
    case kErrShortWrite:
      return "disk full or write fault";
    case 112:  // Windows' own number for a full disk
      return "disk full";
    default:
      break;
  }
  // The host reserves 150..162 for hardware faults; they all read alike.
  if (error >= 150 && error <= kErrDeviceFault) return "device error";
  return "error";
}

}  // namespace tessel
