// Putting lists in place and taking them away: a new list written and
// stamped as tessel's newest-file rule needs it, the leftovers of a killed
// run, and the lists --keep no longer keeps.
#include "index_tool/report.h"
#include "index_tool/update_run.h"
#include "index_tool/update_write.h"
#include "nodediff/nodelist_crc.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

// Writes "bytes" as "name" by "rule"; says why it could not.
bool WriteList(UpdateRun* run, BaseRun* base, const std::string& name, std::string_view bytes, StampRule rule,
               int64_t* stamp) {
  const std::string& dir = base->names.dir;
  std::string step;
  int error = WriteNewList(run->platform, dir, name, bytes, rule, stamp, &step);
  if (error == kErrFileExists) {
    Fail(run, dir + name, TakenNameText(run->platform, dir + name) + "; not replaced");
    return false;
  }
  if (error != 0) {
    Fail(run, dir + name,
         error == kErrNoStamp ? "cannot set its time: " + step : "cannot " + step + ": " + ErrorText(error));
    return false;
  }
  return true;
}

}  // namespace

bool Install(UpdateRun* run, BaseRun* base, const std::string& day, std::string_view bytes, const std::string& from,
             uint16_t crc, const StampRule* before, const std::string& summary) {
  const BaseNames& names = base->names;
  std::string name = names.list_name + "." + day;
  if (std::string obstacle = StampObstacle(run->platform, names.dir + names.list_name + ".*"); !obstacle.empty()) {
    Fail(run, names.dir + name, "not written: " + obstacle);
    return false;
  }
  StampRule rule;
  if (before != nullptr) {
    rule = *before;
  } else {
    DirEntry latest;  // the list tessel takes now: the new one must be dated after it
    rule.bound = FindNewestList(*run, *base, &latest) ? PackedLocal(run->platform, latest.mtime) : 0;
    rule.earliest = base->last_stamp + 2;
  }
  int64_t stamp = 0;
  if (!WriteList(run, base, name, bytes, rule, &stamp)) return false;
  base->made.insert(day);
  std::string shown = DisplayPath(names.dir + name);
  Say(run->options.report, shown + " from " + DisplayPath(from) + ", CRC " + CrcText(crc) + "\n");
  Say(run->options.report, shown + ": " + summary + "\n");
  if (before != nullptr) return true;
  base->last_stamp = stamp;
  DirEntry newest;
  if (!FindNewestList(*run, *base, &newest) || newest.name != name) {
    Fail(run, names.dir + name, "tessel would not take it as the newest list (" + newest.name + " is)");
    return false;
  }
  return true;
}

void RemoveLeftovers(UpdateRun* run, const BaseRun& base) {
  std::vector<DirEntry> entries;
  if (!run->platform.list_directory(run->platform.ctx, base.names.dir.c_str(), &entries)) return;
  for (const std::string& path : LeftoverLists(base.names, entries)) {
    run->platform.remove(run->platform.ctx, path.c_str());
  }
}

void KeepNewest(UpdateRun* run, const BaseRun& base, int keep) {
  const Platform& p = run->platform;
  const BaseNames& names = base.names;
  std::vector<FoundList> found;
  for (const DirEntry& entry : SearchFiles(p, names.dir + names.list_name + ".*", SearchFilter::kOrdinaryFiles)) {
    found.push_back(FoundList{entry.name, PackedLocal(p, entry.mtime)});
  }
  DirEntry newest;
  bool have_newest = FindNewestList(*run, base, &newest);
  for (const std::string& path : ListsToRemove(names, found, have_newest ? newest.name : "", keep)) {
    int error = p.remove(p.ctx, path.c_str());
    if (error != 0) {
      Fail(run, path, std::string("cannot remove it: ") + ErrorText(error));
    } else {
      Say(run->options.report, "removed " + DisplayPath(path) + "\n");
    }
  }
}

}  // namespace tessel
