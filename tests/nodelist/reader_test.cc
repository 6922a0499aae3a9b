// The nodelist reader: the records it makes of nodelist lines, its console
// line, its limits and its failures, read directly and through whole runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "nodelist/nodelist_reader.h"
#include "testing/fake_platform.h"
#include "run/program.h"
#include "storage/temp_file.h"
#include "test_util.h"

namespace tessel {
namespace {

using test::IndexHead;
using test::Lines;

// The initial chain byte of record "record", found by following the chain
// from its first block.
uint8_t ChainInitial(const RunState& state, int32_t record) {
  const uint8_t* block = state.blocks.first_chain_block;
  for (int32_t k = record / kInitialsPerChainBlock; k > 0; --k) {
    block = HeapAddress(state.heap, GetU32LE(block + kInitialsPerChainBlock));
  }
  return block[record % kInitialsPerChainBlock];
}

std::string Address(const NodeRecord& r) {
  return std::to_string(RecordZone(r)) + ":" + std::to_string(RecordNet(r)) + "/" + std::to_string(RecordNode(r));
}

std::string SysopName(const NodeRecord& r) {
  return std::string(reinterpret_cast<const char*>(r.sysop_name + 1), r.sysop_name[0]);
}

// A reader over an in-memory disk with the build's blocks taken and the
// temporary node file created, as the build run prepares it; three slots.
class ReadNodelistTest : public testing::Test {
 protected:
  ReadNodelistTest() {
    state_.platform = &platform_;
    InitHeap(&state_.heap, kWorkingHeapSize);
    state_.head.slot_count = 3;
    state_.head.catalogue = reinterpret_cast<NodelistSlot*>(TakeBlock(&state_.heap, 3 * sizeof(NodelistSlot)));
    std::memset(state_.head.catalogue, 0, 3 * sizeof(NodelistSlot));
    TakeBuildBlocks(&state_.heap, platform_, &state_.blocks);
    EXPECT_TRUE(CreateTempFile(&state_));
  }

  // Reads "text" as the nodelist of "slot", named LIST<slot>.001.
  bool Read(uint8_t slot, const std::string& text) {
    std::string path = "LIST" + std::to_string(slot) + ".001";
    disk_.files[path] = FakeFile{text};
    return ReadNodelist(&state_, slot, path);
  }

  // The node records written so far, in temporary-file order.
  std::vector<NodeRecord> Records() const {
    const std::string& data = disk_.files.at(kTempFileName).data;
    EXPECT_EQ(data.size() % sizeof(NodeRecord), 0u);
    std::vector<NodeRecord> records(data.size() / sizeof(NodeRecord));
    std::memcpy(records.data(), data.data(), records.size() * sizeof(NodeRecord));
    return records;
  }
  std::vector<std::string> Addresses() const {
    std::vector<std::string> addresses;
    for (const NodeRecord& r : Records()) addresses.push_back(std::to_string(r.slot) + " " + Address(r));
    return addresses;
  }
  // "zone:net count@first" of every net.
  std::vector<std::string> Nets() const {
    std::vector<std::string> nets;
    for (int i = 0; i < state_.blocks.net_count; ++i) {
      const NetRecord& n = NetTable(state_.blocks)[i];
      nets.push_back(std::to_string(NetZone(n)) + ":" + std::to_string(NetNumber(n)) + " " +
                     std::to_string(NetNodeCount(n)) + "@" + std::to_string(NetFirstRecord(n)));
    }
    return nets;
  }
  int32_t Count(char initial) const { return state_.blocks.initial_counts[static_cast<uint8_t>(initial)]; }
  uint16_t HighestZone(int slot) { return GetU16LE(Slot(state_, slot).highest_zone); }

