#include "nodelist/line_splitter.h"

namespace tessel {
namespace {

char Fold(char c, bool sysop) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
  if (sysop && c == '_') return ' ';
  return c;
}

}  // namespace

void SplitLine(std::string_view line, LineFields* fields) {
  fields->keyword.length = 0;
  fields->number.length = 0;
  fields->sysop.length = 0;
  fields->tail_length = 0;
  fields->rejected = true;
  if (line.size() <= 2 || line[0] == ';') return;

  LineField* order[3] = {&fields->keyword, &fields->number, &fields->sysop};
  size_t pos = 0;
  size_t count = line.size();  // characters still to be taken
  for (int f = 0; f < 3; ++f) {
    LineField* field = order[f];
    bool sysop = f == 2;
    for (;;) {
      char c = line[pos++];
      --count;
      if (c == ',') break;
      if (field->length < kFieldCapacity) field->text[field->length++] = Fold(c, sysop);
      if (count == 0) {  // the line ends inside this field
        field->length = 0;
        return;
      }
    }
    if (f == 1) {
      fields->tail_length = static_cast<uint8_t>(count);
      // Pass over the system name and the location, commas included.
      for (int commas = 0; commas < 2 && count > 0; --count) {
        if (line[pos++] == ',') ++commas;
      }
    }
    if (sysop || count == 0) break;
  }
  fields->rejected = false;
}

}  // namespace tessel
