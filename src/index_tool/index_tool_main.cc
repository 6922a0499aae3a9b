// tessel-index: sets up an index for tessel and reads the finished one.
#include <iostream>
#include <string>
#include <string_view>
#include <utility>

#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "platform/platform.h"

namespace tessel {
namespace {

constexpr const char* kUsage =
    "usage: tessel-index init [--data DIR] [--home DIR] [--force] BASENAME...\n"
    "       tessel-index show [--data DIR]\n"
    "       tessel-index find [--data DIR] ZONE:NET/NODE[.0][@DOMAIN] | ZONE:NET/* | NAME\n"
    "       tessel-index verify [--data DIR]\n"
    "       tessel-index update [--data DIR] [--inbound DIR]... [--diff BASE=DIFFBASE]... [--keep N]\n"
    "                           [--done DIR] [--bad DIR] [--accept FILE]...\n"
    "       tessel-index changes [--data DIR] [ZONE:NET/NODE | ZONE:NET/* | ZONE:*]\n"
    "       tessel-index check [--data DIR]\n"
    "       tessel-index --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Sets up the nodelist index that tessel fills, and reads the finished one.\n"
    "\n"
    "  init     create DIR/nlindex.qdx with one catalogue slot per BASENAME (a\n"
    "           nodelist's path without its extension, at most 40 characters;\n"
    "           NODELIST stands for the newest NODELIST.nnn). With --home, also\n"
    "           write HOME/config.qdx naming DIR (as an absolute path of at most\n"
    "           45 characters), so that tessel run elsewhere with KORVO=HOME\n"
    "           finds the index. --force replaces the index and updates an\n"
    "           existing config.qdx.\n"
    "  show     print the header, the catalogue and the two section sizes.\n"
    "  find     look a node up by address (2:250/101, 2:250/101.0@fidonet: the\n"
    "           domain is not matched, points are not indexed) or by sysop name,\n"
    "           letter case ignored, \"_\" as blank; a name finds every sysop\n"
    "           whose name starts with it; 2:250/* lists every node of a net,\n"
    "           host first. Prints slot, address, name and the node's line.\n"
    "  verify   check the index against its header and its nodelists.\n"
    "  update   make the next numbered nodelist of every catalogued base name:\n"
    "           unpack archived full lists (NODELIST.Z03) and copy numbered\n"
    "           lists from the inbound directories, then apply each nodediff\n"
    "           (NODEDIFF.003, NODEDIFF.Z03) to the newest list it was made\n"
    "           for. New lists go beside the old ones, only when their CRC\n"
    "           checks; a refused file is reported and the rest still\n"
    "           written. Takes the run locks as tessel does (waits, gives\n"
    "           up after ten minutes); archives are read by an isolated\n"
    "           helper under limits. A new list of another network than\n"
    "           the list it follows, or with less than half its nodes, is\n"
    "           refused. Prints each new list's node count and changes.\n"
    "  changes  list the nodes added (+), removed (-) and changed (~) between\n"
    "           the list the index reads and the numbered list before it, in\n"
    "           address order; ZONE:NET/NODE, ZONE:NET/* or ZONE:* keeps one\n"
    "           node, net or zone.\n"
    "  check    explain the setup as tessel sees it from here: where it looks for\n"
    "           the index (here, then KORVO's config.qdx), the file it would read\n"
    "           for each slot, whether it would rebuild now, and what is wrong:\n"
    "           a damaged index, a list gone or failing its CRC, a base name\n"
    "           catalogued twice; and files left by runs that were stopped.\n"
    "\n"
    "  --data DIR       the index's directory (default: where tessel finds it:\n"
    "                   here, else the data directory of KORVO's config.qdx)\n"
    "  --inbound DIR    update: also look for new files in DIR (repeatable)\n"
    "  --diff B=D       update: the diffs of base name B are named D.nnn (for\n"
    "                   names without \"LIST\"; repeatable)\n"
    "  --keep N         update: then keep only the N newest numbered lists of\n"
    "                   each base name (never the one the index was built from)\n"
    "  --done DIR       update: move the files applied, or made redundant, into\n"
    "                   DIR (on the same disk; a name taken gets .1, .2, ...)\n"
    "  --bad DIR        update: move the files refused into DIR\n"
    "  --accept FILE    update: take FILE's list although it is of another\n"
    "                   network or has less than half the nodes (repeatable)\n"
    "\n"
    "Nodelist paths in the catalogue are taken from the current directory, as\n"
    "tessel takes them. Exit status: 0 done, 1 find matched nothing, verify\n"
    "found faults, update refused a file or check found something missing or\n"
    "wrong, 2 bad command line or init refused, 3 a file could not be read or\n"
    "written or moved (or no lock had within ten minutes), or changes found\n"
    "no list before the one the index reads.\n";

// Takes the value of update's option "arg"; returns what is wrong with it,
// or "".
std::string TakeUpdateValue(std::string_view arg, const std::string& value, ToolOptions* options) {
  if (arg == "--inbound") {
    options->inbound.push_back(value);
  } else if (arg == "--done" || arg == "--bad") {
    if (value.empty()) return std::string(arg) + " needs a directory";
    (arg == "--done" ? options->done_dir : options->bad_dir) = value;
  } else if (arg == "--accept") {
    options->accepted.push_back(value);
  } else if (arg == "--diff") {
    size_t eq = value.find('=');
    if (eq == 0 || eq == std::string::npos || eq + 1 == value.size() ||
        value.find_first_of("/\\", eq + 1) != std::string::npos) {
      return "--diff needs BASE=DIFFBASE, DIFFBASE a file name without folders";
    }
    options->diff_names.emplace_back(value.substr(0, eq), value.substr(eq + 1));
  } else {
    if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(value) < 1) {
      return "--keep needs a number of lists, at least 1";
    }
    options->keep = std::stoi(value);
  }
  return "";
}

// What the command line asks for.
enum class ToolAction { kRun, kHelp, kVersion, kUsageError };

struct CommandLine {
  ToolAction action = ToolAction::kRun;
  std::string command;
  std::string problem;  // kUsageError: what is wrong
  ToolOptions options;
};

ToolAction Problem(CommandLine* line, std::string problem) {
  line->problem = std::move(problem);
  return ToolAction::kUsageError;
}

// Takes the options and operands after the command.
ToolAction TakeArguments(int argc, char** argv, CommandLine* line) {
  const std::string& command = line->command;
  bool is_init = command == "init";
  bool is_update = command == "update";
  ToolOptions& options = line->options;
  bool options_ended = false;
  for (int i = 2; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.operands.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      return ToolAction::kHelp;
    } else if (arg == "--force" && is_init) {
      options.force = true;
    } else if (arg == "--data" || (arg == "--home" && is_init)) {
      if (i + 1 >= argc) return Problem(line, std::string(arg) + " needs a directory");
      (arg == "--data" ? options.data_dir : options.home_dir) = argv[++i];
    } else if (is_update && (arg == "--inbound" || arg == "--diff" || arg == "--keep" || arg == "--done" ||
                             arg == "--bad" || arg == "--accept")) {
      if (i + 1 >= argc) return Problem(line, std::string(arg) + " needs a value");
      std::string problem = TakeUpdateValue(arg, argv[++i], &options);
      if (!problem.empty()) return Problem(line, problem);
    } else {
      return Problem(line, "unknown option \"" + std::string(arg) + "\" for " + command);
    }
  }
  if (is_init && options.operands.empty()) return Problem(line, "init needs at least one BASENAME");
  if (command == "find" && options.operands.empty()) return Problem(line, "find needs an address or a name");
  if (command == "changes" && options.operands.size() > 1) return Problem(line, "changes takes at most one pattern");
  if (!is_init && command != "find" && command != "changes" && !options.operands.empty()) {
    return Problem(line, command + " takes no operands");
  }
  return ToolAction::kRun;
}

