// The archive member reader on arbitrary bytes, as tessel-unpack runs it:
// whatever the archive, the result is one of the statuses, a member read
// has the expected name and at most 64 MiB, and its record for
// tessel-index reads back to the same member.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "nodediff/archive_member.h"
#include "nodediff/diff_apply.h"
#include "nodediff/isolated_member.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  using namespace tessel::fuzz;
  std::string_view archive(reinterpret_cast<const char*>(data), size);
  ArchiveMember member = ReadArchiveMember(archive, "NODEDIFF", "03");
  if (member.status == MemberStatus::kRead) {
    Require(member.bytes.size() <= kMaxListBytes, "a member of at most 64 MiB");
    Require(member.day.size() == 3 && member.day.substr(1) == "03", "the day of the archive's name");
    Require(member.name.find('/') == std::string::npos, "a member without folders");
  } else {
    Require(member.bytes.empty(), "no bytes from a member not read");
  }
  ArchiveMember back;
  Require(DecodeMember(EncodeMember(member), &back), "its record reads back");
  Require(back.status == member.status && back.bytes == member.bytes, "the same member, read back");
  return 0;
}
