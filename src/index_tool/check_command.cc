// check: explains a setup the way tessel sees it, for a person. It runs
// tessel's own code for finding the index, reading its catalogue and
// resolving every slot to its newest nodelist, with tessel's console output
// caught instead of printed, so it cannot tell a different story.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "index_tool/commands.h"
#include "index_tool/index_file.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "platform/platform.h"
#include "run/locate_index.h"
#include "storage/heap.h"
#include "storage/run_state.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

// What tessel's code would have printed on the console.
std::string caught_console;

void CatchConsole(void*, const char* data, size_t size) { caught_console.append(data, size); }

// The caught console text as one plain line: no CR, BEL or blank lines.
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

// "path" made absolute against the current directory, for messages.
std::string Absolute(const std::string& path) {
  std::error_code ignored;
  fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), ignored);
  std::string text = absolute.lexically_normal().string();
  if (!path.empty() && path.back() == '/' && (text.empty() || text.back() != '/')) text += '/';
  return text;
}

// A directory as the start of a path: "" stays "" (the current directory),
// anything else ends in "/".
std::string AsPrefix(std::string dir) {
  dir = HostPath(dir);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

struct Checker {
  const Platform& platform;
  RunState state;
  std::string data_dir;  // --data, "" when not given
  std::vector<std::string> problems;
  bool unreadable = false;

  void Problem(const std::string& text) { problems.push_back(text); }

  int ExitStatus() const {
    if (unreadable) return kToolFileError;
    return problems.empty() ? kToolOk : kToolNoMatchOrFaults;
  }

  // Ends the check where tessel's own run would have ended with a message.
  int StoppedByTessel(const std::string& what) {
    std::string message = TakeCaughtMessage();
    std::cout << "  tessel would stop " << what << ": " << message << "\n";
    Problem("tessel stops " + what + ": " + message);
    unreadable = true;
    return Finish();
  }

  int Finish() {
    std::cout << "\n";
    if (problems.empty()) {
      std::cout << "No problems: tessel finds the index and every catalogued nodelist.\n";
    } else {
      std::cout << (problems.size() == 1 ? "1 problem:\n" : std::to_string(problems.size()) + " problems:\n");
      for (const std::string& problem : problems) std::cout << "  - " << problem << "\n";
    }
    return ExitStatus();
  }

  // Where the index was looked for; returns whether tessel finds one.
  bool ReportLocation(bool* stopped) {
    IndexSearchTrace trace;
    bool found = false;
    *stopped = !LocateIndex(&state, &found, &trace);
    std::cout << "Index\n  nlindex.qdx in the current directory: "
              << (trace.in_current_directory ? "found" : "not there") << "\n";
    if (trace.in_current_directory) {
      if (!EnvironmentValue(platform, kHomeVariable).empty()) std::cout << "  (so KORVO is not consulted)\n";
      return found;
    }
    if (trace.home.empty()) {
      std::cout << "  KORVO is not set, so config.qdx is looked for in the current directory\n";
    } else {
      std::cout << "  KORVO names " << trace.home << "\n";
    }
    std::cout << "  " << Absolute(HostPath(trace.config_path)) << ": " << (trace.config_found ? "found" : "not there")
              << "\n";
    if (!trace.config_found || *stopped) return found;
    std::cout << "  its DataPath: \"" << state.settings.data_path << "\"\n"
              << "  " << Absolute(HostPath(state.settings.index_path)) << ": " << (found ? "found" : "not there")
              << "\n";
    const std::string& data_path = state.settings.data_path;
    if (!found && !data_path.empty() && data_path.back() != '/' && data_path.back() != '\\') {
      Problem("the DataPath in " + trace.config_path + " does not end in \"/\" or \"\\\", so tessel looks for " +
              state.settings.index_path);
    }
    return found;
  }

  // The file tessel would read for slot "s", after tessel's own preparation
  // of the slot; "before" is the slot as the index holds it.
  void ReportSlot(int s, const NodelistSlot& before, std::vector<std::string>* rebuild_reasons) {
    std::string base(SlotBaseName(before));
    std::cout << "  slot " << s << "  ";
    if (before.base_name[0] == 0) {
      std::cout << "(empty)\n";
      return;
    }
    state.settings.force_rebuild = false;
    PrepareSlot(&state, s);
    if (before.base_name[0] < kMinBaseNameLength) {
      std::cout << base << ": not used, a base name needs 5 or more characters\n";
      Problem("slot " + std::to_string(s) + ": base name \"" + base +
              "\" is too short for tessel (5 characters at least)");
      return;
    }
    const NodelistSlot& after = Slot(state, s);
    std::string path = NodelistPath(after);
    FileId file = kNoFile;
    std::string opened;
    int error = OpenExistingFile(platform, path, /*read_only=*/true, &file, &opened);
    if (error == 0) {
      platform.close(platform.ctx, file);
      std::cout << base << ": reads " << opened << "\n";
    } else if (error == kErrFileNotFound || error == kErrPathNotFound) {
      ReportMissing(s, base, path, ExtensionLength(after) > 0);
    } else {
      std::cout << base << ": " << opened << " cannot be read (" << ErrorText(error) << ")\n";
      Problem("slot " + std::to_string(s) + ": " + opened + " cannot be read: " + ErrorText(error));
      unreadable = true;
    }
    std::string without;
    if (EndsInNumberedExtension(base, &without)) {
      Problem("slot " + std::to_string(s) + ": base name \"" + base +
              "\" already carries a numbered extension, so tessel reads " + path + "; the base name should be \"" +
              without + "\"");
    }
    if (state.settings.force_rebuild) {
      std::string old_extension(SlotExtension(before));
      std::string built_from = old_extension.empty() ? "none of its files yet" : base + "." + old_extension;
      rebuild_reasons->push_back("slot " + std::to_string(s) + " has a new file, " + (error == 0 ? opened : path) +
                                 " (the index was built from " + built_from + ")");
    }
  }

  // A slot whose nodelist tessel would not find at "path": the directory
  // searched, and any other directory from which the base name would have
  // worked. "resolved" tells whether the slot names a file of its own.
  void ReportMissing(int s, const std::string& base, const std::string& path, bool resolved) {
    std::string host = HostPath(base);
    std::string_view directory, name;
    SplitLastComponent(host, &directory, &name);
    std::string searched = Absolute(std::string(directory));
    if (resolved) {
      std::cout << base << ": missing (tessel would read " << path << ", which is not in " << searched << ")\n";
    } else {
      std::cout << base << ": missing (no " << SplitNodelistPath(name).name << ".nnn in " << searched << ")\n";
    }
    std::string without;
    bool numbered = EndsInNumberedExtension(base, &without);
    std::string problem = "slot " + std::to_string(s) + ": no nodelist for " + base + " in " + searched;
    if (!host.starts_with('/') && !numbered) {
      std::vector<std::string> elsewhere = {data_dir, state.settings.data_path,
                                            EnvironmentValue(platform, kHomeVariable)};
      for (const std::string& dir : elsewhere) {
        std::string prefix = AsPrefix(dir);
        if (prefix.empty() || Absolute(prefix) == Absolute("")) continue;
        if (!NewestNodelistFile(platform, prefix + host).empty()) {
          problem += "; run from " + Absolute(prefix) +
                     " tessel would find it (nodelist paths are taken from the directory tessel runs in)";
          break;
        }
      }
    }
    Problem(problem);
  }
};

}  // namespace

