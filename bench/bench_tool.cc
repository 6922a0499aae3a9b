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

#include "tools/random.h"

namespace {

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "bench_tool: %s\n", message.c_str());
  std::exit(2);
}

constexpr const char* kNameTails[] = {
    "ohn", "ary", "eter", "inda", "ans", "ngrid", "ierre", "nne", "enji", "uki", "arlos", "aria", "avid",
    "usan", "ike", "aren", "an", "ls", "ob", "lice", "om", "lga", "van", "ven", "on", "oe", "ick", "en",
    "reg", "ony", "rank", "aul", "ita", "hris", "im", "ars", "arc", "va", "ohan", "irk", "ernd", "ose"};
constexpr const char* kLastNames[] = {
    "Smith", "Jones", "Miller", "Davis", "Wilson", "Mueller", "Schmidt", "Janssen", "de_Vries", "Dubois",
    "Martin", "Rossi", "Bianchi", "Tanaka", "Suzuki", "Garcia", "Lopez", "Kowalski", "Nowak", "Ivanov",
    "Petrov", "Andersson", "Nielsen", "Olsen", "O'Brien", "McDonald", "van_der_Berg", "Brown", "Taylor",
    "Clark", "Walker", "Young", "King", "Wright", "Baker", "Hill", "Moore", "Hughes", "Ward", "Price"};
constexpr const char* kSystems[] = {"Lighthouse_BBS", "Dragon's_Lair", "Night_Owl_BBS", "Byte_Shop",
                                    "Data_Haven",     "Crossroads",    "The_Outpost",   "Harbour_Online",
                                    "Star_Base_One",  "Modem_Madness", "Black_Cat_BBS", "Treehouse",
                                    "Ham_Shack",      "Pipeline_BBS",  "Gateway",       "Phoenix_Systems"};
constexpr const char* kPlaces[] = {"Springfield_IL", "Portland_OR", "Austin_TX", "Toronto_ON", "Amsterdam",
                                   "Rotterdam",      "Hamburg",     "Berlin",    "Paris",      "Milano",
                                   "Madrid",         "Stockholm",   "Warszawa",  "Sydney",     "Tokyo",
                                   "Johannesburg",   "Sao_Paulo",   "London",    "Wien",       "Bruxelles"};
constexpr const char* kSpeeds[] = {"2400", "9600", "9600", "14400", "14400", "19200", "28800", "33600"};
constexpr const char* kFlags[] = {"CM,XA,V32B,V42B", "XA,V32B,V42B",    "CM,XW,V34,V42B", "XA,HST,V32B",
                                  "CM,XA,V34,ZYX",   "MO,V32B,V42B,LO", "XA",             "CM,IBN,INA:bbs.example.net"};

// The characters a sysop name may start with after the splitter's folding:
// every byte from 32 to 255 except the comma, the lower-case letters
// (folded to capitals) and the underscore (folded to a blank).
std::vector<char> Initials() {
  std::vector<char> initials;
  for (int b = 32; b < 256; ++b) {
    if (b == ',' || b == '_' || (b >= 'a' && b <= 'z')) continue;
    initials.push_back(static_cast<char>(b));
  }
  return initials;
}

struct ListWriter {
  Random random;
  FILE* out;
  std::vector<std::string> names;  // the sysop names, shared by several nodes
  long long accepted = 0;

  void Line(std::string_view keyword, int number, int zone) {
    char phone[32];
    std::snprintf(phone, sizeof phone, "%d-%d-%03d-%04d", zone % 1000, random.Between(20, 99),
                  random.Between(100, 999), random.Between(0, 9999));
    const std::string& name = names[random.Below(static_cast<uint32_t>(names.size()))];
    std::fprintf(out, "%.*s,%d,%s,%s,%s,%s,%s,%s\r\n", static_cast<int>(keyword.size()), keyword.data(), number,
                 random.Pick(kSystems), random.Pick(kPlaces), name.c_str(),
                 keyword == "Pvt" ? "-Unpublished-" : phone, random.Pick(kSpeeds), random.Pick(kFlags));
  }

