// check: explains a setup the way tessel sees it, for a person. It runs
// tessel's own code for finding the index, reading its catalogue and
// resolving every slot to its newest nodelist, with tessel's console output
// caught instead of printed, so it cannot tell a different story.
#include <string>
#include <vector>

#include "index_tool/check_findings.h"
#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "index_tool/index_file.h"
#include "nodediff/list_names.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "platform/platform.h"
#include "run/locate_index.h"
#include "storage/heap.h"
#include "storage/run_state.h"

namespace tessel {
namespace {

// A directory as the start of a path: "" stays "" (the current directory),
// anything else ends in "/".
std::string AsPrefix(std::string dir) {
  dir = HostPath(dir);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

struct Checker {
  CaughtConsole* caught;    // tessel's console, caught
  const Platform& platform;  // caught->platform
  const ReportSink& sink;    // where the explanation goes
  RunState state;
  std::string data_dir;  // --data, "" when not given
  CheckReport report;

  std::string drives_named;  // the drive letters CheckDrive has reported

  void Problem(const std::string& text) { report.problems.push_back(text); }
  std::string Absolute(const std::string& path) const { return AbsolutePath(platform, path); }

  // A drive letter that this system cannot reach (on Linux, one that no
  // Wine prefix maps), said once per letter.
  void CheckDrive(const std::string& path) {
    std::string prefix;
    if (!DriveUnmapped(platform, HostPath(path), &prefix)) return;
    char letter = static_cast<char>(path[0] & ~0x20);
    if (drives_named.find(letter) != std::string::npos) return;
    drives_named += letter;
    std::string where = prefix.empty() ? "no Wine prefix is known (neither WINEPREFIX nor HOME is set)"
                                       : "the Wine prefix " + prefix + " does not map it (it has no dosdevices/" +
                                             static_cast<char>(letter | 0x20) + ":)";
    Problem(path.substr(0, 2) + " (in " + path + ") is a Windows drive, but " + where +
            "; set WINEPREFIX to the prefix the host runs in");
  }

  // KORVO with blanks around it ("set KORVO=C:\BBS && tessel" keeps the
  // blank before "&&"): tessel takes them as part of the directory's name.
  void CheckKorvoBlanks(bool consulted) {
    std::string korvo = EnvironmentValue(platform, kHomeVariable);
    if (korvo.empty() || (korvo.find_first_of(" \t") != 0 && korvo.find_last_of(" \t") != korvo.size() - 1)) return;
    std::string text = "KORVO is \"" + korvo + "\", with blanks that tessel takes as part of the directory's name";
    text += "; in a batch file write set \"KORVO=C:\\BBS\" (quotes around the whole setting), so that no blank is kept";
    if (consulted) {
      Problem(text);
    } else {
      report.notes.push_back(text + " (here tessel does not consult KORVO)");
    }
  }

  int ExitStatus() const {
    if (report.unreadable) return kToolFileError;
    return report.problems.empty() ? kToolOk : kToolNoMatchOrFaults;
  }

  // Ends the check where tessel's own run would have ended with "message".
  int StoppedByTessel(const std::string& what, const std::string& message, bool unreadable) {
    Say(sink, "  tessel would stop " + what + ": " + message + "\n");
    Problem("tessel stops " + what + ": " + message);
    report.unreadable = report.unreadable || unreadable;
    return Finish();
  }

  // tessel stopped reading the index's head: a file that cannot be read,
  // or one that can but whose head is damaged.
  int StoppedReadingIndex() {
    std::string message = TakeCaughtMessage(caught);
    IndexFile index;
    std::string why;
    if (LoadIndexFile(platform, state.settings.index_path, &index, &why) == LoadStatus::kUnreadable) {
      return StoppedByTessel("reading " + DisplayPath(state.settings.index_path), message, true);
    }
    return StoppedByTessel("reading " + DisplayPath(state.settings.index_path), message + " (" + why +
                               "; the host cannot read it either: set the catalogue up again with tessel-index "
                               "init --force, then run tessel)",
                           false);
  }

  int Finish() {
    Say(sink, "\n");
    const std::vector<std::string>& problems = report.problems;
    if (problems.empty()) {
      Say(sink, "No problems: tessel finds the index and every catalogued nodelist.\n");
    } else {
      Say(sink, problems.size() == 1 ? "1 problem:\n" : std::to_string(problems.size()) + " problems:\n");
      for (const std::string& problem : problems) Say(sink, "  - " + problem + "\n");
    }
    for (const std::string& note : report.notes) Say(sink, "Note: " + note + "\n");
    return ExitStatus();
  }

  // Where the index was looked for; returns whether tessel finds one.
  bool ReportLocation(bool* stopped, std::string* message) {
    IndexSearchTrace trace;
    bool found = false;
    *stopped = !LookUpIndex(&state, caught, &found, &trace, message);
    Say(sink, std::string("Index\n  nlindex.qdx in the current directory: ") +
                  (trace.in_current_directory ? "found" : "not there") + "\n");
    CheckKorvoBlanks(!trace.in_current_directory);
    if (trace.in_current_directory) {
      if (!EnvironmentValue(platform, kHomeVariable).empty()) Say(sink, "  (so KORVO is not consulted)\n");
      return found;
    }
    if (trace.home.empty()) {
      Say(sink, "  KORVO is not set, so config.qdx is looked for in the current directory\n");
    } else {
      Say(sink, "  KORVO names " + DisplayPath(trace.home) + "\n");
      CheckDrive(EnvironmentValue(platform, kHomeVariable));
    }
    Say(sink,
        "  " + Absolute(HostPath(trace.config_path)) + ": " + (trace.config_found ? "found" : "not there") + "\n");
    if (!trace.config_found || *stopped) return found;
    CheckDrive(state.settings.data_path);
    Say(sink, "  its DataPath: \"" + state.settings.data_path + "\"\n  " +
                  Absolute(HostPath(state.settings.index_path)) + ": " + (found ? "found" : "not there") + "\n");
    const std::string& data_path = state.settings.data_path;
    if (!found && !data_path.empty() && data_path.back() != '/' && data_path.back() != '\\') {
      Problem("the DataPath in " + DisplayPath(trace.config_path) +
              " does not end in \"/\" or \"\\\", so tessel looks for " + DisplayPath(state.settings.index_path));
    }
    return found;
  }

  // The file tessel would read for slot "s", after tessel's own preparation
  // of the slot; "before" is the slot as the index holds it.
  void ReportSlot(int s, const NodelistSlot& before, std::vector<std::string>* rebuild_reasons) {
    std::string base(SlotBaseName(before));
    Say(sink, "  slot " + std::to_string(s) + "  ");
    if (before.base_name[0] == 0) {
      Say(sink, "(empty)\n");
      return;
    }
    state.settings.force_rebuild = false;
    PrepareSlot(&state, s);
    if (before.base_name[0] < kMinBaseNameLength) {
      Say(sink, base + ": not used, a base name needs 5 or more characters\n");
      Problem("slot " + std::to_string(s) + ": base name \"" + base +
              "\" is too short for tessel (5 characters at least)");
      return;
    }
    CheckDrive(base);
    const NodelistSlot& after = Slot(state, s);
    std::string path = NodelistPath(after);
    FileId file = kNoFile;
    std::string opened;
    int error = OpenExistingFile(platform, path, /*read_only=*/true, &file, &opened);
    if (error == 0) {
      platform.close(platform.ctx, file);
      Say(sink, base + ": reads " + ShownPath(platform, opened) + "\n");
    } else if (error == kErrFileNotFound || error == kErrPathNotFound) {
      ReportMissing(s, base, path, ExtensionLength(after) > 0);
    } else {
      Say(sink, base + ": " + ShownPath(platform, opened) + " cannot be read (" + ErrorText(error) + ")\n");
      Problem("slot " + std::to_string(s) + ": " + ShownPath(platform, opened) + " cannot be read: " + ErrorText(error));
      report.unreadable = true;
    }
    std::string without;
    if (EndsInNumberedExtension(base, &without)) {
      Problem("slot " + std::to_string(s) + ": base name \"" + base +
              "\" already carries a numbered extension, so tessel reads " + path + "; the base name should be \"" +
              without + "\"");
    } else if (EndsInArchiveExtension(base, &without)) {
      Problem("slot " + std::to_string(s) + ": base name \"" + base +
              "\" carries an archive's extension and can never name a list tessel reads; the base name should be \"" +
              without + "\"");
    }
    CheckSlotLists(platform, s, before, error == 0 ? opened : "", &report);
    if (state.settings.force_rebuild) {
      std::string old_extension(SlotExtension(before));
      std::string built_from = old_extension.empty() ? "none of its files yet" : base + "." + old_extension;
      rebuild_reasons->push_back("slot " + std::to_string(s) + " has a new file, " + DisplayPath(error == 0 ? opened : path) +
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
      Say(sink, base + ": missing (tessel would read " + path + ", which is not in " + searched + ")\n");
    } else {
      Say(sink, base + ": missing (no " + SplitNodelistPath(name).name + ".nnn in " + searched + ")\n");
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

namespace {

// With --data: the index examined is DIR's, whichever tessel uses; a
// difference is one problem, said once. Returns whether DIR holds an index.
bool UseGivenIndex(Checker* checker, bool found_by_tessel) {
  RunState& state = checker->state;
  std::string given = PathIn(checker->data_dir, kIndexFileName);
  std::string tessels = checker->Absolute(HostPath(state.settings.index_path));
  bool same = found_by_tessel && tessels == checker->Absolute(given);
  Say(checker->sink,
      "  --data names " + (same ? "the same index" : "another index: " + checker->Absolute(given)) + "\n");
  if (!same) {
    checker->Problem("tessel run here does not use " + DisplayPath(given) +
                     (found_by_tessel ? " but " + tessels : ": it finds no index"));
  }
  state.settings.index_path = given;
  bool found = FileExists(checker->platform, given);
  if (!found) checker->Problem("there is no " + DisplayPath(given));
  return found;
}

// Each slot as tessel resolves it, then what lies beyond tessel's view.
void ReportSlots(Checker* checker) {
  RunState& state = checker->state;
  const ReportSink& sink = checker->sink;
  Say(sink, "\nNodelists (paths are taken from the directory tessel runs in)\n");
  std::vector<std::string> rebuild_reasons;
  std::vector<NodelistSlot> before(state.head.catalogue, state.head.catalogue + state.head.slot_count);
  for (int s = 1; s <= state.head.slot_count; ++s) checker->ReportSlot(s, before[s - 1], &rebuild_reasons);
  if (state.head.slot_count == 0) Say(sink, "  (the catalogue is empty)\n");
  CheckDuplicateBaseNames(before, &checker->report);
  CheckIndexContents(checker->platform, sink, state.settings.index_path, &checker->report);

  Say(sink, "\nRebuild\n");
  if (rebuild_reasons.empty()) {
    Say(sink, "  no: tessel would say the index is up to date (tessel -F forces a rebuild)\n");
  } else {
    for (const std::string& reason : rebuild_reasons) Say(sink, "  yes: " + reason + "\n");
  }
  const Platform& platform = checker->platform;
  NoteLeftovers(platform, state.settings.index_path, before, platform.now(platform.ctx), &checker->report);
}

}  // namespace

int RunCheck(const ToolOptions& options) {
  CaughtConsole caught;
  CatchConsole(*options.platform, &caught);
  Checker checker{&caught, caught.platform, options.report, {}, options.data_dir, {}, {}};
  RunState& state = checker.state;
  state.platform = &caught.platform;
  InitHeap(&state.heap, kWorkingHeapSize);

  Say(options.report, "The setup as tessel sees it when run in " + checker.Absolute("") + "\n\n");
  bool stopped = false;
  std::string message;
  bool found = checker.ReportLocation(&stopped, &message);
  if (stopped) return checker.StoppedByTessel("reading the host configuration", message, true);
  if (!options.data_dir.empty()) {
    found = UseGivenIndex(&checker, found);
  } else if (!found) {
    checker.Problem("tessel finds no index: it would print \"nlindex.qdx not found; please set up nodelists in "
                    "CONFIG.\" and end with status 0 (tessel-index init creates one)");
  }
  if (!found) return checker.Finish();
  if (!ReadIndexHead(&state)) return checker.StoppedReadingIndex();
  Say(options.report, std::string("  ") + (options.data_dir.empty() ? "tessel uses " : "examined: ") +
                          checker.Absolute(HostPath(state.settings.index_path)) + ", " +
                          std::to_string(state.head.slot_count) +
                          (state.head.slot_count == 1 ? " slot\n" : " slots\n"));
  ReportSlots(&checker);
  return checker.Finish();
}

}  // namespace tessel
