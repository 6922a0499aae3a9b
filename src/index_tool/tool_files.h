// tessel-index's paths and whole files, all through the injected platform:
// joining a directory and a name, making a path absolute for messages,
// and reading, replacing and finding files whole.
#ifndef TESSEL_INDEX_TOOL_TOOL_FILES_H_
#define TESSEL_INDEX_TOOL_TOOL_FILES_H_

#include <string>

#include "platform/platform.h"

namespace tessel {

// "dir/name", or "name" when "dir" is empty.
std::string PathIn(const std::string& dir, const std::string& name);

// "path" made absolute against the current directory and lexically
// normalised, for messages (with the system's separator, DisplayPath); a
// "path" ending in "/" keeps its separator.
std::string AbsolutePath(const Platform& platform, const std::string& path);

// "path" as a message names it: one with a drive letter as the system
// reaches it (on Linux through the Wine prefix: AbsolutePath), any other as
// given, with the system's separator.
std::string ShownPath(const Platform& platform, const std::string& path);

// Reads the rest of open file "file": 0, or the host error number.
int ReadOpenFile(const Platform& platform, FileId file, std::string* bytes);

// Reads file "path" whole: 0, or the host error number of the failed step.
int ReadWholeFile(const Platform& platform, const std::string& path, std::string* bytes);

// Replaces "path" with "bytes" as tessel replaces the index: written new as
// "temp_name" in the same directory and renamed over "path"
// (storage/new_file.h: WriteWholeNewFile), the caller holding the
// directory's lock. Returns 0 or the host error number of the failed step.
int ReplaceWholeFile(const Platform& platform, const std::string& path, const std::string& temp_name,
                     const std::string& bytes);

// Whether the directory of "path" lists an entry of exactly its name (a
// link to nothing included).
bool NameExists(const Platform& platform, const std::string& path);

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_TOOL_FILES_H_
