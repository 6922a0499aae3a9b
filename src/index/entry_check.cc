#include "index/entry_check.h"

#include <algorithm>

#include "nodelist/line_splitter.h"
#include "nodelist/number.h"
#include "storage/records.h"

namespace tessel {
namespace {

// Whether the line the build reads ends at "end", "length" characters
// after its start: at a line feed (a carriage return before it is dropped),
// at the end of the file, or where the build cuts a long line.
bool LineEndsAt(std::string_view text, size_t end, size_t length) {
  if (end == text.size() || text[end] == '\n') return true;
  if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return true;
  return length == kMaxLineLength;
}

}  // namespace

std::string CheckEntryLine(std::string_view text, const EntryFields& e, std::string* sysop_name) {
  std::string where = "offset " + std::to_string(e.line_offset) + ", tail length " + std::to_string(e.tail_length);
  if (e.line_offset <= 0 || static_cast<size_t>(e.line_offset) + e.tail_length > text.size()) {
    return where + ": outside the nodelist's " + std::to_string(text.size()) + " bytes";
  }
  size_t offset = static_cast<size_t>(e.line_offset);
  size_t end = offset + e.tail_length;
  if (text[offset - 1] != ',') return where + ": the byte before the offset is not a comma";
  size_t line_start = text.rfind('\n', offset - 1);
  line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
  auto commas = std::count(text.begin() + static_cast<std::ptrdiff_t>(line_start),
                           text.begin() + static_cast<std::ptrdiff_t>(offset), ',');
  // A line that ends right after its first comma has no number field's
  // comma; the build points its entry at the line's end.
  bool bare_keyword = commas == 1 && e.tail_length == 0;
  if (commas != 2 && !bare_keyword) {
    return where + ": follows field " + std::to_string(commas) + " of its line, not the number field (field 2)";
  }
  if (text.substr(offset, e.tail_length).find('\n') != std::string_view::npos) {
    return where + ": runs past the end of its line";
  }
  size_t length = end - line_start;
  if (length > kMaxLineLength) return where + ": reaches past the line's 255th character";
  if (!LineEndsAt(text, end, length)) return where + ": stops short of its line's end";

  LineFields fields;
  SplitLine(text.substr(line_start, length), &fields);
  if (fields.rejected) return where + ": its line is one the build passes over";
  std::string_view keyword = fields.keyword.view();
  if (keyword == "PVT" || keyword == "HOLD" || keyword == "DOWN") {
    return where + ": points at a " + std::string(keyword) + " line, which has no entry";
  }
  auto number = static_cast<uint16_t>(FieldNumber(fields.number.view()));
  bool matches = e.node == number;
  if (keyword == "ZONE") {
    matches = e.zone == number && e.net == number && e.node == 0;
  } else if (keyword == "REGION" || keyword == "HOST") {
    matches = e.net == number && e.node == 0;
  }
  if (!matches) {
    return where + ": its line is " + std::string(keyword) + "," + std::string(fields.number.view()) +
           ", which is not node " + AddressText(e);
  }
  *sysop_name = std::string(fields.sysop.view().substr(0, kSysopNameCapacity));
  return "";
}

std::string FoldSysopName(std::string_view name) {
  std::string folded;
  for (char c : name.substr(0, kSysopNameCapacity)) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c == '_') c = ' ';
    folded.push_back(c);
  }
  return folded;
}

std::string SysopNameOf(std::string_view entry_text) {
  for (int field = 0; field < 2; ++field) {
    size_t comma = entry_text.find(',');
    if (comma == std::string_view::npos) return "";
    entry_text.remove_prefix(comma + 1);
  }
  return FoldSysopName(entry_text.substr(0, entry_text.find(',')));
}

}  // namespace tessel
