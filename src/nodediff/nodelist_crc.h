// The check sum that guards a published nodelist.
//
// A nodelist is CR LF text closed by Ctrl-Z. Its first line is a comment
// that ends in ": nnnnn", the decimal CRC-16 of every byte after the first
// line's line end up to, not including, the Ctrl-Z (or the end of the file
// when the Ctrl-Z is missing): polynomial 1021h, initial value 0, no
// reflection, no final xor.
#ifndef TESSEL_NODEDIFF_NODELIST_CRC_H_
#define TESSEL_NODEDIFF_NODELIST_CRC_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "nodelist/line_reader.h"  // kCtrlZ

namespace tessel {

// The CRC-16 of "size" bytes, continuing from "crc".
uint16_t Crc16(const char* data, size_t size, uint16_t crc = 0);

// "text" up to its first Ctrl-Z, or all of it.
std::string_view TextBeforeCtrlZ(std::string_view text);

// The first line of "text", without its CR LF (or LF).
std::string_view FirstLine(std::string_view text);

struct ListCrc {
  bool stated = false;      // the first line ends in ": nnnnn" (at most 65535)
  uint16_t stated_crc = 0;  // that number
  uint16_t actual_crc = 0;  // the CRC of the bytes it covers
};

// The CRC a nodelist states and the one its bytes give.
ListCrc CheckListCrc(std::string_view list);

// The same, counting every line end of the bytes covered as CR LF: the
// CRC of a list whose carriage returns were lost on the way.
ListCrc CheckListCrcWithCrLf(std::string_view list);

inline bool CrcChecks(const ListCrc& crc) { return crc.stated && crc.stated_crc == crc.actual_crc; }

// A full list's check: its CRC as received or, when that fails, with the
// carriage returns it lost on the way restored (every line end counted as
// CR LF, whether some or all of them lost theirs).
struct FullListCrc {
  ListCrc as_is;        // what the list states and its bytes give as they are
  bool checks = false;  // as they are, or restored
  uint16_t crc = 0;     // the CRC that checks (when none does, the restored one)
};
FullListCrc CheckFullListCrc(std::string_view list);

// A CRC as the first line writes it: five digits ("02616").
std::string CrcText(uint16_t crc);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_NODELIST_CRC_H_
