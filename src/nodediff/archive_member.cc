#include "nodediff/archive_member.h"

#if TESSEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

#include <memory>

#include "nodediff/diff_apply.h"
#include "nodediff/list_names.h"

namespace tessel {

#if TESSEL_HAVE_LIBARCHIVE
namespace {

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveCloser>;

std::string LibraryWords(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown error";
}

// Whether more than kArchiveBudgetBytes have been decompressed: what the
// format has taken from the decompressor (headers and skipped data too),
// or, for formats that unpack their members themselves (ZIP, 7-Zip, ...),
// the members' data "data_bytes", whichever is more.
bool OverBudget(archive* a, size_t data_bytes) {
  la_int64_t taken = archive_filter_bytes(a, 0);
  return data_bytes > kArchiveBudgetBytes || (taken > 0 && static_cast<uint64_t>(taken) > kArchiveBudgetBytes);
}

// Reads the current member's data, counting it in "*data_bytes", into
// "*bytes" (at most kMaxListBytes), or nowhere when "bytes" is null.
MemberStatus ReadData(archive* a, size_t* data_bytes, std::string* bytes, std::string* detail) {
  char buffer[65536];
  for (;;) {
    la_ssize_t n = archive_read_data(a, buffer, sizeof buffer);
    if (n < 0) {
      *detail = LibraryWords(a);
      return MemberStatus::kDamaged;
    }
    if (n == 0) return MemberStatus::kRead;
    *data_bytes += static_cast<size_t>(n);
    if (OverBudget(a, *data_bytes)) return MemberStatus::kOverBudget;
    if (bytes == nullptr) continue;
    if (bytes->size() + static_cast<size_t>(n) > kMaxListBytes) return MemberStatus::kTooLarge;
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

// The compression filters the library has built in; a filter it lacks
// would otherwise be run as an external program.
void SupportBuiltInFilters(archive* a) {
  archive_read_support_filter_compress(a);  // always built in
  if (archive_zlib_version() != nullptr) archive_read_support_filter_gzip(a);
  if (archive_bzlib_version() != nullptr) archive_read_support_filter_bzip2(a);
  if (archive_liblzma_version() != nullptr) {
    archive_read_support_filter_xz(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_lzip(a);
  }
  if (archive_libzstd_version() != nullptr) archive_read_support_filter_zstd(a);
  if (archive_liblz4_version() != nullptr) archive_read_support_filter_lz4(a);
}

}  // namespace

ArchiveMember ReadArchiveMember(std::string_view bytes, std::string_view stem, std::string_view digits) {
  ArchiveMember result;
  ArchiveReader reader(archive_read_new());
  archive* a = reader.get();
  if (a == nullptr) {
    result.status = MemberStatus::kDamaged;
    result.detail = "the archive library could not start";
    return result;
  }
  SupportBuiltInFilters(a);
  archive_read_support_format_all(a);
  size_t data_bytes = 0;
  if (archive_read_open_memory(a, bytes.data(), bytes.size()) != ARCHIVE_OK) {
    result.status = archive_format(a) == 0 ? MemberStatus::kUnsupported : MemberStatus::kDamaged;
    result.detail = LibraryWords(a);
    return result;
  }
  for (bool first = true;; first = false) {
    archive_entry* entry = nullptr;
    int status = archive_read_next_header(a, &entry);
    if (status == ARCHIVE_EOF) return result;  // kNoMember
    if (status == ARCHIVE_FATAL || (status != ARCHIVE_OK && status != ARCHIVE_WARN) || entry == nullptr) {
      result.status = first && archive_format(a) == 0 ? MemberStatus::kUnsupported
                                                                              : MemberStatus::kDamaged;
      result.detail = LibraryWords(a);
      return result;
    }
    // A small archive of nothing but headers unpacks to gigabytes too.
    if (OverBudget(a, data_bytes)) {
      result.status = MemberStatus::kOverBudget;
      return result;
    }
    const char* path = archive_entry_pathname(entry);
    std::string day;
    if (path == nullptr || !IsNumberedName(path, stem, &day) || day.substr(1) != digits ||
        archive_entry_filetype(entry) != AE_IFREG) {
      // Another member, a folder, or a name with folders in it: its data
      // is decompressed all the same on the way to the next, so it counts.
      result.status = ReadData(a, &data_bytes, nullptr, &result.detail);
      if (result.status != MemberStatus::kRead) return result;
      result.status = MemberStatus::kNoMember;
      continue;
    }
    result.name = path;
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > static_cast<la_int64_t>(kMaxListBytes)) {
      result.status = MemberStatus::kTooLarge;
      return result;
    }
    if (archive_entry_size_is_set(entry)) result.bytes.reserve(static_cast<size_t>(archive_entry_size(entry)));
    result.status = ReadData(a, &data_bytes, &result.bytes, &result.detail);
    if (result.status != MemberStatus::kRead) {
      result.bytes.clear();
      return result;
    }
    result.day = day;
    return result;
  }
}

#else

// Built without the archive library (the Windows build): every archive is
// refused with the reason, and plain lists and diffs are read as usual.
ArchiveMember ReadArchiveMember(std::string_view, std::string_view, std::string_view) {
  ArchiveMember result;
  result.status = MemberStatus::kDamaged;
  result.detail = "this tessel-index was built without an archive library; unpack the archive and put the "
                  "list or diff it holds beside it";
  return result;
}
#endif

}  // namespace tessel
