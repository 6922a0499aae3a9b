#include "index_tool/index_lookup.h"

#include <filesystem>
#include <iostream>

#include "platform/file_search.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

// What tessel's code would have printed on the console.
std::string caught_console;

void CatchConsole(void*, const char* data, size_t size) { caught_console.append(data, size); }

// Why tessel finds no index, after a search that ended without one.
std::string NotFoundReason(const RunState& state, const IndexSearchTrace& trace) {
  if (!trace.config_found) {
    if (trace.home.empty()) return "it is not in the current directory, KORVO is not set and there is no config.qdx here";
    return "it is not in the current directory, and KORVO names " + trace.home + ", which holds no config.qdx";
  }
  return "it is not in the current directory, nor at " + state.settings.index_path + ", where " + trace.config_path +
         " points";
}

}  // namespace

Platform CatchingConsole(const Platform& base) {
  Platform platform = base;
  platform.write_console = CatchConsole;
  caught_console.clear();
  return platform;
}

std::string TakeCaughtMessage() {
  std::string text;
  for (char c : caught_console) {
    if (c == '\n') {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else if (c != '\r' && c != '\a') {
      text += c;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  caught_console.clear();
  return text;
}

bool LookUpIndex(RunState* state, bool* found, IndexSearchTrace* trace, std::string* message) {
  caught_console.clear();
  bool went_on = LocateIndex(state, found, trace);
  *message = TakeCaughtMessage();
  return went_on;
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ignored);
  std::string text = absolute.lexically_normal().string();
  if (!path.empty() && path.back() == '/' && (text.empty() || text.back() != '/')) text += '/';
  return text;
}

std::string IndexPath(const ToolOptions& options) {
  return options.index_path.empty() ? PathIn(options.data_dir, kIndexFileName) : options.index_path;
}

int UseTesselsIndex(ToolOptions* options, bool creating) {
  Platform platform = CatchingConsole(*options->platform);
  RunState state;
  state.platform = &platform;
  bool found = false;
  IndexSearchTrace trace;
  std::string message;
  if (!LookUpIndex(&state, &found, &trace, &message)) {
    if (creating) return kToolOk;  // init may be about to mend config.qdx
    std::cerr << "tessel-index: looking for the index as tessel does: " << message << "\n";
    return kToolFileError;
  }
  if (found && !trace.in_current_directory) {
    options->index_path = HostPath(state.settings.index_path);
    std::string_view directory, name;
    SplitLastComponent(options->index_path, &directory, &name);
    options->data_dir = std::string(directory);
    std::cout << "Using the index " << Absolute(options->index_path) << ", named by "
              << Absolute(HostPath(trace.config_path)) << "\n";
  }
  if (found || creating) return kToolOk;
  std::cerr << "tessel-index: nlindex.qdx not found: " << NotFoundReason(state, trace)
            << " (tessel-index check explains the setup)\n";
  return kToolFileError;
}

}  // namespace tessel
