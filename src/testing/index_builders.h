// Index heads, host configuration files and nodelist text as the host and
// its sysop write them, for tests, fuzz targets and the benchmark. Built on
// storage/index_format.h, so that every index made for testing has the
// program's own layout.
#ifndef TESSEL_TESTING_INDEX_BUILDERS_H_
#define TESSEL_TESTING_INDEX_BUILDERS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/index_format.h"

namespace tessel::test {

// A catalogue slot as the host's configuration program writes it.
struct SlotSpec {
  std::string base_name;
  std::string extension;  // without the dot
  uint16_t highest_zone = 0;
};

// The 47 bytes of a slot.
std::string SlotBytes(const SlotSpec& slot);
// An index head: the 12-byte header (FirstEntryOffset = 13 + 47n, the two
// other words as given), the slots and the marker byte.
std::string IndexHead(const std::vector<SlotSpec>& slots, uint32_t first_word = 0, uint32_t third_word = 0);
// A config.qdx of "size" bytes holding "data_path" at byte 155 (cut to what
// the file holds).
std::string HostConfig(const std::string& data_path, size_t size = 300);
// Joins lines with CR LF (or "line_end"), ending the last one too.
std::string Lines(const std::vector<std::string>& lines, const std::string& line_end = "\r\n");

// The entry at byte "offset" of an index file's bytes, its slot byte as
// stored (not negated back).
using Entry = EntryFields;
Entry ReadEntry(const std::string& index, size_t offset);

}  // namespace tessel::test

#endif  // TESSEL_TESTING_INDEX_BUILDERS_H_
