// Start-up end to end: the command line, finding the index, reading its
// head and deciding whether to rebuild, each run of the built program in a
// fresh directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "storage/coding.h"
#include "test_util.h"

namespace tessel::test {
namespace {
namespace fs = std::filesystem;

const std::string kNotFound = "nlindex.qdx not found; please set up nodelists in CONFIG.\a\r\n";
const std::string kUpToDate = "Nodelist index is up to date. Use -F to force recompilation.\r\n";
const std::string kDamaged = "nlindex.qdx is damaged; please set up nodelists in CONFIG.\a\r\n";
const std::string kNoNodes = "No nodes found!\a\r\n";
// A nodelist of one zone: one node in one net.
const std::string kTinyNodelist = "Zone,2,Eu,Pl,Al_Bee,x,\r\n";
constexpr int64_t kDay = 86'400;
constexpr int64_t kT1 = 1'600'000'000;  // 2020-09-13 12:26:40 UTC

// The names in "dir", without its subdirectories' contents.
std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// A 12-byte header announcing "first_entry", then "rest".
std::string Header(int32_t first_entry, const std::string& rest = "") {
  IndexHeader header = {};
  PutI32LE(header.first_entry_offset, first_entry);
  return std::string(reinterpret_cast<const char*>(&header), sizeof header) + rest;
}

// The Extension stored in slot "slot" of an index.
std::string StoredExtension(const std::string& index, int slot) {
  size_t at = 12 + 47 * static_cast<size_t>(slot - 1) + 41;
  return index.substr(at + 1, static_cast<uint8_t>(index.at(at)));
}

std::string IoError(int number, const std::string& text, const std::string& doing, const std::string& file) {
  return "\r\nI/O error " + std::to_string(number) + " (" + text + ") " + doing + " " + file + "\r\n";
}

TEST(StartupTest, NotFoundAndUpToDateMessages) {
  ScopedTempDir empty;
  RunResult run = RunTessel(empty.path());
  EXPECT_EQ(run.out, Banner() + kNotFound);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Names(empty.path()).empty());

  ScopedTempDir dir;
  std::string head = IndexHead({{"NODELIST", "123", 7}}, 0xDEADBEEF, 42);
  WriteFile(dir / "nlindex.qdx", head);
  WriteFile(dir / "NODELIST.123", kTinyNodelist);
  run = RunTessel(dir.path());
  EXPECT_EQ(run.out, Banner() + kUpToDate);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), head);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"NODELIST.123", "nlindex.qdx"}));
}

// With an empty catalogue a forced run goes on to build and finds no nodes;
// otherwise the index is up to date.
TEST(StartupTest, CommandLineForcesAndExcludesZones) {
  struct Case {
    std::vector<std::string> args;
    std::string zones;  // as printed after "Excluding zones:"
    bool forced;
  };
  const Case cases[] = {
      {{}, "", false},
      {{"-F"}, "", true},
      {{"/force"}, "", true},
      {{"f123"}, "", true},
      {{"abc"}, "", false},
      {{"--F"}, "", false},  // only one "-" goes; "-F" is no number
      {{"", "/", "-", "F"}, "", true},
      {{"2", "-3", "/4"}, " 2 3 4", false},
      {{"$10", "%11", "--5", " \t7", "+0", "2147483648"}, " 16 3 -5 7 0", false},
      {{"1", "2", "3", "4", "5", "abc", "6", "7", "8", "9", "10", "11"}, " 1 2 3 4 5 6 7 8 9 10", false},
      {{"7", "f", "7"}, " 7 7", true},
  };
  for (const Case& c : cases) {
    std::string label = ::testing::PrintToString(c.args);
    ScopedTempDir dir;
    std::string head = Header(13, "\x01");
    WriteFile(dir / "nlindex.qdx", head);
    RunResult run = RunTessel(dir.path(), c.args);
    std::string zones = c.zones.empty() ? "" : "Excluding zones:" + c.zones + "\r\n\r\n";
    EXPECT_EQ(run.out, Banner() + zones + (c.forced ? kNoNodes : kUpToDate)) << label;
    EXPECT_EQ(run.status, 0) << label;
    EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), head) << label;
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"nlindex.qdx"}) << label;
  }
}

