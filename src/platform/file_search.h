// The host's directory search and file-name rules, built on the platform's
// plain directory listing.
//
// On the host, "\" separates directories and names match without regard to
// letter case. Here both "\" and "/" are separators (every "\" becomes "/"
// before a path reaches the platform), and the last component of a path is
// matched ASCII case-insensitively, so that a catalogue written on a
// DOS-style host that says NODELIST finds nodelist.123. Directory components
// are used as written.
#ifndef TESSEL_PLATFORM_FILE_SEARCH_H_
#define TESSEL_PLATFORM_FILE_SEARCH_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tessel {

// "path" with every "\" turned into "/".
std::string HostPath(std::string_view path);

// "path" as messages show it, in the system's own form: on Windows every
// "/" becomes "\"; elsewhere it is unchanged.
std::string DisplayPath(std::string_view path);

// Splits a host path at its last "/": the directory part keeps its "/"
// ("" when there is none), the name is the rest.
void SplitLastComponent(std::string_view path, std::string_view* directory, std::string_view* name);

// Whether "name" matches "pattern", where "*" matches any run of characters
// and "?" exactly one; letters match without regard to ASCII case.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Whether "a" and "b" are equal when ASCII letters are taken as upper case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Orders names as the search returns them: by their ASCII upper-case form,
// bytewise, then by their raw bytes.
bool SearchOrderLess(std::string_view a, std::string_view b);

enum class SearchFilter {
  kAnyEntry,       // directories, hidden files and all
  kOrdinaryFiles,  // regular files only, none hidden or system, none whose name starts with "."
};

// The entries of the directory of "pattern" (a path in either separator
// style) whose names match its last component, in search order. A
// directory that cannot be listed yields nothing.
std::vector<DirEntry> SearchFiles(const Platform& platform, std::string_view pattern,
                                  SearchFilter filter);

// The same entries in the order the directory listed them.
std::vector<DirEntry> SearchFilesUnordered(const Platform& platform, std::string_view pattern,
                                           SearchFilter filter);

// Whether a search for "path" finds any entry at all.
bool FileExists(const Platform& platform, std::string_view path);

// Opens an existing file (read and write, or read only) named by "path" in
// either separator style. When no entry has the exact name, the first entry
// of its directory, in search order, whose name equals the last component
// without regard to case is opened instead. "*opened" receives the host path
// actually used. Returns 0 or the error number of the open.
int OpenExistingFile(const Platform& platform, std::string_view path, bool read_only,
                     FileId* file, std::string* opened);

// Creates file "path" for reading and writing, or truncates the regular
// file of its own that the name holds. A symbolic link at the name, or a
// file that shares its data with another name, is removed first and the
// file made new, so that nothing is ever written through the name into
// another file. Returns 0 or the error number of the failed step.
int CreateOrTruncate(const Platform& platform, const char* path, FileId* file);

}  // namespace tessel

#endif  // TESSEL_PLATFORM_FILE_SEARCH_H_
