#include "nodediff/nodelist_crc.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace tessel {
namespace {

// Eight tables: table k gives the effect of a byte followed by k zero
// bytes, so that eight bytes fold into the CRC with eight look-ups and no
// dependence between them.
using CrcTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (int b = 0; b < 256; ++b) {
    uint16_t crc = static_cast<uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    t[0][b] = crc;
  }
  for (int k = 1; k < 8; ++k) {
    for (int b = 0; b < 256; ++b) {
      uint16_t prev = t[k - 1][b];
      t[k][b] = static_cast<uint16_t>((prev << 8) ^ t[0][prev >> 8]);
    }
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

uint16_t Crc16(const char* data, size_t size, uint16_t crc) {
  const auto* p = reinterpret_cast<const uint8_t*>(data);
  while (size >= 8) {
    crc = static_cast<uint16_t>(kTables[7][(crc >> 8) ^ p[0]] ^ kTables[6][(crc & 0xFF) ^ p[1]] ^
                                kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
                                kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]]);
    p += 8;
    size -= 8;
  }
  while (size-- > 0) crc = static_cast<uint16_t>((crc << 8) ^ kTables[0][(crc >> 8) ^ *p++]);
  return crc;
}

std::string_view TextBeforeCtrlZ(std::string_view text) {
  const void* z = std::memchr(text.data(), kCtrlZ, text.size());
  if (z == nullptr) return text;
  return text.substr(0, static_cast<size_t>(static_cast<const char*>(z) - text.data()));
}

std::string_view FirstLine(std::string_view text) {
  size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

ListCrc CheckListCrc(std::string_view list) {
  std::string_view text = TextBeforeCtrlZ(list);
  ListCrc result;
  std::string_view line = FirstLine(text);
  size_t digits_start = line.size();
  while (digits_start > 0 && line[digits_start - 1] >= '0' && line[digits_start - 1] <= '9') --digits_start;
  size_t digits = line.size() - digits_start;
  size_t colon = digits_start == 0 ? std::string_view::npos : line.find_last_not_of(' ', digits_start - 1);
  if (digits > 0 && digits <= 5 && colon != std::string_view::npos && line[colon] == ':') {
    uint32_t value = 0;
    for (size_t i = digits_start; i < line.size(); ++i) value = value * 10 + static_cast<uint32_t>(line[i] - '0');
    if (value <= 0xFFFF) {
      result.stated = true;
      result.stated_crc = static_cast<uint16_t>(value);
    }
  }
  size_t body = text.find('\n');
  body = body == std::string_view::npos ? text.size() : body + 1;
  result.actual_crc = Crc16(text.data() + body, text.size() - body);
  return result;
}

std::string CrcText(uint16_t crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%05u", static_cast<unsigned>(crc));
  return text;
}

}  // namespace tessel
