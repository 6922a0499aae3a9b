// Putting a file in place whole, every step failed in turn. (A file swapped
// under the run and a name taken meanwhile are met in update's and tessel's
// own tests.)
#include "storage/new_file.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/fake_platform.h"

namespace tessel {
namespace {

constexpr const char* kPath = "dir/list.txt";
constexpr const char* kTemp = "dir/list.tmp";

// Each file operation of a whole write failed in turn: the step is named,
// the final name keeps the old file and the temporary name is gone. What a
// killed run left at the temporary name, when it cannot be removed, is
// never written: the file cannot be made new there.
TEST(NewFile, EachFailingStepIsNamedAndCleansUp) {
  const std::string bytes(1536 * 1024, 'x');  // two writes of at most 1 MiB
  struct Case {
    FileOp op;
    int nth;  // among the operations of this kind, from 0
    bool partial;
    int error;  // what the whole write returns
    NewFileStep step;
  } cases[] = {
      {FileOp::kRemove, 0, false, kErrFileExists, NewFileStep::kCreate},
      {FileOp::kCreateNew, 0, false, 162, NewFileStep::kCreate},
      {FileOp::kWrite, 0, false, 162, NewFileStep::kWrite},
      {FileOp::kWrite, 1, true, kErrShortWrite, NewFileStep::kWrite},
      {FileOp::kSync, 0, false, 162, NewFileStep::kFlush},
      {FileOp::kInfo, 0, false, 162, NewFileStep::kCheck},
      {FileOp::kInfo, 1, false, 162, NewFileStep::kCheck},
      {FileOp::kClose, 0, false, 162, NewFileStep::kClose},
      {FileOp::kRename, 0, false, 162, NewFileStep::kRename},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FileOpName(c.op)) + " " + std::to_string(c.nth));
    FakeDisk disk;
    disk.files[kPath].data = "old";
    disk.files[kTemp].data = "left by a killed run";
    Platform fake = MakeFakePlatform(&disk);
    FaultPlan plan;
    plan.inner = &fake;
    plan.partial = c.partial;
    int seen = 0;
    plan.before = [&](long number, FileOp op, std::string_view) {
      if (op == c.op && seen++ == c.nth) plan.fail_at = number;
    };
    Platform faulty = MakeFaultyPlatform(&plan);
    NewFileStep step = NewFileStep::kCreate;
    EXPECT_EQ(WriteWholeNewFile(faulty, kPath, kTemp, bytes, &step), c.error);
    EXPECT_TRUE(plan.fired);
    EXPECT_EQ(step, c.step);
    EXPECT_EQ(disk.files[kPath].data, c.error == 0 ? bytes : "old");
    EXPECT_EQ(disk.files.count(kTemp), c.op == FileOp::kRemove ? 1u : 0u);
  }
}

}  // namespace
}  // namespace tessel
