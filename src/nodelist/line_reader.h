// Reads a nodelist as text, line by line, through a caller's buffer.
//
// A line is taken up to its line feed or until 255 characters have been
// taken, whichever comes first; a carriage return just before the line feed
// is dropped, and the rest of a longer line is skipped. Ctrl-Z inside a
// line is an ordinary character, but the file ends where a line would start
// with one. The reader keeps the true byte position of every line, so
// offsets are right for LF-only files and over-long lines too.
#ifndef TESSEL_NODELIST_LINE_READER_H_
#define TESSEL_NODELIST_LINE_READER_H_

#include <cstdint>

#include "platform/platform.h"

namespace tessel {

constexpr char kCtrlZ = 26;  // closes a nodelist

struct LineReader {
  const Platform* platform = nullptr;
  FileId file = kNoFile;
  uint8_t* buffer = nullptr;
  uint32_t capacity = 0;
  uint32_t start = 0;  // next unread byte of the buffer
  uint32_t end = 0;    // bytes in the buffer
  bool file_ended = false;
  int64_t position = 0;  // file offset of buffer[start]
  int error = 0;         // the platform's error, after a failed read
};

// Prepares "reader" to read "file" through "buffer".
void StartLineReader(LineReader* reader, const Platform& platform, FileId file, uint8_t* buffer,
                     uint32_t capacity);

// Reads the next line into "line" (room for 255 characters) and its length
// into "*length"; "*line_start" receives the line's byte offset in the
// file. Returns false on a read error (in reader->error).
bool ReadTextLine(LineReader* reader, char* line, int* length, int64_t* line_start);

// TextEnded once the buffer is used up: reads on first.
bool TextEndedAfterBuffer(LineReader* reader, bool* ended);

// Whether the file has ended: no byte remains, or the next one is Ctrl-Z.
// Returns false on a read error (in reader->error); "*ended" tells.
inline bool TextEnded(LineReader* reader, bool* ended) {
  if (reader->start == reader->end) return TextEndedAfterBuffer(reader, ended);
  *ended = reader->buffer[reader->start] == kCtrlZ;
  return true;
}

}  // namespace tessel

#endif  // TESSEL_NODELIST_LINE_READER_H_
