// The index's header and catalogue as read at start-up: arbitrary bytes as
// nlindex.qdx beside a few nodelists, run once without and once with -F.
#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace tessel::fuzz {
namespace {

FakeDisk MakeDisk(std::string index) {
  FakeDisk disk;
  PutFile(&disk, "nlindex.qdx", std::move(index));
  PutFile(&disk, "NODELIST.001", "Zone,1,Z,P,Ann_Bee,x,\r\nHost,10,N,P,Cy_Dee,x,\r\n,1,S,P,Eve_Fay,x,\r\n");
  PutFile(&disk, "nl/REGION.002", ",5,S,P,Gus_Ho,x,\nHub,6,S,P,Ida_Jo,x,\nRegion,7,S,P,Ka_Lu,x,\n");
  PutFile(&disk, "nl/REGION.Z02", "Zone,9,Z,P,Not_Chosen,x,\r\n");
  PutFile(&disk, "other.123", "Zone,3,Z,P,Mo_Ni,x,\r\n;comment\r\nPvt,4,S,P,Ol_Pa,x,\r\n");
  return disk;
}

}  // namespace
}  // namespace tessel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  using namespace tessel::fuzz;
  std::string index(reinterpret_cast<const char*>(data), size);
  for (bool forced : {false, true}) {
    FakeDisk disk = MakeDisk(index);
    FakeDisk before = disk;
    std::vector<std::string> args;
    if (forced) args.push_back("-F");
    // A heap just large enough for the build keeps runs quick.
    RunOptions options;
    options.heap_size = 600'000;
    int status = Run(&disk, args, options);
    CheckRun(before, disk, status, "nlindex.qdx", {0, kExitTooManyNets, kExitTooManyNodes, kErrShortRead});
  }
  return 0;
}
