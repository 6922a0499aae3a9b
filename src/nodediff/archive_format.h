// Archive formats known by their first bytes, without the archive library.
#ifndef TESSEL_NODEDIFF_ARCHIVE_FORMAT_H_
#define TESSEL_NODEDIFF_ARCHIVE_FORMAT_H_

#include <string>
#include <string_view>

namespace tessel {

// The format an archive's first bytes show ("ZIP", "ARC", "ARJ", ...), or
// "" when they show none known.
std::string ArchiveFormatOf(std::string_view archive);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_ARCHIVE_FORMAT_H_
