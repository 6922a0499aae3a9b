// Finding the index as tessel finds it, with tessel's own code: the current
// directory, else the data directory that config.qdx in $KORVO names.
// tessel's console output is caught on the way, to be reported as text.
#ifndef TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_
#define TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_

#include <string>

#include "index_tool/commands.h"
#include "platform/platform.h"
#include "run/locate_index.h"
#include "storage/run_state.h"

namespace tessel {

// "base" with its console going into a buffer that TakeCaughtMessage
// empties.
Platform CatchingConsole(const Platform& base);

// What was caught since the last call, as one plain line: no CR, BEL or
// blank lines.
std::string TakeCaughtMessage();

// Runs tessel's index search on "state" (whose platform should catch the
// console). Returns false when tessel would have ended there (config.qdx
// unreadable); "*message" then holds what tessel would have said.
bool LookUpIndex(RunState* state, bool* found, IndexSearchTrace* trace, std::string* message);

// "path" made absolute against the current directory, for messages.
std::string Absolute(const std::string& path);

// For a command given no --data: the index tessel uses, into
// options->index_path and options->data_dir (its directory), with a line
// naming it when it is not the current directory's. When tessel finds none
// (or cannot read config.qdx), "creating" leaves the current directory in
// place; otherwise the reason is printed and kToolFileError returned.
// kToolOk when there is an index to use.
int UseTesselsIndex(ToolOptions* options, bool creating);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_INDEX_LOOKUP_H_
