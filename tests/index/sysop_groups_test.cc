// At scale the sysop-name ordering writes the temporary file's records again
// grouped by pass and reads each pass with one read. The index and the
// console must be those of passes that pick their records out of the file,
// which is also what a build falls back on when writing the groups fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run/program.h"
#include "testing/fake_platform.h"
#include "testing/index_builders.h"
#include "testing/nodelist_generator.h"

namespace tessel::test {
namespace {

constexpr const char* kTemp = "nlindex.foo";

struct Outcome {
  int status = -1;
  FakeDisk disk;
};

// Builds over a copy of "disk", failing (or cutting short) operation
// "fail_at" when it is not 0.
Outcome Build(const FakeDisk& disk, long fail_at = 0, bool partial = false) {
  Outcome outcome{-1, disk};
  Platform inner = MakeFakePlatform(&outcome.disk);
  FaultPlan plan;
  plan.inner = &inner;
  plan.fail_at = fail_at;
  plan.partial = partial;
  Platform platform = MakeFaultyPlatform(&plan);
  const char* argv[] = {"tessel", "-F"};
  RunOptions options;
  options.pass_record_limit = 9000;
  outcome.status = RunProgram(platform, 2, argv, options);
  return outcome;
}

long CountOps(const FakeDisk& disk, FileOp op) {
  return std::count_if(disk.log.begin(), disk.log.end(),
                       [&](const FakeOpRecord& r) { return r.op == op && r.path == kTemp; });
}

TEST(SysopGroups, GroupedPassesGiveTheIndexOfPassesReadFromTheFile) {
  // More nodes than one initial-chain block holds, in many passes; the
  // second list repeats the start of the first, so some passes hold equal
  // keys and are ordered by the exact steps.
  std::string list = MakeNodelist({.seed = 5, .nets_per_zone = 1000, .nodes_per_net = 100});
  FakeDisk disk;
  disk.files["LISTA.001"].data = list;
  disk.files["LISTB.001"].data = list.substr(0, list.find('\n', 90'000) + 1);
  disk.files["nlindex.qdx"].data = IndexHead({{"LISTA", "001"}, {"LISTB", "001"}});

  Outcome grouped = Build(disk);
  ASSERT_EQ(grouped.status, 0) << grouped.disk.console;
  // The last write of the temporary file is the end of the last group.
  long last_write = 0;
  for (size_t k = 0; k < grouped.disk.log.size(); ++k) {
    const FakeOpRecord& r = grouped.disk.log[k];
    if (r.op == FileOp::kWrite && r.path == kTemp) last_write = static_cast<long>(k) + 1;
  }
  for (bool partial : {false, true}) {
    SCOPED_TRACE(partial ? "the last group's write falls short" : "the last group's write fails");
    Outcome picked = Build(disk, last_write, partial);
    ASSERT_EQ(picked.status, 0) << picked.disk.console;
    EXPECT_EQ(picked.disk.console, grouped.disk.console);
    EXPECT_TRUE(picked.disk.files.at("nlindex.qdx").data == grouped.disk.files.at("nlindex.qdx").data);
    EXPECT_EQ(picked.disk.files.count(kTemp), 0u);
    // Picking records out of the file takes a read per run of them.
    EXPECT_GT(CountOps(picked.disk, FileOp::kRead), 4 * CountOps(grouped.disk, FileOp::kRead));
  }
}

}  // namespace
}  // namespace tessel::test
