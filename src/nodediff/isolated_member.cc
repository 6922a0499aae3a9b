#include "nodediff/isolated_member.h"

#include "nodediff/diff_apply.h"

namespace tessel {
namespace {

constexpr size_t kRecordHeadBytes = 4096;

// A field of the first line: no tab or line end, printable, bounded.
std::string Field(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 512)) out += (c >= ' ' && c < 127) ? c : '?';
  return out;
}

}  // namespace

std::string EncodeMember(const ArchiveMember& member) {
  std::string record = std::to_string(static_cast<int>(member.status)) + "\t" + Field(member.name) + "\t" +
                       Field(member.day) + "\t" + Field(member.detail) + "\n";
  return record + member.bytes;
}

bool DecodeMember(std::string&& record, ArchiveMember* member) {
  *member = ArchiveMember{};
  size_t end = record.find('\n');
  if (end == std::string::npos || end > kRecordHeadBytes) return false;
  std::string_view head(record.data(), end);
  std::string_view fields[4];
  for (int i = 0; i < 4; ++i) {
    size_t tab = i < 3 ? head.find('\t') : head.size();
    if (tab == std::string_view::npos) return false;
    fields[i] = head.substr(0, tab);
    head.remove_prefix(i < 3 ? tab + 1 : tab);
  }
  if (fields[0].size() != 1 || fields[0][0] < '0' || fields[0][0] > '5') return false;
  member->status = static_cast<MemberStatus>(fields[0][0] - '0');
  member->name = fields[1];
  member->day = fields[2];
  member->detail = fields[3];
  record.erase(0, end + 1);
  member->bytes = std::move(record);
  return member->status == MemberStatus::kRead || member->bytes.empty();
}

ArchiveMember ReadMemberIsolated(const Platform& platform, FileId archive, std::string_view stem,
                                 std::string_view digits) {
  HelperRun run;
  run.program = kUnpackProgram;
  run.args = {std::string(stem), std::string(digits)};
  run.input = archive;
  run.cpu_seconds = kUnpackCpuSeconds;
  run.address_space = kUnpackAddressSpace;
  run.wall_ms = kUnpackWallMs;
  run.max_output = kMaxListBytes + kRecordHeadBytes;
  std::string output;
  HelperOutcome outcome;
  ArchiveMember member;
  int error = platform.run_helper(platform.ctx, run, &output, &outcome);
  if (error == kErrFileNotFound) {
    member.status = MemberStatus::kDamaged;
    member.detail = std::string("this tessel-index has no archive reader (") + kUnpackProgram +
                    ", built with the archive library); unpack the archive and put the list or diff it holds beside it";
  } else if (error != 0) {
    member.status = MemberStatus::kDamaged;
    member.detail = std::string("the archive reader ") + kUnpackProgram + " cannot be started: " + ErrorText(error);
  } else if (outcome.timed_out) {
    member.status = MemberStatus::kOverBudget;
    member.detail = "unpacking took longer than " + std::to_string(kUnpackWallMs / 1000) + " seconds";
  } else if (outcome.output_overflow) {
    member.status = MemberStatus::kTooLarge;
  } else if (outcome.exit_status != 0 || !DecodeMember(std::move(output), &member)) {
    // Killed by its limits (processor time, memory), or broken.
    member = ArchiveMember{};
    member.status = MemberStatus::kOverBudget;
    member.detail = "the archive reader was stopped by its limits (" + std::to_string(kUnpackCpuSeconds) +
                    " s of processor time, " + std::to_string(kUnpackAddressSpace >> 20) + " MiB of memory)";
  }
  return member;
}

}  // namespace tessel
