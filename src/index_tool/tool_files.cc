#include "index_tool/tool_files.h"

#include <filesystem>
#include <vector>

#include "platform/file_search.h"
#include "storage/new_file.h"

namespace tessel {

int ReadOpenFile(const Platform& platform, FileId file, std::string* bytes) {
  char buffer[65536];
  for (;;) {
    uint32_t moved = 0;
    int error = platform.read(platform.ctx, file, buffer, sizeof buffer, &moved);
    if (error != 0) return error;
    if (moved == 0) return 0;
    bytes->append(buffer, moved);
  }
}

std::string PathIn(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string AbsolutePath(const Platform& platform, const std::string& path) {
  std::filesystem::path absolute = platform.absolute_path(platform.ctx, path);
  std::string text = absolute.lexically_normal().string();
  if (!path.empty() && path.back() == '/' && (text.empty() || text.back() != '/')) text += '/';
  return DisplayPath(text);
}

std::string ShownPath(const Platform& platform, const std::string& path) {
  bool drive = path.size() >= 2 && path[1] == ':';
  return drive ? AbsolutePath(platform, path) : DisplayPath(path);
}

int ReadWholeFile(const Platform& platform, const std::string& path, std::string* bytes) {
  FileId file = kNoFile;
  int error = platform.open_read(platform.ctx, HostPath(path).c_str(), &file);
  if (error != 0) return error;
  error = ReadOpenFile(platform, file, bytes);
  int close_error = platform.close(platform.ctx, file);
  return error != 0 ? error : close_error;
}

int ReplaceWholeFile(const Platform& platform, const std::string& path, const std::string& temp_name,
                     const std::string& bytes) {
  std::string host_path = HostPath(path);
  std::string_view directory, name;
  SplitLastComponent(host_path, &directory, &name);
  NewFileStep failed;
  return WriteWholeNewFile(platform, host_path, std::string(directory) + temp_name, bytes, &failed);
}

bool NameExists(const Platform& platform, const std::string& path) {
  std::string host_path = HostPath(path);
  std::string_view directory, name;
  SplitLastComponent(host_path, &directory, &name);
  std::vector<DirEntry> entries;
  if (!platform.list_directory(platform.ctx, std::string(directory).c_str(), &entries)) return false;
  for (const DirEntry& entry : entries) {
    if (entry.name == name) return true;
  }
  return false;
}

}  // namespace tessel
