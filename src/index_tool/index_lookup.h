// The index a command works on, found as tessel finds it, with tessel's own
// code: the current directory, else the data directory that config.qdx in
// $KORVO names; and that index loaded, with the message when it cannot be.
// tessel's console output is caught on the way, to be reported as text.
#ifndef TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_
#define TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_

#include <string>

#include "index_tool/commands.h"
#include "platform/platform.h"
#include "run/locate_index.h"
#include "storage/run_state.h"

namespace tessel {

// A platform for tessel's code whose console output goes into "text";
// every other call goes to the platform it was made from. Made in place
// by CatchConsole, and used only while it lives.
struct CaughtConsole {
  Platform inner = {};
  Platform platform = {};  // what tessel's code is given
  std::string text;

  CaughtConsole() = default;
  CaughtConsole(const CaughtConsole&) = delete;
  CaughtConsole& operator=(const CaughtConsole&) = delete;
};

// Points "caught->platform" at "base", its console going into
// "caught->text".
void CatchConsole(const Platform& base, CaughtConsole* caught);

// What was caught since the last call, as one plain line: no CR, BEL or
// blank lines.
std::string TakeCaughtMessage(CaughtConsole* caught);

// Runs tessel's index search on "state", whose platform is
// "caught->platform". Returns false when tessel would have ended there
// (config.qdx unreadable); "*message" then holds what tessel would have
// said.
bool LookUpIndex(RunState* state, CaughtConsole* caught, bool* found, IndexSearchTrace* trace, std::string* message);

// For a command given no --data: the index tessel uses, into
// options->index_path and options->data_dir (its directory), with a line
// naming it when it is not the current directory's. When tessel finds none
// (or cannot read config.qdx), "creating" leaves the current directory in
// place; otherwise the reason is printed and kToolFileError returned.
// kToolOk when there is an index to use.
int UseTesselsIndex(ToolOptions* options, bool creating);

// The index a command works on: the one tessel finds, or nlindex.qdx in
// --data's directory.
std::string IndexPath(const ToolOptions& options);

// Loads the index for show, find and verify; prints what is wrong
// when the result is not kOk.
LoadStatus LoadIndexOrReport(const ToolOptions& options, IndexFile* index);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_
