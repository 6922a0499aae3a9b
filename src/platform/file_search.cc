#include "platform/file_search.h"

#include <algorithm>

namespace tessel {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool Accepts(SearchFilter filter, const DirEntry& entry) {
  if (filter == SearchFilter::kAnyEntry) return true;
  return entry.is_regular && !entry.hidden && !entry.name.empty() && entry.name[0] != '.';
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

std::string HostPath(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

std::string DisplayPath(std::string_view path) {
  std::string result(path);
#ifdef _WIN32
  std::replace(result.begin(), result.end(), '/', '\\');
#endif
  return result;
}

void SplitLastComponent(std::string_view path, std::string_view* directory, std::string_view* name) {
  size_t slash = path.rfind('/');
  size_t cut = slash == std::string_view::npos ? 0 : slash + 1;
  *directory = path.substr(0, cut);
  *name = path.substr(cut);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Greedy matching with one backtrack point: the last "*" seen.
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || UpperAscii(pattern[p]) == UpperAscii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool SearchOrderLess(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;  // most names share a long beginning
    auto ua = static_cast<unsigned char>(UpperAscii(a[i]));
    auto ub = static_cast<unsigned char>(UpperAscii(b[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::vector<DirEntry> SearchFilesUnordered(const Platform& platform, std::string_view pattern,
                                           SearchFilter filter) {
  std::string host = HostPath(pattern);
  std::string_view directory, name_pattern;
  SplitLastComponent(host, &directory, &name_pattern);
  std::vector<DirEntry> listing;
  std::string dir(directory);
  if (!platform.list_directory(platform.ctx, dir.c_str(), &listing)) return {};
  std::vector<DirEntry> found;
  for (DirEntry& entry : listing) {
    if (Accepts(filter, entry) && WildcardMatch(name_pattern, entry.name)) found.push_back(std::move(entry));
  }
  return found;
}

std::vector<DirEntry> SearchFiles(const Platform& platform, std::string_view pattern,
                                  SearchFilter filter) {
  std::vector<DirEntry> found = SearchFilesUnordered(platform, pattern, filter);
  std::sort(found.begin(), found.end(),
            [](const DirEntry& a, const DirEntry& b) { return SearchOrderLess(a.name, b.name); });
  return found;
}

bool FileExists(const Platform& platform, std::string_view path) {
  return !SearchFilesUnordered(platform, path, SearchFilter::kAnyEntry).empty();
}

int OpenExistingFile(const Platform& platform, std::string_view path, bool read_only,
                     FileId* file, std::string* opened) {
  auto open = read_only ? platform.open_read : platform.open_existing;
  *opened = HostPath(path);
  int error = open(platform.ctx, opened->c_str(), file);
  if (error != kErrFileNotFound) return error;

  std::string_view directory, name;
  SplitLastComponent(*opened, &directory, &name);
  std::string dir(directory);
  std::vector<DirEntry> listing;
  if (!platform.list_directory(platform.ctx, dir.c_str(), &listing)) return error;
  const DirEntry* match = nullptr;
  for (const DirEntry& entry : listing) {
    if (EqualIgnoringCase(entry.name, name) && (match == nullptr || SearchOrderLess(entry.name, match->name))) {
      match = &entry;
    }
  }
  if (match == nullptr) return error;
  *opened = dir + match->name;
  return open(platform.ctx, opened->c_str(), file);
}

int CreateOrTruncate(const Platform& platform, const char* path, FileId* file) {
  FileInfo info;
  *file = kNoFile;
  int error = platform.entry_info(platform.ctx, path, &info);
  if (error == kErrFileNotFound || (error == 0 && !info.is_link && info.link_count <= 1)) {
    return platform.create(platform.ctx, path, file);
  }
  if (error == 0) error = platform.remove(platform.ctx, path);
  return error != 0 ? error : platform.create_new(platform.ctx, path, file);
}

}  // namespace tessel
