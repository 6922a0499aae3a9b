// Nodelists, nodediffs and ZIP archives made up for the nodediff tests.
#ifndef TESSEL_TESTS_NODEDIFF_NODEDIFF_UTIL_H_
#define TESSEL_TESTS_NODEDIFF_NODEDIFF_UTIL_H_

#include <string>
#include <utility>
#include <vector>

namespace tessel::test {

// A nodelist: the first line ";A NETWORK list for DAY : nnnnn" with the CRC
// of "lines" (CR LF each), then the lines and Ctrl-Z.
std::string MakeList(const std::string& day, const std::vector<std::string>& lines,
                     const std::string& network = "Test");

// A nodediff from "old_list" to "new_list" that deletes every old line and
// adds every new one.
std::string MakeDiff(const std::string& old_list, const std::string& new_list);

// A ZIP archive of (name, contents) members, written by the archive library.
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& members);
// The same in any format and compression the library writes ("7zip",
// "pax", "ustar"; "none", "gzip", "bzip2", "xz").
std::string MakeArchive(const std::string& format, const std::string& filter,
                        const std::vector<std::pair<std::string, std::string>>& members);
// An LHA archive (level 0 headers, stored) of one member: the library
// reads LHA but does not write it.
std::string MakeLha(const std::string& name, const std::string& contents);

// A gzip-compressed tar archive of "headers" empty members and nothing
// else: about a kilobyte packed for every megabyte of headers.
std::string MakeHeaderOnlyTar(size_t headers);

// A gzip-compressed tar archive whose first member is "zeros" bytes of
// zeros (a few hundred kilobytes packed), then member "last".
std::string MakeZeroBomb(size_t zeros, const std::pair<std::string, std::string>& last);
// Skips a test that needs archives in a build without the archive library
// (the Windows build), where tessel-index refuses them.
#if TESSEL_HAVE_LIBARCHIVE
#define SKIP_WITHOUT_ARCHIVES() (void)0
#else
#define SKIP_WITHOUT_ARCHIVES() GTEST_SKIP() << "built without the archive library, which refuses archives"
#endif

}  // namespace tessel::test

#endif  // TESSEL_TESTS_NODEDIFF_NODEDIFF_UTIL_H_
