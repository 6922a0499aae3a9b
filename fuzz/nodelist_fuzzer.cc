// A whole nodelist through the reader and both orderings, over the
// in-memory disk. The first byte picks the run's setting: small sysop-name
// passes, an excluded zone, or the same nodelist in two slots.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <tuple>

#include "fuzz_support.h"
#include "index/entry_check.h"

namespace tessel::fuzz {
namespace {

// Every entry must point where the build puts it (index/entry_check.h).
void CheckEntriesPointIntoLines(const std::string& index, size_t first_entry, const std::string& text,
                                size_t node_entries) {
  std::string name;
  for (size_t at = first_entry; at + kIndexEntrySize <= index.size(); at += kIndexEntrySize) {
    Section section = (at - first_entry) / kIndexEntrySize < node_entries ? Section::kNodeNumber : Section::kSysopName;
    std::string problem = CheckEntryLine(text, DecodeEntry(Bytes(index) + at, section), &name);
    if (!problem.empty()) std::fprintf(stderr, "entry at byte %zu: %s\n", at, problem.c_str());
    Require(problem.empty(), "entry points at the rest of its node's line");
  }
}

// The sysop-name section, the last "nodes" entries, must be in order of
// sysop name (bytes unsigned, a prefix first), zone, net and node.
void CheckSysopOrder(const std::string& index, const std::string& text, long nodes) {
  auto key = [&](size_t at) {
    EntryFields e = DecodeEntry(Bytes(index) + at, Section::kSysopName);
    std::string name = SysopNameOf(std::string_view(text).substr(static_cast<size_t>(e.line_offset), e.tail_length));
    std::basic_string<unsigned char> bytes(name.begin(), name.end());
    return std::make_tuple(bytes, e.zone, e.net, e.node);
  };
  size_t first = index.size() - kIndexEntrySize * static_cast<size_t>(nodes);
  for (size_t at = first + kIndexEntrySize; at + kIndexEntrySize <= index.size(); at += kIndexEntrySize) {
    Require(!(key(at) < key(at - kIndexEntrySize)), "sysop-name section in order");
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
  std::vector<SlotSpec> slots = {{"NODELIST", ""}};
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
  PutFile(&disk, "nlindex.qdx", test::IndexHead(slots));
  PutFile(&disk, "NODELIST.001", text);
  FakeDisk before = disk;
  int status = Run(&disk, args, options);
  if (CheckRun(before, disk, status, "nlindex.qdx", allowed)) {
    const std::string& index = disk.files["nlindex.qdx"].data;
    long nodes = NodesProcessed(disk.console);
    size_t first_entry = static_cast<size_t>(FirstEntryOffsetFor(static_cast<int>(slots.size())));
    size_t entries = (index.size() - first_entry) / kIndexEntrySize;
    CheckEntriesPointIntoLines(index, first_entry, text, entries - static_cast<size_t>(nodes));
    CheckSysopOrder(index, text, nodes);
  }
  return 0;
}
