// init: what the host's configuration program writes before the first
// build: an index holding only its head, and the host configuration file
// that names the index's directory.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "run/locate_index.h"
#include "storage/coding.h"
#include "storage/run_state.h"
#include "index_tool/commands.h"
#include "index_tool/index_file.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

int Refuse(const std::string& file, const std::string& problem) {
  std::cerr << "tessel-index: " << file << ": " << problem << "\n";
  return kToolUsage;
}

int WriteFailed(const std::string& file) {
  std::cerr << "tessel-index: " << file << ": cannot write: " << std::strerror(errno) << "\n";
  return kToolFileError;
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

// The head of an empty index: header, one empty slot per base name, marker.
std::string IndexHeadBytes(const std::vector<std::string>& base_names) {
  IndexHeader header = {};
  PutI32LE(header.first_entry_offset,
           static_cast<int32_t>(kHeadFixedSize + kSlotRecordSize * base_names.size()));
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  for (const std::string& name : base_names) {
    NodelistSlot slot = {};
    slot.base_name[0] = static_cast<uint8_t>(name.size());
    std::memcpy(slot.base_name + 1, name.data(), name.size());
    bytes.append(reinterpret_cast<const char*>(&slot), sizeof slot);
  }
  bytes.push_back('\x01');
  return bytes;
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
int WriteHostConfig(const std::string& path, const std::string& data_path) {
  std::string bytes;
  if (Exists(path)) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
      std::cerr << "tessel-index: " << path << ": cannot read: " << std::strerror(errno) << "\n";
      return kToolFileError;
    }
    bytes = content.str();
  }
  size_t field_end = kDataPathOffset + 1 + kDataPathCapacity;
  if (bytes.size() < field_end) bytes.resize(field_end, '\0');
  bytes[kDataPathOffset] = static_cast<char>(data_path.size());
  std::fill(bytes.begin() + kDataPathOffset + 1, bytes.begin() + static_cast<std::ptrdiff_t>(field_end), '\0');
  bytes.replace(kDataPathOffset + 1, data_path.size(), data_path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? kToolOk : WriteFailed(path);
}

}  // namespace

std::string PathIn(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

int RunInit(const ToolOptions& options) {
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
    if (!options.force && Exists(config_path)) return Refuse(config_path, "exists; use --force to update it");
  }
  if (!options.force && Exists(index_path)) return Refuse(index_path, "exists; use --force to replace it");

  std::string head = IndexHeadBytes(names);
  std::ofstream out(index_path, std::ios::binary | std::ios::trunc);
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  out.close();
  if (!out) return WriteFailed(index_path);
  std::cout << "Created " << index_path << " with " << names.size() << (names.size() == 1 ? " slot" : " slots")
            << "; run tessel to fill it.\n";
  if (!config_path.empty()) {
    int status = WriteHostConfig(config_path, data_path);
    if (status != kToolOk) return status;
    std::cout << "Wrote " << config_path << " with DataPath " << data_path << "\n";
  }
  return kToolOk;
}

}  // namespace tessel
