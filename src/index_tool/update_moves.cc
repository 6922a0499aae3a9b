#include "index_tool/update_moves.h"

#include "platform/file_search.h"

namespace tessel {

void NoteVerdict(std::map<std::string, FileVerdict>* verdicts, const std::string& path, FileVerdict verdict) {
  auto [it, added] = verdicts->emplace(path, verdict);
  if (!added && it->second < verdict) it->second = verdict;
}

std::vector<PlannedMove> PlanMoves(const std::map<std::string, FileVerdict>& verdicts, const std::string& done_dir,
                                   const std::string& bad_dir) {
  std::vector<PlannedMove> moves;
  for (const auto& [path, verdict] : verdicts) {
    if (verdict == FileVerdict::kKept) continue;
    bool refused = verdict == FileVerdict::kRefused;
    const std::string& dir = refused ? bad_dir : done_dir;
    std::string_view from_dir, name;
    SplitLastComponent(path, &from_dir, &name);
    if (dir.empty() || dir == from_dir) continue;
    moves.push_back({path, dir, refused});
  }
  return moves;
}

int CarryOutMove(const Platform& p, const PlannedMove& move, std::string* to, std::string* step) {
  std::string_view from_dir, name;
  SplitLastComponent(move.from, &from_dir, &name);
  constexpr int kMostTries = 1000;
  for (int n = 0; n < kMostTries; ++n) {
    *to = move.dir;
    *to += name;
    if (n > 0) {
      *to += '.';
      *to += std::to_string(n);
    }
    FileId held = kNoFile;
    int error = p.create_new(p.ctx, to->c_str(), &held);
    if (error == kErrFileExists) continue;
    if (error != 0) {
      *step = "create " + *to;
      return error;
    }
    p.close(p.ctx, held);
    error = p.rename(p.ctx, move.from.c_str(), to->c_str());
    if (error != 0) {
      p.remove(p.ctx, to->c_str());
      *step = "rename it to " + *to;
      return error;
    }
    return 0;
  }
  *step = "find a free name for it in " + move.dir;
  return kErrFileExists;
}

}  // namespace tessel