  FakeDisk disk_;
  Platform platform_ = MakeFakePlatform(&disk_);
  RunState state_;
};

const std::vector<std::string> kSmallList = {";comment", "Zone,2,Eu,Pl,Al_Bee,x,", "Host,5,Sy,Pl,Cy_Dee,x,",
                                             ",7,Sy,Pl,Bo_Eve,x,", "Hub,3,Sy,Pl,Al_Bee,x,", "Pvt,9,Sy,Pl,Di_Fay,x,"};
const char* const kSmallTails[] = {"Eu,Pl,Al_Bee,x,", "Sy,Pl,Cy_Dee,x,", "Sy,Pl,Bo_Eve,x,", "Sy,Pl,Al_Bee,x,"};

TEST_F(ReadNodelistTest, SmallNodelistGivesItsNetsAndNodes) {
  ASSERT_TRUE(Read(1, Lines(kSmallList)));

  EXPECT_EQ(Nets(), (std::vector<std::string>{"2:2 1@0", "2:5 3@1"}));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{"1 2:2/0", "1 2:5/0", "1 2:5/7", "1 2:5/3"}));
  const int32_t offsets[] = {17, 41, 61, 84};
  const char* const names[] = {"AL BEE", "CY DEE", "BO EVE", "AL BEE"};
  std::vector<NodeRecord> records = Records();
  ASSERT_EQ(records.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(records[k].tail_length, 15) << k;
    EXPECT_EQ(RecordLineOffset(records[k]), offsets[k]) << k;
    EXPECT_EQ(SysopName(records[k]), names[k]) << k;
    EXPECT_EQ(ChainInitial(state_, k), names[k][0]) << k;
  }
  EXPECT_EQ(state_.blocks.total_nodes, 4);
  EXPECT_EQ(Count('A'), 2);
  EXPECT_EQ(Count('B'), 1);
  EXPECT_EQ(Count('C'), 1);
  EXPECT_EQ(std::accumulate(std::begin(state_.blocks.initial_counts), std::end(state_.blocks.initial_counts), 0), 4);
  EXPECT_EQ(state_.blocks.buffered_count, 0);
  EXPECT_EQ(state_.files.nodelist, kNoFile);
  EXPECT_EQ(HighestZone(1), 2);
  EXPECT_EQ(disk_.console, "Reading LIST1.001... Zone      \b\b\b\b\b    2\r\n");
}

// Offsets are true byte positions whatever the line ends and however long
// the lines before: each points at the text after the number field's comma.
TEST_F(ReadNodelistTest, OffsetsPointAtTheLineTextForAnyLineEnds) {
  std::vector<std::string> long_lines = {";" + std::string(299, 'x'), ";" + std::string(253, 'y')};
  long_lines.insert(long_lines.end(), kSmallList.begin(), kSmallList.end());
  const std::string texts[] = {Lines(kSmallList, "\n"), Lines(long_lines, "\r\n"), Lines(long_lines, "\n")};
  uint8_t slot = 1;
  for (const std::string& text : texts) {
    ASSERT_TRUE(Read(slot, text));
    ++slot;
  }
  std::vector<NodeRecord> records = Records();
  ASSERT_EQ(records.size(), 12u);
  for (size_t k = 0; k < records.size(); ++k) {
    const std::string& text = texts[k / 4];
    EXPECT_EQ(text.substr(RecordLineOffset(records[k]), records[k].tail_length), kSmallTails[k % 4]) << k;
  }
  EXPECT_EQ(RecordLineOffset(records[1]), 39);  // LF only: 9 + 23 + 7
}

TEST_F(ReadNodelistTest, KeywordsAndNumbers) {
  const std::string text =
      Lines({"Zone,2,s,l,Zo,x,", "Region,24,s,l,Re,x,", "host,250,s,l,Ho,x,", "Hub,100,s,l,Hu,x,", ",101,s,l,Em,x,",
             "Pvt,102,s,l,Pv,x,", "hold,103,s,l,Ho,x,", "dOwN,104,s,l,Do,x,", ",105,s,l,Em,x,", "Foo,106,s,l,Fo,x,",
             "Hub,107,s", "Hub,", "Zone,2x,s,l,Zx,x,", ",-1,s,l,Mi,x,"});
  ASSERT_TRUE(Read(1, text));

  EXPECT_EQ(Nets(), (std::vector<std::string>{"2:2 1@0", "2:24 1@1", "2:250 7@2", "0:0 2@9"}));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{"1 2:2/0", "1 2:24/0", "1 2:250/0", "1 2:250/100",
                                                   "1 2:250/101", "1 2:250/105", "1 2:250/106", "1 2:250/107",
                                                   "1 2:250/0", "1 0:0/0", "1 0:0/65535"}));
  // Lines that end before the sysop name: initial 0; a line that ends at the
  // keyword's comma has no tail and points just past its last character.
  std::vector<NodeRecord> records = Records();
  ASSERT_EQ(records.size(), 11u);
  EXPECT_EQ(records[7].tail_length, 1);
  EXPECT_EQ(RecordLineOffset(records[7]), static_cast<int32_t>(text.find("Hub,107,s\r\n") + 8));
  EXPECT_EQ(records[8].tail_length, 0);
  EXPECT_EQ(RecordLineOffset(records[8]), static_cast<int32_t>(text.find("Hub,\r\n") + 4));
  EXPECT_EQ(Count('\0'), 2);
  EXPECT_EQ(ChainInitial(state_, 7), 0);
  EXPECT_EQ(ChainInitial(state_, 8), 0);
}

