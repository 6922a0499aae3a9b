// update's full lists: each read and checked once, then, in the order of
// their days, read again and installed, those older than the list in use
// just before it and the rest after it.
#include "index_tool/list_succession.h"
#include "index_tool/update_run.h"
#include "index_tool/update_write.h"
#include "nodediff/list_names.h"
#include "nodediff/nodelist_crc.h"

namespace tessel {
namespace {

// The list a new list follows: its name ("" when there is none) and text.
struct ListBefore {
  std::string name;
  std::string bytes;
};

// Reads every full list waiting for "base" and keeps those to install,
// each once by day, in the order of their days; refusals are reported.
std::vector<FullList> ReadFullLists(UpdateRun* run, const BaseRun& base, const std::vector<Source>& sources) {
  std::vector<FullList> lists;
  for (const Source& source : sources) {
    ForFile(run, source.path, [&] {
      std::string bytes, reason;
      FullListRead read;
      ReadOutcome outcome =
          ReadSource(run->platform, source, base.names.list_name, &run->archive_time, &bytes, &read.day, &reason);
      if (outcome != ReadOutcome::kRead) return Carry(run, ReadWords(outcome, source.path, reason));
      read.existing = ListOfDay(run, base, read.day);
      read.first_line = FirstLine(bytes);
      read.crc = CheckFullListCrc(bytes);
      Carry(run, TakeFullList(source, read, &lists));
    });
  }
  return lists;
}

// Reads "install"'s list again and, when it is still the list that
// checked and may follow "*latest", installs it; a list installed after
// the list in use becomes "*latest".
void InstallFullList(UpdateRun* run, BaseRun* base, const ListInstall& install, ListBefore* latest) {
  const FullList& list = *install.list;
  const std::string& path = list.source->path;
  std::string bytes, day, reason;
  ReadOutcome outcome =
      ReadSource(run->platform, *list.source, base->names.list_name, &run->archive_time, &bytes, &day, &reason);
  if (outcome != ReadOutcome::kRead) return Carry(run, ReadWords(outcome, path, reason));
  FullListCrc crc = CheckFullListCrc(bytes);
  if (Words changed = JudgeReread(list, day, crc); !changed.empty()) return Carry(run, changed);
  std::string name = base->names.dir + base->names.list_name + "." + day;
  FollowDecision follow = JudgeFollow(JudgeSuccession(latest->name, latest->bytes, name, bytes), *list.source,
                                      !install.before, run->options);
  Carry(run, follow.words);
  if (!follow.follows) return;
  if (!Install(run, base, day, bytes, path, crc.crc, install.before ? &install.rule : nullptr, follow.summary)) return;
  Carry(run, {Word{WordKind::kMark, path, "", FileVerdict::kDone}});
  if (!install.before) *latest = ListBefore{name, std::move(bytes)};
}

}  // namespace

// Each list is checked against the list in use, a newer one against the
// list it follows, which its summary compares it with.
void UpdateFullLists(UpdateRun* run, BaseRun* base, const std::vector<Source>& sources) {
  std::vector<FullList> lists = ReadFullLists(run, *base, sources);
  if (lists.empty()) return;
  DirEntry found;
  InUseList in_use;
  ListBefore latest;  // the list in use, then the last newer list installed
  in_use.found = FindNewestList(*run, *base, &found);
  if (in_use.found) {
    std::string path = base->names.dir + found.name, reason;
    IsNumberedName(found.name, base->names.list_name, &in_use.day);
    if (ReadPlainFile(run->platform, path, found.size, &latest.bytes, &reason) == ReadOutcome::kRead) {
      latest.name = path;
      in_use.first_line = FirstLine(latest.bytes);
    }
    in_use.mtime = found.mtime;
    in_use.packed = PackedLocal(run->platform, found.mtime);
  }
  base->last_stamp = in_use.found ? found.mtime : 0;
  for (const ListInstall& install : PlanFullListInstalls(lists, in_use)) {
    ForFile(run, install.list->source->path, [&] { InstallFullList(run, base, install, &latest); });
  }
}

}  // namespace tessel
