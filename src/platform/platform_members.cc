// The check that a platform table leaves no member out, made from the one
// list of members so that a member added there is checked everywhere.
#include <cstring>

#include "platform/platform.h"

namespace tessel {

std::vector<std::string> MissingPlatformMembers(const Platform& platform) {
  std::vector<std::string> missing;
#define TESSEL_CHECK_MEMBER(result, name, parameters) \
  if (platform.name == nullptr && std::strcmp(#name, "prepare_memory") != 0) missing.push_back(#name);
  TESSEL_PLATFORM_MEMBERS(TESSEL_CHECK_MEMBER)
#undef TESSEL_CHECK_MEMBER
  return missing;
}

}  // namespace tessel
