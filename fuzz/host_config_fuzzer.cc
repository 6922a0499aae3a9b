// config.qdx as read when the index is not in the current directory:
// arbitrary bytes as the host's configuration, KORVO naming its directory,
// and an index with one nodelist in the data directory "data/".
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  using namespace tessel::fuzz;
  FakeDisk disk;
  disk.environment = {"PATH=/bin", "KORVO=host"};
  PutFile(&disk, "host/config.qdx", std::string(reinterpret_cast<const char*>(data), size));
  PutFile(&disk, "data/nlindex.qdx", test::IndexHead({{"data/NODELIST", ""}}));
  PutFile(&disk, "data/NODELIST.001", "Zone,1,Z,P,Ann_Bee,x,\r\nHost,10,N,P,Cy_Dee,x,\r\n,1,S,P,Eve_Fay,x,\r\n");
  FakeDisk before = disk;
  RunOptions options;
  options.heap_size = 600'000;  // enough for this build, and quick to set up
  int status = Run(&disk, {"-F"}, options);
  // A stored data directory is used as it stands: wildcards in it find the
  // index by search where no file has that name (2), and a NUL byte cuts
  // the path the system sees, to a directory (5) or to nothing (2, 3).
  CheckRun(before, disk, status, "data/nlindex.qdx",
           {0, kErrFileNotFound, kErrPathNotFound, kErrAccessDenied, kErrShortRead});
  return 0;
}
