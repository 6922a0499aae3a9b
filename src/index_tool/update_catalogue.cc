// update's catalogue: the base names it works on, read from the index,
// and the locks on every directory the run writes into.
#include <algorithm>
#include <string_view>

#include "index_tool/index_lookup.h"
#include "index_tool/report.h"
#include "index_tool/update_run.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "storage/index_format.h"

namespace tessel {
namespace {

// The catalogued base names, each once, read through the platform.
bool ReadBaseNames(UpdateRun* run, std::vector<CatalogueBase>* bases) {
  const Platform& p = run->platform;
  bases->clear();
  std::string path = IndexPath(run->options);
  FileId file = kNoFile;
  std::string opened;
  int error = OpenExistingFile(p, path, /*read_only=*/true, &file, &opened);
  if (error != 0) {
    Fail(run, path, std::string("cannot open it: ") + ErrorText(error));
    return false;
  }
  std::string head(kIndexHeaderSize + kSlotSize * kMaxSlots, '\0');
  size_t got = 0;
  for (;;) {
    uint32_t moved = 0;
    error = p.read(p.ctx, file, head.data() + got, static_cast<uint32_t>(head.size() - got), &moved);
    got += moved;
    if (error != 0 || moved == 0 || got == head.size()) break;
  }
  p.close(p.ctx, file);
  if (error != 0) {
    Fail(run, opened, std::string("cannot read it: ") + ErrorText(error));
    return false;
  }
  IndexHead parsed;
  HeadFault fault = ParseIndexHead(std::string_view(head).substr(0, got), &parsed);
  if (fault != HeadFault::kNone && fault != HeadFault::kNoMarker) {  // the catalogue is all update reads
    Fail(run, opened, "damaged: no header and catalogue as tessel-index init writes them");
    return false;
  }
  for (const NodelistSlot& slot : parsed.slots) {
    if (!SlotInUse(slot)) continue;
    CatalogueBase base{std::string(SlotBaseName(slot)), std::string(SlotExtension(slot))};
    auto same = [&](const CatalogueBase& b) { return b.base == base.base; };
    if (std::none_of(bases->begin(), bases->end(), same)) bases->push_back(base);
  }
  return true;
}

// The directories the run writes into: those tessel locks (the current
// one and the index's) and every nodelist directory there is (one that
// cannot be listed is reported later, and nothing is written into it).
std::vector<std::string> LockedDirs(const UpdateRun& run, const std::vector<CatalogueBase>& bases) {
  std::vector<std::string> dirs = {"", run.options.data_dir};
  std::vector<DirEntry> ignored;
  for (const CatalogueBase& base : bases) {
    std::string dir = WithSlash(HostPath(SplitNodelistPath(base.base).directory));
    if (run.platform.list_directory(run.platform.ctx, dir.c_str(), &ignored)) dirs.push_back(dir);
  }
  return dirs;
}

}  // namespace

// Reads the catalogue and locks its directories; reads it again under the
// locks, since another run may have replaced it meanwhile.
bool LockAndReadBases(UpdateRun* run, DirectoryLockSet* locks, std::vector<CatalogueBase>* bases) {
  if (!ReadBaseNames(run, bases)) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<std::string> dirs = LockedDirs(*run, *bases);
    std::string failed;
    bool timed_out = false;
    int error = LockDirectorySet(run->platform, dirs, WaitingNotice(run->options.report), locks, &failed, &timed_out);
    if (error != 0) {
      Fail(run, failed,
           timed_out ? "gave up after 10 minutes waiting for its lock"
                     : std::string("cannot lock: ") + ErrorText(error));
      return false;
    }
    if (!ReadBaseNames(run, bases)) return false;
    std::vector<std::string> now = LockedDirs(*run, *bases);
    if (std::all_of(now.begin(), now.end(),
                    [&](const std::string& d) { return std::find(dirs.begin(), dirs.end(), d) != dirs.end(); })) {
      return true;
    }
    UnlockDirectorySet(run->platform, locks);
  }
  Fail(run, IndexPath(run->options), "kept changing while the run waited for it");
  return false;
}

}  // namespace tessel