// The program runs in root/run; KORVO names root/home, whose config.qdx
// names the data directory; root/data holds an index that is up to date.
TEST(StartupTest, FindsTheIndexThroughTheHostConfiguration) {
  enum ConfigAt { kHome, kCurrent, kNowhere };
  struct Case {
    std::string env;  // "{home}" stands for root/home
    ConfigAt config;
    std::string data_path;
    bool found;
  };
  const Case cases[] = {
      {"KORVO={home}", kHome, "../data/", true},
      {"korvo={home}/", kHome, "../data\\", true},
      {"Korvo={home}\\", kHome, "..\\data\\", true},
      {"KORVO={home}", kHome, "../data", false},  // nothing is put between DataPath and the name
      {"KORVO={home}", kHome, "", false},         // the current directory again
      {"KORVO={home}", kNowhere, "../data/", false},
      {"", kCurrent, "../data/", true},        // no KORVO: config.qdx here
      {"KORVO=", kCurrent, "../data/", true},  // empty KORVO likewise
      {"KORVOX={home}", kHome, "../data/", false},
  };
  for (const Case& c : cases) {
    std::string label = c.env + " " + c.data_path;
    ScopedTempDir root;
    for (const char* sub : {"run", "home", "data"}) fs::create_directory(root.path() / sub);
    std::string home = root / "home";
    std::string head = Header(13, "\x01");
    WriteFile(root / "data/nlindex.qdx", head);
    if (c.config != kNowhere) {
      WriteFile(root / (c.config == kHome ? "home/config.qdx" : "run/config.qdx"), HostConfig(c.data_path));
    }
    std::vector<std::string> env;
    if (size_t at = c.env.find("{home}"); at != std::string::npos) {
      env.push_back(c.env.substr(0, at) + home + c.env.substr(at + 6));
    } else if (!c.env.empty()) {
      env.push_back(c.env);
    }
    RunResult run = RunTessel(root / "run", {}, env);
    EXPECT_EQ(run.out, Banner() + (c.found ? kUpToDate : kNotFound)) << label;
    EXPECT_EQ(run.status, 0) << label;
    EXPECT_EQ(ReadFile(root / "data/nlindex.qdx"), head) << label;
  }
}

TEST(StartupTest, AnIndexInTheCurrentDirectoryWins) {
  ScopedTempDir root;
  for (const char* sub : {"run", "home", "data"}) fs::create_directory(root.path() / sub);
  std::string here = Header(13, "\x01");
  std::string there = Header(14, "\x01");  // damaged, were it read
  WriteFile(root / "run/nlindex.qdx", here);
  WriteFile(root / "data/nlindex.qdx", there);
  WriteFile(root / "home/config.qdx", HostConfig("../data/", 155));  // unreadable, were it read
  RunResult run = RunTessel(root / "run", {}, {"KORVO=" + root / "home"});
  EXPECT_EQ(run.out, Banner() + kUpToDate);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(root / "run/nlindex.qdx"), here);
  EXPECT_EQ(ReadFile(root / "data/nlindex.qdx"), there);
}

TEST(StartupTest, HostConfigurationEndingBeforeItsDataPath) {
  for (size_t size : {size_t{0}, size_t{155}, size_t{156}}) {
    ScopedTempDir root;
    fs::create_directory(root.path() / "run");
    fs::create_directory(root.path() / "home");
    WriteFile(root / "home/config.qdx", HostConfig("", size));
    RunResult run = RunTessel(root / "run", {}, {"KORVO=" + root / "home"});
    if (size <= 155) {
      EXPECT_EQ(run.out, Banner() + IoError(100, "read past end of file", "reading", Shown(root / "home/config.qdx"))) << size;
      EXPECT_EQ(run.status, 100) << size;
    } else {  // a DataPath of length 0
      EXPECT_EQ(run.out, Banner() + kNotFound) << size;
      EXPECT_EQ(run.status, 0) << size;
    }
  }
}