// Nodes before the first net are written but counted in no net; a file's
// first lines extend the last net of the file before, with its numbers;
// an excluded zone ends with its file.
TEST_F(ReadNodelistTest, StateAcrossFilesAndExcludedZones) {
  state_.settings.excluded_zones[0] = 3;
  state_.settings.excluded_count = 1;
  ASSERT_TRUE(Read(1, Lines({",7,s,l,Early,x,", "Zone,1,s,l,A,x,", ",5,s,l,B,x,", "Zone,3,s,l,C,x,",
                             "Host,30,s,l,D,x,", ",6,s,l,E,x,"})));
  EXPECT_EQ(Nets(), (std::vector<std::string>{"1:1 2@1"}));
  ASSERT_TRUE(Read(2, Lines({",8,s,l,F,x,", "Zone,2,s,l,G,x,"})));

  EXPECT_EQ(Nets(), (std::vector<std::string>{"1:1 3@1", "2:2 1@4"}));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{"1 0:0/7", "1 1:1/0", "1 1:1/5", "2 3:3/8", "2 2:2/0"}));
  EXPECT_EQ(Count('E'), 1);  // Early, not the excluded E
  EXPECT_EQ(HighestZone(1), 3);
  EXPECT_EQ(HighestZone(2), 2);
  EXPECT_EQ(disk_.console,
            "Reading LIST1.001... Zone      \b\b\b\b\b    1\b\b\b\b\b    3\r\n"
            "Reading LIST2.001... Zone      \b\b\b\b\b    2\r\n");
}

// ---------------------------------------------------------------------------
// Whole runs over an in-memory disk.

const std::string kMissing = "<no file>";

// A net: its first line "head" and then nodes 1 to count - 1; initials
// run through the alphabet.
std::string Net(const std::string& head, int count) {
  std::string text = head + ",s,l,Hd,x,\r\n";
  for (int k = 1; k < count; ++k) {
    text += ',';
    text += std::to_string(k);
    text += ",s,l,";
    text += static_cast<char>('A' + k % 26);
    text += "x,\r\n";
  }
  return text;
}

// "count" nets of one node each: a Zone line, then Host lines.
std::string OneNodeNets(int count) {
  std::string text = Net("Zone,1", 1);
  for (int k = 2; k <= count; ++k) text += Net("Host," + std::to_string(k), 1);
  return text;
}

// "count" nodes in nets of 5,000.
std::string ManyNodes(int count) {
  std::string text;
  for (int first = 0; first < count; first += 5000) {
    text += Net("Host," + std::to_string(first / 5000 + 1), std::min(5000, count - first));
  }
  return text;
}

