// tessel-make-nodelist: writes a made-up but realistic nodelist for trying
// out and measuring tessel.
//
//   tessel-make-nodelist NODES SEED OUTPUT [--zones N] [--lf]
//
// NODES entry lines (Zone, Region, Host, Hub, plain, Pvt, Hold and Down
// lines) in up to N zones (1 to 9, default 4), with comment lines, mixed-case
// keywords, flags and sysop names written with underscores. Lines end in
// CR LF (LF with --lf) and the file ends with Ctrl-Z. The same arguments
// always give the same file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/random.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  int zones = 4;
  bool lf_only = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--zones" && i + 1 < argc) {
      zones = std::atoi(argv[++i]);
    } else if (arg == "--lf") {
      lf_only = true;
    } else {
      args.push_back(arg);
    }
  }
  long long nodes = args.size() == 3 ? std::atoll(args[0].c_str()) : 0;
  if (args.size() != 3 || nodes < 1 || nodes > 10'000'000 || zones < 1 || zones > 9) {
    std::cerr << "usage: tessel-make-nodelist NODES SEED OUTPUT [--zones N] [--lf]\n"
                 "  NODES 1 to 10,000,000 entry lines, zones 1 to 9 (default 4)\n";
    return 2;
  }
  Writer w{{std::strtoull(args[1].c_str(), nullptr, 10)}, lf_only ? "\n" : "\r\n", "", 0};
  w.Comment("A Sample nodelist for Friday, January 1, 2027 -- Day number 001 : 00000");
  w.Comment("A");
  w.Comment("S Made by tessel-make-nodelist " + args[0] + " " + args[1] + "; every name, number and place in");
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
  std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
  out.write(w.text.data(), static_cast<std::streamsize>(w.text.size()));
  out.close();
  if (!out) {
    std::cerr << "tessel-make-nodelist: " << args[2] << ": cannot write\n";
    return 1;
  }
  std::cout << args[2] << ": " << w.written << " entry lines in " << zones << " zones\n";
  return 0;
}
