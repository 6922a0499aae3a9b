// The subcommands of tessel-index, the stand-ins for the host's own
// programs: its configuration program (init) and its reader of the finished
// index (show, find), plus a consistency check (verify), the making of new
// nodelists from nodediffs and archives (update), what changed from one
// list to the next (changes) and an explanation of the setup as tessel sees
// it (check).
#ifndef TESSEL_INDEX_TOOL_COMMANDS_H_
#define TESSEL_INDEX_TOOL_COMMANDS_H_

#include <string>
#include <utility>
#include <vector>

#include "index_tool/index_file.h"
#include "index_tool/report.h"
#include "index_tool/tool_files.h"
#include "platform/platform.h"

namespace tessel {

// Exit statuses of tessel-index.
constexpr int kToolOk = 0;
constexpr int kToolNoMatchOrFaults = 1;  // find matched nothing; verify or check found faults; update refused a file
constexpr int kToolUsage = 2;            // bad command line, or init refused
constexpr int kToolFileError = 3;        // a file could not be read or written

struct ToolOptions {
  const Platform* platform = nullptr;  // every file goes through it
  ReportSink report;                   // every word goes to it
  std::string data_dir;  // --data: the index's directory ("" = current)
  std::string index_path;  // the index tessel finds through KORVO ("" = data_dir's)
  std::string home_dir;  // --home: where init writes config.qdx ("" = none)
  bool force = false;    // --force: init may replace existing files
  std::vector<std::string> inbound;  // update --inbound: where new files arrive
  std::vector<std::pair<std::string, std::string>> diff_names;  // update --diff BASE=DIFFBASE
  int keep = 0;                      // update --keep: numbered lists kept (0 = all)
  std::string done_dir;              // update --done: where applied and redundant files go ("" = stay)
  std::string bad_dir;               // update --bad: where refused files go ("" = stay)
  std::vector<std::string> accepted;  // update --accept: files taken though of another network or cut
  std::vector<std::string> operands;
};

// Each writes its results and its problems, each naming its file, to
// "options.report", and returns the exit status.
int RunInit(const ToolOptions& options);
int RunShow(const ToolOptions& options);
int RunFind(const ToolOptions& options);
int RunVerify(const ToolOptions& options);
int RunUpdate(const ToolOptions& options);
int RunCheck(const ToolOptions& options);
int RunChanges(const ToolOptions& options);

// The faults verify looks for in "index" (its size against its head, both
// sections' order and slot bytes, every entry against its line): their
// count, and the first ten described in "*shown". Nodelists are read through
// "cache". With "skip_unreadable_lists", entries into a nodelist that
// cannot be read are not counted (the caller reports the list itself).
int64_t FindIndexFaults(const IndexFile& index, bool skip_unreadable_lists, NodelistCache* cache,
                        std::vector<std::string>* shown);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_COMMANDS_H_
