#include "nodediff/isolated_member.h"

#include <algorithm>

#include "nodediff/diff_apply.h"
#include "nodediff/list_names.h"

namespace tessel {
namespace {

constexpr size_t kRecordHeadBytes = 4096;

// A field of the first line: no tab or line end, printable, bounded.
std::string Field(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 512)) out += (c >= ' ' && c < 127) ? c : '?';
  return out;
}

std::string Seconds(uint32_t ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds"
                        : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

// Whether an answer fits the archive asked about: the member read (or too
// large) is "stem.?dd" of the archive's day, a folder never in its name; a
// format named is one word. Why not, else "".
std::string Misfit(const ArchiveMember& member, std::string_view stem, std::string_view digits) {
  std::string day;
  bool named = member.status == MemberStatus::kRead || (member.status == MemberStatus::kTooLarge && !member.name.empty());
  if (named && (!IsNumberedName(member.name, stem, &day) || day.substr(1) != digits)) {
    return "a member named \"" + member.name + "\", not " + std::string(stem) + ".?" + std::string(digits);
  }
  if (member.status == MemberStatus::kRead && member.day != day) return "a member of day \"" + member.day + "\" named " + member.name;
  if (member.status == MemberStatus::kUnsupported &&
      (member.name.size() > 16 || member.name.find_first_of("/\\:. ") != std::string::npos)) {
    return "a format named \"" + member.name + "\"";
  }
  return "";
}

// Why the helper failed, from how it ended and what it wrote; "" when it
// ended by itself and its answer is a record.
std::string HelperFailure(const HelperOutcome& outcome, std::string&& output, ArchiveMember* member) {
  if (outcome.signal != 0) return "killed by signal " + std::to_string(outcome.signal);
  if (outcome.exit_status != 0) return "exit status " + std::to_string(outcome.exit_status);
  if (output.empty()) return "no answer";
  if (!DecodeMember(std::move(output), member)) return "an answer that is not a record";
  return "";
}

ArchiveMember Failed(const std::string& detail) {
  ArchiveMember member;
  member.status = MemberStatus::kDamaged;
  member.detail = detail;
  return member;
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
                                 std::string_view digits, ReaderTime* time) {
  HelperRun run;
  run.program = kUnpackProgram;
  run.args = {std::string(stem), std::string(digits)};
  run.input = archive;
  run.cpu_seconds = kUnpackCpuSeconds;
  run.address_space = kUnpackAddressSpace;
  run.wall_ms = std::min(time->allowed_ms, kUnpackWallMs);
  run.max_output = kMaxListBytes + kRecordHeadBytes;
  std::string output;
  HelperOutcome outcome;
  ArchiveMember member;
  int error = platform.run_helper(platform.ctx, run, &output, &outcome);
  time->elapsed_ms = outcome.elapsed_ms;
  time->ran_out = error == 0 && outcome.timed_out;
  const std::string reader = std::string("the archive reader ") + kUnpackProgram;
  if (error == kErrFileNotFound) {
    return Failed(std::string("this tessel-index has no archive reader (") + kUnpackProgram +
                  ", built with the archive library; looked for as " + outcome.searched +
                  "); unpack the archive and put the list or diff it holds beside it");
  }
  if (error != 0) return Failed(reader + " cannot be started: " + ErrorText(error));
  if (outcome.timed_out) {
    member.status = MemberStatus::kOverBudget;
    member.detail = "unpacking took longer than " + Seconds(run.wall_ms);
  } else if (outcome.output_overflow) {
    member.status = MemberStatus::kTooLarge;
  } else if (outcome.over_limit) {
    member.status = MemberStatus::kOverBudget;
    member.detail = reader + " was stopped by its limits (" + std::to_string(kUnpackCpuSeconds) +
                    " s of processor time, " + std::to_string(kUnpackAddressSpace >> 20) + " MiB of memory)";
  } else if (std::string failure = HelperFailure(outcome, std::move(output), &member); !failure.empty()) {
    return Failed(reader + " failed (" + failure + ")");
  } else if (std::string misfit = Misfit(member, stem, digits); !misfit.empty()) {
    return Failed(reader + " failed (an answer that does not fit the archive: " + misfit + ")");
  }
  return member;
}

}  // namespace tessel
