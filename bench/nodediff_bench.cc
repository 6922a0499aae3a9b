// The cost of making a nodelist from a nodediff, against a plain copy of
// the old list. Not a test: it reports figures.
//
//   nodediff_bench OLD_LIST DIFF RUNS SCRATCH_DIR [TESSEL_INDEX]
//
// In-process, through the platform layer as tessel-index uses it:
//   copy    read OLD_LIST, write it to a new file, flush, close;
//   update  read OLD_LIST and DIFF, apply the diff, check the new list's
//           CRC, write it to a new file, flush, close;
// each once in fresh buffers, as a run of tessel-index meets them, and
// once in buffers kept from run to run.
// With TESSEL_INDEX, the whole programs as well, each run in a fresh copy
// of the same directory: "tessel-index update --inbound in" (catalogue,
// listings, reading, applying, the atomic write and the time stamp)
// against "cp -p" of the old list.
//
// Prints one line: the medians in seconds, copy update warm_copy
// warm_update [cp_process update_process]; "warm" runs keep their buffers
// from run to run, so that fresh memory costs nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "nodediff/diff_apply.h"
#include "nodediff/nodelist_crc.h"
#include "platform/platform.h"

extern "C" char** environ;

namespace {

using tessel::FileId;
using tessel::Platform;
namespace fs = std::filesystem;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "nodediff_bench: %s\n", what.c_str());
  std::exit(1);
}

void WriteDurably(const Platform& p, const std::string& path, const std::string& bytes) {
  FileId file;
  uint32_t moved = 0;
  if (p.create(p.ctx, path.c_str(), &file) != 0 ||
      p.write(p.ctx, file, bytes.data(), static_cast<uint32_t>(bytes.size()), &moved) != 0 || moved != bytes.size() ||
      p.sync(p.ctx, file) != 0 || p.close(p.ctx, file) != 0) {
    Die("cannot write " + path);
  }
}

// Reads a file into "*bytes", sized to the file as tessel-index does.
void ReadInto(const Platform& p, const std::string& path, std::string* bytes) {
  FileId file;
  if (p.open_read(p.ctx, path.c_str(), &file) != 0) Die("cannot open " + path);
  bytes->resize(fs::file_size(path) + 1);
  uint32_t moved = 0;
  if (p.read(p.ctx, file, bytes->data(), static_cast<uint32_t>(bytes->size()), &moved) != 0) {
    Die("cannot read " + path);
  }
  bytes->resize(moved);
  p.close(p.ctx, file);
}

std::string ReadAll(const Platform& p, const std::string& path) {
  std::string bytes;
  ReadInto(p, path, &bytes);
  return bytes;
}

// The update's work: apply, check the CRC, write the new list.
void ApplyAndWrite(const Platform& p, const std::string& old_list, const std::string& diff, std::string* result,
                   const std::string& path) {
  tessel::DiffOutcome outcome = tessel::ApplyNodediff(old_list, diff, result);
  if (outcome.status != tessel::DiffStatus::kApplied || !tessel::CrcChecks(tessel::CheckListCrc(*result))) {
    Die("the diff does not apply");
  }
  WriteDurably(p, path, *result);
}

// The median of "runs" timed calls of "work", after one warm-up; "setup"
// runs untimed before each.
double Median(int runs, const std::function<void()>& setup, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i <= runs; ++i) {
    setup();
    auto start = std::chrono::steady_clock::now();
    work();
    auto end = std::chrono::steady_clock::now();
    if (i > 0) times.push_back(std::chrono::duration<double>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void RunProgram(const std::string& dir, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) Die("cannot start " + args[0]);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die(args[0] + " failed");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) Die("usage: nodediff_bench OLD_LIST DIFF RUNS SCRATCH_DIR [TESSEL_INDEX]");
  std::string old_path = argv[1], diff_path = argv[2], scratch = argv[4];
  int runs = std::max(1, std::atoi(argv[3]));
  const Platform& p = tessel::PosixPlatform();
  fs::create_directories(scratch);
  std::string copy_path = scratch + "/copy.362", new_path = scratch + "/NODELIST.003";
  auto nothing = [] {};

  double copy = Median(runs, nothing, [&] {
    WriteDurably(p, copy_path, ReadAll(p, old_path));
  });
  double update = Median(runs, nothing, [&] {
    std::string old_list = ReadAll(p, old_path), diff = ReadAll(p, diff_path), result;
    ApplyAndWrite(p, old_list, diff, &result, new_path);
  });
  // The same with buffers kept from run to run: the work alone, without
  // the cost of fresh memory.
  std::string old_buffer, diff_buffer, result_buffer;
  double warm_copy = Median(runs, nothing, [&] {
    ReadInto(p, old_path, &old_buffer);
    WriteDurably(p, copy_path, old_buffer);
  });
  double warm_update = Median(runs, nothing, [&] {
    ReadInto(p, old_path, &old_buffer);
    ReadInto(p, diff_path, &diff_buffer);
    ApplyAndWrite(p, old_buffer, diff_buffer, &result_buffer, new_path);
  });
  std::printf("%.6f %.6f %.6f %.6f", copy, update, warm_copy, warm_update);

  if (argc > 5) {
    // A directory as the sysop's: the index, the list in use, the diff in
    // in/; made afresh (untimed) before every run.
    std::string tool = fs::absolute(argv[5]).string(), dir = scratch + "/bbs";
    auto fresh = [&] {
      fs::remove_all(dir);
      fs::create_directories(dir + "/in");
      RunProgram(dir, {tool, "init", "NODELIST"});
      fs::copy_file(old_path, dir + "/NODELIST.362");
      fs::last_write_time(dir + "/NODELIST.362", fs::file_time_type::clock::now() - std::chrono::hours(24));
      fs::copy_file(diff_path, dir + "/in/NODEDIFF.003");
    };
    double cp = Median(runs, fresh, [&] { RunProgram(dir, {"cp", "-p", "NODELIST.362", "NODELIST.003"}); });
    double tool_update = Median(runs, fresh, [&] { RunProgram(dir, {tool, "update", "--inbound", "in"}); });
    if (!fs::exists(dir + "/NODELIST.003")) Die("tessel-index update made no list");
    std::printf(" %.6f %.6f", cp, tool_update);
    fs::remove_all(dir);
  }
  std::printf("\n");
  fs::remove(copy_path);
  fs::remove(new_path);
  return 0;
}
