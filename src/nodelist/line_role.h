// What a nodelist line's keyword makes of it: the reader and every tool
// that walks a list's nodes number the lines alike.
//
// A "ZONE" line starts a zone and its first net, numbered as the zone;
// a "REGION" or "HOST" line starts a net; every other accepted line is a
// node of the current net, numbered by its number field. The zone, region
// or host line is itself node 0 of its net. "PVT", "HOLD" and "DOWN" lines
// are nodes that the index leaves out.
#ifndef TESSEL_NODELIST_LINE_ROLE_H_
#define TESSEL_NODELIST_LINE_ROLE_H_

#include <string_view>

namespace tessel {

enum class LineRole { kZone, kNet, kNode };

// "keyword" as the splitter gives it: letters folded to upper case.
inline LineRole RoleOfKeyword(std::string_view keyword) {
  if (keyword == "ZONE") return LineRole::kZone;
  if (keyword == "HOST" || keyword == "REGION") return LineRole::kNet;
  return LineRole::kNode;
}

inline bool IsUnindexedKeyword(std::string_view keyword) {
  return keyword == "PVT" || keyword == "DOWN" || keyword == "HOLD";
}

}  // namespace tessel

#endif  // TESSEL_NODELIST_LINE_ROLE_H_
