// How nodelists, nodediffs and their archives are named, and the day a
// list is of.
//
// A full list is BASE.nnn, nnn its day number; its diff is DIFFBASE.nnn,
// where DIFFBASE is BASE with "LIST" replaced by "DIFF" (NODELIST becomes
// NODEDIFF). An archived list or diff replaces the first digit of the
// extension by a letter naming the archiver (NODEDIFF.Z03 is ZIP) and
// holds one member named BASE.nnn or DIFFBASE.nnn. Names match without
// regard to case.
#ifndef TESSEL_NODEDIFF_LIST_NAMES_H_
#define TESSEL_NODEDIFF_LIST_NAMES_H_

#include <string>
#include <string_view>

namespace tessel {

// The diff name of a list name ("NODELIST" gives "NODEDIFF"), or "" when
// the name holds no "LIST".
std::string DiffNameFor(std::string_view list_name);

// Whether "file" is "stem" followed by "." and three digits; "*day" gets
// the digits.
bool IsNumberedName(std::string_view file, std::string_view stem, std::string* day);

// Whether "file" is "stem" followed by ".", a letter and two digits;
// "*letter" and "*digits" get them.
bool IsArchivedName(std::string_view file, std::string_view stem, char* letter, std::string* digits);

// Whether base name "name" ends in a numbered extension, one or more digits
// (nl/NODELIST.362), which tessel would take as part of the name and never
// find; "*without" receives the base name to use instead (nl/NODELIST).
bool EndsInNumberedExtension(std::string_view name, std::string* without);

// Whether base name "name" ends in an archive's extension, a letter and two
// digits (nl/NODELIST.Z03), which names no list tessel reads; "*without"
// receives the base name to use instead (nl/NODELIST).
bool EndsInArchiveExtension(std::string_view name, std::string* without);

// The archiver an archive's letter names ("ZIP" for Z), or "" for a letter
// that names none.
const char* ArchiverOfLetter(char letter);

// Which of two lists of the same network is the later one. A list is known
// by its first line (which usually says "Friday, January 3, 1997 -- Day
// number 003") and the day number of its name. Dates in both first lines
// decide; failing that, the day numbers, taken to wrap at the year's end
// (003 follows 362).
struct ListDay {
  std::string_view first_line;
  int day = 0;  // from the name, 0 to 999
};
bool IsLaterList(const ListDay& a, const ListDay& b);

// The date a first line names, as year * 1000 + day of the year; 0 when it
// names none.
int DateInFirstLine(std::string_view first_line);

}  // namespace tessel

#endif  // TESSEL_NODEDIFF_LIST_NAMES_H_
