#include "nodelist/line_reader.h"

#include <algorithm>
#include <cstring>

#include "nodelist/line_splitter.h"

#if TESSEL_SCAN_SSE2
#include <emmintrin.h>
#endif

namespace tessel {
namespace {

// Makes sure unread bytes are in the buffer, unless the file has ended.
bool Fill(LineReader* reader) {
  if (reader->start < reader->end || reader->file_ended) return true;
  uint32_t moved = 0;
  int error = reader->platform->read(reader->platform->ctx, reader->file, reader->buffer, reader->capacity, &moved);
  if (error != 0) {
    reader->error = error;
    return false;
  }
  reader->start = 0;
  reader->end = moved;
  if (moved == 0) reader->file_ended = true;
  return true;
}

void Consume(LineReader* reader, uint32_t count) {
  reader->start += count;
  reader->position += count;
}

#if TESSEL_SCAN_SSE2
// Most lines lie whole in the buffer: they are looked through and copied
// 16 characters at a time, as far as both the buffer and the line's 255
// characters allow whole blocks; the rest of the way is TakeUpToLineFeed's.
// Returns the characters taken, the line feed not consumed when
// "*at_line_feed" tells that one ended them.
int TakeWholeBlocks(LineReader* reader, char* line, bool* at_line_feed) {
  const uint8_t* next = reader->buffer + reader->start;
  uint32_t limit = std::min<uint32_t>(reader->end - reader->start, kMaxLineLength);
  const __m128i line_feed = _mm_set1_epi8('\n');
  uint32_t i = 0;
  for (; i + 16 <= limit; i += 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + i), chunk);
    auto feeds = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, line_feed)));
    if (feeds != 0) {
      uint32_t taken = i + static_cast<uint32_t>(__builtin_ctz(feeds));
      Consume(reader, taken);
      *at_line_feed = true;
      return static_cast<int>(taken);
    }
  }
  Consume(reader, i);
  return static_cast<int>(i);
}
#endif

// Takes the line's characters from "*taken" on, up to its line feed (not
// consumed; "*at_line_feed" tells), its 255th character or the file's end,
// refilling the buffer as it runs out. Returns false on a read error.
bool TakeUpToLineFeed(LineReader* reader, char* line, int* taken, bool* at_line_feed) {
  while (*taken < kMaxLineLength) {
    if (!Fill(reader)) return false;
    if (reader->start == reader->end) break;
    const uint8_t* next = reader->buffer + reader->start;
    uint32_t room = std::min<uint32_t>(reader->end - reader->start, kMaxLineLength - *taken);
    const void* feed = std::memchr(next, '\n', room);
    uint32_t count = feed ? static_cast<uint32_t>(static_cast<const uint8_t*>(feed) - next) : room;
    std::memcpy(line + *taken, next, count);
    *taken += static_cast<int>(count);
    Consume(reader, count);
    if (feed) {
      *at_line_feed = true;
      break;
    }
  }
  return true;
}

// Skips the rest of an over-long line, through its line feed. Returns
// false on a read error.
bool SkipRestOfLine(LineReader* reader) {
  for (;;) {
    if (!Fill(reader)) return false;
    if (reader->start == reader->end) return true;
    const uint8_t* next = reader->buffer + reader->start;
    uint32_t room = reader->end - reader->start;
    const void* feed = std::memchr(next, '\n', room);
    if (feed) {
      Consume(reader, static_cast<uint32_t>(static_cast<const uint8_t*>(feed) - next) + 1);
      return true;
    }
    Consume(reader, room);
  }
}

}  // namespace

void StartLineReader(LineReader* reader, const Platform& platform, FileId file, uint8_t* buffer,
                     uint32_t capacity) {
  *reader = LineReader{};
  reader->platform = &platform;
  reader->file = file;
  reader->buffer = buffer;
  reader->capacity = capacity;
}

bool ReadTextLine(LineReader* reader, char* line, int* length, int64_t* line_start) {
  *line_start = reader->position;
  int taken = 0;
  bool at_line_feed = false;
#if TESSEL_SCAN_SSE2
  taken = TakeWholeBlocks(reader, line, &at_line_feed);
#endif
  if (!at_line_feed && !TakeUpToLineFeed(reader, line, &taken, &at_line_feed)) return false;
  if (at_line_feed) {
    if (taken > 0 && line[taken - 1] == '\r') --taken;
    Consume(reader, 1);
  } else if (!SkipRestOfLine(reader)) {
    return false;
  }
  *length = taken;
  return true;
}

bool TextEndedAfterBuffer(LineReader* reader, bool* ended) {
  if (!Fill(reader)) return false;
  *ended = reader->start == reader->end || reader->buffer[reader->start] == kCtrlZ;
  return true;
}

}  // namespace tessel
