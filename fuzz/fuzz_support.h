// What the fuzz targets share: an in-memory disk laid out for a run, the
// run itself, and checks of what a run may leave behind. A failed check
// aborts, which libFuzzer reports as a crash with the input that caused it.
#ifndef TESSEL_FUZZ_FUZZ_SUPPORT_H_
#define TESSEL_FUZZ_FUZZ_SUPPORT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/index_format.h"
#include "run/program.h"
#include "storage/coding.h"
#include "storage/run_state.h"
#include "testing/fake_platform.h"
#include "testing/index_builders.h"

namespace tessel::fuzz {

// The bytes of a file held in a string, for the little-endian readers.
inline const uint8_t* Bytes(const std::string& file) { return reinterpret_cast<const uint8_t*>(file.data()); }

// A last-write time that every nodelist of the fake disks carries (2001).
constexpr int64_t kFileTime = 1'000'000'000;

// Aborts with "what" on standard error unless "condition" holds.
void Require(bool condition, const char* what);

using test::IndexHead;
using test::SlotSpec;

// Adds a file to "disk".
void PutFile(FakeDisk* disk, const std::string& path, std::string data);

// Runs the program over "disk" with "args" (after the program name).
int Run(FakeDisk* disk, const std::vector<std::string>& args, const RunOptions& options = RunOptions());

// The count printed as "N nodes processed", or -1 when none was printed.
long NodesProcessed(const std::string& console);

// Checks a run that started from "before" and ended as "after" with exit
// status "status", the index being "index_path". The status must be one of
// "allowed"; a run that failed or built nothing leaves the index as it was;
// a finished build leaves a well-formed index whose header is the old one;
// no temporary file or unrenamed new index remains, and no other file
// changes. Returns true when a build finished.
bool CheckRun(const FakeDisk& before, const FakeDisk& after, int status, const std::string& index_path,
              const std::vector<int>& allowed);

}  // namespace tessel::fuzz

#endif  // TESSEL_FUZZ_FUZZ_SUPPORT_H_
