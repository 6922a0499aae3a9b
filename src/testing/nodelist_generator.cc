#include "testing/nodelist_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "testing/random.h"

namespace tessel::test {
namespace {

// ---------------------------------------------------------------------------
// The small lists of the tests.

const char* const kShortFirstNames[] = {"Al",  "Bea", "Carl", "Dora", "Ed",   "Fay",  "Gus",  "Hal",  "Ida",
                                   "Jon", "Kim", "Lou",  "Max",  "Ned",  "Ola",  "Pat",  "Quin", "Rob",
                                   "Sue", "Tom", "Uli",  "Vera", "Walt", "Xena", "Yves", "Zoe"};
const char* const kShortLastNames[] = {"Adler", "Brown", "Chen",   "Dahl",  "Evans", "Fisher", "Garcia",
                                  "Holm",  "Ito",   "Jensen", "Kovac", "Lund",  "Meyer",  "Novak"};

std::string ShortSysopName(Random* random, int initial) {
  std::string name = kShortFirstNames[random->Between(0, 25)];
  if (initial >= 0) name[0] = static_cast<char>('A' + initial);
  return name + "_" + kShortLastNames[random->Between(0, 13)];
}


// ---------------------------------------------------------------------------
// The sample lists of tessel-make-nodelist.

constexpr const char* kFirstNames[] = {
    "John", "Mary", "Peter", "Linda", "Hans", "Ingrid", "Pierre", "Anne", "Kenji", "Yuki", "Carlos", "Maria",
    "David", "Susan", "Mike", "Karen", "Jan", "Els", "Bob", "Alice", "Tom", "Olga", "Ivan", "Sven", "Ron",
    "Joe", "Nick", "Ben", "Greg", "Tony", "Frank", "Paul", "Rita", "Chris", "Wim", "Lars", "Marc", "Eva"};
constexpr const char* kLastNames[] = {
    "Smith", "Jones", "Miller", "Davis", "Wilson", "Mueller", "Schmidt", "Janssen", "de_Vries", "Dubois",
    "Martin", "Rossi", "Bianchi", "Tanaka", "Suzuki", "Garcia", "Lopez", "Kowalski", "Nowak", "Ivanov",
    "Petrov", "Andersson", "Nielsen", "Olsen", "O'Brien", "McDonald", "van_der_Berg", "Brown", "Taylor",
    "Clark", "Walker", "Young", "King", "Wright", "Baker", "Hill", "Moore", "Hughes", "Ward", "Price"};
constexpr const char* kSystemWords[] = {
    "Lighthouse", "Dragon's_Lair", "Night_Owl", "Byte_Shop", "Data_Haven", "Crossroads", "Outpost", "Harbour",
    "Silicon_Valley", "Star_Base", "Modem_Madness", "Hacker's_Den", "Black_Cat", "Castle", "Treehouse",
    "Ham_Shack", "Chess_Club", "Pipeline", "Junction", "Gateway", "Echo_Point", "Wildcat", "Phoenix"};
constexpr const char* kSystemSuffixes[] = {"BBS", "BBS", "Online", "Systems", "Point", "Mail", "Net"};
constexpr const char* kPlaces[] = {
    "Springfield_IL", "Portland_OR", "Austin_TX", "Toronto_ON", "Amsterdam", "Rotterdam", "Hamburg", "Berlin",
    "Muenchen", "Paris", "Lyon", "Milano", "Roma", "Madrid", "Oslo", "Stockholm", "Helsinki", "Warszawa",
    "Moscow", "Sydney", "Melbourne", "Auckland", "Tokyo", "Osaka", "Taipei", "Johannesburg", "Cape_Town",
    "Sao_Paulo", "Buenos_Aires", "London", "Manchester", "Dublin", "Wien", "Zuerich", "Bruxelles"};
constexpr const char* kZoneNames[] = {"North_America", "Europe", "Oceania", "Latin_America", "Africa", "Asia",
                                      "Zone_7_Net",    "Zone_8_Net", "Zone_9_Net"};
constexpr const char* kSpeeds[] = {"2400", "9600", "9600", "14400", "14400", "19200", "28800", "33600"};
constexpr const char* kFlags[] = {"XA",  "XW",  "V32B", "V42B", "V34",  "ZYX", "MNP",  "H16",
                                  "V32", "HST", "MO",   "LO",   "U,ENC", "V32T", "X75", "ICM"};

struct Writer {
  Random random;
  std::string line_end;
  std::string text;
  int written = 0;  // entry lines so far

