#include "index_tool/check_findings.h"

#include <algorithm>

#include "index_tool/commands.h"
#include "index_tool/index_file.h"
#include "index_tool/tool_files.h"
#include "nodediff/nodelist_crc.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "storage/run_state.h"
#include "storage/temp_file.h"

namespace tessel {
namespace {

std::string Slot(int s) { return "slot " + std::to_string(s) + ": "; }

// Why a nodelist's bytes fail the CRC its first line states; "" when they
// pass or no CRC is stated. A list whose carriage returns were lost passes
// when its CRC checks with them put back.
std::string CrcProblem(const std::string& bytes) {
  ListCrc crc = CheckListCrc(bytes);
  if (!crc.stated || crc.stated_crc == crc.actual_crc) return "";
  if (bytes.find('\r') == std::string::npos) {
    std::string with_cr;
    for (char c : bytes) with_cr += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (CrcChecks(CheckListCrc(with_cr))) return "";
  }
  bool closed = TextBeforeCtrlZ(bytes).size() < bytes.size();
  return "fails its CRC (its first line says " + CrcText(crc.stated_crc) + ", its bytes give " +
         CrcText(crc.actual_crc) + "): it is " + (closed ? "damaged" : "cut short (it lacks the closing Ctrl-Z)");
}

// Opens nodelist "path" as tessel does and reads it: 0, or the error.
int ReadList(const Platform& platform, const std::string& path, std::string* opened, std::string* bytes) {
  FileId file = kNoFile;
  int error = OpenExistingFile(platform, path, /*read_only=*/true, &file, opened);
  if (error != 0) return error;
  platform.close(platform.ctx, file);
  return ReadWholeFile(platform, *opened, bytes);
}

std::string Age(int64_t seconds) {
  if (seconds < 120) return std::to_string(seconds < 0 ? 0 : seconds) + " seconds";
  if (seconds < 120 * 60) return std::to_string(seconds / 60) + " minutes";
  if (seconds < 48 * 3600) return std::to_string(seconds / 3600) + " hours";
  return std::to_string(seconds / 86400) + " days";
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && EqualIgnoringCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

void CheckIndexContents(const Platform& platform, const ReportSink& sink, const std::string& path,
                        CheckReport* report) {
  IndexFile index;
  std::string message;
  LoadStatus status = LoadIndexFile(platform, path, &index, &message);
  Say(sink, "\nIndex contents\n");
  if (status != LoadStatus::kOk) {
    Say(sink, "  " + path + ": " + message + "\n");
    report->problems.push_back(path + ": " + message);
    report->unreadable = report->unreadable || status == LoadStatus::kUnreadable;
    return;
  }
  NodelistCache cache;
  std::vector<std::string> shown;
  int64_t faults = FindIndexFaults(index, /*skip_unreadable_lists=*/true, &cache, &shown);
  Say(sink, "  " + std::to_string(index.node_entries) + " node-number and " +
                std::to_string(index.entry_count - index.node_entries) + " sysop-name entries: ");
  if (faults == 0) {
    Say(sink, index.entry_count > 0 ? "as verify checks them, no faults\n" : "none yet (tessel has not built it)\n");
    return;
  }
  std::string what = std::to_string(faults) + (faults == 1 ? " fault" : " faults") + ", the first: " + shown.front();
  Say(sink, what + "\n");
  report->problems.push_back("the index is damaged (" + what +
                             "); the host is reading a damaged index, and tessel does not notice (it reads only the "
                             "head); tessel -F rebuilds it");
}

void CheckSlotLists(const Platform& platform, int s, const NodelistSlot& before, const std::string& now,
                    CheckReport* report) {
  std::string in_use, opened, bytes;
  if (SlotInUse(before) && !SlotExtension(before).empty()) {
    in_use = NodelistPath(before);
    int error = ReadList(platform, in_use, &opened, &bytes);
    if (error == kErrFileNotFound || error == kErrPathNotFound) {
      report->problems.push_back(Slot(s) + "the index points into " + in_use +
                                 ", which no longer exists, so the host finds no line for its nodes; " +
                                 (now.empty() ? "put the list back, or run tessel -F to build the index without it"
                                              : "run tessel, which rebuilds it from " + now));
    } else if (error != 0) {
      report->problems.push_back(Slot(s) + in_use + ", which the index points into, cannot be read: " + ErrorText(error));
      report->unreadable = true;
    } else if (std::string crc = CrcProblem(bytes); !crc.empty()) {
      report->problems.push_back(Slot(s) + opened + ", which the index was built from, " + crc +
                                 "; put a good copy in its place and run tessel -F");
    }
  }
  if (now.empty() || EqualIgnoringCase(HostPath(now), HostPath(in_use))) return;
  bytes.clear();
  if (ReadList(platform, now, &opened, &bytes) != 0) return;  // the slot's report says so
  if (std::string crc = CrcProblem(bytes); !crc.empty()) {
    report->problems.push_back(Slot(s) + opened + ", which tessel reads next, " + crc +
                               "; replace it with a good copy before tessel runs, or remove it");
  }
}

void CheckDuplicateBaseNames(const std::vector<NodelistSlot>& slots, CheckReport* report) {
  for (size_t i = 0; i < slots.size(); ++i) {
    for (size_t j = i + 1; j < slots.size(); ++j) {
      if (!SlotInUse(slots[i]) || !SlotInUse(slots[j]) || !SameBaseName(SlotBaseName(slots[i]), SlotBaseName(slots[j]))) {
        continue;
      }
      report->problems.push_back("slots " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                                 " both catalogue " + std::string(SlotBaseName(slots[i])) +
                                 ", so every node of it is indexed twice; set the catalogue up again with it once "
                                 "(tessel-index init --force)");
      break;
    }
  }
}

void NoteLeftovers(const Platform& platform, const std::string& index_path, const std::vector<NodelistSlot>& slots,
                   int64_t now, CheckReport* report) {
  std::string index_dir;
  std::string_view directory, name;
  std::string host_index = HostPath(index_path);
  SplitLastComponent(host_index, &directory, &name);
  index_dir = std::string(directory);
  // Files in "dir" whose names start with "start" and end with "end"
  // ("start" empty: named "end"), left by "who".
  struct Kind {
    std::string dir, start, end, who;
  };
  std::vector<Kind> kinds = {{"", "", kTempFileName, "a tessel run"}, {index_dir, "", kNewIndexFileName, "a tessel run"}};
  for (const NodelistSlot& slot : slots) {
    if (!SlotInUse(slot)) continue;
    NodelistPathParts parts = SplitNodelistPath(SlotBaseName(slot));
    kinds.push_back({HostPath(parts.directory), parts.name + ".", ".new", "a tessel-index update"});
  }
  std::vector<std::string> seen;
  for (const Kind& kind : kinds) {
    std::vector<DirEntry> entries;
    if (!platform.list_directory(platform.ctx, kind.dir.c_str(), &entries)) continue;
    for (const DirEntry& entry : entries) {
      bool starts = entry.name.size() >= kind.start.size() && EqualIgnoringCase(entry.name.substr(0, kind.start.size()), kind.start);
      if (!starts || !EndsWithIgnoringCase(entry.name, kind.end)) continue;
      if (kind.start.empty() && entry.name.size() != kind.end.size()) continue;
      std::string path = kind.dir + entry.name;
      if (std::find(seen.begin(), seen.end(), AbsolutePath(platform, path)) != seen.end()) continue;
      seen.push_back(AbsolutePath(platform, path));
      report->notes.push_back(path + ", " + Age(now - entry.mtime) + " old, is left over from " + kind.who +
                              " that was stopped, unless one is running now; it can be removed");
    }
  }
}

}  // namespace tessel
