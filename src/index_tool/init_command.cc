// init: what the host's configuration program writes before the first
// build: an index holding only its head, and the host configuration file
// that names the index's directory.
#include <filesystem>

#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "nodediff/list_names.h"
#include "run/run_lock.h"
#include "storage/index_format.h"

namespace tessel {
namespace {

// config.qdx is written under this name beside it, then renamed over it.
constexpr const char* kNewHostConfigFileName = "config.bar";

int Refuse(const ToolOptions& options, const std::string& file, const std::string& problem) {
  Complain(options.report, file, problem);
  return kToolUsage;
}

int WriteFailed(const ToolOptions& options, const std::string& file, int error) {
  Complain(options.report, file, std::string("cannot write: ") + ErrorText(error));
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
// that tessel finds it from any directory, and ending in the separator
// ("/"; on Windows "\", as the host's own configuration program writes it).
std::string DataPathFor(const Platform& platform, const std::string& data_dir) {
  namespace fs = std::filesystem;
  fs::path dir = platform.absolute_path(platform.ctx, data_dir);
  std::string text = dir.lexically_normal().make_preferred().string();
  const char separator = static_cast<char>(fs::path::preferred_separator);
  if (text.empty() || text.back() != separator) text += separator;
  return text;
}

// Writes "data_path" into the host configuration file "path", keeping
// whatever else an existing file holds.
int WriteHostConfig(const ToolOptions& options, const std::string& path, const std::string& data_path) {
  const Platform& platform = *options.platform;
  std::string bytes;
  if (NameExists(platform, path)) {
    int error = ReadWholeFile(platform, path, &bytes);
    if (error != 0) {
      Complain(options.report, path, std::string("cannot read: ") + ErrorText(error));
      return kToolFileError;
    }
  }
  StoreDataPath(&bytes, data_path);
  int error = ReplaceWholeFile(platform, path, kNewHostConfigFileName, bytes);
  return error == 0 ? kToolOk : WriteFailed(options, path, error);
}

// Writes the index and config.qdx as a tessel run holding the locks of
// their directories would, so that no build is in between.
int InitLocked(const ToolOptions& options, const std::string& index_path, const std::string& config_path,
               const std::string& data_path) {
  const Platform& platform = *options.platform;
  if (!config_path.empty() && !options.force && NameExists(platform, config_path)) {
    return Refuse(options, config_path, "exists; use --force to update it");
  }
  if (!options.force && NameExists(platform, index_path)) {
    return Refuse(options, index_path, "exists; use --force to replace it");
  }

  int error = ReplaceWholeFile(platform, index_path, kNewIndexFileName, EmptyIndexBytes(options.operands));
  if (error != 0) return WriteFailed(options, index_path, error);
  size_t count = options.operands.size();
  Say(options.report, "Created " + ShownPath(platform, index_path) + " with " + std::to_string(count) +
                          (count == 1 ? " slot" : " slots") + "; run tessel to fill it.\n");
  if (!config_path.empty()) {
    int status = WriteHostConfig(options, config_path, data_path);
    if (status != kToolOk) return status;
    Say(options.report, "Wrote " + ShownPath(platform, config_path) + " with DataPath " + data_path + "\n");
  }
  return kToolOk;
}

// Base names that tessel would index twice, or never find: the same name
// twice (letter case and separators aside), or an archive's name. "" when
// there is none.
std::string CatalogueProblem(const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    std::string without;
    if (EndsInArchiveExtension(names[i], &without)) {
      return "base name \"" + names[i] + "\" ends in an archive's extension, which names no list tessel reads; use \"" +
             without + "\" (tessel-index update unpacks the archive beside it)";
    }
    for (size_t j = 0; j < i; ++j) {
      if (SameBaseName(names[i], names[j])) {
        return "base name \"" + names[i] + "\" is already catalogued as \"" + names[j] +
               "\"; twice, every node of it would be indexed twice";
      }
    }
  }
  return "";
}

}  // namespace

int RunInit(const ToolOptions& options) {
  const Platform& platform = *options.platform;
  std::string index_path = IndexPath(options);
  const std::vector<std::string>& names = options.operands;
  if (names.size() > kMaxSlots) {
    return Refuse(options, index_path, std::to_string(names.size()) + " base names, but a catalogue holds at most 255");
  }
  for (const std::string& name : names) {
    if (name.size() > kBaseNameCapacity) {
      return Refuse(
          options, index_path,
          "base name \"" + name + "\" has " + std::to_string(name.size()) + " characters; a slot holds at most 40");
    }
    if (name.size() < kMinBaseNameLength) {
      return Refuse(options, index_path,
                    "base name \"" + name + "\" has fewer than 5 characters, which marks an empty slot");
    }
    std::string without;
    if (EndsInNumberedExtension(name, &without)) {
      return Refuse(options, index_path,
                    "base name \"" + name + "\" ends in a numbered extension; use \"" + without +
                        "\", which stands for its newest numbered file");
    }
  }
  if (std::string problem = CatalogueProblem(names); !problem.empty()) return Refuse(options, index_path, problem);
  std::string config_path, data_path;
  if (!options.home_dir.empty()) {
    config_path = PathIn(options.home_dir, kHostConfigFileName);
    data_path = DataPathFor(platform, options.data_dir);
    if (data_path.size() > kDataPathCapacity) {
      return Refuse(options, config_path,
                    "data directory \"" + data_path + "\" has " + std::to_string(data_path.size()) +
                        " characters; the host configuration holds at most 45");
    }
  }

  DirectoryLocks locks;
  std::string failed;
  bool timed_out = false;
  const std::string& config_dir = options.home_dir.empty() ? options.data_dir : options.home_dir;
  int error = LockDirectories(platform, options.data_dir, config_dir, WaitingNotice(options.report), &locks, &failed,
                              &timed_out);
  if (error != 0) {
    Complain(
        options.report, failed,
        timed_out ? "gave up after 10 minutes waiting for its lock" : std::string("cannot lock: ") + ErrorText(error));
    return kToolFileError;
  }
  int status = InitLocked(options, index_path, config_path, data_path);
  UnlockDirectories(platform, &locks);
  return status;
}

}  // namespace tessel
