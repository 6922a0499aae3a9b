#include "testing/scratch_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>

#include <random>
#endif

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessel::test {
namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
#ifdef _WIN32
  std::random_device seed;
  std::mt19937_64 random(seed() ^ GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Forward slashes, as the programs print paths, and a short name: the
    // host's data directory holds 45 characters at most.
    path_ = (fs::temp_directory_path() / ("tessel-" + std::to_string(random() % 1000000))).generic_string();
    std::error_code error;
    if (fs::create_directory(path_, error)) return;
  }
  throw std::runtime_error("cannot make a scratch directory");
#else
  std::string pattern = (fs::temp_directory_path() / "tessel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
#endif
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Make read-only files and directories removable again.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
  }
  fs::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

void LinkOrCopy(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::create_symlink(from, to, error);
  if (error) fs::copy_file(from, to);
}

void SetMtime(const std::string& path, int64_t seconds) {
#ifdef _WIN32
  uint64_t ticks = static_cast<uint64_t>(seconds * 10000000LL + 116444736000000000LL);
  FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool set = h != INVALID_HANDLE_VALUE && SetFileTime(h, &time, &time, &time);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (!set) throw std::runtime_error("SetFileTime " + path);
#else
  struct timespec times[2];
  times[0].tv_sec = seconds;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat " + path);
#endif
}

}  // namespace tessel::test
