#include "nodediff/archive_format.h"

namespace tessel {

std::string ArchiveFormatOf(std::string_view a) {
  auto starts = [&](std::string_view magic, size_t at = 0) { return a.size() >= at + magic.size() && a.substr(at, magic.size()) == magic; };
  if (starts("PK\x03\x04") || starts("PK\x05\x06")) return "ZIP";
  if (starts("Rar!\x1A\x07")) return "RAR";
  if (starts("7z\xBC\xAF\x27\x1C")) return "7-Zip";
  if (starts("\x60\xEA")) return "ARJ";
  if (starts("-lh", 2) || starts("-lz", 2)) return "LHA";
  if (starts("\x1F\x8B")) return "gzip";
  if (starts("\x1A") && a.size() > 1 && a[1] >= 1 && a[1] <= 20) return "ARC";
  if (starts("HA")) return "HA";
  if (starts("ZOO ")) return "ZOO";
  return "";
}

}  // namespace tessel
