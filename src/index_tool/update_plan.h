// What update decides, apart from the disk. From the files there are (the
// directories' listings; the sources' names, days and first lines), the
// catalogue's base names and the options, it decides which full lists to
// install and where their times go, which diff to apply to which list,
// which numbered lists to remove, and what to say of each file and what
// becomes of it (done, refused or kept for the next run). Where a decision
// rests on what only a file's bytes show (its CRC, the list a diff makes,
// how a new list compares with the one it follows), the writer computes it
// and reports it, and the next stage here decides. Nothing here touches
// the platform or the disk.
#ifndef TESSEL_INDEX_TOOL_UPDATE_PLAN_H_
#define TESSEL_INDEX_TOOL_UPDATE_PLAN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "index_tool/commands.h"
#include "index_tool/list_succession.h"
#include "index_tool/update_moves.h"
#include "index_tool/update_sources.h"
#include "index_tool/update_write.h"
#include "nodediff/diff_apply.h"
#include "nodediff/nodelist_crc.h"

namespace tessel {

// A catalogued base name and the extension of the list the index was
// built from.
struct CatalogueBase {
  std::string base;
  std::string extension;
};

// Where a base name's lists are, and how its files are named.
struct BaseNames {
  std::string base;
  std::string dir;              // the nodelist directory, with its "/" ("" = current)
  std::string list_name;        // BASE's last component
  std::string diff_name;        // from --diff, or LIST replaced by DIFF
  std::string index_extension;  // of the list the index was built from
};
BaseNames NamesOf(const CatalogueBase& base, const ToolOptions& options);

// A directory as the run names it: "/" at its end, no leading "./".
std::string WithSlash(std::string dir);

// What the run says of a file, and what it makes of it.
enum class WordKind {
  kNote,    // "PATH: text" among the results
  kRefuse,  // "tessel-index: PATH: refused: text"; status 1, the file refused
  kFail,    // "tessel-index: PATH: text"; status 3
  kMark,    // nothing is said
};
struct Word {
  WordKind kind = WordKind::kMark;
  std::string path;
  std::string text;
  std::optional<FileVerdict> verdict;  // besides a refusal's own
};
using Words = std::vector<Word>;

// What to say of what reading "path" gave: nothing when it was read; a
// file the run could not finish reading stays for the next run.
Words ReadWords(ReadOutcome outcome, const std::string& path, const std::string& reason);

// The directories whose files may give "names" a new list: the nodelist
// directory, then each inbound one once.
std::vector<std::string> SourceDirs(const BaseNames& names, const ToolOptions& options);

// The sources among the ordinary files "listings" holds of each of "dirs"
// (in search order; null for a directory that could not be listed). When
// the nodelist directory could not be listed, "words" says so and nothing
// else is done for the base name.
struct BaseSources {
  Words words;
  SourceFiles files;
};
BaseSources PlanSources(const BaseNames& names, const std::vector<std::string>& dirs,
                        const std::vector<const std::vector<DirEntry>*>& listings);

// The temporary lists a killed run left among "entries" of the nodelist
// directory: their paths, to be removed under the lock.
std::vector<std::string> LeftoverLists(const BaseNames& names, const std::vector<DirEntry>& entries);

// A full list that checks, to be installed.
struct FullList {
  const Source* source = nullptr;
  std::string day;
  std::string first_line;
  uint16_t crc = 0;
};

// What reading a full list showed.
struct FullListRead {
  std::string day;
  std::string first_line;
  FullListCrc crc;
  std::string existing;  // the list of that day there already ("" = none)
};

// Takes full list "source", read as "read", among "*lists" (each day once,
// in the order of their days); or says why not.
Words TakeFullList(const Source& source, const FullListRead& read, std::vector<FullList>* lists);

// The list in use when the full lists are installed.
struct InUseList {
  bool found = false;
  std::string day;
  std::string first_line;  // "" when it could not be read
  int64_t mtime = 0;
  uint32_t packed = 0;  // its packed local time
};

// How one full list is installed: "before" the list in use, stamped by
// "rule", or after it as the newest list, compared with the list it
// follows (which it then becomes).
struct ListInstall {
  const FullList* list = nullptr;
  bool before = false;
  StampRule rule;
};
std::vector<ListInstall> PlanFullListInstalls(const std::vector<FullList>& lists, const InUseList& in_use);

// Says why "list", read again as "day" with check "crc", is not installed
// (it changed while the run read it); nothing when it may go on.
Words JudgeReread(const FullList& list, const std::string& day, const FullListCrc& crc);

// Whether the new list from "source" may follow the list before it, as
// "judged" compares them: a list of another network, or one with less
// than half its nodes, is refused unless --accept names the source.
// "summary" follows the new list's name: its node count and, "compared",
// its changes.
struct FollowDecision {
  bool follows = false;
  std::string summary;
  Words words;
};
FollowDecision JudgeFollow(const Succession& judged, const Source& source, bool compared, const ToolOptions& options);

// Said when a base name has no numbered list to work from.
Word NoListWord(const BaseNames& names);

// Said of a file whose list, "existing", is there already; it is done.
Words SkipExisting(const std::string& path, const std::string& existing);

// A diff that was read, by the list it applies to.
struct WaitingDiff {
  const Source* source = nullptr;
  std::string day;
  std::string first_line;
  bool used = false;
};

// Takes diff "source" of "day", whose first line is "first_line", among
// "*diffs"; or says why not.
Words TakeDiff(const Source& source, const std::string& day, std::string_view first_line,
               std::vector<WaitingDiff>* diffs);

// The next diff for the list whose first line is "list_line", marked used;
// null when none is left.
WaitingDiff* NextDiff(std::vector<WaitingDiff>* diffs, std::string_view list_line);

// Says why diff "path", read again, is not applied: its first line
// "read_line" is no longer the list's "list_line"; nothing when it is.
Words JudgeDiffReread(const std::string& path, std::string_view read_line, std::string_view list_line);

// Says why the list diff "path" made is not written: the diff did not
// apply ("applied", "problem" describing it) or the list's CRC "made"
// does not check; nothing when it may be written.
Words JudgeAppliedDiff(const std::string& path, const DiffOutcome& applied, const std::string& problem,
                       const ListCrc& made);

// The newest list when the unused diffs are judged ("name" "" = none).
struct NewestList {
  std::string name;
  std::string first_line;
};

// The day whose list the run must look for to judge unused diff "diff"
// ("" = none).
std::string DayToLookFor(const WaitingDiff& diff, const NewestList& newest);

// What to say of a diff that applied to no list, "existing" being the
// list of the day DayToLookFor named ("" = none there): why, what would
// bridge the gap, and whether the lists there make it redundant.
Words UnusedDiffWords(const BaseNames& names, const WaitingDiff& diff, const NewestList& newest,
                      const std::string& existing);

// A numbered list as found, with its packed local time.
struct FoundList {
  std::string name;
  uint32_t packed = 0;
};

// The lists to remove so that the "keep" newest numbered lists of
// "names" stay, by tessel's rule, never the newest ("newest"; "" = none)
// nor the one the index was built from. "found" is in search order.
std::vector<std::string> ListsToRemove(const BaseNames& names, const std::vector<FoundList>& found,
                                       const std::string& newest, int keep);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_UPDATE_PLAN_H_
