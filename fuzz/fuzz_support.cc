#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tessel::fuzz {
namespace {

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Checks a rebuilt index against the one it replaced.
void CheckNewIndex(const std::string& old_index, const std::string& index, long nodes) {
  Require(old_index.size() >= 12 && index.size() >= 13, "new index has a head");
  Require(index.compare(0, 12, old_index, 0, 12) == 0, "header copied unchanged");
  int32_t first_entry = GetI32LE(Bytes(index) + 4);
  int slots = 0;
  Require(SlotCountOf(first_entry, &slots), "first entry offset sound");
  size_t first = static_cast<size_t>(first_entry);
  Require(index.size() >= first && (index.size() - first) % kIndexEntrySize == 0, "whole entries");
  Require(index[first - 1] == kMarkerByte, "marker byte");
  long entries = static_cast<long>((index.size() - first) / kIndexEntrySize);
  Require(nodes >= 0 && entries >= nodes && entries <= 2 * nodes, "entry count matches the nodes");
  long by_number = entries - nodes;
  uint32_t previous = 0;
  for (long k = 0; k < entries; ++k) {
    size_t at = first + kIndexEntrySize * static_cast<size_t>(k);
    bool by_node = k < by_number;
    EntryFields e = DecodeEntry(Bytes(index) + at, by_node ? Section::kNodeNumber : Section::kSysopName);
    Require(e.slot >= 1 && e.slot <= slots, "entry names a slot");
    if (by_node) {
      uint32_t zone_net = static_cast<uint32_t>(e.zone) << 16 | e.net;
      Require(zone_net >= previous, "node-number section ordered by zone and net");
      previous = zone_net;
    }
  }
}

// Whether the output says why the run ended with "status": the program's
// own message, or the report of a failed file operation with that number.
bool ExplainsStatus(const std::string& console, int status) {
  if (status == 0) return true;
  if (console.find("\r\nI/O error " + std::to_string(status) + " (") != std::string::npos) return true;
  switch (status) {
    case kExitNoMemory:
      return console.find("\r\nInsufficient memory - I need at least ") != std::string::npos;
    case kExitWriteError:
      return console.find(" writing file (not enough disk space?)\a") != std::string::npos;
    case kExitTooManyNets:
      return console.find("\r\nToo many nets\a") != std::string::npos;
    case kExitTooManyNodes:
      return console.find("\r\nToo many nodes in net\a") != std::string::npos;
    case kErrShortRead:
      return console.find(" is damaged; please set up nodelists in CONFIG.\a") != std::string::npos;
    default:
      return false;
  }
}

}  // namespace

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "check failed: %s\n", what);
  std::abort();
}

void PutFile(FakeDisk* disk, const std::string& path, std::string data) {
  FakeFile& file = disk->files[path];
  file.data = std::move(data);
  file.mtime = kFileTime;
}

int Run(FakeDisk* disk, const std::vector<std::string>& args, const RunOptions& options) {
  Platform platform = MakeFakePlatform(disk);
  std::vector<const char*> argv = {"tessel"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return RunProgram(platform, static_cast<int>(argv.size()), argv.data(), options);
}

long NodesProcessed(const std::string& console) {
  // The counts are the last thing a finished build prints; a file name
  // shown earlier cannot pass for them.
  if (!EndsWith(console, " nets processed\r\n")) return -1;
  size_t at = console.rfind(" nodes processed");
  if (at == std::string::npos) return -1;
  size_t start = at;
  while (start > 0 && console[start - 1] >= '0' && console[start - 1] <= '9') --start;
  return std::strtol(console.substr(start, at - start).c_str(), nullptr, 10);
}

bool CheckRun(const FakeDisk& before, const FakeDisk& after, int status, const std::string& index_path,
              const std::vector<int>& allowed) {
  Require(std::find(allowed.begin(), allowed.end(), status) != allowed.end(), "exit status allowed");
  Require(ExplainsStatus(after.console, status), "the output explains the exit status");
  for (const auto& [path, file] : after.files) {
    Require(!EndsWith(path, "nlindex.foo") && !EndsWith(path, "nlindex.bar"), "no temporary file left");
    if (path == index_path) continue;
    auto old = before.files.find(path);
    Require(old != before.files.end() && old->second.data == file.data, "other files untouched");
  }
  for (const auto& [path, file] : before.files) Require(after.files.count(path) == 1, "no file lost");
  auto old_index = before.files.find(index_path);
  auto index = after.files.find(index_path);
  Require((old_index == before.files.end()) == (index == after.files.end()), "index neither made nor lost");
  if (index == after.files.end()) return false;
  long nodes = NodesProcessed(after.console);
  if (nodes < 0) {
    Require(index->second.data == old_index->second.data, "index unchanged unless a build finished");
    return false;
  }
  Require(status == 0, "a finished build ends the run with 0");
  CheckNewIndex(old_index->second.data, index->second.data, nodes);
  return true;
}

}  // namespace tessel::fuzz
