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
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "testing/nodelist_generator.h"

using tessel::test::MakeSampleNodelist;
using tessel::test::SampleList;

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
  SampleList list = MakeSampleNodelist(nodes, std::strtoull(args[1].c_str(), nullptr, 10), zones, lf_only);
  std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
  out.write(list.text.data(), static_cast<std::streamsize>(list.text.size()));
  out.close();
  if (!out) {
    std::cerr << "tessel-make-nodelist: " << args[2] << ": cannot write\n";
    return 1;
  }
  std::cout << args[2] << ": " << list.written << " entry lines in " << zones << " zones\n";
  return 0;
}
