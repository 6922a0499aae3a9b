// Tests of the build run: how it ends when a file operation fails or there
// is nothing to index, where its files go, and a large build checked entry
// by entry against the nodelists it came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "testing/fake_platform.h"
#include "index/entry_check.h"
#include "run/program.h"
#include "test_util.h"

namespace tessel::test {
namespace {

std::string NodeLine(const std::string& keyword, long number, const std::string& sysop) {
  return keyword + "," + std::to_string(number) + ",Some_BBS,Some_Place," + sysop + ",1-234-567,300";
}

// A nodelist of one net in zone 1 with "nodes" nodes.
std::string OneNet(int nodes) {
  std::vector<std::string> lines;
  for (int k = 0; k < nodes; ++k) {
    lines.push_back(NodeLine(k == 0 ? "Zone" : "", k == 0 ? 1 : k, std::string(1, static_cast<char>('A' + k % 26))));
  }
  return Lines(lines);
}

// An index cataloguing LISTA.001 and LISTB.001, with "files" on the disk.
void PutFiles(FakeDisk* disk, const std::map<std::string, std::string>& files) {
  disk->files["nlindex.qdx"].data = IndexHead({{"LISTA", "001"}, {"LISTB", "001"}}, 7, 9);
  for (const auto& [name, data] : files) disk->files[name].data = data;
}

// Runs a forced build over "disk", through "plan" when one is given.
int Build(FakeDisk* disk, FaultPlan* plan = nullptr) {
  Platform fake = MakeFakePlatform(disk);
  Platform faulty;
  if (plan != nullptr) {
    plan->inner = &fake;
    faulty = MakeFaultyPlatform(plan);
  }
  const char* argv[] = {"tessel", "-F"};
  return RunProgram(plan != nullptr ? faulty : fake, 2, argv);
}

// The 1-based number, among all file operations of a clean build over
// "files", of the "nth" (from 0) operation "op" on "path"; 0 when none.
long OperationNumber(const std::map<std::string, std::string>& files, FileOp op, const std::string& path, int nth) {
  FakeDisk disk;
  PutFiles(&disk, files);
  FaultPlan plan;
  EXPECT_EQ(Build(&disk, &plan), 0) << disk.console;
  EXPECT_EQ(plan.ops.size(), disk.log.size());
  for (size_t i = 0; i < disk.log.size(); ++i) {
    if (disk.log[i].op == op && disk.log[i].path == path && nth-- == 0) return static_cast<long>(i) + 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Failures.

// A failed operation on the new index. An entry write that fails or falls
// short ends the run with the write-error report and deletes both
// temporary files; any other failure is a fatal I/O error that leaves them.
// Either way the old index stays. 2,731 nodes give 5,462 entries: one
// write of 65,520 bytes during the sysop-name ordering, then a final write
// of 24 bytes; the head takes the first three writes.
TEST(BuildFailures, FailedOperationOnTheNewIndexLeavesTheOldIndex) {
  enum class NewIndex { kGone, kNeverMade, kPart, kWhole };
  struct Case {
    const char* label;
    int nodes;
    FileOp op;
    int nth;  // among the operations "op" on nlindex.bar, from 0
    bool partial;
    int error;   // what the operation reports, or 101 for a partial write
    int status;  // 3: the write-error report; otherwise the fatal I/O error's
    NewIndex left;
  } cases[] = {
      {"a full entry buffer", 2731, FileOp::kWrite, 3, false, 162, 3, NewIndex::kGone},
      {"the final flush", 2731, FileOp::kWrite, 4, false, 162, 3, NewIndex::kGone},
      {"the final flush written in part", 2731, FileOp::kWrite, 4, true, 101, 3, NewIndex::kGone},
      {"creating the new index", 5, FileOp::kCreate, 0, false, 162, 162, NewIndex::kNeverMade},
      {"writing the header", 5, FileOp::kWrite, 0, false, 162, 162, NewIndex::kPart},
      {"writing the catalogue", 5, FileOp::kWrite, 1, false, 5, 5, NewIndex::kPart},
      {"writing the marker in part", 5, FileOp::kWrite, 2, true, 101, 101, NewIndex::kPart},
      {"making the new index durable", 5, FileOp::kSync, 0, false, 162, 162, NewIndex::kWhole},
      {"closing the new index", 5, FileOp::kClose, 0, false, 162, 162, NewIndex::kWhole},
      {"renaming the new index", 5, FileOp::kRename, 0, false, 5, 5, NewIndex::kWhole},
      {"finding the new index still there", 5, FileOp::kInfo, 2, false, 2, 2, NewIndex::kWhole},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::map<std::string, std::string> files = {{"LISTA.001", OneNet(c.nodes)}};
    FakeDisk clean;
    PutFiles(&clean, files);
    ASSERT_EQ(Build(&clean), 0);
    FakeDisk disk;
    PutFiles(&disk, files);
    std::string old_index = disk.files["nlindex.qdx"].data;
    FaultPlan plan;
    plan.fail_at = OperationNumber(files, c.op, "nlindex.bar", c.nth);
    plan.partial = c.partial;
    plan.error = c.error;
    ASSERT_GT(plan.fail_at, 0);
    EXPECT_EQ(Build(&disk, &plan), c.status);
    EXPECT_TRUE(plan.fired);
    EXPECT_EQ(disk.files["nlindex.qdx"].data, old_index);
    if (c.status == 3) {
      EXPECT_TRUE(disk.console.ends_with("\r\nError " + std::to_string(c.error) +
                                         " writing file (not enough disk space?)\a\r\n"))
          << disk.console;
      EXPECT_EQ(disk.files.count("nlindex.foo"), 0u);
    } else {
      // The fatal I/O error report: on a fresh line, naming the number.
      std::string report = disk.console.substr(disk.console.rfind("\r\n", disk.console.size() - 3) + 2);
      EXPECT_TRUE(report.starts_with("I/O error " + std::to_string(c.error) + " ")) << disk.console;
      EXPECT_EQ(disk.files.count("nlindex.foo"), 1u);  // an unexpected failure keeps it
    }
    EXPECT_EQ(disk.files.count("nlindex.bar"), c.left == NewIndex::kPart || c.left == NewIndex::kWhole ? 1u : 0u);
    if (c.left == NewIndex::kWhole) {
      EXPECT_EQ(disk.files["nlindex.bar"].data, clean.files["nlindex.qdx"].data);
    }
  }
}

// Another file put at nlindex.bar while the run wrote its own (the run's
// file unlinked, a new one made under the name) is never renamed over the
// index: the run ends as a failed rename would, and leaves that file alone.
TEST(BuildFailures, NewIndexSwappedUnderTheRunIsNotRenamed) {
  const std::map<std::string, std::string> files = {{"LISTA.001", OneNet(5)}};
  FakeDisk disk;
  PutFiles(&disk, files);
  std::string old_index = disk.files["nlindex.qdx"].data;
  Platform fake = MakeFakePlatform(&disk);
  FaultPlan plan;
  int infos = 0;
  plan.before = [&](long, FileOp op, std::string_view path) {
    if (op != FileOp::kInfo || path != "nlindex.bar" || infos++ != 1) return;
    fake.remove(fake.ctx, "nlindex.bar");
    disk.files["nlindex.bar"] = FakeFile{"planted", 0, false, false, 999};
  };
  EXPECT_EQ(Build(&disk, &plan), 5);
  EXPECT_EQ(infos, 2);  // the creation's look, then the check's
  EXPECT_TRUE(disk.console.ends_with("\r\nI/O error 5 (access denied) replacing nlindex.qdx\r\n")) << disk.console;
  EXPECT_EQ(disk.files["nlindex.qdx"].data, old_index);
  EXPECT_EQ(disk.files["nlindex.bar"].data, "planted");
}

// ---------------------------------------------------------------------------
// Outcomes without an index to write.

TEST(BuildOutcomes, NothingToIndexLeavesTheIndexAlone) {
  struct Case {
    const char* label;
    std::map<std::string, std::string> files;
    std::string console;  // after the banner
  } cases[] = {
      {"every nodelist missing",
       {},
       "Nodelist LISTA not found\a\r\nNodelist LISTB not found\a\r\nNo nodes found!\a\r\n"},
      {"only lines that make no node",
       {{"LISTA.001", Lines({NodeLine("Pvt", 1, "A"), NodeLine("Down", 2, "B"), NodeLine("Hold", 3, "C")})}},
       "Reading LISTA.001... Zone      \r\nNodelist LISTB not found\a\r\nNo nodes found!\a\r\n"},
      {"nodes but no net",
       {{"LISTA.001", Lines({NodeLine("", 1, "A"), NodeLine("Hub", 2, "B")})}},
       "Reading LISTA.001... Zone      \r\nNodelist LISTB not found\a\r\nNo nets found!\a\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FakeDisk disk;
    PutFiles(&disk, c.files);
    std::string old_index = disk.files["nlindex.qdx"].data;
    EXPECT_EQ(Build(&disk), 0);
    EXPECT_EQ(disk.console, Banner() + c.console);
    EXPECT_EQ(disk.files["nlindex.qdx"].data, old_index);
    EXPECT_EQ(disk.files.count("nlindex.foo"), 0u);
    EXPECT_EQ(disk.files.count("nlindex.bar"), 0u);
  }
}

TEST(BuildRun, TemporaryFileStaysInTheCurrentDirectory) {
  // The index lies in the host's data directory, found through KORVO.
  FakeDisk disk;
  disk.environment = {"KORVO=host"};
  disk.files["host/config.qdx"].data = HostConfig("data/");
  disk.files["data/nlindex.qdx"].data = IndexHead({{"data/LISTA", "001"}});
  disk.files["data/LISTA.001"].data = OneNet(3);
  ASSERT_EQ(Build(&disk), 0) << disk.console;
  std::vector<std::string> created;
  for (const FakeOpRecord& r : disk.log) {
    if (r.op == FileOp::kCreate) created.push_back(r.path);
  }
  EXPECT_EQ(created, (std::vector<std::string>{"nlindex.foo", "data/nlindex.bar"}));
  EXPECT_EQ(disk.files["data/nlindex.qdx"].data.size(), 13 + 47 + 12 * 6u);
  for (const char* gone : {"nlindex.foo", "data/nlindex.bar", "data/nlindex.foo", "nlindex.qdx"}) {
    EXPECT_EQ(disk.files.count(gone), 0u) << gone;
  }
}

// ---------------------------------------------------------------------------
// A large build, end to end.

// A node line as generated, with what its entries must say.
struct GeneratedNode {
  uint8_t slot;
  uint16_t zone, net, node;
  int32_t offset;
  int net_record;  // the net the reader starts for it; -1 before the first
};

struct GeneratedBuild {
  std::vector<std::string> texts;  // the nodelists, slot 1 first
  std::vector<uint16_t> highest_zones;
  std::vector<GeneratedNode> nodes;
  int nets = 0;
};

// Four nodelists of about 26,000 nodes each, from a fixed seed: zones in
// varying order, nets out of order and listed again in other files, random
// node numbers with duplicates, Pvt, Hold and Down lines, and sysop names
// that share names, prefixes and the first 25 characters, with initials
// that are not letters. The first file starts with nodes outside every net.
GeneratedBuild Generate() {
  // clang-format off
  static const char* const kNames[] = {
      "AB", "AB_C", "ABC", "Al_Bee", "al_bee", "Ann_Marie_Smith-Jones_the_First", "Ann_Marie_Smith-Jones_the_Second",
      "Bo", "Bob", "bo_Eve", "1st_Sysop", "42", "_Under_Score", "\xC4ke_Str\xF6m", "\xE9lise", "", "Zed", "zoe",
      "Cy_Dee", "Di_Fay", "Mo", "Mo_", "Mo_X", "#hash", "-dash", "O'Brien"};
  // clang-format on
  std::mt19937 rng(20260611);
  GeneratedBuild build;
  int net_record = -1;
  for (uint8_t slot = 1; slot <= 4; ++slot) {
    std::string text;
    uint16_t zone = 0, net = 0, highest = 0;
    auto add = [&](const std::string& keyword, long number) {
      std::string name = kNames[rng() % std::size(kNames)];
      std::string line = NodeLine(keyword, number, name);
      size_t head = keyword.size() + std::to_string(number).size() + 2;  // "keyword,number,"
      int32_t offset = static_cast<int32_t>(text.size() + head);
      text += line + "\r\n";
      if (keyword == "Zone") zone = net = static_cast<uint16_t>(number);
      if (keyword == "Host" || keyword == "Region") net = static_cast<uint16_t>(number);
      if (keyword == "Zone" || keyword == "Host" || keyword == "Region") ++net_record, ++build.nets;
      if (keyword == "Pvt" || keyword == "Hold" || keyword == "Down") return;
      bool defines_net = keyword == "Zone" || keyword == "Host" || keyword == "Region";
      build.nodes.push_back({slot, zone, net, static_cast<uint16_t>(defines_net ? 0 : number), offset, net_record});
    };
    if (slot == 1) {
      for (int k = 0; k < 3; ++k) add("", 700 + k);
    }
    uint16_t zones[] = {1, 2, 3, 4};
    std::shuffle(std::begin(zones), std::end(zones), rng);
    size_t first = build.nodes.size();
    for (int z = 0; z < 3; ++z) {
      add("Zone", zones[z]);
      highest = std::max(highest, zones[z]);
      while (build.nodes.size() - first < static_cast<size_t>(8700 * (z + 1))) {
        add(rng() % 5 == 0 ? "Region" : "Host", 100 + rng() % 150);
        for (int k = static_cast<int>(1 + rng() % 80); k > 0; --k) {
          static const char* const kKeywords[] = {"", "", "", "", "", "Hub", "Pvt", "Hold", "Down"};
          add(kKeywords[rng() % std::size(kKeywords)], rng() % 50 == 0 ? 65535 : 1 + rng() % 300);
        }
      }
    }
    build.texts.push_back(text);
    build.highest_zones.push_back(highest);
  }
  return build;
}

TEST(LargeBuild, EveryEntryPointsAtItsLineInOrder) {
  GeneratedBuild build = Generate();
  ScopedTempDir dir;
  std::vector<SlotSpec> slots;
  for (size_t s = 0; s < build.texts.size(); ++s) {
    std::string name = std::string("LIST") + static_cast<char>('A' + s);
    slots.push_back({name, "001"});
    WriteFile(dir / (name + ".001"), build.texts[s]);
  }
  const std::string old_index = IndexHead(slots, 0xCAFEF00D, 0x12345678);
  WriteFile(dir / "nlindex.qdx", old_index);

  RunResult run = RunTessel(dir.path(), {"-F"});
  ASSERT_EQ(run.status, 0) << run.out;
  const size_t n = build.nodes.size();
  const size_t e2 = n;
  const size_t e1 = static_cast<size_t>(
      std::count_if(build.nodes.begin(), build.nodes.end(), [](const GeneratedNode& g) { return g.net_record >= 0; }));
  ASSERT_GE(n, 100'000u);
  ASSERT_LT(e1, e2);
  std::string nets = std::to_string(build.nets);
  EXPECT_TRUE(run.out.ends_with("\r\n\r\n" + std::to_string(n) + " nodes processed\r\n" +
                                std::string(nets.size() < 5 ? 5 - nets.size() : 0, ' ') + nets + " nets processed\r\n"))
      << run.out.substr(run.out.size() - 200);

  const std::string index = ReadFile(dir / "nlindex.qdx");
  ASSERT_EQ(index.size(), 13 + 47 * 4 + 12 * (e1 + e2));
  EXPECT_EQ(index.substr(0, 12), old_index.substr(0, 12));
  for (size_t s = 0; s < 4; ++s) {
    EXPECT_EQ(index.substr(12 + 47 * s, 47), SlotBytes({slots[s].base_name, "001", build.highest_zones[s]}));
  }
  EXPECT_EQ(index[12 + 47 * 4], '\x01');
  EXPECT_FALSE(Exists(dir / "nlindex.bar"));
  EXPECT_FALSE(Exists(dir / "nlindex.foo"));

  std::unordered_map<uint64_t, size_t> by_place;  // (slot, offset) -> node
  for (size_t k = 0; k < n; ++k) {
    by_place[uint64_t{build.nodes[k].slot} << 32 | static_cast<uint32_t>(build.nodes[k].offset)] = k;
  }
  // Finds the node an entry of "slot" stands for (each node once per
  // section, as "seen" tells) and checks that the entry points at the rest
  // of its line (index/entry_check.h). Returns what is wrong, or "" with
  // the node in "*node" and the line's sysop name in "*name".
  auto check_entry = [&](const Entry& e, uint8_t slot, std::vector<bool>* seen, size_t* node,
                         std::string* name) -> std::string {
    auto it = by_place.find(uint64_t{slot} << 32 | static_cast<uint32_t>(e.line_offset));
    if (it == by_place.end()) return "points at no node line";
    if ((*seen)[it->second]) return "points at a line already indexed";
    (*seen)[it->second] = true;
    *node = it->second;
    const GeneratedNode& g = build.nodes[it->second];
    std::string problem = CheckEntryLine(build.texts[slot - 1], e, name);
    if (!problem.empty()) return problem;
    if (std::tie(e.zone, e.net, e.node) != std::tie(g.zone, g.net, g.node)) return "wrong address";
    return "";
  };

  // Node-number section: every node inside a net once; the nets in (zone,
  // net) order, each net a run of its own sorted by node number.
  std::vector<bool> seen(n, false);
  std::vector<bool> net_done(static_cast<size_t>(build.nets), false);
  int current_net = -1;
  std::tuple<uint16_t, uint16_t, uint16_t> last{0, 0, 0};
  std::string name;
  for (size_t k = 0; k < e1; ++k) {
    Entry e = ReadEntry(index, 13 + 47 * 4 + 12 * k);
    ASSERT_TRUE(e.slot >= 1 && e.slot <= 4) << k;
    size_t found = n;
    ASSERT_EQ(check_entry(e, e.slot, &seen, &found, &name), "") << "node-number entry " << k;
    int net_record = build.nodes[found].net_record;
    ASSERT_GE(net_record, 0) << k;
    std::tuple<uint16_t, uint16_t, uint16_t> key{e.zone, e.net, e.node};
    if (net_record != current_net) {
      ASSERT_FALSE(net_done[static_cast<size_t>(net_record)]) << "net split at entry " << k;
      net_done[static_cast<size_t>(net_record)] = true;
      current_net = net_record;
      ASSERT_LE(std::make_tuple(std::get<0>(last), std::get<1>(last)), std::make_tuple(e.zone, e.net)) << k;
    } else {
      ASSERT_LE(last, key) << k;
    }
    last = key;
  }

  // Sysop-name section: every node once, by name, zone, net and node.
  std::fill(seen.begin(), seen.end(), false);
  std::tuple<std::string, uint16_t, uint16_t, uint16_t> previous;
  for (size_t k = 0; k < e2; ++k) {
    Entry e = ReadEntry(index, 13 + 47 * 4 + 12 * (e1 + k));
    ASSERT_TRUE(e.slot >= 252) << k;
    size_t found = n;
    ASSERT_EQ(check_entry(e, static_cast<uint8_t>(256 - e.slot), &seen, &found, &name), "") << "sysop-name entry " << k;
    auto key = std::make_tuple(name, e.zone, e.net, e.node);
    if (k > 0) {
      ASSERT_LE(previous, key) << k;
    }
    previous = key;
  }
}

}  // namespace
}  // namespace tessel::test
