#include "run/locate_index.h"

#include "platform/file_search.h"
#include "storage/fatal_errors.h"

namespace tessel {
namespace {

constexpr size_t kMaxPathLength = 255;

// Joins two strings as the host's strings do: cut at 255 characters.
std::string Join(std::string_view a, std::string_view b) {
  std::string joined(a);
  joined += b;
  if (joined.size() > kMaxPathLength) joined.resize(kMaxPathLength);
  return joined;
}

// Reads the DataPath stored in the host configuration file "path".
bool ReadDataPath(RunState* state, const std::string& path) {
  const Platform& platform = *state->platform;
  FileId file = kNoFile;
  std::string opened;
  int error = OpenExistingFile(platform, path, /*read_only=*/false, &file, &opened);
  if (error != 0) return FatalIoError(state, error, "opening", path);
  uint8_t field[kDataPathFieldSize] = {};
  uint32_t moved = 0;
  error = platform.seek(platform.ctx, file, kDataPathOffset);
  if (error == 0) error = platform.read(platform.ctx, file, field, sizeof field, &moved);
  // A file that ends early leaves the rest of the field as zeros; one that
  // holds no byte of it at all is an error.
  if (error == 0 && moved == 0) error = kErrShortRead;
  if (error != 0) {
    platform.close(platform.ctx, file);
    return FatalIoError(state, error, "reading", opened);
  }
  error = platform.close(platform.ctx, file);
  if (error != 0) return FatalIoError(state, error, "closing", opened);
  state->settings.data_path = DecodeDataPath(field);
  return true;
}

}  // namespace

std::string EnvironmentValue(const Platform& platform, std::string_view name) {
  const char* const* environment = platform.environment(platform.ctx);
  for (; environment != nullptr && *environment != nullptr; ++environment) {
    std::string_view entry = *environment;
    size_t equals = entry.find('=');
    if (equals != std::string_view::npos && EqualIgnoringCase(entry.substr(0, equals), name)) {
      return std::string(entry.substr(equals + 1));
    }
  }
  return "";
}

bool LocateIndex(RunState* state, bool* found, IndexSearchTrace* trace) {
  const Platform& platform = *state->platform;
  IndexSearchTrace ignored;
  if (trace == nullptr) trace = &ignored;
  *trace = IndexSearchTrace{};
  state->settings.data_path.clear();
  state->settings.index_path = kIndexFileName;
  *found = FileExists(platform, kIndexFileName);
  trace->in_current_directory = *found;
  if (*found) return true;

  std::string home = EnvironmentValue(platform, kHomeVariable);
  if (home.size() > kMaxPathLength) home.resize(kMaxPathLength);
  if (!home.empty() && home.back() != '\\' && home.back() != '/') home = Join(home, "/");
  std::string config = Join(home, kHostConfigFileName);
  trace->home = home;
  trace->config_path = config;
  trace->config_found = FileExists(platform, config);
  if (!trace->config_found) return true;
  if (!ReadDataPath(state, config)) return false;
  state->settings.index_path = Join(state->settings.data_path, kIndexFileName);
  *found = FileExists(platform, state->settings.index_path);
  return true;
}

}  // namespace tessel
