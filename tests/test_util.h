// Shared helpers of the test suite: scratch directories, files, index heads
// and runs of the built program.
#ifndef TESSEL_TESTS_TEST_UTIL_H_
#define TESSEL_TESTS_TEST_UTIL_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessel::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of "name" inside the directory.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Sets a file's last-write time to "seconds" after 1970-01-01 UTC.
void SetMtime(const std::string& path, int64_t seconds);

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
// A config.qdx of "size" bytes holding "data_path" at byte 155.
std::string HostConfig(const std::string& data_path, size_t size = 300);
// Joins lines with CR LF (or "line_end"), ending the last one too.
std::string Lines(const std::vector<std::string>& lines, const std::string& line_end = "\r\n");

struct RunResult {
  std::string out;  // standard output, byte for byte
  int status = -1;  // exit status
};

// Runs the built tessel with "args" in directory "dir", with TZ=UTC and
// KORVO unset, plus "env" ("NAME=value") entries. A run that does not end
// within two minutes is killed and fails the test with an exception.
RunResult RunTessel(const std::string& dir, const std::vector<std::string>& args = {},
                    const std::vector<std::string>& env = {});

// Standard output, standard error and exit status of a run of a tool.
struct ToolRun {
  std::string out, err;
  int status = -1;
};

// Runs "binary" with "args" in "dir", KORVO unset.
ToolRun RunBinary(const std::string& binary, const std::string& dir, std::vector<std::string> args);

// The banner the program prints first.
std::string Banner();

// Decoded entry of an index file.
struct Entry {
  uint8_t slot;
  uint16_t zone, net, node;
  uint8_t tail_length;
  int32_t line_offset;
};
Entry DecodeEntry(const std::string& index, size_t offset);

// The directory of the real published nodelists, or "" when absent.
std::string SharedDataDir();

}  // namespace tessel::test

#endif  // TESSEL_TESTS_TEST_UTIL_H_
