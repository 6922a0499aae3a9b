#include "nodediff/nodediff_util.h"

#if TESSEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

#include <algorithm>
#include <cstdint>
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

std::string MakeLha(const std::string& name, const std::string& contents) {
  uint16_t crc = 0;  // CRC-16 as LHA has it (ARC's)
  for (unsigned char byte : contents) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  uint32_t size = static_cast<uint32_t>(contents.size());
  std::string header = "-lh0-" + le32(size) + le32(size) + le32(0x21210000) + '\x20' + '\0' +
                       char(name.size()) + name + char(crc) + char(crc >> 8);
  int sum = 0;
  for (unsigned char byte : header) sum += byte;
  return std::string{char(header.size()), char(sum)} + header + contents + '\0';
}

#if TESSEL_HAVE_LIBARCHIVE
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& members) {
  return MakeArchive("zip", "none", members);
}

std::string MakeArchive(const std::string& format, const std::string& filter,
                        const std::vector<std::pair<std::string, std::string>>& members) {
  std::string buffer(1 << 22, '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  if (archive_write_set_format_by_name(a, format.c_str()) != ARCHIVE_OK ||
      (filter != "none" && archive_write_add_filter_by_name(a, filter.c_str()) != ARCHIVE_OK) ||
      archive_write_open_memory(a, buffer.data(), buffer.size(), &used) != ARCHIVE_OK) {
    throw std::runtime_error("cannot start an archive of " + format + " and " + filter);
  }
  for (const auto& [name, contents] : members) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
    if (archive_write_header(a, entry) < ARCHIVE_WARN ||
        archive_write_data(a, contents.data(), contents.size()) != static_cast<la_ssize_t>(contents.size())) {
      throw std::runtime_error(std::string("cannot write a member: ") + archive_error_string(a));
    }
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.resize(used);
  return buffer;
}

std::string MakeHeaderOnlyTar(size_t headers) {
  std::string buffer(headers * 16 + (1 << 20), '\0');
  size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_ustar(a);
  archive_write_add_filter_gzip(a);
  archive_write_set_filter_option(a, "gzip", "compression-level", "1");
  if (archive_write_open_memory(a, buffer.data(), buffer.size(), &used) != ARCHIVE_OK) {
    throw std::runtime_error("cannot start a tar archive");
  }
  archive_entry* entry = archive_entry_new();
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, 0);
  for (size_t i = 0; i < headers; ++i) {
    archive_entry_set_pathname(entry, ("h" + std::to_string(i)).c_str());
    if (archive_write_header(a, entry) != ARCHIVE_OK) throw std::runtime_error("cannot write a tar header");
  }
  archive_entry_free(entry);
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
std::string MakeArchive(const std::string&, const std::string&, const std::vector<std::pair<std::string, std::string>>&) {
  throw std::runtime_error("no archive library in this build");
}
std::string MakeHeaderOnlyTar(size_t) { throw std::runtime_error("no archive library in this build"); }
std::string MakeZeroBomb(size_t, const std::pair<std::string, std::string>&) {
  throw std::runtime_error("no archive library in this build");
}
#endif

}  // namespace tessel::test
