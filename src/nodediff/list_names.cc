#include "nodediff/list_names.h"

#include "nodelist/catalogue.h"
#include "platform/file_search.h"

namespace tessel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// Whether "tail" is an archive's extension without its dot: a letter, then
// two digits.
bool IsArchiveTail(std::string_view tail) {
  if (tail.size() != 3) return false;
  char first = Upper(tail[0]);
  return first >= 'A' && first <= 'Z' && IsDigit(tail[1]) && IsDigit(tail[2]);
}

// Whether "tail" is a numbered extension without its dot: one or more digits.
bool IsNumberTail(std::string_view tail) { return !tail.empty() && AllDigits(tail); }

// Whether base name "name" ends in an extension whose text after the dot
// "is_tail" accepts; "*without" then receives the name without it.
bool CutExtension(std::string_view name, bool (*is_tail)(std::string_view), std::string* without) {
  std::string extension = SplitNodelistPath(name).extension;
  if (extension.empty() || !is_tail(std::string_view(extension).substr(1))) return false;
  *without = std::string(name.substr(0, name.size() - extension.size()));
  return true;
}

// Whether "file" is "stem", ".", then "tail_size" more characters.
bool HasStem(std::string_view file, std::string_view stem, size_t tail_size) {
  return file.size() == stem.size() + 1 + tail_size && file[stem.size()] == '.' &&
         EqualIgnoringCase(file.substr(0, stem.size()), stem);
}

constexpr const char* kMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The number of digits at "text[i]" (at most "most"), read into "*value".
size_t ReadDigits(std::string_view text, size_t i, size_t most, int* value) {
  size_t n = 0;
  *value = 0;
  while (i + n < text.size() && n < most && IsDigit(text[i + n])) *value = *value * 10 + (text[i + n++] - '0');
  return n;
}

}  // namespace

std::string DiffNameFor(std::string_view list_name) {
  std::string name(list_name);
  for (size_t i = 0; i + 4 <= name.size(); ++i) {
    if (EqualIgnoringCase(std::string_view(name).substr(i, 4), "LIST")) return name.replace(i, 4, "DIFF");
  }
  return "";
}

bool IsNumberedName(std::string_view file, std::string_view stem, std::string* day) {
  if (!HasStem(file, stem, 3) || !AllDigits(file.substr(stem.size() + 1))) return false;
  day->assign(file.substr(stem.size() + 1));
  return true;
}

bool IsArchivedName(std::string_view file, std::string_view stem, char* letter, std::string* digits) {
  if (!HasStem(file, stem, 3)) return false;
  std::string_view tail = file.substr(stem.size() + 1);
  if (!IsArchiveTail(tail)) return false;
  *letter = Upper(tail[0]);
  digits->assign(tail.substr(1));
  return true;
}

bool EndsInNumberedExtension(std::string_view name, std::string* without) {
  return CutExtension(name, IsNumberTail, without);
}

bool EndsInArchiveExtension(std::string_view name, std::string* without) {
  return CutExtension(name, IsArchiveTail, without);
}

const char* ArchiverOfLetter(char letter) {
  switch (Upper(letter)) {
    case 'Z':
      return "ZIP";
    case 'A':
      return "ARC";
    case 'L':
      return "LHA";
    case 'R':
      return "RAR";
    case 'J':
      return "ARJ";
    default:
      return "";
  }
}

int DateInFirstLine(std::string_view line) {
  // "<month> <day>, <year>", the month written out in English.
  for (size_t i = 0; i < line.size(); ++i) {
    if (i > 0 && Upper(line[i - 1]) >= 'A' && Upper(line[i - 1]) <= 'Z') continue;
    for (int m = 0; m < 12; ++m) {
      std::string_view month = kMonths[m];
      if (i + month.size() > line.size() || !EqualIgnoringCase(line.substr(i, month.size()), month)) continue;
      size_t j = i + month.size();
      while (j < line.size() && line[j] == ' ') ++j;
      int day = 0, year = 0;
      size_t n = ReadDigits(line, j, 2, &day);
      if (n == 0) continue;
      j += n;
      if (j < line.size() && line[j] == ',') ++j;
      while (j < line.size() && line[j] == ' ') ++j;
      if (ReadDigits(line, j, 4, &year) != 4 || day < 1 || day > 31) continue;
      static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
      int day_of_year = kBefore[m] + day + (m >= 2 && IsLeap(year) ? 1 : 0);
      return year * 1000 + day_of_year;
    }
  }
  return 0;
}

bool IsLaterList(const ListDay& a, const ListDay& b) {
  int date_a = DateInFirstLine(a.first_line);
  int date_b = DateInFirstLine(b.first_line);
  if (date_a != 0 && date_b != 0) return date_a > date_b;
  int ahead = ((a.day - b.day) % 366 + 366) % 366;
  return ahead > 0 && ahead <= 183;
}

}  // namespace tessel