TEST(StartupTest, IndexThatCannotBeOpenedOrRead) {
  enum Kind { kReadOnly, kDirectory, kBytes };
  struct Case {
    const char* label;
    Kind kind;
    std::string bytes;
    int status;
    std::string message;
  };
  const std::string slot = IndexHead({{"NODELIST", "123"}});
  const Case cases[] = {
      {"read-only", kReadOnly, slot, 5, IoError(5, "access denied", "opening", "nlindex.qdx")},
      {"directory", kDirectory, "", 5, IoError(5, "access denied", "opening", "nlindex.qdx")},
      {"empty", kBytes, "", 100, IoError(100, "read past end of file", "reading", "nlindex.qdx")},
      {"header only", kBytes, slot.substr(0, 12), 100, IoError(100, "read past end of file", "reading", "nlindex.qdx")},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteFile(dir / "NODELIST.124", kTinyNodelist);  // would force a rebuild
    if (c.kind == kDirectory) {
      fs::create_directory(dir.path() / "nlindex.qdx");
    } else {
      WriteFile(dir / "nlindex.qdx", c.bytes);
    }
    if (c.kind == kReadOnly) fs::permissions(dir.path() / "nlindex.qdx", fs::perms(0444));
    RunResult run = RunTessel(dir.path(), {"-F"});
    EXPECT_EQ(run.out, Banner() + c.message) << c.label;
    EXPECT_EQ(run.status, c.status) << c.label;
    if (c.kind != kDirectory) {
      EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), c.bytes) << c.label;
    }
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"NODELIST.124", "nlindex.qdx"})) << c.label;
  }
}

TEST(StartupTest, DamagedIndexIsReportedAndLeftAlone) {
  const std::string two_slots = IndexHead({{"NODELIST", "123"}, {"NODELIST", "123"}});
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"offset 12", Header(12, "\x01")},
      {"offset 0", Header(0, "\x01")},
      {"negative offset", Header(-34, "\x01")},
      {"lowest offset", Header(INT32_MIN, "\x01")},
      {"offset 14", Header(14, std::string(48, '\0'))},
      {"offset 13 + 47 + 46", Header(13 + 47 + 46, std::string(47 * 2, '\0'))},
      {"256 slots", Header(13 + 47 * 256, std::string(47 * 256 + 1, '\0'))},
      {"1 byte", "\x01"},
      {"11 bytes", two_slots.substr(0, 11)},
      {"ends inside a slot", two_slots.substr(0, 12 + 20)},
      {"ends inside the second slot", two_slots.substr(0, 12 + 47 + 46)},
  };
  for (const auto& c : cases) {
    ScopedTempDir dir;
    WriteFile(dir / "nlindex.qdx", c.bytes);
    WriteFile(dir / "NODELIST.124", kTinyNodelist);
    RunResult run = RunTessel(dir.path(), {"-F"});
    EXPECT_EQ(run.out, Banner() + kDamaged) << c.label;
    EXPECT_EQ(run.status, 100) << c.label;
    EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), c.bytes) << c.label;
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"NODELIST.124", "nlindex.qdx"})) << c.label;
  }
}

