#include "nodediff/diff_apply.h"

#include <cstring>

#include "nodediff/nodelist_crc.h"

namespace tessel {
namespace {

// Larger than any count of lines 64 MiB can hold.
constexpr size_t kHugeCount = size_t{1} << 40;

// Lines of a text, read from the front.
struct LineCursor {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
};

// The line at the cursor, without its line end; moves past it.
std::string_view NextLine(LineCursor* c) {
  const char* start = c->text.data() + c->pos;
  size_t left = c->text.size() - c->pos;
  const void* lf = std::memchr(start, '\n', left);
  size_t length = lf == nullptr ? left : static_cast<size_t>(static_cast<const char*>(lf) - start);
  c->pos += lf == nullptr ? left : length + 1;
  if (lf != nullptr && length > 0 && start[length - 1] == '\r') --length;
  return std::string_view(start, length);
}

// Moves the cursor past "count" lines and tells whether there were that
// many. "*crlf" says whether every one of them ended in CR LF.
bool SkipLines(LineCursor* c, size_t count, bool* crlf) {
  *crlf = true;
  const char* data = c->text.data();
  for (size_t i = 0; i < count; ++i) {
    if (c->AtEnd()) return false;
    size_t left = c->text.size() - c->pos;
    const void* lf = std::memchr(data + c->pos, '\n', left);
    if (lf == nullptr) {
      *crlf = false;  // the last line, without a line end
      c->pos = c->text.size();
      continue;
    }
    size_t at = static_cast<size_t>(static_cast<const char*>(lf) - data);
    if (at == c->pos || data[at - 1] != '\r') *crlf = false;
    c->pos = at + 1;
  }
  return true;
}

// Appends the lines of "block" with CR LF line ends.
void AppendLines(std::string_view block, bool crlf, std::string* out) {
  if (crlf) {
    out->append(block);
    return;
  }
  LineCursor c{block};
  while (!c.AtEnd()) {
    out->append(NextLine(&c));
    out->append("\r\n");
  }
}

// Reads a command "Ann", "Cnn" or "Dnn". Counts too large for any list
// become kHugeCount.
bool ParseCommand(std::string_view line, char* op, size_t* count) {
  if (line.size() < 2 || (line[0] != 'A' && line[0] != 'C' && line[0] != 'D')) return false;
  size_t value = 0;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    value = value >= kHugeCount ? kHugeCount : value * 10 + static_cast<size_t>(line[i] - '0');
  }
  *op = line[0];
  *count = value;
  return true;
}

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t\r") == std::string_view::npos; }

bool OnlyBlankLinesLeft(LineCursor c) {
  while (!c.AtEnd()) {
    if (!IsBlank(NextLine(&c))) return false;
  }
  return true;
}

}  // namespace

DiffOutcome ApplyNodediff(std::string_view old_list, std::string_view diff, std::string* result) {
  result->clear();
  LineCursor old_text{TextBeforeCtrlZ(old_list)};
  LineCursor diff_text{TextBeforeCtrlZ(diff)};
  result->reserve(old_text.text.size() + diff_text.text.size() + 1);
  NextLine(&diff_text);  // the first line of the old list, checked by the caller
  size_t line = 1;
  while (!diff_text.AtEnd()) {
    ++line;
    char op = 0;
    size_t count = 0;
    std::string_view command = NextLine(&diff_text);
    if (IsBlank(command) && OnlyBlankLinesLeft(diff_text)) break;  // blank lines after the last command
    if (!ParseCommand(command, &op, &count)) return {DiffStatus::kBadCommand, line};
    LineCursor* source = op == 'A' ? &diff_text : &old_text;
    size_t start = source->pos;
    bool crlf = true;
    if (!SkipLines(source, count, &crlf)) {
      return {op == 'A' ? DiffStatus::kTruncated : DiffStatus::kPastEnd, line};
    }
    if (op == 'D') continue;
    std::string_view block = source->text.substr(start, source->pos - start);
    AppendLines(block, crlf, result);
    if (result->size() > kMaxListBytes) return {DiffStatus::kTooLarge, line};
    if (op == 'A') line += count;
  }
  if (!old_text.AtEnd()) return {DiffStatus::kShortOfEnd, line};
  if (result->size() >= kMaxListBytes) return {DiffStatus::kTooLarge, line};
  result->push_back(kCtrlZ);
  return {DiffStatus::kApplied, line};
}

std::string DiffProblem(const DiffOutcome& outcome, std::string_view diff) {
  std::string at = "line " + std::to_string(outcome.line);
  switch (outcome.status) {
    case DiffStatus::kApplied:
      return "applied";
    case DiffStatus::kBadCommand: {
      LineCursor c{TextBeforeCtrlZ(diff)};
      std::string_view text;
      for (size_t i = 0; i < outcome.line && !c.AtEnd(); ++i) text = NextLine(&c);
      std::string shown;
      for (char ch : text.substr(0, 20)) shown += (ch >= ' ' && ch < 127) ? ch : '?';
      return at + ": \"" + shown + (text.size() > 20 ? "...\"" : "\"") + " is not a command (A, C or D and a number)";
    }
    case DiffStatus::kPastEnd:
      return at + ": runs past the end of the old list";
    case DiffStatus::kShortOfEnd:
      return "the commands stop before the end of the old list";
    case DiffStatus::kTruncated:
      return at + ": the diff ends inside the lines this command adds";
    case DiffStatus::kTooLarge:
      return "the new list would be larger than 64 MiB";
  }
  return "?";
}

}  // namespace tessel
