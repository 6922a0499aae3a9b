#include "index_tool/address_pattern.h"

#include <charconv>

namespace tessel {
namespace {

// Reads a decimal number of 0 to 65535 from the front of "text" and takes
// it off.
bool TakeNumber(std::string_view* text, uint16_t* value) {
  unsigned parsed = 0;
  auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), parsed);
  if (error != std::errc() || parsed > 65535) return false;
  *value = static_cast<uint16_t>(parsed);
  text->remove_prefix(static_cast<size_t>(end - text->data()));
  return true;
}

bool TakeChar(std::string_view* text, char c) {
  if (!text->starts_with(c)) return false;
  text->remove_prefix(1);
  return true;
}

}  // namespace

std::string NodeAddressText(const NodeAddress& address) {
  return std::to_string(address.zone) + ":" + std::to_string(address.net) + "/" + std::to_string(address.node);
}

bool LooksLikeAddress(std::string_view text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9' && text.find_first_of(":/@") != std::string_view::npos;
}

bool ParseAddress(std::string_view text, TypedAddress* address) {
  size_t at = text.find('@');
  if (at != std::string_view::npos) {
    address->domain = std::string(text.substr(at + 1));
    if (address->domain.empty() || address->domain.find_first_of("@ ") != std::string::npos) return false;
    text = text.substr(0, at);
  }
  NodeAddress& node = address->node;
  if (!TakeNumber(&text, &node.zone) || !TakeChar(&text, ':')) return false;
  if (text == "*") {
    address->whole_zone = true;
    return true;
  }
  if (!TakeNumber(&text, &node.net) || !TakeChar(&text, '/')) return false;
  if (text == "*") {
    address->whole_net = true;
    return true;
  }
  if (!TakeNumber(&text, &node.node)) return false;
  if (TakeChar(&text, '.') && !TakeNumber(&text, &address->point)) return false;
  return text.empty();
}

}  // namespace tessel
