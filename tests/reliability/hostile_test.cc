// Hostile input, end to end: whatever the nodelists, the catalogue, the
// index or the environment hold, the program ends (no crash, no hang) with
// its defined outcome or a clear message naming the file, and the index is
// either untouched or a well-formed new one.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/entry_check.h"
#include "storage/coding.h"
#include "test_util.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// Windows has no FIFOs, symbolic links for everyone or POSIX permissions:
// the cases that make them are skipped there (PosixOnly).
int mkfifo(const wchar_t*, int) { return -1; }

// Why a case cannot be made on Windows, or "" when it can.
std::string PosixOnly(const std::string& name) {
  if (name.find("Fifo") != std::string::npos) return "Windows has no FIFOs";
  if (name.find("SymlinkLoop") != std::string::npos) return "Wine makes no symbolic links";
  if (name == "AbsoluteBaseName") return "the scratch directory's path leaves no room in 40 characters";
  if (name == "DataPathWithWildcards") return "Windows refuses \"*\" in a name to open, with its error 123";
  return "";
}
#endif

constexpr int kKeepsIndex = -1;  // the index must stay as it was
constexpr int kAnyOutcome = -2;  // a build, or an end that keeps the index

struct Scene {
  fs::path root;                          // scratch directory; the program runs in root/bbs
  std::vector<std::string> env;           // extra environment entries
  std::map<int, std::string> lists;       // slot -> nodelist file the entries must point into
  std::string message;                    // more that the output must hold, when known only here
  std::string index = "bbs/nlindex.qdx";  // the index, under root
};

struct HostileCase {
  const char* name;
  std::function<void(Scene*)> make;
  std::vector<int> statuses;  // the exit status must be one of these
  std::string message;        // the output holds this
  int nodes;                  // nodes of the new index, or kKeepsIndex / kAnyOutcome
};

// An index in bbs/ naming "slots"; nodelist files are written by the case.
void WriteIndex(Scene* s, const std::vector<SlotSpec>& slots) {
  WriteFile((s->root / "bbs/nlindex.qdx").string(), IndexHead(slots, 0x1234, 0x5678));
}

const std::string kSmallList = Lines({"Zone,7,Z,P,Ann_Bee,x,", "Host,70,N,P,Cy_Dee,x,", ",1,S,P,Eve_Fay,x,"});

// Slot 2 of several cases: a nodelist that always reads, so the run goes on.
void WriteOtherNet(Scene* s) {
  WriteFile((s->root / "bbs/OTHERNET.001").string(), kSmallList);
  s->lists[2] = (s->root / "bbs/OTHERNET.001").string();
}

// A new index: the old head's header, whole entries for every node (one
// or two each), and every entry pointing at the rest of its node's line
// (index/entry_check.h).
void CheckNewIndex(const std::string& old_index, const std::string& index, int nodes, const Scene& s) {
  ASSERT_GE(index.size(), static_cast<size_t>(kHeadFixedSize));
  EXPECT_EQ(index.substr(0, kIndexHeaderSize), old_index.substr(0, kIndexHeaderSize));
  const uint32_t first_entry = GetU32LE(reinterpret_cast<const uint8_t*>(index.data()) + 4);
  ASSERT_EQ((index.size() - first_entry) % kIndexEntrySize, 0u);
  const size_t entries = (index.size() - first_entry) / kIndexEntrySize;
  EXPECT_GE(entries, static_cast<size_t>(nodes));
  EXPECT_LE(entries, 2 * static_cast<size_t>(nodes));
  const size_t node_entries = entries - static_cast<size_t>(nodes);
  std::map<int, std::string> texts;
  for (const auto& [slot, path] : s.lists) texts[slot] = ReadFile(path);
  std::string name;
  for (size_t k = 0; k < entries; ++k) {
    size_t at = first_entry + kIndexEntrySize * k;
    Entry e = DecodeEntry(reinterpret_cast<const uint8_t*>(index.data()) + at,
                          k < node_entries ? Section::kNodeNumber : Section::kSysopName);
    ASSERT_TRUE(texts.count(e.slot)) << "entry of slot " << e.slot;
    EXPECT_EQ(CheckEntryLine(texts[e.slot], e, &name), "") << "entry at byte " << at;
  }
}

