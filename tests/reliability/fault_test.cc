// Every file operation of a representative build fails in turn.
//
// The build finds its index through KORVO and config.qdx, resolves three
// nodelists in several zones (one named in upper case, found in lower case;
// one whose catalogue still names an older file), writes more than one
// EntryBuffer of entries and splits the sysop-name ordering into passes. A
// clean run counts its file operations; then, for every k, the k-th one
// fails (and a read or write, once more, moves only half of its bytes).
// Each run must end as the program defines for that operation, and leave
// the old index byte for byte unless the new one was renamed into place.

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/fake_platform.h"
#include "run/program.h"
#include "test_util.h"

namespace tessel::test {
namespace {

constexpr const char* kIndex = "data/nlindex.qdx";
constexpr const char* kNewIndex = "data/nlindex.bar";
constexpr const char* kTemp = "nlindex.foo";
constexpr int64_t kDay = 86'400;
constexpr int64_t kOlder = 1'000'000'000;
constexpr int kPassCapacity = 1000;

const std::vector<SlotSpec> kSlots = {
    {"nl/NODELIST", "123"},  // already names its newest file
    {"nl/OTHERNET", ""},     // new: its file is nl/othernet.045
    {"nl/REGION", "116"},    // names a file that is gone
};

void Put(FakeDisk* disk, const std::string& path, std::string data, int64_t mtime = kOlder) {
  disk->files[path] = FakeFile{std::move(data), mtime};
}

FakeDisk MakeDisk() {
  FakeDisk disk;
  disk.environment = {"PATH=/bin", "KORVO=host"};
  Put(&disk, "host/config.qdx", HostConfig("data/"));
  // An index from an earlier build: head, then entries of that build.
  std::string old_entries;
  for (int k = 0; k < 240; ++k) old_entries.push_back(static_cast<char>(k * 7 + 3));
  Put(&disk, kIndex, IndexHead(kSlots) + old_entries);
  Put(&disk, "nl/NODELIST.120", MakeNodelist({.seed = 9, .nets_per_zone = 2}));
  Put(&disk, "nl/NODELIST.123",
      MakeNodelist(
          {.seed = 1, .first_zone = 1, .zones = 2, .nets_per_zone = 14, .nodes_per_net = 85, .net_initials = true}),
      kOlder + 3 * kDay);
  Put(&disk, "nl/NODELIST.Z99", "not a nodelist", kOlder + 9 * kDay);
  Put(&disk, "nl/othernet.045",
      MakeNodelist({.seed = 2,
                    .first_zone = 3,
                    .nets_per_zone = 12,
                    .nodes_per_net = 80,
                    .lf_only = true,
                    .net_initials = true}));
  Put(&disk, "nl/REGION.117",
      MakeNodelist(
          {.seed = 3, .first_zone = 4, .zones = 2, .nets_per_zone = 6, .nodes_per_net = 80, .net_initials = true}));
  return disk;
}

int RunBuild(const Platform& platform) {
  const char* argv[] = {"tessel", "-F"};
  RunOptions options;
  options.pass_record_limit = kPassCapacity;
  return RunProgram(platform, 2, argv, options);
}

// What a run must end with.
enum class Ending { kBuilt, kIndexNotFound, kFatal, kWriteError, kDamaged };
enum class IndexAfter { kOld, kNew, kWithoutSlot };
enum class Left { kNone, kTemp, kTempAndNew };

struct Expect {
  Ending ending = Ending::kBuilt;
  std::string doing;  // kFatal: the rest of the report, "reading nl/x.1"
  Left left = Left::kNone;
  IndexAfter index = IndexAfter::kNew;
  int missing_slot = 0;   // a nodelist reported "not found", the run going on
  bool resolved = false;  // ... after its slot was resolved to a new file
};

Expect Clean() { return {}; }
Expect IndexNotFound() { return {Ending::kIndexNotFound, "", Left::kNone, IndexAfter::kOld}; }
Expect Damaged() { return {Ending::kDamaged, "", Left::kNone, IndexAfter::kOld}; }
Expect WriteError() { return {Ending::kWriteError, "", Left::kNone, IndexAfter::kOld}; }
Expect Fatal(std::string doing, Left left = Left::kNone, IndexAfter index = IndexAfter::kOld) {
  return {Ending::kFatal, std::move(doing), left, index};
}
Expect Missing(int slot, bool resolved) {
  return {Ending::kBuilt, "", Left::kNone, IndexAfter::kWithoutSlot, slot, resolved};
}

// One kind of operation on one file; "nth" counts the operations of that
// kind on that file from 1 (0: all of them).
struct Row {
  Row(FileOp op, std::string path, int first, int last, Expect failed, Expect partial = Expect())
      : op(op),
        path(std::move(path)),
        first(first),
        last(last),
        failed(std::move(failed)),
        partial(std::move(partial)) {}
  FileOp op;
  std::string path;
  int first, last;  // the range of "nth" the row covers (last 0: no end); 0, 0 all
  Expect failed;
  Expect partial;  // reads and writes: moving half of the bytes
};

const std::vector<Row>& Table() {
  static const std::vector<Row> rows = {
      // Finding the index: the current directory, then KORVO's config.qdx.
      {FileOp::kList, "", 0, 0, Clean()},
      {FileOp::kList, "host/", 0, 0, IndexNotFound()},
      {FileOp::kOpenExisting, "host/config.qdx", 0, 0, Fatal("opening host/config.qdx")},
      {FileOp::kSeek, "host/config.qdx", 0, 0, Fatal("reading host/config.qdx")},
      {FileOp::kRead, "host/config.qdx", 0, 0, Fatal("reading host/config.qdx"), Clean()},
      {FileOp::kClose, "host/config.qdx", 0, 0, Fatal("closing host/config.qdx")},
      {FileOp::kList, "data/", 0, 0, IndexNotFound()},
      // The index's head.
      {FileOp::kOpenExisting, kIndex, 0, 0, Fatal("opening data/nlindex.qdx")},
      {FileOp::kRead, kIndex, 0, 0, Fatal("reading data/nlindex.qdx"), Damaged()},
      {FileOp::kClose, kIndex, 0, 0, Fatal("closing data/nlindex.qdx")},
      // Resolving the three slots, then the case-blind open of slot 2.
      {FileOp::kList, "nl/", 1, 1, Clean()},
      {FileOp::kList, "nl/", 2, 2, Missing(2, false)},
      {FileOp::kList, "nl/", 3, 3, Missing(3, false)},
      {FileOp::kList, "nl/", 4, 4, Missing(2, true)},
      // Reading the nodelists.
      {FileOp::kInfo, kTemp, 0, 0, Fatal("creating nlindex.foo")},
      {FileOp::kCreate, kTemp, 0, 0, Fatal("creating nlindex.foo")},
      {FileOp::kOpenRead, "nl/NODELIST.123", 0, 0, Missing(1, true)},
      {FileOp::kOpenRead, "nl/OTHERNET.045", 0, 0, Missing(2, true)},
      {FileOp::kOpenRead, "nl/othernet.045", 0, 0, Missing(2, true)},
      {FileOp::kOpenRead, "nl/REGION.117", 0, 0, Missing(3, true)},
      {FileOp::kRead, "nl/NODELIST.123", 0, 0, Fatal("reading nl/NODELIST.123", Left::kTemp), Clean()},
      {FileOp::kRead, "nl/othernet.045", 0, 0, Fatal("reading nl/othernet.045", Left::kTemp), Clean()},
      {FileOp::kRead, "nl/REGION.117", 0, 0, Fatal("reading nl/REGION.117", Left::kTemp), Clean()},
      {FileOp::kClose, "nl/NODELIST.123", 0, 0, Fatal("closing nl/NODELIST.123", Left::kTemp)},
      {FileOp::kClose, "nl/othernet.045", 0, 0, Fatal("closing nl/othernet.045", Left::kTemp)},
      {FileOp::kClose, "nl/REGION.117", 0, 0, Fatal("closing nl/REGION.117", Left::kTemp)},
      {FileOp::kWrite, kTemp, 0, 0, WriteError(), WriteError()},
      // Reopening the temporary file and writing the new index's head.
      {FileOp::kClose, kTemp, 1, 1, Fatal("closing nlindex.foo", Left::kTemp)},
      {FileOp::kOpenExisting, kTemp, 0, 0, Fatal("opening nlindex.foo", Left::kTemp)},
      {FileOp::kInfo, kNewIndex, 1, 1, Fatal("creating data/nlindex.bar", Left::kTemp)},
      {FileOp::kCreate, kNewIndex, 0, 0, Fatal("creating data/nlindex.bar", Left::kTemp)},
      {FileOp::kWrite, kNewIndex, 1, 3, Fatal("writing data/nlindex.bar", Left::kTempAndNew),
       Fatal("writing data/nlindex.bar", Left::kTempAndNew)},
      // Both orderings: the temporary file read back, entries written.
      {FileOp::kSeek, kTemp, 0, 0, Fatal("positioning in nlindex.foo", Left::kTempAndNew)},
      {FileOp::kRead, kTemp, 0, 0, Fatal("reading nlindex.foo", Left::kTempAndNew),
       Fatal("reading nlindex.foo", Left::kTempAndNew)},
      {FileOp::kWrite, kNewIndex, 4, 0, WriteError(), WriteError()},
      // Replacing the index, then removing the temporary file.
      {FileOp::kSync, kNewIndex, 0, 0, Fatal("writing data/nlindex.bar", Left::kTempAndNew)},
      {FileOp::kInfo, kNewIndex, 2, 3, Fatal("replacing data/nlindex.qdx", Left::kTempAndNew)},
      {FileOp::kClose, kNewIndex, 0, 0, Fatal("closing data/nlindex.bar", Left::kTempAndNew)},
      {FileOp::kRename, kNewIndex, 0, 0, Fatal("replacing data/nlindex.qdx", Left::kTempAndNew)},
      {FileOp::kClose, kTemp, 2, 2, Fatal("closing nlindex.foo", Left::kTemp, IndexAfter::kNew)},
      {FileOp::kRemove, kTemp, 0, 0, Fatal("deleting nlindex.foo", Left::kTemp, IndexAfter::kNew)},
  };
  return rows;
}

const Row* FindRow(FileOp op, const std::string& path, int nth) {
  const Row* found = nullptr;
  for (const Row& row : Table()) {
    bool in_range = row.first == 0 || (nth >= row.first && (row.last == 0 || nth <= row.last));
    if (row.op != op || row.path != path || !in_range) continue;
    if (found != nullptr) return nullptr;  // rows must not overlap
    found = &row;
  }
  return found;
}

const char* ErrorWords(int error) {
  switch (error) {
    case 100:
      return "read past end of file";
    case 101:
      return "disk full or write fault";
    default:
      return "device error";
  }
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The clean build's index without the entries of "slot", whose catalogue
// bytes become "slot_bytes". Every address and every sysop-name key is
// unique here, so both orders are those of the remaining entries.
std::string WithoutSlot(const std::string& index, int slot, const std::string& slot_bytes) {
  const size_t first_entry = 13 + 47 * kSlots.size();
  std::string result = index.substr(0, first_entry);
  result.replace(12 + 47 * (slot - 1), 47, slot_bytes);
  for (size_t at = first_entry; at < index.size(); at += 12) {
    uint8_t byte = static_cast<uint8_t>(index[at]);
    if (byte != slot && byte != 256 - slot) result += index.substr(at, 12);
  }
  return result;
}

class FaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    original_ = new FakeDisk(MakeDisk());
    clean_ = new FakeDisk(*original_);
    Platform platform = MakeFakePlatform(clean_);
    clean_status_ = RunBuild(platform);
  }
  static void TearDownTestSuite() {
    delete original_;
    delete clean_;
  }