  void Comment(std::string_view comment) { text += std::string(";") + std::string(comment) + line_end; }

  std::string SysopName() {
    std::string name = std::string(random.Pick(kFirstNames)) + "_";
    if (random.Chance(8)) name += std::string(1, static_cast<char>('A' + random.Between(0, 25))) + "._";
    name += random.Pick(kLastNames);
    if (random.Chance(2)) name += std::string("_&_") + random.Pick(kFirstNames) + "_" + random.Pick(kLastNames);
    return name;
  }

  std::string Phone(int zone) {
    char phone[32];
    std::snprintf(phone, sizeof phone, "%d-%d-%03d-%04d", zone, random.Between(20, 99), random.Between(100, 999),
                  random.Between(0, 9999));
    return phone;
  }

  void Entry(std::string_view keyword, int number, const std::string& system, int zone, const std::string& flags) {
    bool unlisted = keyword == "Pvt";
    text += std::string(keyword) + "," + std::to_string(number) + "," + system + "," + random.Pick(kPlaces) + "," +
            SysopName() + "," + (unlisted ? "-Unpublished-" : Phone(zone)) + "," + random.Pick(kSpeeds) + "," +
            flags + line_end;
    ++written;
  }

  std::string System() {
    std::string name = random.Pick(kSystemWords);
    if (random.Chance(70)) name += std::string("_") + random.Pick(kSystemSuffixes);
    return name;
  }

  std::string Flags(std::string_view lead) {
    std::string flags(lead);
    int count = random.Between(1, 4);
    for (int k = 0; k < count; ++k) {
      std::string flag = random.Pick(kFlags);
      if (("," + flags + ",").find("," + flag + ",") == std::string::npos) flags += (flags.empty() ? "" : ",") + flag;
    }
    if (random.Chance(20)) flags += ",INA:bbs" + std::to_string(random.Between(1, 9999)) + ".example.net,IBN";
    return flags;
  }

