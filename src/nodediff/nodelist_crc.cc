#include "nodediff/nodelist_crc.h"

#include <array>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

uint16_t TableCrc16(const char* data, size_t size, uint16_t crc) {
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

#if defined(__x86_64__)
// With carry-less multiplication. The bytes are a polynomial, the first
// byte's top bit the highest power. A 128-bit accumulator A stays
// congruent, modulo the CRC polynomial P, to all bytes so far; the next 16
// bytes B make it A * x^128 + B, where the high and low halves of A are
// multiplied by x^192 mod P and x^128 mod P (16-bit constants), which keeps
// it within 128 bits. Four accumulators take every fourth 16 bytes (each
// step then moves by x^512), so that their multiplications overlap; they
// are folded into one at the end. Then the accumulator's 16 bytes go
// through the tables like any message, and so does the rest.

// x^n mod P.
constexpr uint64_t PowerModP(int n) {
  uint32_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x11021;
  }
  return r;
}

#define TESSEL_CLMUL __attribute__((target("pclmul,ssse3")))

// 16 bytes at "data" as a polynomial: the first byte's top bit highest.
TESSEL_CLMUL inline __m128i LoadPolynomial(const char* data) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), reverse);
}

// a * x^n + b, modulo P as far as 128 bits need, for "k" holding
// x^(n+64) mod P (high) and x^n mod P (low).
TESSEL_CLMUL inline __m128i Fold(__m128i a, __m128i k, __m128i b) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x11), _mm_clmulepi64_si128(a, k, 0x00)), b);
}

TESSEL_CLMUL uint16_t FoldingCrc16(const char* data, size_t size, uint16_t crc) {
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(PowerModP(192)), static_cast<long long>(PowerModP(128)));
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(PowerModP(576)), static_cast<long long>(PowerModP(512)));
  // The CRC so far enters as the polynomial it stands for: crc * x^(8n-16)
  // for the n bytes that follow is congruent to placing it over their
  // first two bytes.
  __m128i a0 = _mm_xor_si128(LoadPolynomial(data), _mm_slli_si128(_mm_cvtsi32_si128(crc), 14));
  __m128i a1 = LoadPolynomial(data + 16), a2 = LoadPolynomial(data + 32), a3 = LoadPolynomial(data + 48);
  size_t at = 64;
  for (; at + 64 <= size; at += 64) {
    a0 = Fold(a0, k512, LoadPolynomial(data + at));
    a1 = Fold(a1, k512, LoadPolynomial(data + at + 16));
    a2 = Fold(a2, k512, LoadPolynomial(data + at + 32));
    a3 = Fold(a3, k512, LoadPolynomial(data + at + 48));
  }
  __m128i a = Fold(Fold(Fold(a0, k128, a1), k128, a2), k128, a3);
  for (; at + 16 <= size; at += 16) a = Fold(a, k128, LoadPolynomial(data + at));
  alignas(16) char bytes[16];
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(a, reverse));
  return TableCrc16(data + at, size - at, TableCrc16(bytes, 16, 0));
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

uint16_t Crc16(const char* data, size_t size, uint16_t crc) {
#if defined(__x86_64__)
  if (size >= 256 && HasCarrylessMultiply()) return FoldingCrc16(data, size, crc);
#endif
  return TableCrc16(data, size, crc);
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

ListCrc CheckListCrcWithCrLf(std::string_view list) {
  ListCrc result = CheckListCrc(list);
  std::string_view text = TextBeforeCtrlZ(list);
  size_t at = text.find('\n');
  at = at == std::string_view::npos ? text.size() : at + 1;
  uint16_t crc = 0;
  while (at < text.size()) {
    size_t lf = text.find('\n', at);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t body_end = end > at && text[end - 1] == '\r' ? end - 1 : end;
    crc = Crc16(text.data() + at, body_end - at, crc);
    if (lf != std::string_view::npos) crc = Crc16("\r\n", 2, crc);
    at = end + 1;
  }
  result.actual_crc = crc;
  return result;
}

FullListCrc CheckFullListCrc(std::string_view list) {
  FullListCrc check;
  check.as_is = CheckListCrc(list);
  ListCrc restored = CrcChecks(check.as_is) ? check.as_is : CheckListCrcWithCrLf(list);
  check.checks = CrcChecks(restored);
  check.crc = restored.actual_crc;
  return check;
}

std::string CrcText(uint16_t crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%05u", static_cast<unsigned>(crc));
  return text;
}

}  // namespace tessel
