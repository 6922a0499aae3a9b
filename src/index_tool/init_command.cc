// init: what the host's configuration program writes before the first
// build: an index holding only its head, and the host configuration file
// that names the index's directory.
#include <filesystem>
#include <iostream>

#include "index/index_format.h"
#include "index_tool/commands.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

int Refuse(const std::string& file, const std::string& problem) {
  std::cerr << "tessel-index: " << file << ": " << problem << "\n";
  return kToolUsage;
}

int WriteFailed(const std::string& file, int error) {
  std::cerr << "tessel-index: " << file << ": cannot write: " << ErrorText(error) << "\n";
  return kToolFileError;
}

// The head of an empty index: header, one empty slot per base name, marker.
std::string EmptyIndexBytes(const std::vector<std::string>& base_names) {
  std::vector<NodelistSlot> slots;
  for (const std::string& name : base_names) slots.push_back(MakeSlot(name, ""));
  int count = static_cast<int>(slots.size());
  return IndexHeadBytes(MakeIndexHeader(count), slots.data(), count);
}

// The index's directory as the host configuration stores it: absolute, so
// that tessel finds it from any directory, and ending in "/".
std::string DataPathFor(const std::string& data_dir) {
  std::error_code ignored;
  fs::path dir = fs::absolute(data_dir.empty() ? fs::path(".") : fs::path(data_dir), ignored);
  std::string text = dir.lexically_normal().string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// Writes "data_path" into the host configuration file "path", keeping
// whatever else an existing file holds.
int WriteHostConfig(const Platform& platform, const std::string& path, const std::string& data_path) {
  std::string bytes;
  if (NameExists(platform, path)) {
    int error = ReadWholeFile(platform, path, &bytes);
    if (error != 0) {
      std::cerr << "tessel-index: " << path << ": cannot read: " << ErrorText(error) << "\n";
      return kToolFileError;
    }
  }
  StoreDataPath(&bytes, data_path);
  int error = WriteWholeFile(platform, path, bytes);
  return error == 0 ? kToolOk : WriteFailed(path, error);
}

}  // namespace

std::string PathIn(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

int RunInit(const ToolOptions& options) {
  const Platform& platform = *options.platform;
  std::string index_path = PathIn(options.data_dir, kIndexFileName);
  const std::vector<std::string>& names = options.operands;
  if (names.size() > kMaxSlots) {
    return Refuse(index_path, std::to_string(names.size()) + " base names, but a catalogue holds at most 255");
  }
  for (const std::string& name : names) {
    if (name.size() > kBaseNameCapacity) {
      return Refuse(index_path, "base name \"" + name + "\" has " + std::to_string(name.size()) +
                                    " characters; a slot holds at most 40");
    }
    if (name.size() < kMinBaseNameLength) {
      return Refuse(index_path, "base name \"" + name + "\" has fewer than 5 characters, which marks an empty slot");
    }
    std::string without;
    if (EndsInNumberedExtension(name, &without)) {
      return Refuse(index_path, "base name \"" + name + "\" ends in a numbered extension; use \"" + without +
                                    "\", which stands for its newest numbered file");
    }
  }
  std::string config_path, data_path;
  if (!options.home_dir.empty()) {
    config_path = PathIn(options.home_dir, kHostConfigFileName);
    data_path = DataPathFor(options.data_dir);
    if (data_path.size() > kDataPathCapacity) {
      return Refuse(config_path, "data directory \"" + data_path + "\" has " + std::to_string(data_path.size()) +
                                     " characters; the host configuration holds at most 45");
    }
    if (!options.force && NameExists(platform, config_path)) return Refuse(config_path, "exists; use --force to update it");
  }
  if (!options.force && NameExists(platform, index_path)) return Refuse(index_path, "exists; use --force to replace it");

  int error = WriteWholeFile(platform, index_path, EmptyIndexBytes(names));
  if (error != 0) return WriteFailed(index_path, error);
  std::cout << "Created " << index_path << " with " << names.size() << (names.size() == 1 ? " slot" : " slots")
            << "; run tessel to fill it.\n";
  if (!config_path.empty()) {
    int status = WriteHostConfig(platform, config_path, data_path);
    if (status != kToolOk) return status;
    std::cout << "Wrote " << config_path << " with DataPath " << data_path << "\n";
  }
  return kToolOk;
}

}  // namespace tessel