  // The nodes of a net (or of a zone or region, directly under it):
  // "count" lines in groups under hubs once the net is large.
  void Nodes(int zone, int count) {
    int node = 0;
    bool hubs = count > 12;
    for (int k = 0; k < count; ++k) {
      if (hubs && (k == 0 || random.Chance(8))) {
        node = (node / 100 + 1) * 100;
        Entry("Hub", node, System(), zone, Flags("CM"));
        continue;
      }
      node += random.Between(1, 4);
      int kind = random.Between(1, 100);
      std::string_view keyword = kind <= 4 ? "Pvt" : kind <= 5 ? "Hold" : kind <= 6 ? "Down" : "";
      if (keyword.empty() && random.Chance(3)) keyword = "pvt";  // keywords come in any case
      Entry(keyword, node, System(), zone, Flags(random.Chance(40) ? "CM" : ""));
    }
  }
};


// ---------------------------------------------------------------------------
// The synthetic lists of the benchmark.

constexpr const char* kNameTails[] = {
    "ohn", "ary", "eter", "inda", "ans", "ngrid", "ierre", "nne", "enji", "uki", "arlos", "aria", "avid",
    "usan", "ike", "aren", "an", "ls", "ob", "lice", "om", "lga", "van", "ven", "on", "oe", "ick", "en",
    "reg", "ony", "rank", "aul", "ita", "hris", "im", "ars", "arc", "va", "ohan", "irk", "ernd", "ose"};
constexpr const char* kBenchLastNames[] = {
    "Smith", "Jones", "Miller", "Davis", "Wilson", "Mueller", "Schmidt", "Janssen", "de_Vries", "Dubois",
    "Martin", "Rossi", "Bianchi", "Tanaka", "Suzuki", "Garcia", "Lopez", "Kowalski", "Nowak", "Ivanov",
    "Petrov", "Andersson", "Nielsen", "Olsen", "O'Brien", "McDonald", "van_der_Berg", "Brown", "Taylor",
    "Clark", "Walker", "Young", "King", "Wright", "Baker", "Hill", "Moore", "Hughes", "Ward", "Price"};
constexpr const char* kSystems[] = {"Lighthouse_BBS", "Dragon's_Lair", "Night_Owl_BBS", "Byte_Shop",
                                    "Data_Haven",     "Crossroads",    "The_Outpost",   "Harbour_Online",
                                    "Star_Base_One",  "Modem_Madness", "Black_Cat_BBS", "Treehouse",
                                    "Ham_Shack",      "Pipeline_BBS",  "Gateway",       "Phoenix_Systems"};
constexpr const char* kBenchPlaces[] = {"Springfield_IL", "Portland_OR", "Austin_TX", "Toronto_ON", "Amsterdam",
                                   "Rotterdam",      "Hamburg",     "Berlin",    "Paris",      "Milano",
                                   "Madrid",         "Stockholm",   "Warszawa",  "Sydney",     "Tokyo",
                                   "Johannesburg",   "Sao_Paulo",   "London",    "Wien",       "Bruxelles"};
constexpr const char* kBenchSpeeds[] = {"2400", "9600", "9600", "14400", "14400", "19200", "28800", "33600"};
constexpr const char* kBenchFlags[] = {"CM,XA,V32B,V42B", "XA,V32B,V42B",    "CM,XW,V34,V42B", "XA,HST,V32B",
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
                 random.Pick(kSystems), random.Pick(kBenchPlaces), name.c_str(),
                 keyword == "Pvt" ? "-Unpublished-" : phone, random.Pick(kBenchSpeeds), random.Pick(kBenchFlags));
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
  if (spread < 0) return {};
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

}  // namespace

std::string MakeNodelist(const NodelistShape& shape) {
  Random random{shape.seed * 2654435761u + 1};
  const std::string end = shape.lf_only ? "\n" : "\r\n";
  std::string text = ";A Generated nodelist" + end + ";A" + end;
  int net_index = 0;
  for (int z = shape.first_zone; z < shape.first_zone + shape.zones; ++z) {
    text += "Zone," + std::to_string(z) + ",Zone_" + std::to_string(z) + "_Coordinator,Somewhere," +
            ShortSysopName(&random, -1) + ",1-555-0100,9600,CM,XA" + end;
    int net = 100;
    for (int n = 0; n < shape.nets_per_zone; ++n, ++net_index) {
      net += 1 + random.Between(0, 39);
      int initial = shape.net_initials ? net_index % 26 : -1;
      text += "Host," + std::to_string(net) + ",Net_" + std::to_string(net) + ",Town," + ShortSysopName(&random, initial) +
              ",1-555-0199,9600,CM,XA,V32B" + end;
      int node = 0;
      int nodes = 1 + random.Between(0, 2 * shape.nodes_per_net - 2);
      for (int k = 0; k < nodes; ++k) {
        node += 1 + random.Between(0, 2);
        static const char* const kKeywords[] = {"", "", "", "", "", "", "Hub", "Pvt", "Hold", "Down"};
        const char* keyword = kKeywords[random.Between(0, 9)];
        text += std::string(keyword) + "," + std::to_string(node) + ",Board_" + std::to_string(node) + ",Some_Town," +
                ShortSysopName(&random, initial) + ",1-555-" + std::to_string(1000 + node) + ",14400,XA,V32B,V42B" + end;
        if (random.Between(0, 49) == 0) text += ";S a comment" + end;
      }
    }
  }
  return text;
}

std::string RandomBytes(uint32_t seed, size_t size) {
  Random random{seed * 2654435761u + 1};
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random.Next() >> 56);
  return bytes;
}

