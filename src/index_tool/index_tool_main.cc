// tessel-index: sets up an index for tessel and reads the finished one.
#include <iostream>
#include <string>
#include <string_view>

#include "index_tool/commands.h"
#include "platform/platform.h"

namespace tessel {
namespace {

constexpr const char* kUsage =
    "usage: tessel-index init [--data DIR] [--home DIR] [--force] BASENAME...\n"
    "       tessel-index show [--data DIR]\n"
    "       tessel-index find [--data DIR] ZONE:NET/NODE[.0][@DOMAIN] | NAME\n"
    "       tessel-index verify [--data DIR]\n"
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
    "           whose name starts with it. Prints slot, address, name and the\n"
    "           node's line.\n"
    "  verify   check the index against its header and its nodelists.\n"
    "  check    explain the setup as tessel sees it from here: where it looks for\n"
    "           the index (here, then KORVO's config.qdx), the file it would read\n"
    "           for each slot, whether it would rebuild now, and what is wrong.\n"
    "\n"
    "  --data DIR   the index's directory (default: the current one; for check,\n"
    "               the one tessel finds)\n"
    "\n"
    "Nodelist paths in the catalogue are taken from the current directory, as\n"
    "tessel takes them. Exit status: 0 done, 1 find matched nothing, verify\n"
    "found faults or check found something missing or wrong, 2 bad command line\n"
    "or init refused, 3 a file could not be read or written.\n";

int UsageError(std::string_view problem) {
  std::cerr << "tessel-index: " << problem << "\n" << kUsage;
  return kToolUsage;
}

}  // namespace

int IndexToolMain(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h") {
    std::cout << kUsage << kHelp;
    return kToolOk;
  }
  if (command == "--version") {
    std::cout << "tessel-index (Tessel) " << TESSEL_VERSION << "\n";
    return kToolOk;
  }
  bool is_init = command == "init";
  if (!is_init && command != "show" && command != "find" && command != "verify" && command != "check") {
    return UsageError("unknown command \"" + std::string(command) + "\"");
  }
  ToolOptions options;
  options.platform = &PosixPlatform();
  bool options_ended = false;
  for (int i = 2; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      options.operands.emplace_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << kHelp;
      return kToolOk;
    } else if (arg == "--force" && is_init) {
      options.force = true;
    } else if (arg == "--data" || (arg == "--home" && is_init)) {
      if (i + 1 >= argc) return UsageError(std::string(arg) + " needs a directory");
      (arg == "--data" ? options.data_dir : options.home_dir) = argv[++i];
    } else {
      return UsageError("unknown option \"" + std::string(arg) + "\" for " + std::string(command));
    }
  }
  if (is_init) {
    if (options.operands.empty()) return UsageError("init needs at least one BASENAME");
    return RunInit(options);
  }
  if (command == "find") {
    if (options.operands.empty()) return UsageError("find needs an address or a name");
    return RunFind(options);
  }
  if (!options.operands.empty()) return UsageError(std::string(command) + " takes no operands");
  if (command == "check") return RunCheck(options);
  return command == "show" ? RunShow(options) : RunVerify(options);
}

}  // namespace tessel

int main(int argc, char** argv) {
  tessel::PrepareProcess();
  return tessel::IndexToolMain(argc, argv);
}
