#include "storage/fatal_errors.h"

#include "platform/file_search.h"
#include "storage/console.h"

namespace tessel {

int TransferError(int error, uint32_t moved, uint32_t asked, int short_error) {
  if (error != 0) return error;
  return moved < asked ? short_error : 0;
}

bool FatalIoError(RunState* state, int error, std::string_view doing, std::string_view path) {
  const Platform& platform = *state->platform;
  PrintLineEnd(platform);
  Print(platform, "I/O error ");
  PrintNumber(platform, error);
  Print(platform, " (");
  Print(platform, ErrorText(error));
  Print(platform, ") ");
  Print(platform, doing);
  Print(platform, " ");
  Print(platform, DisplayPath(path));
  PrintLineEnd(platform);
  return EndRun(state, error);
}

void PrintInsufficientMemory(const Platform& platform, int64_t shortfall) {
  PrintLineEnd(platform);
  Print(platform, "Insufficient memory - I need at least ");
  PrintNumber(platform, shortfall / 1024 + 1);
  Print(platform, "k more");
  PrintChar(platform, kBell);
  PrintLineEnd(platform);
}

bool HasFreeMemory(RunState* state, int32_t requested) {
  int64_t free = FreeMemory(state->heap);
  if (free >= requested) return true;
  PrintInsufficientMemory(*state->platform, requested - free);
  return false;
}

}  // namespace tessel
