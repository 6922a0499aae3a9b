// A node's address, and node addresses as sysops type them, for find and
// changes: zone:net/node, optionally with a point (.0 is the node itself)
// and a domain (@fidonet); zone:net/* for a whole net and zone:* for a
// whole zone.
#ifndef TESSEL_INDEX_TOOL_ADDRESS_PATTERN_H_
#define TESSEL_INDEX_TOOL_ADDRESS_PATTERN_H_

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

struct NodeAddress {
  uint16_t zone = 0, net = 0, node = 0;
  auto operator<=>(const NodeAddress&) const = default;
};

// "2:250/101".
std::string NodeAddressText(const NodeAddress& address);

struct TypedAddress {
  NodeAddress node;
  uint16_t point = 0;
  std::string domain;       // without the "@"; "" when none was typed
  bool whole_net = false;   // zone:net/*: every node of the net
  bool whole_zone = false;  // zone:*: every node of the zone
};

// Whether "text" is meant as an address rather than a sysop name: it starts
// with a digit and has an address's punctuation.
bool LooksLikeAddress(std::string_view text);

// Reads "text" as one of the forms above; false when it is none of them.
bool ParseAddress(std::string_view text, TypedAddress* address);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_ADDRESS_PATTERN_H_
