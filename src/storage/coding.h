// Little-endian encoding of fixed-width integers, by byte shifts, so that the
// bytes on disk are the same on any host.
#ifndef TESSEL_STORAGE_CODING_H_
#define TESSEL_STORAGE_CODING_H_

#include <cstdint>

namespace tessel {

inline uint16_t GetU16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetU32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t GetI32LE(const uint8_t* p) { return static_cast<int32_t>(GetU32LE(p)); }

inline void PutU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutI32LE(uint8_t* p, int32_t v) { PutU32LE(p, static_cast<uint32_t>(v)); }

}  // namespace tessel

#endif  // TESSEL_STORAGE_CODING_H_