class ReaderRunTest : public testing::Test {
 protected:
  // Catalogues one slot per nodelist (NODEA, NODEB, ...), each the file
  // "<name>.001" unless it is kMissing, and runs the program with "args".
  int Run(const std::vector<std::string>& nodelists, const std::vector<std::string>& args = {},
          const RunOptions& options = {}, FaultPlan* plan = nullptr) {
    std::vector<test::SlotSpec> slots;
    for (size_t i = 0; i < nodelists.size(); ++i) {
      std::string name = std::string("NODE") + static_cast<char>('A' + i);
      slots.push_back({name, ""});
      if (nodelists[i] != kMissing) disk_.files[name + ".001"] = FakeFile{nodelists[i], 1'000'000'000};
    }
    head_ = IndexHead(slots);
    disk_.files[kIndexFileName] = FakeFile{head_};
    Platform fake = MakeFakePlatform(&disk_);
    Platform platform = fake;
    if (plan != nullptr) {
      plan->inner = &fake;
      platform = MakeFaultyPlatform(plan);
    }
    std::vector<const char*> argv = {"tessel"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return RunProgram(platform, static_cast<int>(argv.size()), argv.data(), options);
  }

  // The addresses of the new index's node-number entries, or of its
  // sysop-name entries (slot byte negated).
  std::vector<std::string> Entries(bool sysop_section) const {
    const std::string& index = disk_.files.at(kIndexFileName).data;
    std::vector<std::string> entries;
    for (size_t at = head_.size(); at + kIndexEntrySize <= index.size(); at += kIndexEntrySize) {
      test::Entry e = test::ReadEntry(index, at);
      if ((e.slot >= 128) != sysop_section) continue;
      entries.push_back(std::to_string(e.zone) + ":" + std::to_string(e.net) + "/" + std::to_string(e.node));
    }
    return entries;
  }

  // The sizes of the writes to the temporary node file, marked "end" for
  // those made after a nodelist was closed.
  std::vector<std::string> TempWrites() const {
    std::vector<std::string> writes;
    bool reading = false;
    for (const FakeOpRecord& op : disk_.log) {
      if (op.path.ends_with(".001")) {
        if (op.op == FileOp::kOpenRead || op.op == FileOp::kOpenExisting) reading = true;
        if (op.op == FileOp::kClose) reading = false;
      }
      if (op.op == FileOp::kWrite && op.path == kTempFileName) {
        writes.push_back((reading ? "" : "end ") + std::to_string(op.size));
      }
    }
    return writes;
  }

  // After a fatal end: the old index as it was, no temporary file, no new
  // index, no file left open.
  void ExpectCleanEnd() const {
    EXPECT_EQ(disk_.files.at(kIndexFileName).data, head_);
    EXPECT_EQ(disk_.files.count(kTempFileName), 0u);
    EXPECT_EQ(disk_.files.count(kNewIndexFileName), 0u);
    for (const FakeDisk::Handle& handle : disk_.handles) EXPECT_FALSE(handle.open) << handle.path;
  }

  FakeDisk disk_;
  std::string head_;
};

TEST_F(ReaderRunTest, ExcludedZoneProgressLineAndNodesOutsideNets) {
  int status = Run({Lines({",7,s,l,Early,x,", "Zone,1,s,l,Al,x,", ",5,s,l,Bo,x,", "Zone,3,s,l,Cy,x,",
                           "Host,30,s,l,Di,x,", ",6,s,l,Ed,x,", "Zone,2,s,l,Fa,x,"})},
                   {"3"});

  EXPECT_EQ(status, 0);
  EXPECT_TRUE(disk_.console.starts_with(test::Banner() + "Excluding zones: 3\r\n\r\n" +
                                        "Reading NODEA.001... Zone      \b\b\b\b\b    1\b\b\b\b\b    3"
                                        "\b\b\b\b\b    2\r\nSorting"))
      << disk_.console;
  EXPECT_TRUE(disk_.console.ends_with("\r\n    4 nodes processed\r\n    2 nets processed\r\n"));
  EXPECT_EQ(Entries(false), (std::vector<std::string>{"1:1/0", "1:1/5", "2:2/0"}));
  EXPECT_EQ(Entries(true), (std::vector<std::string>{"1:1/0", "1:1/5", "0:0/7", "2:2/0"}));
  EXPECT_EQ(GetU16LE(reinterpret_cast<const uint8_t*>(disk_.files.at(kIndexFileName).data.data()) + 12 + 45), 3);
}

struct LimitCase {
  std::string name;
  std::vector<std::string> nodelists;
  int status;
  std::string message;  // the fatal message, "" when the run succeeds
  std::vector<std::string> temp_writes;
};

TEST_F(ReaderRunTest, NetAndNodeLimits) {
  const std::string kFull = "196536";  // a full NodeBuffer, written while reading
  const LimitCase cases[] = {
      {"5,172 nodes in a net", {Net("Zone,1", 5172)}, 0, "", {kFull}},
      {"5,173 in the last net", {Net("Zone,1", 5173)}, 5, "Too many nodes in net", {kFull}},
      {"5,173 closed by the next net", {Net("Zone,1", 5173) + Net("Host,2", 1)}, 5, "Too many nodes in net", {kFull}},
      {"the last file's first line overfills the net", {Net("Zone,1", 5172), ",9,s,l,Z,x,\r\n"}, 5,
       "Too many nodes in net", {kFull}},
      {"19,656 nets", {OneNodeNets(19'656)}, 0, "", {kFull, kFull, kFull, "end 157320"}},
      {"19,657 nets", {OneNodeNets(19'657)}, 4, "Too many nets", {kFull, kFull, kFull}},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    disk_ = FakeDisk{};
    EXPECT_EQ(Run(c.nodelists), c.status);
    EXPECT_EQ(TempWrites(), c.temp_writes);
    if (c.message.empty()) {
      EXPECT_TRUE(disk_.console.ends_with(" nets processed\r\n"));
      continue;
    }
    EXPECT_TRUE(disk_.console.ends_with("\r\n" + c.message + "\a\r\n")) << disk_.console.substr(0, 300);
    ExpectCleanEnd();
  }
}

// A second initial-chain block is taken as soon as the 65,516th node is
// read, even when none follows: on a heap with 1 byte too few for it, that
// run fails while one node fewer succeeds.
TEST_F(ReaderRunTest, SecondChainBlockIsTakenAfterTheFirstFills) {
  RunOptions options;
  options.heap_size = 47 + 524'136 + 65'519;  // catalogue, build blocks, not quite a chain block
  EXPECT_EQ(Run({ManyNodes(65'515)}, {}, options), 0);
  EXPECT_TRUE(disk_.console.ends_with("65515 nodes processed\r\n   14 nets processed\r\n"));

  disk_ = FakeDisk{};
  EXPECT_EQ(Run({ManyNodes(65'516)}, {}, options), 1);
  EXPECT_TRUE(disk_.console.ends_with("\r\nInsufficient memory - I need at least 1k more\a\r\n"));
  ExpectCleanEnd();
}

TEST_F(ReaderRunTest, MissingNodelistIsReportedAndSkipped) {
  EXPECT_EQ(Run({kMissing, Lines(kSmallList)}), 0);
  EXPECT_TRUE(disk_.console.starts_with(test::Banner() + "Nodelist NODEA not found\a\r\n" +
                                        "Reading NODEB.001... Zone      \b\b\b\b\b    2\r\n"))
      << disk_.console;
  EXPECT_EQ(Entries(false), (std::vector<std::string>{"2:2/0", "2:5/0", "2:5/3", "2:5/7"}));
}

struct FaultCase {
  std::string name;
  FileOp op;          // the first operation of this kind on "path" fails
  std::string path;
  bool partial;
  int status;
  std::string message;
};

TEST_F(ReaderRunTest, FailedTransfersWhileReading) {
  const std::string nodelist = Net("Zone,1", 5172) + Net("Host,2", 3);  // written during reading and at the end
  const FaultCase cases[] = {
      {"a write moves half", FileOp::kWrite, kTempFileName, true, 3,
       "\r\nError 101 writing file (not enough disk space?)\a\r\n"},
      {"a write fails", FileOp::kWrite, kTempFileName, false, 3,
       "\r\nError 162 writing file (not enough disk space?)\a\r\n"},
      {"a nodelist read fails", FileOp::kRead, "NODEA.001", false, 162,
       "\r\nI/O error 162 (device error) reading NODEA.001\r\n"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    disk_ = FakeDisk{};
    ASSERT_EQ(Run({nodelist}), 0);
    auto it = std::find_if(disk_.log.begin(), disk_.log.end(),
                           [&](const FakeOpRecord& r) { return r.op == c.op && r.path == c.path; });
    ASSERT_NE(it, disk_.log.end());
    FaultPlan plan;
    plan.fail_at = it - disk_.log.begin() + 1;
    plan.partial = c.partial;
    disk_ = FakeDisk{};
    EXPECT_EQ(Run({nodelist}, {}, {}, &plan), c.status);
    EXPECT_TRUE(plan.fired);
    EXPECT_TRUE(disk_.console.ends_with(c.message)) << disk_.console;
    if (c.status == 3) ExpectCleanEnd();
  }
}

// The disk fills under the real platform: a file-size limit of nothing
// lets no byte into the temporary file (the limit's signal ignored, as a
// full disk sends none).
TEST(ReaderEndToEndTest, FullDiskEndsTheRunWithTheWriteErrorReport) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a shell's ulimit";
#else
  test::ScopedTempDir dir;
  test::WriteFile(dir / "NODELIST.123", Lines(kSmallList, "\n"));
  std::string head = IndexHead({{"NODELIST", ""}});
  test::WriteFile(dir / "nlindex.qdx", head);
  test::ProcessRun run = test::RunTool(
      "/bin/sh", dir.path(), {"-c", "ulimit -f 0; trap '' XFSZ; exec " + std::string(TESSEL_BINARY) + " -F"});

  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, test::Banner() +
                         "Reading NODELIST.123... Zone      \b\b\b\b\b    2"
                         "\r\nError 101 writing file (not enough disk space?)\a\r\n");
  EXPECT_FALSE(test::Exists(dir / "nlindex.foo"));
  EXPECT_FALSE(test::Exists(dir / "nlindex.bar"));
  EXPECT_EQ(test::ReadFile(dir / "nlindex.qdx"), head);
#endif
}

}  // namespace
}  // namespace tessel
