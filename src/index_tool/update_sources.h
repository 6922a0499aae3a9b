// The reading side of update: the files a new list can come from (full
// lists and diffs, plain or archived, in the nodelist directory and the
// inbound ones) and their contents, one file at a time.
#ifndef TESSEL_INDEX_TOOL_UPDATE_SOURCES_H_
#define TESSEL_INDEX_TOOL_UPDATE_SOURCES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessel {

// A file that may give a full list or a diff.
struct Source {
  std::string path;  // directory and name, as reported
  std::string name;  // the name alone
  bool archived = false;
  std::string day;   // three digits (plain) or the archive's two
  int64_t size = 0;  // as listed
};

// The sources of one base name: full lists (archived anywhere, plain in an
// inbound directory) and diffs. "dirs" starts with the nodelist directory;
// "listings" holds the files of each (null for one that was not listed).
struct SourceFiles {
  std::vector<Source> full_lists;
  std::vector<Source> diffs;
};
void FindSources(const std::vector<std::string>& dirs, const std::vector<const std::vector<DirEntry>*>& listings,
                 const std::string& list_name, const std::string& diff_name, SourceFiles* found);

// What reading a source gave.
enum class ReadOutcome {
  kRead,       // "*bytes" holds the list or diff, "*day" its three digits
  kRefused,    // the file is unfit: "*reason" says why
  kFailed,     // the file could not be read: "*reason" says why
  kPostponed,  // an archive left for the next run, unread: "*reason" says why
};

// The wall-clock time one run may spend reading archives, over all of
// them, so that no run holds its locks for minutes however many slow
// archives arrive. An archive not reached within it waits for the next run.
constexpr uint32_t kArchiveTimePerRunMs = 60000;
struct ArchiveTime {
  uint32_t left_ms = kArchiveTimePerRunMs;
};

// Reads the list or diff "source" holds: the file itself, or the member
// "stem.?dd" of an archive, read by the isolated helper within what is left
// of "*time", which it spends. Never more than kMaxListBytes. Throws
// std::bad_alloc when memory runs out.
ReadOutcome ReadSource(const Platform& platform, const Source& source, const std::string& stem, ArchiveTime* time,
                       std::string* bytes, std::string* day, std::string* reason);

// Reads a whole plain file of at most kMaxListBytes ("listed_size" sizes
// the buffer).
ReadOutcome ReadPlainFile(const Platform& platform, const std::string& path, int64_t listed_size,
                          std::string* bytes, std::string* reason);

// Reads the first few kilobytes of a plain file (its first line).
ReadOutcome ReadFileHead(const Platform& platform, const std::string& path, std::string* bytes, std::string* reason);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_UPDATE_SOURCES_H_
