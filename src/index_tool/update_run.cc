#include "index_tool/update_run.h"

#include <algorithm>

#include "index_tool/report.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

constexpr int kToolRefused = 1;

// Records "verdict" for "path" when it is a file a list or diff may come from.
void Mark(UpdateRun* run, const std::string& path, FileVerdict verdict) {
  if (run->sources.count(path) != 0) NoteVerdict(&run->verdicts, path, verdict);
}

}  // namespace

void Fail(UpdateRun* run, const std::string& path, const std::string& problem) {
  Complain(run->options.report, path, problem);
  run->status = kToolFileError;
}

void Carry(UpdateRun* run, const Words& words) {
  for (const Word& word : words) {
    switch (word.kind) {
      case WordKind::kNote:
        Say(run->options.report, DisplayPath(word.path) + ": " + word.text + "\n");
        break;
      case WordKind::kRefuse:
        Complain(run->options.report, word.path, "refused: " + word.text);
        run->status = std::max(run->status, kToolRefused);
        Mark(run, word.path, FileVerdict::kRefused);
        break;
      case WordKind::kFail:
        Fail(run, word.path, word.text);
        break;
      case WordKind::kMark:
        break;
    }
    if (word.verdict) Mark(run, word.path, *word.verdict);
  }
}

const std::vector<DirEntry>* ListFiles(UpdateRun* run, const std::string& dir) {
  auto it = run->listings.find(dir);
  if (it == run->listings.end()) {
    std::vector<DirEntry> listing;
    if (!run->platform.list_directory(run->platform.ctx, dir.c_str(), &listing)) return nullptr;
    std::vector<DirEntry> kept;
    for (DirEntry& entry : listing) {
      if (entry.is_regular && !entry.name.empty() && entry.name[0] != '.') kept.push_back(std::move(entry));
    }
    std::sort(kept.begin(), kept.end(),
              [](const DirEntry& a, const DirEntry& b) { return SearchOrderLess(a.name, b.name); });
    it = run->listings.emplace(dir, std::move(kept)).first;
  }
  return &it->second;
}

std::string ListOfDay(UpdateRun* run, const BaseRun& base, const std::string& day) {
  const BaseNames& names = base.names;
  if (base.made.count(day) != 0) return names.dir + names.list_name + "." + day + " (made by this run)";
  std::vector<DirEntry> found =
      SearchFiles(run->platform, names.dir + names.list_name + "." + day, SearchFilter::kOrdinaryFiles);
  return found.empty() ? "" : names.dir + found[0].name;
}

bool FindNewestList(const UpdateRun& run, const BaseRun& base, DirEntry* newest) {
  return FindNewestFile(run.platform, base.names.dir + base.names.list_name + ".*", newest);
}

}  // namespace tessel