// The newest candidate by modification time is chosen: with its extension
// stored the index is up to date, with none stored it is rebuilt from it.
TEST(StartupTest, ChoosesTheNewestNumberedNodelist) {
  struct Case {
    std::vector<std::pair<std::string, int64_t>> files;
    std::string chosen;
  };
  const Case cases[] = {
      {{{"NODELIST.120", kT1}, {"NODELIST.127", kT1 + kDay},  // newer still, never candidates:
        {"NODELIST.Z27", kT1 + 2 * kDay}, {"NODELIST.27", kT1 + 3 * kDay}},
       "127"},
      {{{"NODELIST.120", kT1 + kDay}, {"NODELIST.127", kT1},
        {"NODELIST.Z27", kT1 + 3 * kDay}, {"NODELIST.27", kT1 + 2 * kDay}},
       "120"},
      // Within one two-second step the first in search order stays chosen.
      {{{"NODELIST.124", kT1 + 1}, {"NODELIST.123", kT1}}, "123"},
      // Stamps compare unsigned: 2050 is newer than 2020, and a date after
      // 2107 counts as its last day.
      {{{"NODELIST.120", kT1}, {"NODELIST.150", 2'524'608'000}}, "150"},
      {{{"NODELIST.150", 2'524'608'000}, {"NODELIST.199", 7'258'118'400}}, "199"},
      {{{"NODELIST.120", kT1}, {"NODELIST.198", 4'367'952'000}}, "198"},  // 2108, whose FAT year would wrap to 1980
      // A file from before 1980 is still a candidate.
      {{{"NODELIST.100", 170'812'800}, {"NODELIST.TXT", kT1}}, "100"},
  };
  for (const Case& c : cases) {
    std::string label = "choosing " + c.chosen;
    for (const std::string& stored : {c.chosen, std::string()}) {
      ScopedTempDir dir;
      for (const auto& [name, mtime] : c.files) {
        WriteFile(dir / name, kTinyNodelist);
        SetMtime(dir / name, mtime);
      }
      std::string head = IndexHead({{"NODELIST", stored, 9}});
      WriteFile(dir / "nlindex.qdx", head);
      RunResult run = RunTessel(dir.path());
      EXPECT_EQ(run.status, 0) << label;
      std::string index = ReadFile(dir / "nlindex.qdx");
      if (stored.empty()) {
        EXPECT_NE(run.out.find("Reading NODELIST." + c.chosen + "... "), std::string::npos) << label << run.out;
        EXPECT_EQ(index.substr(0, head.size()), IndexHead({{"NODELIST", c.chosen, 2}})) << label;
      } else {
        EXPECT_EQ(run.out, Banner() + kUpToDate) << label;
        EXPECT_EQ(index, head) << label;
      }
    }
  }
}

// A catalogue written on a DOS-style host: upper case, backslashes.
TEST(StartupTest, UpperCaseBaseNameFindsLowerCaseFiles) {
  ScopedTempDir dir;
  fs::create_directory(dir.path() / "nl");
  WriteFile(dir / "nl/nodelist.123", kTinyNodelist);
  WriteFile(dir / "nl/nodelist.124", kTinyNodelist);
  WriteFile(dir / "NODELIST.999", kTinyNodelist);  // not in nl
  SetMtime(dir / "nl/nodelist.123", kT1);
  SetMtime(dir / "nl/nodelist.124", kT1 + kDay);
  SetMtime(dir / "NODELIST.999", kT1 + 2 * kDay);
  WriteFile(dir / "nlindex.qdx", IndexHead({{"nl\\NODELIST", "123"}}));
  RunResult run = RunTessel(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Reading nl\\NODELIST.124... "), std::string::npos) << run.out;
  EXPECT_EQ(StoredExtension(ReadFile(dir / "nlindex.qdx"), 1), "124");
}

TEST(StartupTest, ShortSlotsAreClearedAndIgnored) {
  // Alone, a slot of four characters forces nothing even with a newer file.
  ScopedTempDir quiet;
  WriteFile(quiet / "NODE.123", kTinyNodelist);
  std::string head = IndexHead({{"NODE", "12", 3}});
  WriteFile(quiet / "nlindex.qdx", head);
  RunResult run = RunTessel(quiet.path());
  EXPECT_EQ(run.out, Banner() + kUpToDate);
  EXPECT_EQ(ReadFile(quiet / "nlindex.qdx"), head);

  // Rebuilt, such slots go back as zeros.
  ScopedTempDir dir;
  WriteFile(dir / "NODE.123", kTinyNodelist);
  WriteFile(dir / "NODELIST.123", kTinyNodelist);
  WriteFile(dir / "nlindex.qdx", IndexHead({{"NODE", "12", 3}, {"NODELIST", ""}, {"", "XYZ", 9}}, 5, 6));
  run = RunTessel(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find("Reading NODE."), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "nlindex.qdx").substr(0, 12 + 3 * 47 + 1),
            IndexHead({{}, {"NODELIST", "123", 2}, {}}, 5, 6));
}

// 255 slots is the most a catalogue may hold; the last one still counts.
TEST(StartupTest, TheTwoHundredFiftyFifthSlotIsResolved) {
  ScopedTempDir dir;
  std::vector<SlotSpec> slots(255);
  slots.back() = {"NODELIST", "122"};
  WriteFile(dir / "NODELIST.123", kTinyNodelist);
  WriteFile(dir / "nlindex.qdx", IndexHead(slots));
  RunResult run = RunTessel(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Reading NODELIST.123... "), std::string::npos) << run.out;
  EXPECT_EQ(StoredExtension(ReadFile(dir / "nlindex.qdx"), 255), "123");
}

}  // namespace
}  // namespace tessel::test
