// Tests of the index's two orderings and the way their entries leave the
// entry buffer, run in process over the in-memory disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "index/partition_sort.h"
#include "index/sysop_order.h"
#include "testing/fake_platform.h"
#include "run/program.h"
#include "storage/coding.h"
#include "test_util.h"

namespace tessel::test {
namespace {

// A fake disk that notes, at every console write, how many file operations
// came before it, so that output and file access can be told apart in time.
struct TracedDisk : FakeDisk {
  std::vector<std::pair<size_t, size_t>> marks;  // console size after a write, log size then
};

void TracedConsole(void* ctx, const char* data, size_t size) {
  auto* disk = static_cast<TracedDisk*>(static_cast<FakeDisk*>(ctx));
  disk->console.append(data, size);
  disk->marks.emplace_back(disk->console.size(), disk->log.size());
}

// The console output from "Sorting by node number..." to the end of the
// sysop-name line, with the temporary file's repositionings and reads
// ({s<record>}, {r<records>}) and the new index's writes ({w<bytes>}) where
// they happened. A seek to where the file already stands moves nothing and
// is not shown.
std::string SortTrace(const TracedDisk& disk) {
  std::string trace;
  size_t op = 0;
  size_t shown = 0;
  int64_t at = -1;  // the record the temporary file stands at, -1 unknown
  auto add_ops_until = [&](size_t end) {
    for (; op < end; ++op) {
      const FakeOpRecord& r = disk.log[op];
      int64_t records = r.size / 38;
      if (r.path == "nlindex.foo" && r.op == FileOp::kSeek && records != at) trace += "{s" + std::to_string(records) + "}";
      if (r.path == "nlindex.foo" && r.op == FileOp::kSeek) at = records;
      if (r.path == "nlindex.foo" && r.op == FileOp::kRead) {
        trace += "{r" + std::to_string(records) + "}";
        at = at < 0 ? -1 : at + records;
      }
      if (r.path == "nlindex.bar" && r.op == FileOp::kWrite) trace += "{w" + std::to_string(r.size) + "}";
    }
  };
  for (auto [console_end, log_size] : disk.marks) {
    add_ops_until(log_size);
    trace += disk.console.substr(shown, console_end - shown);
    shown = console_end;
  }
  add_ops_until(disk.log.size());
  size_t from = trace.find("Sorting by node number");
  size_t sysop = trace.find("Sorting by sysop name");
  if (from == std::string::npos || sysop == std::string::npos) return trace;
  return trace.substr(from, trace.find("\r\n", sysop) + 2 - from);
}

// The part of a sort trace that belongs to the node-number section.
std::string NodeSectionReads(const std::string& trace) {
  size_t from = trace.find("...") + 3;
  return trace.substr(from, trace.find("\r\n") - from);
}

std::string NodeLine(const std::string& keyword, long number, const std::string& sysop) {
  return keyword + "," + std::to_string(number) + ",Some_BBS,Some_Place," + sysop + ",1-234-567,300";
}

// Catalogues one nodelist per entry of "lists" (slot k + 1 reads LIST<A+k>.001)
// and puts them on "disk" with CR LF line ends. Returns the old index.
std::string PutNodelists(FakeDisk* disk, const std::vector<std::vector<std::string>>& lists) {
  std::vector<SlotSpec> slots;
  for (size_t k = 0; k < lists.size(); ++k) {
    std::string name = std::string("LIST") + static_cast<char>('A' + k);
    slots.push_back({name, "001"});
    disk->files[name + ".001"].data = Lines(lists[k]);
  }
  disk->files["nlindex.qdx"].data = IndexHead(slots, 0xDEADBEEF, 0x01020304);
  return disk->files["nlindex.qdx"].data;
}

int Build(TracedDisk* disk, int32_t pass_capacity = -1) {
  Platform platform = MakeFakePlatform(disk);
  platform.write_console = TracedConsole;
  const char* argv[] = {"tessel", "-F"};
  RunOptions options;
  if (pass_capacity >= 0) options.pass_record_limit = pass_capacity;
  return RunProgram(platform, 2, argv, options);
}

std::vector<Entry> EntriesOf(const std::string& index, size_t slots) {
  std::vector<Entry> entries;
  for (size_t at = 13 + 47 * slots; at + 12 <= index.size(); at += 12) entries.push_back(ReadEntry(index, at));
  return entries;
}

// The number of the line of "text" that holds byte "offset".
int LineOf(const std::string& text, int32_t offset) {
  return static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

std::vector<int> WrittenSizes(const FakeDisk& disk, const std::string& path) {
  std::vector<int> sizes;
  for (const FakeOpRecord& r : disk.log) {
    if (r.op == FileOp::kWrite && r.path == path) sizes.push_back(static_cast<int>(r.size));
  }
  return sizes;
}

// ---------------------------------------------------------------------------
// The partition-exchange sort.

// Sorts elements written "2a 1b" (key, then a tag that tells them apart) and
// writes them back the same way.
std::string SortTagged(const std::string& elements) {
  std::vector<std::pair<int, char>> items;
  std::istringstream in(elements);
  for (std::string token; in >> token;) items.emplace_back(std::stoi(token), token.back());
  PartitionSort(
      0, static_cast<int32_t>(items.size()) - 1, [&](int32_t p) { return items[p].first; },
      [](int a, int b) { return a < b; }, [&](int32_t p, int32_t q) { std::swap(items[p], items[q]); });
  std::string out;
  for (auto [key, tag] : items) {
    if (!out.empty()) out += ' ';
    out += std::to_string(key);
    out += tag;
  }
  return out;
}

TEST(PartitionSort, LeavesEqualKeysWhereTheExchangesPutThem) {
  // Worked by hand from the steps: the middle element's key is the pivot,
  // both scans stop at an equal key, and stopped pairs are exchanged.
  struct Case {
    const char* label;
    const char* input;
    const char* sorted;
  } cases[] = {
      {"no element", "", ""},
      {"one element", "1a", "1a"},
      {"two in order", "1a 2b", "1a 2b"},
      {"two reversed", "2a 1b", "1b 2a"},
      {"two equal are exchanged", "1a 1b", "1b 1a"},
      {"three equal", "1a 1b 1c", "1c 1b 1a"},
      {"four equal", "1a 1b 1c 1d", "1c 1d 1a 1b"},
      {"five equal", "1a 1b 1c 1d 1e", "1d 1e 1c 1a 1b"},
      {"sorted", "1a 2b 3c 4d 5e", "1a 2b 3c 4d 5e"},
      {"reversed", "5a 4b 3c 2d 1e", "1e 2d 3c 4b 5a"},
      {"ties with the pivot on both sides", "2a 1b 2c 1d 2e", "1d 1b 2e 2a 2c"},
      {"ties in both parts", "3a 1b 3c 2d 1e 3f", "1e 1b 2d 3f 3a 3c"},
  };
  for (const Case& c : cases) EXPECT_EQ(SortTagged(c.input), c.sorted) << c.label;
}

TEST(PartitionSort, SortsAnyArrangementOfFewKeys) {
  std::mt19937 rng(4711);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::pair<int, int>> items(rng() % 60);
    for (size_t k = 0; k < items.size(); ++k) items[k] = {static_cast<int>(rng() % 4), static_cast<int>(k)};
    PartitionSort(
        0, static_cast<int32_t>(items.size()) - 1, [&](int32_t p) { return items[p].first; },
        [](int a, int b) { return a < b; }, [&](int32_t p, int32_t q) { std::swap(items[p], items[q]); });
    EXPECT_TRUE(
        std::is_sorted(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; }));
    std::vector<int> tags;
    for (auto [key, tag] : items) tags.push_back(tag);
    std::sort(tags.begin(), tags.end());
    for (size_t k = 0; k < tags.size(); ++k) ASSERT_EQ(tags[k], static_cast<int>(k)) << "round " << round;
  }
}

// ---------------------------------------------------------------------------
// The sysop-name key and the pass size.

NodeRecord Record(std::string_view name, uint16_t zone, uint16_t net, uint16_t node, uint8_t slot = 1,
                  int32_t offset = 0) {
  NodeRecord r{};
  r.slot = slot;
  PutU16LE(r.zone, zone);
  PutU16LE(r.net, net);
  PutU16LE(r.node, node);
  PutI32LE(r.line_offset, offset);
  r.sysop_name[0] = static_cast<uint8_t>(name.size());
  std::memcpy(r.sysop_name + 1, name.data(), name.size());
  return r;
}

TEST(SysopPrecedes, OrdersByNameThenZoneNetAndNode) {
  struct Case {
    const char* label;
    NodeRecord a, b;
    int order;  // -1: a first, 1: b first, 0: neither
  } cases[] = {
      {"a prefix comes first", Record("AB", 1, 1, 1), Record("AB C", 1, 1, 1), -1},
      {"a blank sorts before letters", Record("AB C", 1, 1, 1), Record("ABC", 1, 1, 1), -1},
      {"shorter prefix before longer name", Record("AB", 9, 9, 9), Record("ABC", 1, 1, 1), -1},
      {"a blank sorts before digits", Record("X9", 1, 1, 1), Record("X ", 1, 1, 1), 1},
      {"bytes from 128 on come after ASCII", Record("ZZ", 1, 1, 1), Record("\xC4", 1, 1, 1), -1},
      {"byte 128 after tilde", Record("\x80", 1, 1, 1), Record("~", 1, 1, 1), 1},
      {"an empty name comes first", Record("", 9, 9, 9), Record("A", 1, 1, 1), -1},
      {"equal names: zone before net", Record("AL BEE", 2, 1, 1), Record("AL BEE", 1, 9, 9), 1},
      {"equal names and zones: net", Record("X", 1, 2, 0), Record("X", 1, 1, 9), 1},
      {"equal up to node: 5 before 12", Record("AL BEE", 1, 1, 12), Record("AL BEE", 1, 1, 5), 1},
      {"zones compare unsigned", Record("X", 0x8000, 1, 1), Record("X", 1, 1, 1), 1},
      {"nodes compare unsigned", Record("X", 1, 1, 65535), Record("X", 1, 1, 1), 1},
      {"slot and offset take no part", Record("X", 1, 1, 1, 1, 50), Record("X", 1, 1, 1, 2, 10), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SysopPrecedes(c.a, c.b), c.order < 0) << c.label;
    EXPECT_EQ(SysopPrecedes(c.b, c.a), c.order > 0) << c.label;
  }
}

TEST(PassCapacityFor, TakesWholeRecordsUpToThePointerArrayAndTheNodes) {
  struct Case {
    uint32_t largest_free_block;
    int32_t total_nodes;
    int32_t capacity;
  } cases[] = {
      {0, 5, 0},
      {37, 100, 0},
      {38, 100, 1},
      {38 * 100 - 1, 1000, 99},
      {38 * 100, 100, 100},
      {38 * 100, 60, 60},
      {38 * 49141, 100000, 49140},
      {3'000'000, 100000, 49140},
      {3'000'000, 10, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PassCapacityFor(c.largest_free_block, c.total_nodes), c.capacity)
        << c.largest_free_block << " bytes, " << c.total_nodes << " nodes";
  }
}

// ---------------------------------------------------------------------------
// Sysop-name passes.

// One net in zone 1: line k is node k, with a sysop name that starts with
// initials[k] and is unique, later lines having smaller names.
std::vector<std::string> InitialLines(const std::string& initials) {
  std::vector<std::string> lines;
  for (size_t k = 0; k < initials.size(); ++k) {
    std::string name = std::string(1, initials[k]) + "_" + static_cast<char>('Z' - k % 26) + std::to_string(k);
    lines.push_back(NodeLine(k == 0 ? "Zone" : "", k == 0 ? 1 : static_cast<long>(k), name));
  }
  return lines;
}

TEST(SysopPasses, RunWhenTheNextInitialWouldNotFit) {
  struct Case {
    const char* label;
    std::string initials;  // of the nodes, in nodelist order
    int32_t capacity;      // -1: what memory allows
    std::string trace;
  } cases[] = {
      // After P: 3 + 4 is not above 7 and the pass is not full. After Q the
      // pass is full and runs before Q's backspace; R runs after initial 255.
      // Each run of consecutive records of a pass is one read.
      {"capacity 7 with P 3, Q 4, R 2", "PRQQPQQPR", 7,
       "Sorting by node number...{s0}{r9}\r\n"
       "Sorting by sysop name... P\bQ{s0}{r1}{s2}{r6}\bR\b{s1}{r1}{s8}{r1}{w216}\r\n"},
      // B's only run starts where A's read ended: no repositioning.
      {"a read that continues where the last ended", "AABBB", 3,
       "Sorting by node number...{s0}{r5}\r\n"
       "Sorting by sysop name... A{s0}{r2}\bB{r3}\b{w120}\r\n"},
      // All nodes fit: one pass, started by the last initial, one read.
      {"one pass holding every node", "ABABB", -1,
       "Sorting by node number...{s0}{r5}\r\n"
       "Sorting by sysop name... A\bB{s0}{r5}\b{w120}\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TracedDisk disk;
    std::vector<std::string> lines = InitialLines(c.initials);
    PutNodelists(&disk, {lines});
    ASSERT_EQ(Build(&disk, c.capacity), 0) << disk.console;
    EXPECT_EQ(SortTrace(disk), c.trace);

    // Passes must not change the order: by name, names being unique here.
    std::vector<std::string> names;
    for (const std::string& line : lines) {
      std::string name = line.substr(line.find("Place,") + 6);
      name.resize(name.find(','));
      std::replace(name.begin(), name.end(), '_', ' ');
      names.push_back(name);
    }
    std::vector<int> by_name(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) by_name[k] = static_cast<int>(k);
    std::sort(by_name.begin(), by_name.end(), [&](int a, int b) { return names[a] < names[b]; });
    const std::string& text = disk.files["LISTA.001"].data;
    std::vector<Entry> entries = EntriesOf(disk.files["nlindex.qdx"].data, 1);
    ASSERT_EQ(entries.size(), 2 * lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
      EXPECT_EQ(LineOf(text, entries[k].line_offset), static_cast<int>(k)) << "node-number entry " << k;
      EXPECT_EQ(LineOf(text, entries[lines.size() + k].line_offset), by_name[k]) << "sysop-name entry " << k;
      EXPECT_EQ(entries[lines.size() + k].slot, 255);
    }
  }
}

TEST(SysopPasses, InitialLargerThanAPassEndsTheRun) {
  // The shortfall is (nodes - capacity) * 38 bytes, named in whole
  // kilobytes plus one: 26 records (988 bytes) give 1k, 27 give 2k.
  struct Case {
    int nodes;
    int32_t capacity;
    const char* kilobytes;
  } cases[] = {{8, 7, "1"}, {33, 7, "1"}, {34, 7, "2"}, {1, 0, "1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.nodes) + " nodes, capacity " + std::to_string(c.capacity));
    TracedDisk disk;
    std::string old_index = PutNodelists(&disk, {InitialLines(std::string(c.nodes, 'A'))});
    EXPECT_EQ(Build(&disk, c.capacity), 1);
    std::string console = disk.console.substr(disk.console.find("Sorting by sysop"));
    EXPECT_EQ(console, std::string("Sorting by sysop name... A\r\nInsufficient memory - I need at least ") +
                           c.kilobytes + "k more\a\r\n");
    EXPECT_EQ(disk.files["nlindex.qdx"].data, old_index);
    EXPECT_EQ(disk.files.count("nlindex.bar"), 0u);
    EXPECT_EQ(disk.files.count("nlindex.foo"), 0u);
  }
}

// ---------------------------------------------------------------------------
// The node-number section.

// Nets of the given sizes in zone 1, in ascending net order; each net's
// defining line is its first node and its nodes come in descending order.
std::vector<std::string> NetsOfSizes(const std::vector<int>& sizes) {
  std::vector<std::string> lines;
  for (size_t n = 0; n < sizes.size(); ++n) {
    lines.push_back(NodeLine(n == 0 ? "Zone" : "Host", static_cast<long>(n + 1), "Ann_Bee"));
    for (int k = sizes[n] - 1; k >= 1; --k) lines.push_back(NodeLine("", k, "Cy_Dee"));
  }
  return lines;
}

TEST(NodeNumberSection, LoadsFillTheNodeBufferWithWholeNets) {
  struct Case {
    std::vector<int> nets;
    std::string reads;
  } cases[] = {
      {{5172}, "{s0}{r5172}"},
      {{5000, 172}, "{s0}{r5172}"},
      // The second load's read starts where the first ended.
      {{5000, 173}, "{s0}{r5000}{r173}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.nets));
    TracedDisk disk;
    PutNodelists(&disk, {NetsOfSizes(c.nets)});
    ASSERT_EQ(Build(&disk), 0) << disk.console;
    EXPECT_EQ(NodeSectionReads(SortTrace(disk)), c.reads);
    size_t nodes = 0;
    for (int size : c.nets) nodes += static_cast<size_t>(size);
    std::vector<Entry> entries = EntriesOf(disk.files["nlindex.qdx"].data, 1);
    ASSERT_EQ(entries.size(), 2 * nodes);
    for (size_t k = 1; k < nodes; ++k) {
      const Entry& a = entries[k - 1];
      const Entry& b = entries[k];
      ASSERT_TRUE(a.net < b.net || (a.net == b.net && a.node < b.node)) << "entry " << k;
    }
  }
}

TEST(NodeNumberSection, NetsComeInZoneAndNetOrderAndStaySeparate) {
  TracedDisk disk;
  std::vector<std::string> list_a = {
      NodeLine("Zone", 1, "A0"), NodeLine("Host", 200, "A1"), NodeLine("", 65535, "A2"), NodeLine("", 7, "A3"),
      NodeLine("", 32768, "A4"), NodeLine("Host", 100, "A5"), NodeLine("", 3, "A6"),     NodeLine("", 9, "A7"),
      NodeLine("", 3, "A8"),     NodeLine("Host", 5, "A9"),   NodeLine("", 2, "A10"),
  };
  std::vector<std::string> list_b = {NodeLine("Zone", 1, "B0"), NodeLine("Host", 5, "B1"), NodeLine("", 1, "B2")};
  PutNodelists(&disk, {list_a, list_b});
  ASSERT_EQ(Build(&disk), 0) << disk.console;

  // Worked by hand. The net table (1/1 A, 1/200, 1/100, 1/5 A, 1/1 B, 1/5 B)
  // sorts to 1/1 B, 1/1 A, 1/5 A, 1/5 B, 1/100, 1/200: a net listed twice
  // stays two runs, each sorted on its own. In 1/100 the two nodes 3 swap
  // places. Nets next to each other in the table but not in the file are
  // read separately, even within one load.
  EXPECT_EQ(NodeSectionReads(SortTrace(disk)), "{s11}{r1}{s0}{r1}{s9}{r2}{s12}{r2}{s5}{r4}{s1}{r4}");
  struct Want {
    uint8_t slot;
    int line;
    uint16_t net, node;
  } want[] = {
      {2, 0, 1, 0},   {1, 0, 1, 0},   {1, 9, 5, 0},       {1, 10, 5, 2},      {2, 1, 5, 0},
      {2, 2, 5, 1},   {1, 5, 100, 0}, {1, 8, 100, 3},     {1, 6, 100, 3},     {1, 7, 100, 9},
      {1, 1, 200, 0}, {1, 3, 200, 7}, {1, 4, 200, 32768}, {1, 2, 200, 65535},
  };
  std::vector<Entry> entries = EntriesOf(disk.files["nlindex.qdx"].data, 2);
  ASSERT_EQ(entries.size(), 28u);
  for (size_t k = 0; k < std::size(want); ++k) {
    const Entry& e = entries[k];
    const std::string& text = disk.files[want[k].slot == 1 ? "LISTA.001" : "LISTB.001"].data;
    EXPECT_EQ(e.slot, want[k].slot) << k;
    EXPECT_EQ(LineOf(text, e.line_offset), want[k].line) << k;
    EXPECT_EQ(e.zone, 1) << k;
    EXPECT_EQ(e.net, want[k].net) << k;
    EXPECT_EQ(e.node, want[k].node) << k;
  }
}

// ---------------------------------------------------------------------------
// Entry writes.

TEST(EntryWrites, LeaveInWritesOf5460Entries) {
  // Nodes listed before the first net get a sysop-name entry only.
  struct Case {
    int before_first_net;
    int in_nets;
    std::vector<int> writes;
  } cases[] = {
      {0, 2730, {12, 47, 1, 65520}},      // 5,460 entries: no final write
      {1, 2730, {12, 47, 1, 65520, 12}},  // 5,461
      {3, 5, {12, 47, 1, 156}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before_first_net) + " + " + std::to_string(c.in_nets) + " nodes");
    std::vector<std::string> lines;
    for (int k = 0; k < c.before_first_net; ++k) lines.push_back(NodeLine("", 900 + k, "Stray"));
    for (int k = 0; k < c.in_nets; ++k) {
      lines.push_back(
          NodeLine(k == 0 ? "Zone" : "", k == 0 ? 1 : k, std::string(1, static_cast<char>('A' + k % 26)) + "_Sysop"));
    }
    TracedDisk disk;
    PutNodelists(&disk, {lines});
    ASSERT_EQ(Build(&disk), 0) << disk.console;
    EXPECT_EQ(WrittenSizes(disk, "nlindex.bar"), c.writes);
    const std::string& index = disk.files["nlindex.qdx"].data;
    size_t e1 = static_cast<size_t>(c.in_nets);
    size_t e2 = e1 + static_cast<size_t>(c.before_first_net);
    ASSERT_EQ(index.size(), 13 + 47 + 12 * (e1 + e2));
    std::vector<Entry> entries = EntriesOf(index, 1);
    int strays = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
      bool stray = entries[k].zone == 0;
      EXPECT_FALSE(stray && k < e1) << "node-number entry " << k << " of a node outside every net";
      if (stray) {
        ++strays;
        EXPECT_EQ(entries[k].net, 0);
        EXPECT_GE(entries[k].node, 900);
        EXPECT_LT(LineOf(disk.files["LISTA.001"].data, entries[k].line_offset), c.before_first_net);
      }
    }
    EXPECT_EQ(strays, c.before_first_net);
  }
}

TEST(EntryWrites, SysopSectionNegatesTheSlotByte) {
  // 200 slots: 1 and 200 hold nodelists, 100 names a missing one, and the
  // rest have names too short to be used, so they are cleared.
  std::vector<SlotSpec> slots(200, SlotSpec{"X", "1"});
  slots[0] = {"LISTA", "001"};
  slots[99] = {"GONE1", "001"};
  slots[199] = {"LISTZ", "001"};
  TracedDisk disk;
  disk.files["nlindex.qdx"].data = IndexHead(slots);
  disk.files["LISTA.001"].data = Lines({NodeLine("Zone", 1, "Ann"), NodeLine("", 2, "Bob")});
  disk.files["LISTZ.001"].data = Lines({NodeLine("Zone", 3, "Cy"), NodeLine("", 4, "Al")});
  ASSERT_EQ(Build(&disk), 0) << disk.console;
  EXPECT_NE(disk.console.find("Nodelist GONE1 not found\a\r\n"), std::string::npos);

  const std::string& index = disk.files["nlindex.qdx"].data;
  ASSERT_EQ(index.size(), 13 + 47 * 200 + 12 * 8u);
  for (int s = 1; s <= 200; ++s) {
    std::string want = s == 1     ? SlotBytes({"LISTA", "001", 1})
                       : s == 200 ? SlotBytes({"LISTZ", "001", 3})
                       : s == 100 ? SlotBytes(slots[99])
                                  : std::string(47, '\0');
    EXPECT_EQ(index.substr(12 + 47 * (s - 1), 47), want) << "slot " << s;
  }
  // Node-number order: Ann, Bob (zone 1), Cy, Al (zone 3). Sysop-name
  // order: Al, Ann, Bob, Cy. Apart from byte 0 the entries are the same.
  const size_t first = 13 + 47 * 200;
  const int node_entry_of[] = {3, 0, 1, 2};
  const uint8_t node_slot[] = {1, 1, 200, 200};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(static_cast<uint8_t>(index[first + 12 * k]), node_slot[k]) << k;
    size_t sysop_at = first + 48 + 12 * k;
    size_t node_at = first + 12 * node_entry_of[k];
    EXPECT_EQ(static_cast<uint8_t>(index[sysop_at]), 256 - node_slot[node_entry_of[k]]) << k;
    EXPECT_EQ(index.substr(sysop_at + 1, 11), index.substr(node_at + 1, 11)) << k;
  }
  EXPECT_EQ(static_cast<uint8_t>(index[first + 48]), 56);
  EXPECT_EQ(static_cast<uint8_t>(index[first + 60]), 255);
}

}  // namespace
}  // namespace tessel::test
