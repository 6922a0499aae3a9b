#include "index_tool/update_write.h"

#include <algorithm>
#include <cstdio>

#include "nodediff/list_names.h"
#include "nodelist/catalogue.h"
#include "platform/file_search.h"
#include "storage/new_file.h"

namespace tessel {
namespace {

constexpr int64_t kStampSearchSeconds = 3 * 3600;

// Stamps the open file by "rule", starting from its own time of writing.
int Stamp(const Platform& p, FileId file, StampRule rule, int64_t* stamp) {
  FileInfo info;
  if (int error = p.open_file_info(p.ctx, file, &info)) return error;
  if (rule.newest) rule.earliest = std::max(rule.earliest, info.mtime);
  if (!StampFor(p, rule, stamp)) return kErrNoStamp;
  return p.set_open_file_time(p.ctx, file, *stamp);
}

// "2026-12-07 14:05", the local time of "time" as the platform gives it.
std::string LocalText(const Platform& p, int64_t time) {
  LocalTime t;
  if (!p.local_time(p.ctx, time, &t)) return "an unknown date";
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return text;
}

// A step of putting a list in place, as WriteNewList names it.
const char* StepText(NewFileStep step) {
  switch (step) {
    case NewFileStep::kCreate:
      return "create it";
    case NewFileStep::kWrite:
      return "write it";
    case NewFileStep::kFlush:
      return "flush it";
    case NewFileStep::kCheck:
      return "check it";
    case NewFileStep::kClose:
      return "close it";
    case NewFileStep::kRename:
      break;
  }
  return "rename it";
}

}  // namespace

uint32_t PackedLocal(const Platform& platform, int64_t time) {
  LocalTime local;
  return platform.local_time(platform.ctx, time, &local) ? PackFatTime(local) : 0;
}

bool StampFor(const Platform& platform, const StampRule& rule, int64_t* stamp) {
  for (int64_t step = 0; step <= kStampSearchSeconds; step += 2) {
    int64_t time = rule.newest ? rule.earliest + step : rule.latest - step;
    uint32_t packed = PackedLocal(platform, time);
    if (packed != 0 && (rule.newest ? packed > rule.bound : packed < rule.bound)) {
      *stamp = time;
      return true;
    }
  }
  return false;
}

std::string StampObstacle(const Platform& p, const std::string& pattern) {
  int64_t now = p.now(p.ctx);
  LocalTime local;
  if (!p.local_time(p.ctx, now, &local) || local.year < 1980) {
    return "the clock says " + LocalText(p, now) +
           ", before 1980, where tessel compares no file times; set the clock, then run update again";
  }
  DirEntry newest;
  constexpr int64_t kDay = 86400;
  if (!FindNewestFile(p, pattern, &newest) || newest.mtime <= now + kDay) return "";
  std::string_view dir, name;
  SplitLastComponent(pattern, &dir, &name);
  return std::string(dir) + newest.name + ", the list tessel takes now, is dated " + LocalText(p, newest.mtime) +
         ", after the clock's " + LocalText(p, now) +
         ", and tessel takes the list with the latest time; correct its time (or the clock's), then run update "
         "again";
}

std::string TakenNameText(const Platform& p, const std::string& path) {
  FileInfo info;
  if (p.entry_info(p.ctx, path.c_str(), &info) != 0) return "appeared during the run";
  if (info.leads_nowhere) return "is a link to nothing";
  if (info.is_link) return "is a link";
  if (info.is_directory) return "is a directory";
  if (info.is_fifo) return "is a FIFO";
  if (!info.is_regular) return "is not a regular file";
  return "appeared during the run";
}

bool IsTemporaryList(std::string_view file, std::string_view list_name) {
  if (!file.ends_with(".new")) return false;
  file.remove_suffix(4);
  std::string day;
  if (IsNumberedName(file, list_name, &day)) return true;
  size_t dot = file.find_last_of('.');
  if (dot == std::string_view::npos || dot + 1 == file.size()) return false;
  std::string_view digits = file.substr(dot + 1);
  return digits.find_first_not_of("0123456789") == std::string_view::npos &&
         IsNumberedName(file.substr(0, dot), list_name, &day);
}

int WriteNewList(const Platform& p, const std::string& dir, const std::string& name, std::string_view bytes,
                 StampRule rule, int64_t* stamp, std::string* step) {
  NewFile file{dir + name, dir + name + "." + std::to_string(p.process_id(p.ctx)) + ".new"};
  int error = StartNewFile(p, &file);
  if (error == 0) error = WriteNewFile(p, &file, bytes);
  *step = StepText(file.step);
  if (error == 0) {
    *step = "set its time";
    error = Stamp(p, file.file, rule, stamp);
    if (error == kErrNoStamp) {
      *step = "no time from 1980 to 2107, the times tessel compares, places it where tessel's newest-file rule needs it";
    }
  }
  if (error == 0) {
    error = FinishNewFile(p, &file, /*target_free=*/true);
    *step = StepText(file.step);
  }
  if (error != 0 && file.step != NewFileStep::kCreate) AbandonNewFile(p, &file);
  return error;
}

}  // namespace tessel
