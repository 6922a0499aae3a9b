// bench_tool: the helpers of the benchmark (bench/run.sh). Not part of the
// program or of its tests.
//
//   bench_tool gen FILE NODES NETS ZONES FIRST_ZONE SEED
//       writes a synthetic nodelist of NODES accepted node lines (plus
//       Pvt, Hold and Down lines and comments) in NETS nets (Zone, Region
//       and Host lines) spread over ZONES zones numbered from FIRST_ZONE;
//       prints the number of accepted nodes.
//   bench_tool index FILE BASE:EXT ...
//       writes an index with an empty body and one catalogue slot per
//       BASE:EXT, as the host's configuration program would.
//   bench_tool uptodate DIR LISTS FILES
//       makes LISTS directories list0.. in DIR, each holding FILES numbered
//       nodelists NODELIST.001.. (the highest number the newest), and an
//       index in DIR that already names the newest of each.
//   bench_tool time RUNS WARMUP DIR -- COMMAND ARG...
//       runs COMMAND in DIR (output to /dev/null) WARMUP times untimed,
//       then RUNS times, and prints: median_s min_s max_s maxrss_kb status
//   bench_tool readloop FILE...
//       reads the files once through a 65,520-byte buffer (the floor).
//   bench_tool phases RUNS DIR -- COMMAND ARG...
//       runs a forced build RUNS times and prints the medians of its
//       phases, told apart by its progress lines: reading, node-number
//       section, sysop-name section, the rest (renaming, clean-up).
//
// Synthetic lists look like real ones: comment lines, a Zone line, Regions
// with a few independent nodes, Hosts whose net numbers interleave across
// the regions, hubs with their nodes, node numbers that are not listed in
// order, about 5% Pvt/Hold/Down lines, CR LF line ends and a closing
// Ctrl-Z. Sysop names repeat (many nodes share a name), and their initials
// spread evenly over 196 byte values: the sysop-name ordering holds one
// initial's nodes in memory at once, and the pass memory left beside a
// million-node initial chain (about 39,000 records) is smaller than the
// share of a common letter in a list of real names.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "testing/index_builders.h"
#include "testing/nodelist_generator.h"

namespace {

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "bench_tool: %s\n", message.c_str());
  std::exit(2);
}

int Generate(const char* path, long long nodes, int nets, int zones, int first_zone, uint64_t seed) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) Die(std::string("cannot write ") + path);
  static char buffer[1 << 16];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  long long accepted = 0;
  if (!tessel::test::WriteSyntheticNodelist(out, {nodes, nets, zones, first_zone, seed}, &accepted)) {
    Die("gen: bad sizes, or too few nodes for the nets asked for");
  }
  if (std::fclose(out) != 0) Die(std::string("cannot write ") + path);
  std::printf("%lld\n", accepted);
  return 0;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    Die("cannot write " + path);
  }
}

// An index head: header, one slot per base name and extension, and the
// marker byte.
std::string IndexHead(const std::vector<std::pair<std::string, std::string>>& lists) {
  std::vector<tessel::test::SlotSpec> slots;
  for (const auto& [base, ext] : lists) {
    if (base.size() < tessel::kMinBaseNameLength || base.size() > tessel::kBaseNameCapacity ||
        ext.size() > tessel::kExtensionCapacity) {
      Die("bad slot " + base + "." + ext);
    }
    slots.push_back({base, ext});
  }
  return tessel::test::IndexHead(slots, 0x54534C42);  // arbitrary; copied unchanged by every build
}

int WriteIndex(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> slots;
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    size_t colon = arg.rfind(':');
    if (colon == std::string::npos) Die("index: BASE:EXT expected, got " + arg);
    slots.emplace_back(arg.substr(0, colon), arg.substr(colon + 1));
  }
  WriteBytes(argv[2], IndexHead(slots));
  return 0;
}

int MakeUpToDate(const std::string& dir, int lists, int files) {
  std::vector<std::pair<std::string, std::string>> slots;
  char ext[8];
  std::snprintf(ext, sizeof ext, "%03d", files);
  time_t base = std::time(nullptr) - 10L * 24 * 3600;
  for (int l = 0; l < lists; ++l) {
    std::string sub = dir + "/list" + std::to_string(l);
    if (mkdir(sub.c_str(), 0755) != 0 && errno != EEXIST) Die("cannot make " + sub);
    for (int f = 1; f <= files; ++f) {
      char name[32];
      std::snprintf(name, sizeof name, "/NODELIST.%03d", f);
      std::string path = sub + name;
      WriteBytes(path, ";A nodelist\r\nZone,1,Zone_1,Somewhere,Jo_Sysop,-Unpublished-,300,CM\r\n\x1a");
      struct timespec times[2];
      times[0].tv_sec = base + f * 600L + l;  // the highest number is the newest
      times[0].tv_nsec = 0;
      times[1] = times[0];
      if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) Die("cannot date " + path);
    }
    slots.emplace_back("list" + std::to_string(l) + "/NODELIST", ext);
  }
  WriteBytes(dir + "/nlindex.qdx", IndexHead(slots));
  return 0;
}

double Seconds(const timespec& a, const timespec& b) {
  return static_cast<double>(b.tv_sec - a.tv_sec) + static_cast<double>(b.tv_nsec - a.tv_nsec) / 1e9;
}