ToolAction ParseCommandLine(int argc, char** argv, CommandLine* line) {
  if (argc < 2) return Problem(line, "no command given");
  line->command = argv[1];
  const std::string& command = line->command;
  if (command == "--help" || command == "-h") return ToolAction::kHelp;
  if (command == "--version") return ToolAction::kVersion;
  if (command != "init" && command != "update" && command != "show" && command != "find" && command != "verify" &&
      command != "check" && command != "changes") {
    return Problem(line, "unknown command \"" + command + "\"");
  }
  return TakeArguments(argc, argv, line);
}

// Runs the command; returns its exit status.
int RunCommand(const std::string& command, ToolOptions* options) {
  if (command == "check") return RunCheck(*options);
  // Without --data, every command works on the index tessel finds.
  if (options->data_dir.empty()) {
    int status = UseTesselsIndex(options, command == "init");
    if (status != kToolOk) return status;
  }
  if (command == "init") return RunInit(*options);
  if (command == "find") return RunFind(*options);
  if (command == "update") return RunUpdate(*options);
  if (command == "changes") return RunChanges(*options);
  return command == "show" ? RunShow(*options) : RunVerify(*options);
}

}  // namespace

int IndexToolMain(int argc, char** argv, const ReportSink& report) {
  CommandLine line;
  line.options.platform = &NativePlatform();
  line.options.report = report;
  line.action = ParseCommandLine(argc, argv, &line);
  int status = kToolOk;
  switch (line.action) {
    case ToolAction::kHelp:
      Say(report, std::string(kUsage) + kHelp);
      break;
    case ToolAction::kVersion:
      Say(report, std::string("tessel-index (Tessel) ") + TESSEL_VERSION + "\n");
      break;
    case ToolAction::kUsageError:
      Complain(report, line.problem);
      SayProblem(report, kUsage);
      status = kToolUsage;
      break;
    case ToolAction::kRun:
      status = RunCommand(line.command, &line.options);
      break;
  }
  return status;
}

}  // namespace tessel

namespace {

// Where tessel-index meets the world: results on standard output, problems
// on standard error, each piece written out at once, so that it keeps its
// place among other programs' output (a waiting notice shows while the
// command waits).
void WriteToConsole(void*, tessel::ReportStream stream, std::string_view text) {
  (stream == tessel::ReportStream::kResult ? std::cout : std::cerr) << text << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  tessel::PrepareProcess();
  return tessel::IndexToolMain(argc, argv, tessel::ReportSink{nullptr, WriteToConsole});
}
