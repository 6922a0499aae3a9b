// Reading the one member of an archived nodelist or nodediff from the
// archive's bytes in memory, through the archive library (ZIP, LHA, RAR,
// 7-Zip and more).
//
// Archives come from the network: a member's name never becomes a path.
// Only a member named exactly "stem.nnn" (letter case aside, no folders)
// whose last two digits are the archive's is read, and no more than
// kMaxListBytes of it. Every decompressed byte counts against a budget
// (kArchiveBudgetBytes): members' headers, and the data of members skipped
// on the way too, so that a small archive that unpacks to gigabytes is
// given up quickly. Only the compression filters built into the library are
// enabled: an archive never starts another program.
#ifndef TESSEL_NODEDIFF_ARCHIVE_MEMBER_H_
#define TESSEL_NODEDIFF_ARCHIVE_MEMBER_H_

#include <string>
#include <string_view>

#include "nodediff/archive_format.h"

namespace tessel {

enum class MemberStatus {
  kRead,
  kNoMember,     // no member of the expected name
  kTooLarge,     // the member would unpack to more than kMaxListBytes
  kUnsupported,  // a format the archive library cannot read
  kDamaged,      // the library recognised the format but could not read it
  kOverBudget,   // more than kArchiveBudgetBytes decompressed in all
};

// Bytes decompressed at most from one archive, over all its members.
constexpr size_t kArchiveBudgetBytes = size_t{128} << 20;

struct ArchiveMember {
  MemberStatus status = MemberStatus::kNoMember;
  std::string name;    // the member read (kRead, kTooLarge), or the format (kUnsupported)
  std::string day;     // its three digits (kRead)
  std::string bytes;   // its contents (kRead)
  std::string detail;  // the library's words, or the format it cannot read
};

// Reads the member "stem.?dd" ("dd" being "digits") of "archive".
ArchiveMember ReadArchiveMember(std::string_view archive, std::string_view stem, std::string_view digits);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_ARCHIVE_MEMBER_H_
