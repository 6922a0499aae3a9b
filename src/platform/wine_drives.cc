#include "platform/wine_drives.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessel {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameIgnoringCase(std::string_view a, const char* b) {
  if (std::strlen(b) != a.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of directory "dir" named "name" without regard to case, or "".
std::string FindIgnoringCase(const std::string& dir, std::string_view name) {
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) return {};
  std::string found;
  while (const struct dirent* item = ::readdir(stream)) {
    if (SameIgnoringCase(name, item->d_name)) {
      found = item->d_name;
      break;
    }
  }
  ::closedir(stream);
  return found;
}

// The components of drive path "path" after its "C:", with "." and ".."
// taken by their letters; "*directory" tells whether it names a directory
// by its form (a trailing "/", or "." or ".." last).
std::vector<std::string_view> DriveComponents(std::string_view path, bool* directory) {
  std::vector<std::string_view> parts;
  std::string_view rest = path.substr(2);
  *directory = !rest.empty() && rest.back() == '/';
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (slash == std::string_view::npos && (part == "." || part == "..")) *directory = true;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
  }
  return parts;
}

}  // namespace

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string ResolveWineDrive(std::string_view path, std::string_view prefix) {
  if (!HasDriveLetter(path) || prefix.empty()) return std::string(path);
  std::string resolved = std::string(prefix) + "/dosdevices/" + LowerAscii(path[0]) + ":";
  struct stat st;
  if (::stat(resolved.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string(path);
  bool directory = false;
  bool matching = true;  // until a component is found nowhere
  for (std::string_view part : DriveComponents(path, &directory)) {
    std::string exact = resolved + "/" + std::string(part);
    if (matching && !Exists(exact)) {
      std::string name = FindIgnoringCase(resolved, part);
      matching = !name.empty();
      if (matching) exact = resolved + "/" + name;
    }
    resolved = std::move(exact);
  }
  if (directory) resolved += '/';
  return resolved;
}

std::string WinePrefix(const char* const* environment) {
  std::string prefix, home;
  for (const char* const* entry = environment; *entry != nullptr; ++entry) {
    std::string_view text = *entry;
    if (text.starts_with("WINEPREFIX=")) prefix = text.substr(11);
    if (text.starts_with("HOME=")) home = text.substr(5);
  }
  if (!prefix.empty()) return prefix;
  if (!home.empty()) return home + "/.wine";
  return {};
}

}  // namespace tessel
