// A whole nodelist through the reader and both orderings, over the
// in-memory disk. The first byte picks the run's setting: small sysop-name
// passes, an excluded zone, or the same nodelist in two slots.
#include <cstdint>
#include <string>
#include <tuple>

#include "fuzz_support.h"

namespace tessel::fuzz {
namespace {

// Every entry must point at the text after a number field's comma, within
// one line of the nodelist.
void CheckEntriesPointIntoLines(const std::string& index, size_t first_entry, const std::string& text) {
  for (size_t at = first_entry; at + 12 <= index.size(); at += 12) {
    uint32_t tail = static_cast<uint8_t>(index[at + 7]);
    uint32_t offset = GetU32LE(Bytes(index) + at + 8);
    Require(offset >= 1 && offset <= text.size() && text[offset - 1] == ',', "entry follows a comma");
    Require(offset + tail <= text.size(), "entry's tail inside the file");
    Require(text.substr(offset, tail).find('\n') == std::string::npos, "entry's tail inside its line");
  }
}

// The sysop name of the line an entry points at: the field after the
// system name and location, folded as the reader folds it, cut to 25.
std::string SysopNameAt(const std::string& text, uint32_t offset, uint32_t tail) {
  std::string rest = text.substr(offset, tail);
  size_t start = rest.find(',');
  if (start != std::string::npos) start = rest.find(',', start + 1);
  if (start == std::string::npos) return "";
  std::string name = rest.substr(start + 1, rest.find(',', start + 1) - start - 1);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c == '_') c = ' ';
  }
  return name.substr(0, 25);
}

// The sysop-name section, the last "nodes" entries, must be in order of
// sysop name (bytes unsigned, a prefix first), zone, net and node.
void CheckSysopOrder(const std::string& index, const std::string& text, long nodes) {
  auto key = [&](size_t at) {
    auto u16 = [&](size_t i) { return static_cast<uint8_t>(index[i]) | static_cast<uint8_t>(index[i + 1]) << 8; };
    std::string name = SysopNameAt(text, GetU32LE(Bytes(index) + at + 8), static_cast<uint8_t>(index[at + 7]));
    std::basic_string<unsigned char> bytes(name.begin(), name.end());
    return std::make_tuple(bytes, u16(at + 1), u16(at + 3), u16(at + 5));
  };
  size_t first = index.size() - 12 * static_cast<size_t>(nodes);
  for (size_t at = first + 12; at + 12 <= index.size(); at += 12) {
    Require(!(key(at) < key(at - 12)), "sysop-name section in order");
  }
}

}  // namespace
}  // namespace tessel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  using namespace tessel::fuzz;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  FakeDisk disk;
  std::vector<std::pair<std::string, std::string>> slots = {{"NODELIST", ""}};
  std::vector<std::string> args = {"-F"};
  RunOptions options;
  std::vector<int> allowed = {0, kExitTooManyNets, kExitTooManyNodes};
  switch (control & 3) {
    case 1:
      options.pass_record_limit = control >> 2;
      allowed = {0, kExitNoMemory, kExitTooManyNets, kExitTooManyNodes};
      break;
    case 2:
      args.push_back(std::to_string((control >> 2) - 8));
      break;
    case 3:
      slots.push_back({"nodelist", "001"});
      break;
  }
  PutFile(&disk, "nlindex.qdx", IndexHead(slots));
  PutFile(&disk, "NODELIST.001", text);
  FakeDisk before = disk;
  int status = Run(&disk, args, options);
  if (CheckRun(before, disk, status, "nlindex.qdx", allowed)) {
    const std::string& index = disk.files["nlindex.qdx"].data;
    CheckEntriesPointIntoLines(index, 13 + 47 * slots.size(), text);
    CheckSysopOrder(index, text, NodesProcessed(disk.console));
  }
  return 0;
}
