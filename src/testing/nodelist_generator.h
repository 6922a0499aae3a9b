// Made-up nodelists, the same bytes for the same arguments on any platform
// (one random source, testing/random.h). Three layouts for three uses:
//   MakeNodelist         small lists of a given shape, for the tests;
//   MakeSampleNodelist   a realistic list of N entry lines, for trying the
//                        program out (tessel-make-nodelist);
//   WriteSyntheticNodelist  large lists shaped like real ones, whose
//                        initials spread over 196 byte values, for the
//                        benchmark (bench/bench_tool).
#ifndef TESSEL_TESTING_NODELIST_GENERATOR_H_
#define TESSEL_TESTING_NODELIST_GENERATOR_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace tessel::test {

// The shape of a test list: zones numbered from "first_zone", each with its
// zone line and "nets_per_zone" nets (a Host line and about "nodes_per_net"
// node lines, some of them Hub, Pvt, Hold or Down lines), and comment lines
// here and there. Net and node numbers rise, so every address is unique.
struct NodelistShape {
  uint32_t seed = 1;
  int first_zone = 1;
  int zones = 1;
  int nets_per_zone = 10;
  int nodes_per_net = 20;
  bool lf_only = false;       // LF line ends instead of CR LF
  bool net_initials = false;  // every sysop name of a net starts alike
};
std::string MakeNodelist(const NodelistShape& shape);

// "size" bytes of noise, the same for the same seed.
std::string RandomBytes(uint32_t seed, size_t size);

// "nodes" entry lines (Zone, Region, Host, Hub, plain, Pvt, Hold and Down
// lines) in "zones" zones (1 to 9), with comment lines, mixed-case
// keywords, flags and sysop names written with underscores; lines end in
// CR LF (LF when "lf_only") and the text ends with Ctrl-Z.
struct SampleList {
  std::string text;
  int written = 0;  // entry lines
};
SampleList MakeSampleNodelist(long long nodes, uint64_t seed, int zones, bool lf_only);

// A synthetic list of "nodes" accepted node lines (plus Pvt, Hold and Down
// lines and comments) in "nets" nets (Zone, Region and Host lines) spread
// over "zones" zones numbered from "first_zone": Hosts whose net numbers
// interleave across the regions, hubs with their nodes, node numbers out
// of order, sysop names shared by several nodes.
struct SyntheticShape {
  long long nodes = 0;
  int nets = 0;
  int zones = 1;
  int first_zone = 1;
  uint64_t seed = 1;
};
// Writes the list to "out" and the count of accepted nodes to "*accepted".
// Returns false when the sizes do not go together (the file is then
// unfinished).
bool WriteSyntheticNodelist(FILE* out, const SyntheticShape& shape, long long* accepted);

}  // namespace tessel::test

#endif  // TESSEL_TESTING_NODELIST_GENERATOR_H_