  // Checks one run against "expect"; "error" is the number the failed
  // operation reported (or 100/101 for a partial read/write).
  // Runs the build on "disk", a fresh copy of the original, through
  // "plan", and returns its exit status.
  static int RunPlanned(FaultPlan* plan, FakeDisk* disk) {
    *disk = *original_;
    Platform disk_platform = MakeFakePlatform(disk);
    plan->inner = &disk_platform;
    Platform platform = MakeFaultyPlatform(plan);
    int status = RunBuild(platform);
    plan->inner = nullptr;
    return status;
  }

  static void CheckOutcome(const Expect& expect, int error, int status, const FakeDisk& disk) {
    const std::string& out = disk.console;
    switch (expect.ending) {
      case Ending::kBuilt:
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(EndsWith(out, " nets processed\r\n")) << out.substr(out.size() - std::min<size_t>(out.size(), 200));
        break;
      case Ending::kIndexNotFound:
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(EndsWith(out, "\r\nnlindex.qdx not found; please set up nodelists in CONFIG.\a\r\n"));
        break;
      case Ending::kDamaged:
        EXPECT_EQ(status, 100);
        EXPECT_TRUE(EndsWith(out, "\r\nnlindex.qdx is damaged; please set up nodelists in CONFIG.\a\r\n"));
        break;
      case Ending::kWriteError:
        EXPECT_EQ(status, 3);
        EXPECT_TRUE(
            EndsWith(out, "\r\nError " + std::to_string(error) + " writing file (not enough disk space?)\a\r\n"))
            << out.substr(out.size() - std::min<size_t>(out.size(), 200));
        break;
      case Ending::kFatal: {
        EXPECT_EQ(status, error);
        std::string report =
            "\r\nI/O error " + std::to_string(error) + " (" + ErrorWords(error) + ") " + Shown(expect.doing) + "\r\n";
        EXPECT_TRUE(EndsWith(out, report))
            << "want" << report << "got" << out.substr(out.size() - std::min<size_t>(out.size(), 200));
        break;
      }
    }
    if (expect.missing_slot != 0) {
      const SlotSpec& slot = kSlots[expect.missing_slot - 1];
      EXPECT_NE(out.find("\r\nNodelist " + slot.base_name + " not found\a\r\n"), std::string::npos);
    }

    const std::string& clean_index = clean_->files.at(kIndex).data;
    std::string expected_index;
    switch (expect.index) {
      case IndexAfter::kOld:
        expected_index = original_->files.at(kIndex).data;
        break;
      case IndexAfter::kNew:
        expected_index = clean_index;
        break;
      case IndexAfter::kWithoutSlot: {
        size_t at = 12 + 47 * (expect.missing_slot - 1);
        std::string slot_bytes =
            expect.resolved ? clean_index.substr(at, 47) : SlotBytes(kSlots[expect.missing_slot - 1]);
        if (expect.resolved) slot_bytes[45] = slot_bytes[46] = 0;  // no zone read
        expected_index = WithoutSlot(clean_index, expect.missing_slot, slot_bytes);
        break;
      }
    }
    ASSERT_TRUE(disk.files.count(kIndex)) << "the index is gone";
    EXPECT_TRUE(disk.files.at(kIndex).data == expected_index) << "index differs";

    EXPECT_EQ(disk.files.count(kTemp) == 1, expect.left != Left::kNone) << "nlindex.foo";
    EXPECT_EQ(disk.files.count(kNewIndex) == 1, expect.left == Left::kTempAndNew) << "nlindex.bar";
    for (const auto& [path, file] : disk.files) {
      if (path == kIndex || path == kTemp || path == kNewIndex) continue;
      auto before = original_->files.find(path);
      EXPECT_TRUE(before != original_->files.end() && before->second.data == file.data) << path;
    }
    EXPECT_EQ(disk.files.size(), original_->files.size() + disk.files.count(kTemp) + disk.files.count(kNewIndex));
  }