  // Node 0 of a net (its Zone, Region or Host line) and "size" - 1 further
  // accepted nodes, some under hubs, plus about 5% unlisted lines.
  void Net(std::string_view keyword, int number, int zone, int size) {
    Line(keyword, number, zone);
    ++accepted;
    int others = size - 1;
    if (others <= 0) return;
    int hidden = others / 19 + (random.Chance(static_cast<int>(others % 19 * 100 / 19)) ? 1 : 0);
    int total = others + hidden;
    // Distinct node numbers from 1 to about three times the count.
    int range = std::min(65535, total * 3 + 20);
    std::vector<int> numbers;
    std::vector<char> taken(static_cast<size_t>(range) + 1, 0);
    while (static_cast<int>(numbers.size()) < total) {
      int n = random.Between(1, range);
      if (!taken[n]) {
        taken[n] = 1;
        numbers.push_back(n);
      }
    }
    std::sort(numbers.begin(), numbers.end());
    // Hubs among them; every other node is listed under a random hub (or
    // before the first one, when the net has none), so node numbers
    // interleave across the hub groups.
    int hubs = total > 12 ? total / 15 : 0;
    std::vector<int> group(numbers.size(), -1);  // -1: independent
    std::vector<int> hub_numbers;
    for (int h = 0; h < hubs; ++h) {
      size_t at = random.Below(static_cast<uint32_t>(numbers.size()));
      if (group[at] == -2) continue;
      group[at] = -2;  // a hub
      hub_numbers.push_back(numbers[at]);
    }
    std::sort(hub_numbers.begin(), hub_numbers.end());
    for (size_t k = 0; k < numbers.size(); ++k) {
      if (group[k] == -1 && !hub_numbers.empty()) group[k] = static_cast<int>(random.Below(hub_numbers.size()));
    }
    // Which of the plain nodes are unlisted.
    std::vector<char> unlisted(numbers.size(), 0);
    int to_hide = hidden;
    while (to_hide > 0) {
      size_t at = random.Below(static_cast<uint32_t>(numbers.size()));
      if (group[at] == -2 || unlisted[at]) continue;
      unlisted[at] = 1;
      --to_hide;
    }
    auto emit = [&](size_t k) {
      static constexpr const char* kHidden[] = {"Pvt", "Pvt", "Pvt", "Hold", "Down"};
      if (unlisted[k]) {
        Line(random.Pick(kHidden), numbers[k], zone);
      } else {
        Line("", numbers[k], zone);
        ++accepted;
      }
    };
    for (size_t k = 0; k < numbers.size(); ++k) {
      if (group[k] == -1) emit(k);
    }
    for (size_t h = 0; h < hub_numbers.size(); ++h) {
      Line("Hub", hub_numbers[h], zone);
      ++accepted;
      for (size_t k = 0; k < numbers.size(); ++k) {
        if (group[k] == static_cast<int>(h)) emit(k);
      }
    }
  }
};

// Splits "total" into "parts" sizes of at least "least" that vary as net
// sizes do (a few large nets, many small ones), each at most "most".
std::vector<int> Sizes(Random* random, long long total, int parts, int least, int most) {
  std::vector<double> weight(static_cast<size_t>(parts));
  double sum = 0;
  for (double& w : weight) {
    w = -std::log(1.0 - random->Unit()) + 0.15;
    sum += w;
  }
  std::vector<int> sizes(static_cast<size_t>(parts));
  long long spread = total - static_cast<long long>(least) * parts;
  if (spread < 0) Die("too few nodes for the nets asked for");
  long long given = 0;
  for (int k = 0; k < parts; ++k) {
    sizes[k] = least + static_cast<int>(std::min<double>(most - least, std::floor(spread * weight[k] / sum)));
    given += sizes[k];
  }
  // Hand out what rounding and the cap left over, one node at a time.
  while (given < total) {
    int k = static_cast<int>(random->Below(static_cast<uint32_t>(parts)));
    if (sizes[k] < most) {
      ++sizes[k];
      ++given;
    }
  }
  return sizes;
}

