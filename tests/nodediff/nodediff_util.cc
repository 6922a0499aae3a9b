#include "nodediff/nodediff_util.h"

#if TESSEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "nodediff/nodelist_crc.h"

namespace tessel::test {
namespace {

// The lines of a list, each with its line end, up to the Ctrl-Z.
std::vector<std::string> LinesOf(const std::string& list) {
  std::vector<std::string> lines;
  std::string_view text = TextBeforeCtrlZ(list);
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

}  // namespace

std::string MakeList(const std::string& day, const std::vector<std::string>& lines, const std::string& network) {
  std::string body;
  for (const std::string& line : lines) body += line + "\r\n";
  return ";A " + network + " list for " + day + " : " + CrcText(Crc16(body.data(), body.size())) + "\r\n" + body + "\x1A";
}

std::string MakeDiff(const std::string& old_list, const std::string& new_list) {
  std::vector<std::string> old_lines = LinesOf(old_list), new_lines = LinesOf(new_list);
  std::string diff = old_lines.at(0);
  diff += 'D';
  diff += std::to_string(old_lines.size());
  diff += "\r\nA";
  diff += std::to_string(new_lines.size());
  diff += "\r\n";
  for (const std::string& line : new_lines) diff += line;
  return diff;
}

#if TESSEL_HAVE_LIBARCHIVE
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string buffer(1 << 22, '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_memory(a, buffer.data(), buffer.size(), &used) != ARCHIVE_OK) {
    throw std::runtime_error("cannot start a ZIP archive");
  }
  for (const auto& [name, contents] : members) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
    if (archive_write_header(a, entry) != ARCHIVE_OK ||
        archive_write_data(a, contents.data(), contents.size()) != static_cast<la_ssize_t>(contents.size())) {
      throw std::runtime_error(std::string("cannot write a ZIP member: ") + archive_error_string(a));
    }
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.resize(used);
  return buffer;
}

std::string MakeZeroBomb(size_t zeros, const std::pair<std::string, std::string>& last) {
  std::string buffer(zeros / 256 + last.second.size() + (1 << 20), '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_add_filter_gzip(a);
  if (archive_write_open_memory(a, buffer.data(), buffer.size(), &used) != ARCHIVE_OK) {
    throw std::runtime_error("cannot start a tar archive");
  }
  const std::string block(1 << 20, '\0');
  for (const auto& [name, size] : {std::pair<std::string, size_t>{"zeros", zeros}, {last.first, last.second.size()}}) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(size));
    archive_write_header(a, entry);
    for (size_t at = 0; name == "zeros" && at < size; at += block.size()) {
      archive_write_data(a, block.data(), std::min(block.size(), size - at));
    }
    if (name != "zeros") archive_write_data(a, last.second.data(), last.second.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.resize(used);
  return buffer;
}
#else
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>&) {
  throw std::runtime_error("no archive library in this build");
}
std::string MakeZeroBomb(size_t, const std::pair<std::string, std::string>&) {
  throw std::runtime_error("no archive library in this build");
}
#endif

}  // namespace tessel::test