int RunCheck(const ToolOptions& options) {
  Platform platform = NativePlatform();
  platform.write_console = CatchConsole;
  caught_console.clear();
  Checker checker{platform, {}, options.data_dir, {}, false};
  RunState& state = checker.state;
  state.platform = &platform;
  InitHeap(&state.heap, kWorkingHeapSize);

  std::cout << "The setup as tessel sees it when run in " << Absolute("") << "\n\n";
  bool stopped = false;
  bool found = checker.ReportLocation(&stopped);
  if (stopped) return checker.StoppedByTessel("reading the host configuration");
  if (!options.data_dir.empty()) {
    std::string given = PathIn(options.data_dir, kIndexFileName);
    bool same = found && Absolute(HostPath(state.settings.index_path)) == Absolute(given);
    std::cout << "  --data names " << (same ? "the same index" : "another index: " + Absolute(given)) << "\n";
    if (!same) {
      checker.Problem("tessel run here does not use " + given +
                      (found ? ": it uses " + Absolute(HostPath(state.settings.index_path)) : ": it finds no index"));
    }
    state.settings.index_path = given;
    found = FileExists(platform, given);
    if (!found) checker.Problem("there is no " + given);
  } else if (!found) {
    checker.Problem("tessel finds no index: it would print \"nlindex.qdx not found; please set up nodelists in "
                    "CONFIG.\" and end with status 0 (tessel-index init creates one)");
  }
  if (!found) return checker.Finish();
  if (!ReadIndexHead(&state)) return checker.StoppedByTessel("reading " + state.settings.index_path);
  std::cout << "  tessel uses " << Absolute(HostPath(state.settings.index_path)) << ", " << state.head.slot_count
            << (state.head.slot_count == 1 ? " slot\n" : " slots\n");

  std::cout << "\nNodelists (paths are taken from the directory tessel runs in)\n";
  std::vector<std::string> rebuild_reasons;
  for (int s = 1; s <= state.head.slot_count; ++s) {
    NodelistSlot before = Slot(state, s);
    checker.ReportSlot(s, before, &rebuild_reasons);
  }
  if (state.head.slot_count == 0) std::cout << "  (the catalogue is empty)\n";

  std::cout << "\nRebuild\n";
  if (rebuild_reasons.empty()) {
    std::cout << "  no: tessel would say the index is up to date (tessel -F forces a rebuild)\n";
  } else {
    for (const std::string& reason : rebuild_reasons) std::cout << "  yes: " << reason << "\n";
  }
  return checker.Finish();
}

}  // namespace tessel
