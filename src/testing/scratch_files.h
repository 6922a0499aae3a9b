// Scratch directories and whole-file helpers for tests that use the real
// disk.
#ifndef TESSEL_TESTING_SCRATCH_FILES_H_
#define TESSEL_TESTING_SCRATCH_FILES_H_

#include <cstdint>
#include <filesystem>
#include <string>

namespace tessel::test {

#ifdef _WIN32
// A path that also becomes a std::string (in the system's code page), as
// std::filesystem::path does on POSIX systems.
struct ScratchPath : std::filesystem::path {
  using std::filesystem::path::path;
  ScratchPath(std::filesystem::path p) : std::filesystem::path(std::move(p)) {}
  operator std::string() const { return generic_string(); }
};
#else
using ScratchPath = std::filesystem::path;
#endif

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const ScratchPath& path() const { return path_; }
  // The path of "name" inside the directory.
  std::string operator/(const std::string& name) const { return (path_ / name).generic_string(); }

 private:
  ScratchPath path_;
};

// Writes "bytes" as the whole file "path"; throws when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Whether "path" names anything, a link to nothing included.
bool Exists(const std::string& path);
// Makes "to" a symbolic link to "from", or a copy where the system makes
// none (Wine).
void LinkOrCopy(const std::string& from, const std::string& to);
// Sets a file's last-write time to "seconds" after 1970-01-01 UTC.
void SetMtime(const std::string& path, int64_t seconds);

}  // namespace tessel::test

#endif  // TESSEL_TESTING_SCRATCH_FILES_H_