// Runs argv in "dir" once; returns the wall time, and the peak resident
// size (of the process or of the largest one it waited for) and status.
double RunOnce(const std::string& dir, char** argv, long* maxrss_kb, int* status) {
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      close(null);
    }
    if (chdir(dir.c_str()) != 0) _exit(126);
    execvp(argv[0], argv);
    _exit(127);
  }
  int raw = 0;
  struct rusage usage;
  if (wait4(pid, &raw, 0, &usage) < 0) Die("wait4 failed");
  clock_gettime(CLOCK_MONOTONIC, &end);
  *maxrss_kb = usage.ru_maxrss;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return Seconds(start, end);
}

int Time(int argc, char** argv) {
  if (argc < 7 || std::strcmp(argv[5], "--") != 0) Die("time RUNS WARMUP DIR -- COMMAND...");
  int runs = std::atoi(argv[2]);
  int warmup = std::atoi(argv[3]);
  std::string dir = argv[4];
  char** command = argv + 6;
  long rss = 0, peak = 0;
  int status = 0, worst = 0;
  for (int i = 0; i < warmup; ++i) RunOnce(dir, command, &rss, &status);
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    times.push_back(RunOnce(dir, command, &rss, &status));
    peak = std::max(peak, rss);
    if (status != 0) worst = status;
  }
  std::sort(times.begin(), times.end());
  size_t n = times.size();
  double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  std::printf("%.6f %.6f %.6f %ld %d\n", median, times.front(), times.back(), peak, worst);
  return 0;
}

// Runs argv in "dir" with its output read through a pipe, and returns the
// times from the start to the first output holding each of "marks" (0
// when it never came) and to the end.
std::vector<double> RunPhases(const std::string& dir, char** argv, const std::vector<std::string>& marks) {
  int fds[2];
  if (pipe(fds) != 0) Die("pipe failed");
  timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execvp(argv[0], argv);
    _exit(127);
  }
  close(fds[1]);
  std::vector<double> at(marks.size() + 1, 0.0);
  std::string seen;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    clock_gettime(CLOCK_MONOTONIC, &now);
    seen.append(buffer, static_cast<size_t>(n));
    for (size_t m = 0; m < marks.size(); ++m) {
      if (at[m] == 0.0 && seen.find(marks[m]) != std::string::npos) at[m] = Seconds(start, now);
    }
  }
  close(fds[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  clock_gettime(CLOCK_MONOTONIC, &now);
  at[marks.size()] = Seconds(start, now);
  return at;
}

// bench_tool phases RUNS DIR -- COMMAND...: the medians of a forced
// build's phases, from tessel's own progress lines: reading the nodelists,
// the node-number section, the sysop-name section and the rest.
int Phases(int argc, char** argv) {
  if (argc < 6 || std::strcmp(argv[4], "--") != 0) Die("phases RUNS DIR -- COMMAND...");
  int runs = std::atoi(argv[2]);
  std::string dir = argv[3];
  const std::vector<std::string> marks = {"Sorting by node number", "Sorting by sysop name", "nodes processed"};
  std::vector<std::vector<double>> spans(4);
  for (int i = 0; i < runs; ++i) {
    std::vector<double> at = RunPhases(dir, argv + 5, marks);
    spans[0].push_back(at[0]);
    spans[1].push_back(at[1] - at[0]);
    spans[2].push_back(at[2] - at[1]);
    spans[3].push_back(at[3] - at[2]);
  }
  for (std::vector<double>& span : spans) {
    std::sort(span.begin(), span.end());
    size_t n = span.size();
    std::printf("%.6f ", n % 2 ? span[n / 2] : (span[n / 2 - 1] + span[n / 2]) / 2);
  }
  std::printf("\n");
  return 0;
}

int ReadLoop(int argc, char** argv) {
  static unsigned char buffer[65520];
  unsigned long long total = 0, sum = 0;
  for (int i = 2; i < argc; ++i) {
    int fd = open(argv[i], O_RDONLY);
    if (fd < 0) Die(std::string("cannot open ") + argv[i]);
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      total += static_cast<unsigned long long>(n);
      sum += buffer[n - 1];  // touch the data
    }
    close(fd);
  }
  std::printf("%llu %llu\n", total, sum);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "gen" && argc == 8) {
    return Generate(argv[2], std::atoll(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                    std::strtoull(argv[7], nullptr, 10));
  }
  if (command == "index" && argc >= 3) return WriteIndex(argc, argv);
  if (command == "uptodate" && argc == 5) return MakeUpToDate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (command == "time") return Time(argc, argv);
  if (command == "readloop") return ReadLoop(argc, argv);
  if (command == "phases") return Phases(argc, argv);
  std::fprintf(stderr,
               "usage: bench_tool gen FILE NODES NETS ZONES FIRST_ZONE SEED\n"
               "       bench_tool index FILE BASE:EXT ...\n"
               "       bench_tool uptodate DIR LISTS FILES\n"
               "       bench_tool time RUNS WARMUP DIR -- COMMAND ARG...\n"
               "       bench_tool readloop FILE...\n"
               "       bench_tool phases RUNS DIR -- COMMAND ARG...\n");
  return 2;
}
