#include "index_tool/tool_files.h"

#include <filesystem>
#include <vector>

#include "platform/file_search.h"

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
  std::string temp_path = std::string(directory) + temp_name;
  // Whatever holds the temporary name (left by a killed run, or a link
  // planted there) is removed, never opened: the file is made new.
  platform.remove(platform.ctx, temp_path.c_str());
  FileId file = kNoFile;
  int error = platform.create_new(platform.ctx, temp_path.c_str(), &file);
  if (error != 0) return error;
  uint32_t moved = 0;
  error = platform.write(platform.ctx, file, bytes.data(), static_cast<uint32_t>(bytes.size()), &moved);
  if (error == 0 && moved != bytes.size()) error = kErrShortWrite;
  if (error == 0) error = platform.sync(platform.ctx, file);
  // Only the file made here is renamed into place: the temporary name must
  // still hold it.
  FileInfo mine, there;
  if (error == 0) error = platform.open_file_info(platform.ctx, file, &mine);
  if (error == 0) error = platform.entry_info(platform.ctx, temp_path.c_str(), &there);
  if (error == 0 && (there.is_link || there.device != mine.device || there.inode != mine.inode)) {
    error = kErrAccessDenied;
  }
  int close_error = platform.close(platform.ctx, file);
  if (error == 0) error = close_error;
  if (error == 0) error = platform.rename(platform.ctx, temp_path.c_str(), host_path.c_str());
  if (error != 0) platform.remove(platform.ctx, temp_path.c_str());
  return error;
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
