#include "index_tool/update_sources.h"

#include <algorithm>

#include "nodediff/diff_apply.h"
#include "nodediff/isolated_member.h"
#include "nodediff/list_names.h"

namespace tessel {
namespace {

std::string Unreadable(const char* doing, int error) { return std::string("cannot ") + doing + " it: " + ErrorText(error); }

// Why an archive gave no member, for the sysop.
std::string MemberProblem(const Source& source, const ArchiveMember& member, const std::string& stem) {
  switch (member.status) {
    case MemberStatus::kRead:
      return "";
    case MemberStatus::kNoMember:
      return "holds no member named " + stem + ".?" + source.day + " (without folders)";
    case MemberStatus::kTooLarge:
      return (member.name.empty() ? std::string("its member") : "member " + member.name) +
             " would unpack to more than 64 MiB";
    case MemberStatus::kOverBudget:
      return member.detail.empty() ? "unpacks to more than " + std::to_string(kArchiveBudgetBytes >> 20) +
                                         " MiB in all; given up"
                                   : member.detail + "; given up";
    case MemberStatus::kUnsupported: {
      std::string by_name = ArchiverOfLetter(source.name[source.name.size() - 3]);
      if (!member.name.empty()) return "an archive of format " + member.name + ", which the archive library cannot read";
      if (by_name.empty()) return "not an archive the archive library can read (" + member.detail + ")";
      return "it is not a" + std::string(by_name[0] == 'A' ? "n " : " ") + by_name + " archive (" + member.detail + ")";
    }
    case MemberStatus::kDamaged:
      return "cannot be unpacked: " + member.detail;
  }
  return "?";
}

}  // namespace

void FindSources(const std::vector<std::string>& dirs, const std::vector<const std::vector<DirEntry>*>& listings,
                 const std::string& list_name, const std::string& diff_name, SourceFiles* found) {
  for (size_t d = 0; d < listings.size(); ++d) {
    if (listings[d] == nullptr) continue;
    for (const DirEntry& entry : *listings[d]) {
      Source source{dirs[d] + entry.name, entry.name, false, "", entry.size};
      char letter = 0;
      if (d > 0 && IsNumberedName(entry.name, list_name, &source.day)) {
        found->full_lists.push_back(source);
      } else if (IsArchivedName(entry.name, list_name, &letter, &source.day)) {
        source.archived = true;
        found->full_lists.push_back(source);
      } else if (!diff_name.empty() && IsNumberedName(entry.name, diff_name, &source.day)) {
        found->diffs.push_back(source);
      } else if (!diff_name.empty() && IsArchivedName(entry.name, diff_name, &letter, &source.day)) {
        source.archived = true;
        found->diffs.push_back(source);
      }
    }
  }
}

ReadOutcome ReadPlainFile(const Platform& p, const std::string& path, int64_t listed_size, std::string* bytes,
                          std::string* reason) {
  bytes->clear();
  FileId file = kNoFile;
  int error = p.open_read(p.ctx, path.c_str(), &file);
  if (error != 0) {
    *reason = Unreadable("open", error);
    return ReadOutcome::kFailed;
  }
  // One byte more than listed shows a file that has grown meanwhile.
  size_t chunk = listed_size > 0 && static_cast<uint64_t>(listed_size) <= kMaxListBytes
                     ? static_cast<size_t>(listed_size) + 1
                     : size_t{1} << 20;
  for (;;) {
    size_t at = bytes->size();
    bytes->resize(at + chunk);
    uint32_t moved = 0;
    error = p.read(p.ctx, file, bytes->data() + at, static_cast<uint32_t>(chunk), &moved);
    bytes->resize(at + moved);
    // A read moves fewer bytes than asked for only at the end of the file.
    if (error != 0 || moved < chunk || bytes->size() > kMaxListBytes) break;
    chunk = size_t{1} << 20;
  }
  p.close(p.ctx, file);
  if (error != 0) {
    *reason = Unreadable("read", error);
    return ReadOutcome::kFailed;
  }
  if (bytes->size() > kMaxListBytes) {
    bytes->clear();
    *reason = "larger than 64 MiB";
    return ReadOutcome::kRefused;
  }
  return ReadOutcome::kRead;
}

ReadOutcome ReadFileHead(const Platform& p, const std::string& path, std::string* bytes, std::string* reason) {
  constexpr uint32_t kHeadBytes = 4096;
  FileId file = kNoFile;
  int error = p.open_read(p.ctx, path.c_str(), &file);
  if (error != 0) {
    *reason = Unreadable("open", error);
    return ReadOutcome::kFailed;
  }
  bytes->assign(kHeadBytes, '\0');
  uint32_t moved = 0;
  error = p.read(p.ctx, file, bytes->data(), kHeadBytes, &moved);
  bytes->resize(moved);
  p.close(p.ctx, file);
  if (error != 0) {
    *reason = Unreadable("read", error);
    return ReadOutcome::kFailed;
  }
  return ReadOutcome::kRead;
}

ReadOutcome ReadSource(const Platform& p, const Source& source, const std::string& stem, ArchiveTime* time,
                       std::string* bytes, std::string* day, std::string* reason) {
  if (!source.archived) {
    *day = source.day;
    return ReadPlainFile(p, source.path, source.size, bytes, reason);
  }
  bytes->clear();
  const std::string postponed = "left for the next run: this run has spent its " +
                                std::to_string(kArchiveTimePerRunMs / 1000) + " s for reading archives";
  if (time->left_ms == 0) {
    *reason = postponed;
    return ReadOutcome::kPostponed;
  }
  FileId file = kNoFile;
  int error = p.open_read(p.ctx, source.path.c_str(), &file);
  if (error != 0) {
    *reason = Unreadable("open", error);
    return ReadOutcome::kFailed;
  }
  ReaderTime reader;
  reader.allowed_ms = std::min(time->left_ms, kUnpackWallMs);
  ArchiveMember member = ReadMemberIsolated(p, file, stem, source.day, &reader);
  p.close(p.ctx, file);
  time->left_ms -= std::min(time->left_ms, reader.elapsed_ms);
  // Stopped short of an archive's own limit only because the run's time
  // ran out: not the archive's fault.
  if (reader.ran_out && reader.allowed_ms < kUnpackWallMs) {
    *reason = postponed;
    return ReadOutcome::kPostponed;
  }
  if (member.status != MemberStatus::kRead) {
    *reason = MemberProblem(source, member, stem);
    return ReadOutcome::kRefused;
  }
  *bytes = std::move(member.bytes);
  *day = member.day;
  return ReadOutcome::kRead;
}

}  // namespace tessel
