// Applying a nodediff to the nodelist it was made from.
//
// A nodediff's first line is a copy of the first line of the list it
// applies to. Each following line is a command: "Ann" adds the nn lines
// that follow it in the diff, "Cnn" copies the next nn lines of the old
// list, "Dnn" skips them. The commands must use up the old list exactly.
// Both texts end at their first Ctrl-Z (or at their end), and blank lines
// after a diff's last command are ignored; lines end in
// CR LF or a bare LF. The new list has CR LF line ends and a closing
// Ctrl-Z, whatever the line ends of the old list and the diff.
#ifndef TESSEL_NODEDIFF_DIFF_APPLY_H_
#define TESSEL_NODEDIFF_DIFF_APPLY_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tessel {

// No list, diff or archive member above this size is read or made: such
// files come from the network and must not exhaust memory.
constexpr size_t kMaxListBytes = size_t{64} << 20;

enum class DiffStatus {
  kApplied,
  kBadCommand,   // a command line that is not A, C or D with a number
  kPastEnd,      // a C or D command runs past the end of the old list
  kShortOfEnd,   // the commands stop before the end of the old list
  kTruncated,    // the diff ends inside the lines an A command adds
  kTooLarge,     // the new list would be larger than kMaxListBytes
};

struct DiffOutcome {
  DiffStatus status = DiffStatus::kApplied;
  size_t line = 0;  // the diff line (from 1) of the command at fault
};

// Applies "diff" to "old_list", replacing "*result" with the new list.
// "*result" holds nothing usable unless the status is kApplied. Whether
// the diff's first line matches the old list is the caller's question.
DiffOutcome ApplyNodediff(std::string_view old_list, std::string_view diff, std::string* result);

// What went wrong, for a message ("line 7: bad command \"X3\"").
std::string DiffProblem(const DiffOutcome& outcome, std::string_view diff);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_DIFF_APPLY_H_