  static FakeDisk* original_;
  static FakeDisk* clean_;
  static int clean_status_;
};

FakeDisk* FaultTest::original_ = nullptr;
FakeDisk* FaultTest::clean_ = nullptr;
int FaultTest::clean_status_ = -1;

TEST_F(FaultTest, CleanBuildIsRepresentative) {
  ASSERT_EQ(clean_status_, 0) << clean_->console;
  const std::string& index = clean_->files.at(kIndex).data;
  size_t entries = (index.size() - (13 + 47 * kSlots.size())) / 12;
  EXPECT_GT(entries, 5460u);  // the EntryBuffer is written more than once
  auto count = [&](FileOp op, const std::string& path) {
    return std::count_if(clean_->log.begin(), clean_->log.end(),
                         [&](const FakeOpRecord& r) { return r.op == op && r.path == path; });
  };
  EXPECT_GE(count(FileOp::kWrite, kNewIndex), 3 + 2);
  EXPECT_EQ(count(FileOp::kWrite, kTemp), 3);  // one flush per nodelist
  // The sysop-name ordering ran in several passes, each reading its runs.
  EXPECT_GT(count(FileOp::kRead, kTemp), 3);
  EXPECT_NE(clean_->console.find("Reading nl/OTHERNET.045... Zone"), std::string::npos);
  EXPECT_EQ(clean_->console.find("not found"), std::string::npos);
}

TEST_F(FaultTest, EveryOperationFailsInTurn) {
  ASSERT_EQ(clean_status_, 0);
  // Count the operations through the wrapper, and name each by its kind,
  // its file and its place among those of that kind on that file.
  FakeDisk counted = *original_;
  Platform inner = MakeFakePlatform(&counted);
  FaultPlan plan;
  plan.inner = &inner;
  Platform faulty = MakeFaultyPlatform(&plan);
  ASSERT_EQ(RunBuild(faulty), 0);
  ASSERT_EQ(counted.files.at(kIndex).data, clean_->files.at(kIndex).data);
  ASSERT_EQ(plan.ops.size(), counted.log.size());
  std::vector<const Row*> rows;
  std::map<std::pair<FileOp, std::string>, int> seen;
  for (const FakeOpRecord& record : counted.log) {
    int nth = ++seen[{record.op, record.path}];
    const Row* row = FindRow(record.op, record.path, nth);
    ASSERT_NE(row, nullptr) << "no single row for " << FileOpName(record.op) << " " << record.path << " #" << nth;
    rows.push_back(row);
  }

  int runs = 0;
  for (size_t k = 1; k <= rows.size(); ++k) {
    const FakeOpRecord& record = counted.log[k - 1];
    bool transfers = record.op == FileOp::kRead || record.op == FileOp::kWrite;
    for (bool partial : {false, true}) {
      if (partial && !transfers) continue;
      SCOPED_TRACE(testing::Message() << "operation " << k << ": " << FileOpName(record.op) << " " << record.path
                                      << (partial ? " (partial)" : " (failed)"));
      FakeDisk disk;
      FaultPlan fault;
      fault.fail_at = static_cast<long>(k);
      fault.partial = partial;
      int status = RunPlanned(&fault, &disk);
      ++runs;
      ASSERT_TRUE(fault.fired);
      bool wrote = record.op == FileOp::kWrite;
      int error = partial ? (wrote ? 101 : 100) : fault.error;
      CheckOutcome(partial ? rows[k - 1]->partial : rows[k - 1]->failed, error, status, disk);
      if (HasFailure()) return;  // one broken outcome is enough to look at
    }
  }
  std::printf("[ fault    ] %zu operations, %d runs\n", rows.size(), runs);
}

// The run killed before each of its operations in turn: the index is the
// old one, byte for byte, until the rename; from the rename on it is the
// complete new one. Nothing is ever a mix.
TEST_F(FaultTest, KilledBeforeEachOperation) {
  ASSERT_EQ(clean_status_, 0);
  const std::vector<FakeOpRecord>& log = clean_->log;
  auto rename = std::find_if(log.begin(), log.end(), [](const FakeOpRecord& r) { return r.op == FileOp::kRename; });
  ASSERT_NE(rename, log.end());
  const size_t renamed_at = static_cast<size_t>(rename - log.begin()) + 1;  // 1-based
  int left_old = 0, left_new = 0;
  for (size_t k = 1; k <= log.size() + 1; ++k) {
    SCOPED_TRACE(testing::Message() << "killed before operation " << k);
    FakeDisk disk;
    FaultPlan kill;
    kill.fail_at = static_cast<long>(k);
    kill.halt = true;
    RunPlanned(&kill, &disk);
    ASSERT_TRUE(disk.files.count(kIndex)) << "the index is gone";
    const std::string& index = disk.files.at(kIndex).data;
    if (k <= renamed_at) {
      EXPECT_TRUE(index == original_->files.at(kIndex).data) << "not the old index";
      ++left_old;
    } else {
      EXPECT_TRUE(index == clean_->files.at(kIndex).data) << "not the new index";
      ++left_new;
    }
    if (HasFailure()) return;
  }
  EXPECT_GE(left_new, 2);  // the kills before the temporary file's removal
  std::printf("[ kill     ] %zu moments: %d old, %d new index\n", log.size() + 1, left_old, left_new);
}

}  // namespace
}  // namespace tessel::test
