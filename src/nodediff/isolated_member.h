// Reading an archive's member in a helper process of its own.
//
// Archives come from the network, and the archive library is large code
// that unpacks formats nobody here has checked. So tessel-index never
// loads it: the helper program tessel-unpack reads the archive from its
// standard input and writes back one record, the member's status, name,
// day and the library's words on a first line, then the member's bytes.
// The platform runs the helper isolated: no file but its standard
// streams, no file writes, a few descriptors, limits on processor time
// and address space, and a wall-clock deadline enforced from outside; on
// Linux the helper also confines itself before it reads a byte (see
// platform/reader_confinement.h). Its answer is trusted in nothing: a
// member it names must be the one asked for, of the archive's day.
#ifndef TESSEL_NODEDIFF_ISOLATED_MEMBER_H_
#define TESSEL_NODEDIFF_ISOLATED_MEMBER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "nodediff/archive_member.h"
#include "platform/platform.h"

namespace tessel {

constexpr const char* kUnpackProgram = "tessel-unpack";
constexpr uint32_t kUnpackCpuSeconds = 15;
constexpr uint32_t kUnpackWallMs = 20000;
constexpr uint64_t kUnpackAddressSpace = uint64_t{1} << 30;

// The record of "member" as the helper writes it.
std::string EncodeMember(const ArchiveMember& member);
// Reads a record back; false when "record" is not one.
bool DecodeMember(std::string&& record, ArchiveMember* member);

// The wall-clock time of one read in the helper.
struct ReaderTime {
  uint32_t allowed_ms = kUnpackWallMs;  // its limit; never more than kUnpackWallMs
  uint32_t elapsed_ms = 0;              // how long it ran
  bool ran_out = false;                 // stopped at the limit
};

// Reads member "stem.?dd" of the archive open as "archive" in the helper,
// within "time->allowed_ms". Whatever goes wrong comes back as a status: a
// helper that cannot start, fails or gives an answer that does not fit
// the archive is kDamaged; one stopped by its limits of time or memory
// kOverBudget; "detail" says which.
ArchiveMember ReadMemberIsolated(const Platform& platform, FileId archive, std::string_view stem,
                                 std::string_view digits, ReaderTime* time);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_ISOLATED_MEMBER_H_