int Generate(const char* path, long long nodes, int nets, int zones, int first_zone, uint64_t seed) {
  if (nodes < 1 || nets < zones || zones < 1) Die("gen: bad sizes");
  ListWriter w{{seed}, std::fopen(path, "wb"), {}, 0};
  if (w.out == nullptr) Die(std::string("cannot write ") + path);
  static char buffer[1 << 16];
  std::setvbuf(w.out, buffer, _IOFBF, sizeof buffer);
  // About three nodes to a name.
  std::vector<char> initials = Initials();
  size_t name_count = static_cast<size_t>(std::max<long long>(64, nodes / 3));
  for (size_t k = 0; k < name_count; ++k) {
    std::string name(1, initials[w.random.Below(static_cast<uint32_t>(initials.size()))]);
    name += w.random.Pick(kNameTails);
    name += '_';
    if (w.random.Chance(8)) name += std::string(1, static_cast<char>('A' + w.random.Below(26))) + "._";
    name += w.random.Pick(kLastNames);
    if (w.random.Chance(2)) name += std::string("_&_") + w.random.Pick(kLastNames);  // longer than 25
    w.names.push_back(name);
  }
  std::fprintf(w.out, ";A Synthetic nodelist for benchmarking -- Day number 001 : 00000\r\n;A\r\n");
  std::fprintf(w.out, ";S %lld nodes in %d nets and %d zones; every name and number is invented.\r\n;\r\n",
               nodes, nets, zones);
  std::vector<int> zone_nodes = Sizes(&w.random, nodes, zones, static_cast<int>(nodes / zones / 2),
                                      static_cast<int>(std::min<long long>(nodes, 1LL << 30)));
  std::vector<int> zone_nets = Sizes(&w.random, nets, zones, nets / zones / 2, nets);
  for (int z = 0; z < zones; ++z) {
    int zone = first_zone + z;
    int net_count = std::max(2, zone_nets[z]);
    // One net in twelve is a Region, the rest Hosts; the Zone is a net too.
    int regions = std::max(1, net_count / 12);
    int hosts = std::max(1, net_count - regions - 1);
    std::vector<int> sizes = Sizes(&w.random, zone_nodes[z], 1 + regions + hosts, 1, 5000);
    // Zone and Region nets hold only a few independent nodes; give the rest
    // of their share to the hosts.
    long long moved = 0;
    for (int k = 0; k <= regions; ++k) {
      int keep = 1 + static_cast<int>(w.random.Below(4));
      if (sizes[k] > keep) {
        moved += sizes[k] - keep;
        sizes[k] = keep;
      }
    }
    for (long long m = 0; m < moved; ++m) {
      int k = 1 + regions + static_cast<int>(w.random.Below(static_cast<uint32_t>(hosts)));
      if (sizes[k] < 5000) {
        ++sizes[k];
      } else {
        --m;
      }
    }
    // Host net numbers are distinct, ascending within a region, and
    // interleaved across the regions as in real lists.
    int low = std::max(100, regions + 20);
    int step = std::max(1, std::min(8, (65000 - low) / std::max(1, hosts)));
    std::vector<std::vector<int>> region_hosts(static_cast<size_t>(regions));
    int net = low;
    for (int h = 0; h < hosts; ++h) {
      net += w.random.Between(1, step);
      region_hosts[w.random.Below(static_cast<uint32_t>(regions))].push_back(net);
    }
    std::fprintf(w.out, ";\r\n");
    w.Net("Zone", zone, zone, sizes[0]);
    int next_host = 1 + regions;
    for (int r = 0; r < regions; ++r) {
      std::fprintf(w.out, ";\r\n");
      // Region numbers stay clear of the zone's own number and of the hosts'.
      int region_number = 10 + r;
      if (region_number >= zone) ++region_number;
      w.Net("Region", region_number, zone, sizes[1 + r]);
      for (int number : region_hosts[r]) {
        std::fprintf(w.out, ";\r\n");
        w.Net("Host", number, zone, sizes[next_host++]);
      }
    }
  }
  std::fputc(26, w.out);  // Ctrl-Z
  if (std::fclose(w.out) != 0) Die(std::string("cannot write ") + path);
  std::printf("%lld\n", w.accepted);
  return 0;
}

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    Die("cannot write " + path);
  }
}

// An index head: header, one 47-byte slot per base name and extension, and
// the marker byte.
std::string IndexHead(const std::vector<std::pair<std::string, std::string>>& slots) {
  std::string head;
  PutU32(&head, 0x54534C42);  // arbitrary; copied unchanged by every build
  PutU32(&head, static_cast<uint32_t>(13 + 47 * slots.size()));
  PutU32(&head, 0);
  for (const auto& [base, ext] : slots) {
    if (base.size() < 5 || base.size() > 40 || ext.size() > 3) Die("bad slot " + base + "." + ext);
    std::string slot(47, '\0');
    slot[0] = static_cast<char>(base.size());
    slot.replace(1, base.size(), base);
    slot[41] = static_cast<char>(ext.size());
    slot.replace(42, ext.size(), ext);
    slot.resize(47);
    head += slot;
  }
  head.push_back('\x01');
  return head;
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