const std::vector<HostileCase>& Cases() {
  static const std::vector<HostileCase> cases = {
      {"BinaryGarbageAsNodelist",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         WriteFile((s->root / "bbs/NODELIST.001").string(), RandomBytes(7, 300'000));
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0, 4, 5},
       "Reading NODELIST.001... Zone",
       kAnyOutcome},
      {"FieldGarbageAsNodelist",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         // Lines of random fields drawn from what the reader acts on: its
         // keywords, numbers of every form and none, odd bytes and line ends.
         static const char* const kWords[] = {"Zone", "Region", "Host",       "Hub",         "Pvt",   "hold",  "DOWN",
                                              "",     "",       "",           "x_y",         "-1",    "$FFFF", "%101",
                                              "+7",   "65536",  "-$80000000", "99999999999", "a\x1a", "\t12"};
         static const char* const kEnds[] = {"\r\n", "\r\n", "\n", "\r", ""};
         const std::string noise = RandomBytes(8, 600'000);
         size_t next = 0;
         auto pick = [&](size_t n) { return static_cast<uint8_t>(noise[next++ % noise.size()]) % n; };
         std::string text;
         for (int line = 0; line < 40'000; ++line) {
           for (int field = pick(9); field >= 0; --field) text += kWords[pick(20)] + std::string(field > 0, ',');
           if (pick(40) == 0) text += std::string(1 + pick(300), static_cast<char>(pick(3) == 0 ? '\0' : 'w'));
           text += kEnds[pick(5)];
         }
         WriteFile((s->root / "bbs/NODELIST.001").string(), text);
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0, 4, 5},
       "Reading NODELIST.001... Zone",
       kAnyOutcome},
      {"OneTenMegabyteLine",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         std::string text = "Zone,1,Z,P,Al_Bee," + std::string(10'000'000, 'x') + "\r\n" +
                            Lines({"Host,2,N,P,Bo_Cy,x,", ",3,S,P,Di_Eve,x,"});
         WriteFile((s->root / "bbs/NODELIST.001").string(), text);
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0},
       "    3 nodes processed\r\n    2 nets processed\r\n",
       3},
      {"TenMegabytesWithoutLineEnd",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         std::string text = "Zone,1,Z,P,Al_Bee,";
         while (text.size() < 10'000'000) text += "Hub,5,S,P,Ed,x,";
         WriteFile((s->root / "bbs/NODELIST.001").string(), text);
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0},
       "    1 nodes processed\r\n    1 nets processed\r\n",
       1},
      {"NulAndCtrlZInLines",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         using namespace std::string_literals;
         std::string text = Lines({"Zone,1,Z\0ne,P\0,Al\0_Bee,x,"s, "Host,2,N\x1a,P,Bo_Cy,x,", "\0,3,S,P,Di_Eve,x,"s,
                                   ",4,S\x1a\x1a,P,\0,x,"s, "Hub,5\0,S,P,Fa_Gus,x,"s,
                                   "\x1a,6,S,P,Ha_Ida,x,",  // Ctrl-Z starting a line ends the file
                                   ",7,S,P,Jo_Ka,x,"});
         WriteFile((s->root / "bbs/NODELIST.001").string(), text);
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0},
       "    5 nodes processed\r\n    2 nets processed\r\n",
       5},
      {"CtrlZFirstByte",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         WriteFile((s->root / "bbs/NODELIST.001").string(), "\x1a" + kSmallList);
         s->lists[1] = (s->root / "bbs/NODELIST.001").string();
       },
       {0},
       "    3 nodes processed\r\n    1 nets processed\r\n",
       3},
      {"NodelistIsDirectory",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", "123"}, {"OTHERNET", ""}});
         fs::create_directory(s->root / "bbs/NODELIST.123");
         WriteOtherNet(s);
       },
       {0},
       "Nodelist NODELIST not found\a\r\n",
       3},
      {"NodelistIsFifo",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", "123"}, {"OTHERNET", ""}});
         ASSERT_EQ(mkfifo((s->root / "bbs/NODELIST.123").c_str(), 0666), 0);
         WriteOtherNet(s);
       },
       {0},
       "Nodelist NODELIST not found\a\r\n",
       3},
      {"BaseNameWithDotDot",
       [](Scene* s) {
         WriteIndex(s, {{"../lists/NODELIST", ""}});
         fs::create_directory(s->root / "lists");
         WriteFile((s->root / "lists/NODELIST.123").string(), kSmallList);
         s->lists[1] = (s->root / "lists/NODELIST.123").string();
       },
       {0},
       "Reading ../lists/NODELIST.123... Zone",
       3},
      {"AbsoluteBaseName",
       [](Scene* s) {
         std::string base = (s->root / "lists/ABSNET").string();
         ASSERT_LE(base.size(), 40u);
         WriteIndex(s, {{base, ""}});
         fs::create_directory(s->root / "lists");
         WriteFile(base + ".044", kSmallList);
         s->lists[1] = base + ".044";
       },
       {0},
       "/lists/ABSNET.044... Zone",
       3},
      {"GarbageBaseName",
       [](Scene* s) {
         WriteIndex(s, {{RandomBytes(3, 40), ""}, {"OTHERNET", ""}});
         WriteOtherNet(s);
       },
       {0},
       " not found\a\r\n",
       3},
      {"IndexIsSymlinkLoop",
       [](Scene* s) { fs::create_symlink("nlindex.qdx", s->root / "bbs/nlindex.qdx"); },
       {3},
       "\r\nI/O error 3 (path not found) opening nlindex.qdx\r\n",
       kKeepsIndex},
      {"HostConfigIsSymlinkLoop",
       [](Scene* s) {
         fs::create_directory(s->root / "home");
         fs::create_symlink("config.qdx", s->root / "home/config.qdx");
         s->env.push_back("KORVO=" + (s->root / "home").string());
         s->message = "\r\nI/O error 3 (path not found) opening " + (s->root / "home/config.qdx").string() + "\r\n";
       },
       {3},
       "home/config.qdx\r\n",
       kKeepsIndex},
      // A FIFO under a name the program opens or creates holds no data and
      // takes no more than its buffer: it is refused, never waited on.
      {"IndexIsFifo",
       [](Scene* s) { ASSERT_EQ(mkfifo((s->root / "bbs/nlindex.qdx").c_str(), 0666), 0); },
       {5},
       "\r\nI/O error 5 (access denied) opening nlindex.qdx\r\n",
       kKeepsIndex},
      {"HostConfigIsFifo",
       [](Scene* s) {
         fs::create_directory(s->root / "home");
         ASSERT_EQ(mkfifo((s->root / "home/config.qdx").c_str(), 0666), 0);
         s->env.push_back("KORVO=" + (s->root / "home").string());
         s->message = "\r\nI/O error 5 (access denied) opening " + (s->root / "home/config.qdx").string() + "\r\n";
       },
       {5},
       "home/config.qdx\r\n",
       kKeepsIndex},
      {"TempFileIsFifo",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         WriteFile((s->root / "bbs/NODELIST.001").string(), MakeNodelist({.nets_per_zone = 40, .nodes_per_net = 150}));
         ASSERT_EQ(mkfifo((s->root / "bbs/nlindex.foo").c_str(), 0666), 0);
       },
       {5},
       "\r\nI/O error 5 (access denied) creating nlindex.foo\r\n",
       kKeepsIndex},
      {"NewIndexIsFifo",
       [](Scene* s) {
         WriteIndex(s, {{"NODELIST", ""}});
         WriteFile((s->root / "bbs/NODELIST.001").string(), MakeNodelist({.nets_per_zone = 40, .nodes_per_net = 150}));
         ASSERT_EQ(mkfifo((s->root / "bbs/nlindex.bar").c_str(), 0666), 0);
       },
       {5},
       "\r\nI/O error 5 (access denied) creating nlindex.bar\r\n",
       kKeepsIndex},
      // The data directory is put before the index's name unchanged, so
      // wildcards in it find the index by search; no file has that name.
      {"DataPathWithWildcards",
       [](Scene* s) {
         fs::create_directories(s->root / "home");
         fs::create_directories(s->root / "data");
         WriteFile((s->root / "home/config.qdx").string(), HostConfig("../data/*"));
         WriteFile((s->root / "data/nlindex.qdx").string(), IndexHead({{"NODELIST", ""}}));
         s->env.push_back("KORVO=" + (s->root / "home").string());
         s->index = "data/nlindex.qdx";
       },
       {2},
       "\r\nI/O error 2 (file not found) opening ../data/*nlindex.qdx\r\n",
       kKeepsIndex},
      // A NUL byte in the data directory ends the path the system sees:
      // the search lists ../data, and the open meets a directory.
      {"DataPathWithNulByte",
       [](Scene* s) {
         using namespace std::string_literals;
         fs::create_directories(s->root / "home");
         fs::create_directories(s->root / "data");
         WriteFile((s->root / "home/config.qdx").string(), HostConfig("../data\0/"s));
         WriteFile((s->root / "data/nlindex.qdx").string(), IndexHead({{"NODELIST", ""}}));
         s->env.push_back("KORVO=" + (s->root / "home").string());
         s->index = "data/nlindex.qdx";
         s->message = "\r\nI/O error 5 (access denied) opening "s + Shown("../data\0/nlindex.qdx"s) + "\r\n"s;
       },
       {5},
       "",
       kKeepsIndex},
      {"KorvoOfTenThousandCharacters",
       [](Scene* s) { s->env.push_back("KORVO=" + std::string(10'000, 'K')); },
       {0},
       "nlindex.qdx not found; please set up nodelists in CONFIG.\a\r\n",
       kKeepsIndex},
      {"KorvoOfTenThousandSeparators",
       [](Scene* s) { s->env.push_back("KORVO=" + std::string(10'000, '/')); },
       {0},
       "nlindex.qdx not found; please set up nodelists in CONFIG.\a\r\n",
       kKeepsIndex},
  };
  return cases;
}

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileInputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputTest, EndsAsDefinedAndKeepsTheIndexSound) {
  const HostileCase& c = GetParam();
#ifdef _WIN32
  if (std::string why = PosixOnly(c.name); !why.empty()) GTEST_SKIP() << why;
#endif
  ScopedTempDir dir;
  Scene scene;
  scene.root = dir.path();
  fs::create_directory(dir.path() / "bbs");
  c.make(&scene);
  const fs::path index_path = dir.path() / scene.index;
  const bool is_link = fs::is_symlink(index_path);
  std::error_code ignored;
  const std::string old_index = fs::is_regular_file(index_path, ignored) ? ReadFile(index_path.string()) : "";

  ProcessRun run = RunTesselWithTimeout((dir.path() / "bbs").string(), {"-F"}, scene.env, 30);

  ASSERT_FALSE(run.timed_out) << "hung";
  ASSERT_EQ(run.signal, 0) << "crashed";
  EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), run.status), c.statuses.end()) << run.status;
  EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out.substr(0, 2000);
  EXPECT_NE(run.out.find(scene.message), std::string::npos) << run.out.substr(0, 2000);
  if (is_link) {
    EXPECT_TRUE(fs::is_symlink(index_path));
  } else if (fs::is_regular_file(index_path, ignored) || !old_index.empty()) {
    const std::string index = ReadFile(index_path.string());
    bool built = run.out.ends_with(" nets processed\r\n");
    if (c.nodes == kKeepsIndex) {
      EXPECT_FALSE(built);
    } else if (c.nodes >= 0) {
      EXPECT_TRUE(built);
    }
    if (built) {
      size_t at = run.out.rfind(" nodes processed");
      int nodes = std::stoi(run.out.substr(run.out.rfind('\n', at) + 1, at));
      if (c.nodes >= 0) {
        EXPECT_EQ(nodes, c.nodes);
      }
      CheckNewIndex(old_index, index, nodes, scene);
    } else {
      EXPECT_TRUE(index == old_index) << "index changed";
    }
  }
  // Every end but a fatal I/O error cleans up after itself.
  if (run.out.find("I/O error") == std::string::npos) {
    EXPECT_FALSE(fs::exists(dir.path() / "bbs/nlindex.foo"));
    EXPECT_FALSE(fs::exists(dir.path() / "bbs/nlindex.bar"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInputTest, ::testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tessel::test
