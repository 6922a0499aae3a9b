// Lays out the weekly cycle at its heaviest for bench/update_memory.sh: a
// catalogue of nl/NODELIST, a list nl/NODELIST.001 of about SIZE MiB, and
// COUNT nodediffs of about SIZE MiB each waiting in in/: NODEDIFF.002,
// which applies to the list, and others made for lists of another network
// that are not here (read, then skipped).
//
//   update_memory_bench DIR SIZE_MIB COUNT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "nodediff/nodelist_crc.h"
#include "testing/index_builders.h"

namespace {

// A list of "lines" node lines under first line "title", its CRC right.
std::string BenchList(const std::string& title, long lines, long salt) {
  std::string body;
  body.reserve(static_cast<size_t>(lines) * 72);
  for (long i = 0; i < lines; ++i) {
    body += "Host," + std::to_string(i) + ",Bench_Net_" + std::to_string(i * 7 + salt) +
            ",Somewhere,Jo_Sysop,1-555-0000,9600,CM,XA\r\n";
  }
  return ";A " + title + " : " + tessel::CrcText(tessel::Crc16(body.data(), body.size())) + "\r\n" + body + "\x1A";
}

// A diff that replaces every line of a list of "old_lines" lines by "next".
std::string ReplacingDiff(const std::string& first_line, long old_lines, const std::string& next, long next_lines) {
  return first_line + "\r\nD" + std::to_string(old_lines) + "\r\nA" + std::to_string(next_lines + 1) + "\r\n" +
         next.substr(0, next.size() - 1);
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: update_memory_bench DIR SIZE_MIB COUNT\n");
    return 2;
  }
  std::filesystem::path dir = argv[1];
  long lines = std::atol(argv[2]) * (1 << 20) / 70;
  int count = std::atoi(argv[3]);
  std::filesystem::create_directories(dir / "nl");
  std::filesystem::create_directories(dir / "in");
  Write(dir / "nlindex.qdx", tessel::test::IndexHead({{"nl/NODELIST", "001"}}));
  std::string day1 = BenchList("Bench list for Friday, January 1, 2027 -- Day number 001", lines, 0);
  Write(dir / "nl/NODELIST.001", day1);
  std::string day2 = BenchList("Bench list for Friday, January 8, 2027 -- Day number 008", lines, 1);
  std::string first = day1.substr(0, day1.find('\r'));
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "NODEDIFF.%03d", 8 + k);
    std::string for_list = k == 0 ? first : ";A Another network's list " + std::to_string(k) + " : 00000";
    Write(dir / "in" / name, ReplacingDiff(for_list, lines + 1, day2, lines));
  }
  return 0;
}
