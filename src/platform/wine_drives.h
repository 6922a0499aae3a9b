// Windows paths on Linux: a host that runs under Wine writes its
// configuration with drive letters (a catalogue base name of
// C:\BBS\NODELIST\NODELIST, a data directory of C:\BBS\DATA\, KORVO=C:\BBS).
// Wine keeps its drives in the prefix as dosdevices/c: and the like (links
// to the Linux directories) and finds names without regard to letter case;
// this resolves such paths the same way, for the POSIX platform.
#ifndef TESSEL_PLATFORM_WINE_DRIVES_H_
#define TESSEL_PLATFORM_WINE_DRIVES_H_

#include <string>
#include <string_view>

namespace tessel {

// Whether "path" starts with a drive letter and a colon ("C:", "d:/x").
bool HasDriveLetter(std::string_view path);

// "path" (separated by "/") resolved through the drive devices of Wine
// prefix "prefix": "C:/BBS/Data/nlindex.qdx" becomes
// "PREFIX/dosdevices/c:/bbs/data/nlindex.qdx", each component matched
// without regard to ASCII letter case where the exact name is not there
// (the first such entry in the directory's order; a component found
// nowhere, and all after it, stay as written). "C:x" counts as "C:/x".
// Like Windows, "." and ".." are taken by their letters before anything is
// looked up, and never climb above the drive: "C:/../../x" is "C:/x", and
// "C:/nowhere/../BBS" is "C:/BBS" whether or not "nowhere" exists.
// A path without a drive letter, an empty prefix or a letter the prefix
// does not map leave "path" unchanged.
std::string ResolveWineDrive(std::string_view path, std::string_view prefix);

// The Wine prefix that "environment" ("NAME=value" entries ended by a null
// pointer) names: WINEPREFIX, else HOME's .wine, else "".
std::string WinePrefix(const char* const* environment);

}  // namespace tessel

#endif  // TESSEL_PLATFORM_WINE_DRIVES_H_