SampleList MakeSampleNodelist(long long nodes, uint64_t seed, int zones, bool lf_only) {
  Writer w{{seed}, lf_only ? "\n" : "\r\n", "", 0};
  w.Comment("A Sample nodelist for Friday, January 1, 2027 -- Day number 001 : 00000");
  w.Comment("A");
  w.Comment("S Made by tessel-make-nodelist " + std::to_string(nodes) + " " + std::to_string(seed) + "; every name, number and place in");
  w.Comment("S it is invented.");
  w.Comment("");
  // Nets grow with the list, so that even large lists stay well inside the
  // build's limits (19,656 nets, 5,172 nodes in a net).
  int mean_net = static_cast<int>(std::max(24LL, nodes / 12'000));
  // Net numbers climb in steps that keep them below 65,536.
  long long nets_per_zone = std::max(1LL, nodes / (zones * mean_net));
  int net_step = static_cast<int>(std::clamp(50'000 / nets_per_zone, 1LL, 20LL));
  for (int zone = 1; zone <= zones && w.written < nodes; ++zone) {
    long long zone_end = zone == zones ? nodes : nodes * zone / zones;
    w.Comment("");
    w.Entry("Zone", zone, std::string(kZoneNames[zone - 1]) + "_Coordinator", zone, w.Flags("CM"));
    w.Comment("");
    w.Nodes(zone, w.random.Between(1, 3));
    int region = zone * 10;
    int net = zone * 100;
    while (w.written < zone_end) {
      w.Comment("");
      w.Entry("Region", region, "Region_" + std::to_string(region) + "_Hub", zone, w.Flags("CM"));
      w.Nodes(zone, w.random.Between(0, 2));
      region = region % 100 == 99 ? region : region + 1;  // at most 90 regions a zone
      int nets = w.random.Between(3, 12);
      for (int k = 0; k < nets && w.written < zone_end; ++k) {
        net += w.random.Between(1, net_step);
        w.Comment("");
        w.Entry("Host", net, "Net_" + std::to_string(net) + "_Host", zone, w.Flags("CM"));
        long long room = zone_end - w.written;
        int size = static_cast<int>(std::min<long long>(room, w.random.Between(mean_net / 6, mean_net * 2)));
        w.Nodes(zone, size);
      }
    }
  }
  w.text += '\x1A';
  return SampleList{std::move(w.text), w.written};
}

bool WriteSyntheticNodelist(FILE* out, const SyntheticShape& shape, long long* accepted) {
  const long long nodes = shape.nodes;
  const int nets = shape.nets, zones = shape.zones, first_zone = shape.first_zone;
  if (nodes < 1 || nets < zones || zones < 1) return false;
  ListWriter w{{shape.seed}, out, {}, 0};
  // About three nodes to a name.
  std::vector<char> initials = Initials();
  size_t name_count = static_cast<size_t>(std::max<long long>(64, nodes / 3));
  for (size_t k = 0; k < name_count; ++k) {
    std::string name(1, initials[w.random.Below(static_cast<uint32_t>(initials.size()))]);
    name += w.random.Pick(kNameTails);
    name += '_';
    if (w.random.Chance(8)) name += std::string(1, static_cast<char>('A' + w.random.Below(26))) + "._";
    name += w.random.Pick(kBenchLastNames);
    if (w.random.Chance(2)) name += std::string("_&_") + w.random.Pick(kBenchLastNames);  // longer than 25
    w.names.push_back(name);
  }
  std::fprintf(w.out, ";A Synthetic nodelist for benchmarking -- Day number 001 : 00000\r\n;A\r\n");
  std::fprintf(w.out, ";S %lld nodes in %d nets and %d zones; every name and number is invented.\r\n;\r\n",
               nodes, nets, zones);
  std::vector<int> zone_nodes = Sizes(&w.random, nodes, zones, static_cast<int>(nodes / zones / 2),
                                      static_cast<int>(std::min<long long>(nodes, 1LL << 30)));
  std::vector<int> zone_nets = Sizes(&w.random, nets, zones, nets / zones / 2, nets);
  if (zone_nodes.empty() || zone_nets.empty()) return false;
  for (int z = 0; z < zones; ++z) {
    int zone = first_zone + z;
    int net_count = std::max(2, zone_nets[z]);
    // One net in twelve is a Region, the rest Hosts; the Zone is a net too.
    int regions = std::max(1, net_count / 12);
    int hosts = std::max(1, net_count - regions - 1);
    std::vector<int> sizes = Sizes(&w.random, zone_nodes[z], 1 + regions + hosts, 1, 5000);
    if (sizes.empty()) return false;  // too few nodes for the nets asked for
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
  *accepted = w.accepted;
  return true;
}


}  // namespace tessel::test
