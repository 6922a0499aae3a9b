// Putting a file in place whole: every step failed in turn, a file swapped
// under the run, a name taken meanwhile.
#include "storage/new_file.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/fake_platform.h"

namespace tessel {
namespace {

constexpr const char* kPath = "dir/list.txt";
constexpr const char* kTemp = "dir/list.tmp";

FakeDisk OldDisk() {
  FakeDisk disk;
  disk.files[kPath].data = "old";
  disk.files[kTemp].data = "left by a killed run";
  return disk;
}

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
    FakeDisk disk = OldDisk();
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

// The temporary name taken over by another file as the check looks (the
// run's file unlinked, a new one made there), or the final name taken when
// it must stay free: nothing is renamed.
TEST(NewFile, RenamesOnlyItsOwnFileOntoAFreeName) {
  for (bool swap : {true, false}) {
    SCOPED_TRACE(swap ? "own file swapped" : "final name taken");
    FakeDisk disk;
    if (!swap) disk.files[kPath].data = "appeared";
    Platform fake = MakeFakePlatform(&disk);
    FaultPlan plan;
    plan.inner = &fake;
    plan.before = [&](long, FileOp op, std::string_view path) {
      if (!swap || op != FileOp::kInfo || path != kTemp) return;
      fake.remove(fake.ctx, kTemp);
      disk.files[kTemp] = FakeFile{"planted", 0, false, false, 999};
    };
    Platform faulty = MakeFaultyPlatform(&plan);
    NewFile file{kPath, kTemp};
    ASSERT_EQ(StartNewFile(faulty, &file), 0);
    ASSERT_EQ(WriteNewFile(faulty, &file, "new"), 0);
    EXPECT_EQ(FinishNewFile(faulty, &file, /*target_free=*/true), swap ? kErrAccessDenied : kErrFileExists);
    EXPECT_EQ(file.step, NewFileStep::kCheck);
    EXPECT_EQ(file.file, kNoFile);
    EXPECT_EQ(disk.files.count(kPath) ? disk.files[kPath].data : "", swap ? "" : "appeared");
    EXPECT_EQ(disk.files[kTemp].data, swap ? "planted" : "new");  // left for the caller
    AbandonNewFile(faulty, &file);
    EXPECT_EQ(disk.files.count(kTemp), 0u);
  }
}

}  // namespace
}  // namespace tessel
