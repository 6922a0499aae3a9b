// tessel-index in the unattended layout of docs/unattended.md (index in a data
// directory, KORVO set, run from the board's directory), and what check
// finds beyond tessel's own view.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>

#include "index_tool/commands.h"
#include "index_tool/index_lookup.h"
#include "nodediff/nodediff_util.h"
#include "test_util.h"
#include "testing/fake_platform.h"
#include "testing/index_builders.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNodes = {"Zone,3,Zc,Pl,Zed_Ay,x,", "Host,30,Hs,Pl,Hal_Bo,x,", ",7,Sy,Pl,Ann_Cy,x,"};

[[maybe_unused]] ProcessRun Tool(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  return RunTool(TESSEL_INDEX_BINARY, dir, args, env);
}

TEST(IndexToolKorvo, EveryCommandUsesTheIndexTesselFinds) {
#ifdef _WIN32
  GTEST_SKIP() << "tessel-index shows paths in the system's own form (backslashes; names as the catalogue gives them, found without regard to case)";
#else
  ScopedTempDir dir;
  std::string bbs = dir / "bbs", data = dir / "data", korvo = "KORVO=" + bbs;
  for (const std::string& d : {bbs, bbs + "/nl", bbs + "/inbound", data}) fs::create_directory(d);
  std::string list = MakeList("001", kNodes);
  WriteFile(bbs + "/nl/nodelist.001", list);
  SetMtime(bbs + "/nl/nodelist.001", std::time(nullptr) - 86400);
  ASSERT_EQ(Tool(bbs, {"init", "--data", data, "--home", bbs, "nl/NODELIST"}).status, 0);
  ASSERT_EQ(RunTessel(bbs, {}, {korvo}).status, 0);
  std::string using_line = "Using the index " + data + "/nlindex.qdx, named by " + bbs + "/config.qdx\n";

  // The README's weekly line: a new list arrives, update makes it, tessel rebuilds.
  WriteFile(bbs + "/inbound/NODELIST.002", MakeList("002", {kNodes[0], kNodes[1], ",8,Sy,Pl,Bea_Dee,x,"}));
  ProcessRun update = Tool(bbs, {"update", "--inbound", "inbound", "--keep", "4"}, {korvo});
  EXPECT_EQ(update.status, 0) << update.err;
  EXPECT_TRUE(update.out.starts_with(using_line)) << update.out;
  EXPECT_TRUE(Exists(bbs + "/nl/NODELIST.002")) << update.out;
  RunResult build = RunTessel(bbs, {}, {korvo});
  EXPECT_NE(build.out.find("3 nodes processed"), std::string::npos) << build.out;

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"show"}, 0, "   1  nl/NODELIST"},
      {{"find", "3:30/8"}, 0, "slot 1  3:30/8  BEA DEE\n"},
      {{"verify"}, 0, "No faults."},
      {{"init", "nl/NODELIST"}, 2, ""},
  };
  for (const Case& c : cases) {
    ProcessRun run = Tool(bbs, c.args, {korvo});
    EXPECT_EQ(run.status, c.status) << c.args[0] << "\n" << run.err;
    EXPECT_TRUE(run.out.starts_with(using_line)) << run.out;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
  }
  EXPECT_NE(Tool(bbs, {"init", "nl/NODELIST"}, {korvo}).err.find(data + "/nlindex.qdx: exists"), std::string::npos);
  EXPECT_FALSE(Exists(bbs + "/nlindex.qdx"));

  // Elsewhere without KORVO there is no index to be found.
  ProcessRun lost = Tool(bbs + "/nl", {"show"});
  EXPECT_EQ(lost.status, 3);
  EXPECT_NE(lost.err.find("nlindex.qdx not found: it is not in the current directory, KORVO is not set"),
            std::string::npos) << lost.err;
#endif
}

// A built index of one list with its CRC; each case spoils the setup in one
// way and check must say so, with what to do, and end with its status.
TEST(IndexToolCheck, FindsDamageGoneOrBrokenListsTwinSlotsAndLeftovers) {
#ifdef _WIN32
  GTEST_SKIP() << "tessel-index shows paths in the system's own form (backslashes; names as the catalogue gives them, found without regard to case)";
#else
  auto index_of = [](const std::string& d) { return d + "/nlindex.qdx"; };
  auto chop = [](const std::string& path, size_t bytes) {
    std::string text = ReadFile(path);
    WriteFile(path, text.substr(0, text.size() - bytes));
  };
  struct Case {
    std::string name;
    std::function<void(const std::string&)> spoil;
    int status;
    std::string says;
  } cases[] = {
      {"index cut short", [&](const std::string& d) { chop(index_of(d), 24); }, 1,
       "the index is damaged ("},
      {"index cut inside an entry", [&](const std::string& d) { chop(index_of(d), 5); }, 1,
       "plus whole 12-byte entries"},
      {"index cut to its head", [&](const std::string& d) { chop(index_of(d), 72); }, 1,
       "holds no entries, though its catalogue says tessel built it"},
      {"extension blanked",
       [&](const std::string& d) {
         std::string index = ReadFile(index_of(d));
         index[12 + 41] = 0;
         WriteFile(index_of(d), index);
       },
       1, "the index is damaged (1 fault, the first: nlindex.qdx: slot 1 holds entries, but its catalogue names no"},
      {"head damaged", [&](const std::string& d) { WriteFile(index_of(d), std::string(20, '\x7f')); }, 1,
       "tessel-index init --force"},
      {"list gone", [&](const std::string& d) { fs::rename(d + "/nodelist.001", d + "/old.001"); }, 1,
       "the index points into NODELIST.001, which no longer exists"},
      {"list in use cut short", [&](const std::string& d) { chop(d + "/nodelist.001", 3); }, 1,
       "which the index was built from, fails its CRC"},
      {"next list damaged",
       [&](const std::string& d) {
         std::string next = MakeList("002", kNodes);
         next[next.size() - 5] ^= 1;
         WriteFile(d + "/nodelist.002", next);
       },
       1, "nodelist.002, which tessel reads next, fails its CRC (its first line says"},
      {"next list with some carriage returns lost",
       [&](const std::string& d) {
         std::string next = MakeList("002", kNodes);
         next.erase(next.rfind("\r\n"), 1);  // its CRC holds only with that CR put back
         WriteFile(d + "/nodelist.002", next);
       },
       0, "No problems: tessel finds the index and every catalogued nodelist."},
      {"base name twice",
       [&](const std::string& d) { WriteFile(index_of(d), IndexHead({{"NODELIST", ""}, {"./nodeLIST", ""}})); }, 1,
       "slots 1 and 2 both catalogue NODELIST, so every node of it is indexed twice"},
      {"leftovers",
       [&](const std::string& d) {
         WriteFile(d + "/nlindex.foo", "x");
         SetMtime(d + "/nlindex.foo", std::time(nullptr) - 3 * 3600 - 60);
         WriteFile(d + "/NODELIST.002.new", "x");
       },
       0, "Note: nlindex.foo, 3 hours old, is left over from a tessel run"},
  };
  for (const Case& c : cases) {
    ScopedTempDir dir;
    WriteFile(dir / "nodelist.001", MakeList("001", kNodes));
    SetMtime(dir / "nodelist.001", std::time(nullptr) - 86400);
    ASSERT_EQ(Tool(dir.path(), {"init", "NODELIST"}).status, 0);
    ASSERT_EQ(RunTessel(dir.path(), {}).status, 0);
    ProcessRun clean = Tool(dir.path(), {"check"});
    ASSERT_EQ(clean.status, 0) << clean.out;
    EXPECT_EQ(clean.out.find("Note:"), std::string::npos) << clean.out;
    c.spoil(dir.path());
    ProcessRun run = Tool(dir.path(), {"check"});
    EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << c.name << "\n" << run.out;
    if (c.name == "leftovers") {
      EXPECT_NE(run.out.find("Note: NODELIST.002.new, "), std::string::npos) << run.out;
    }
  }
#endif
}

#ifndef _WIN32
// Slots on a drive that no Wine prefix maps: the drive is one problem.
TEST(IndexToolCheck, NamesAnUnmappedDriveOnce) {
  ScopedTempDir dir;
  WriteFile(dir / "nlindex.qdx", IndexHead({{"C:\\NL\\NODELIST", ""}, {"C:\\NL\\OTHERLIST", ""}}));
  ProcessRun check = Tool(dir.path(), {"check"}, {"WINEPREFIX=" + dir / "nowhere"});
  size_t first = check.out.find(") is a Windows drive");
  EXPECT_NE(check.out.find("  - C: (in C:\\NL\\NODELIST) is a Windows drive"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find(") is a Windows drive", first + 1), std::string::npos) << check.out;
}
#endif

// --data naming an index tessel does not use: said once, and what follows
// is about that index.
TEST(IndexToolCheck, DataNamingAnotherIndexGivesOneVerdict) {
#ifdef _WIN32
  GTEST_SKIP() << "tessel-index shows paths in the system's own form (backslashes; names as the catalogue gives them, found without regard to case)";
#else
  ScopedTempDir dir;
  fs::create_directory(dir / "other");
  WriteFile(dir / "nodelist.001", MakeList("001", kNodes));
  ASSERT_EQ(Tool(dir.path(), {"init", "NODELIST"}).status, 0);
  ASSERT_EQ(Tool(dir.path(), {"init", "--data", "other", "NODELIST"}).status, 0);
  ProcessRun run = Tool(dir.path(), {"check", "--data", "other"});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("\n1 problem:\n  - tessel run here does not use other/nlindex.qdx but " + dir / "nlindex.qdx"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  examined: " + dir / "other/nlindex.qdx, 1 slot\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("tessel uses"), std::string::npos) << run.out;
#endif
}

// check takes the current directory and the time from the platform it is
// given, and tessel's console, caught, never reaches that platform's.
TEST(IndexToolCheck, TakesDirectoryClockAndConsoleFromItsPlatform) {
  FakeDisk disk;
  disk.current_directory = "/bbs";
  disk.now = 1'000'000;
  disk.files["nlindex.qdx"].data = IndexHead({{"NODELIST", ""}});
  disk.files["nlindex.foo"] = {.data = "x", .mtime = disk.now - 3 * 3600 - 60};
  Platform platform = MakeFakePlatform(&disk);
  CapturedReport report;
  ToolOptions options;
  options.platform = &platform;
  options.report = report.sink();
  int status = RunCheck(options);
  const std::string here = fs::path("/bbs/").make_preferred().string(), out = report.results;
  EXPECT_EQ(status, kToolNoMatchOrFaults) << report.both;
  EXPECT_EQ(report.problems, "");
  EXPECT_NE(out.find("when run in " + here + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  - slot 1: no nodelist for NODELIST in " + here + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Note: nlindex.foo, 3 hours old"), std::string::npos) << out;
  EXPECT_EQ(disk.console, "");
  // The catcher forwards every member but the console's, which it keeps.
  CaughtConsole caught;
  CatchConsole(platform, &caught);
  EXPECT_EQ(MissingPlatformMembers(caught.platform), std::vector<std::string>{});
}

// Each command writes to the sink it is given: results as results, in
// order, and each problem as one line "tessel-index: PATH: problem".
TEST(IndexToolReport, CommandsSayResultsAndProblemsThroughTheirSink) {
  const std::string head = IndexHead({{"NODELIST", ""}}),
                    waiting = "Waiting for another run to finish with the current directory...\n";
  struct Case {
    int (*command)(const ToolOptions&);
    std::vector<std::string> operands;
    std::string index;  // nlindex.qdx's bytes ("": none)
    int status;
    std::string results, problems;
  } cases[] = {
      {RunInit, {"NODELIST"}, "", 0, waiting + "Created nlindex.qdx with 1 slot; run tessel to fill it.\n", ""},
      {RunInit, {"NODELIST"}, head, 2, waiting, "tessel-index: nlindex.qdx: exists; use --force to replace it\n"},
      {RunVerify,
       {},
       head,
       0,
       "Verifying nlindex.qdx: 1 slot, 0 node-number entries, 0 sysop-name entries\nNo faults.\n",
       ""},
      {RunFind, {"2:250/1"}, head, 1, "", "tessel-index: nlindex.qdx: nothing found for \"2:250/1\"\n"},
      {RunFind,
       {"2:250/1@fido"},
       head,
       1,
       "Domain @fido is not kept in the index; every nodelist's 2:250/1 is shown.\n",
       "tessel-index: nlindex.qdx: nothing found for \"2:250/1@fido\"\n"},
      {RunShow, {}, "", 3, "", "tessel-index: nlindex.qdx: cannot read: file not found\n"},
      {RunChanges,
       {"2:x"},
       head,
       2,
       "",
       "tessel-index: changes: \"2:x\" is not a node, net or zone; use ZONE:NET/NODE, ZONE:NET/* or ZONE:*\n"},
      {RunChanges,
       {"2:250/1.1"},
       head,
       2,
       "",
       "tessel-index: changes: \"2:250/1.1\" is not a node, net or zone; use ZONE:NET/NODE, ZONE:NET/* or ZONE:*\n"},
      {RunChanges,
       {"2:250/1@fido"},
       head,
       2,
       "",
       "tessel-index: changes: \"2:250/1@fido\" is not a node, net or zone; use ZONE:NET/NODE, ZONE:NET/* or "
       "ZONE:*\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operands.empty() ? c.problems : c.operands[0]);
    FakeDisk disk;
    disk.other_runs[""] = 100;
    if (!c.index.empty()) disk.files["nlindex.qdx"].data = c.index;
    Platform platform = MakeFakePlatform(&disk);
    CapturedReport report;
    ToolOptions options;
    options.platform = &platform;
    options.report = report.sink();
    options.operands = c.operands;
    EXPECT_EQ(c.command(options), c.status);
    EXPECT_EQ(report.results, c.results);
    EXPECT_EQ(report.problems, c.problems);
    EXPECT_EQ(disk.console, "");
  }
}

// The host's layout as a Windows sysop sets it up: config.qdx in KORVO's
// directory names the data directory. init makes the index there, messages
// name paths with the system's separator, and check points out the blank
// that "set KORVO=DIR && tessel" keeps. Run on both builds.
TEST(IndexToolKorvo, HostLayoutInitPathsAndKorvoBlanks) {
  ScopedTempDir dir;
  std::string bbs = dir / "bbs", korvo = "KORVO=" + bbs;
  fs::create_directory(bbs);
  fs::create_directory(dir / "data");
  WriteFile(bbs + "/config.qdx", HostConfig("..\\data\\"));
  WriteFile(bbs + "/nodelist.001", MakeList("001", kNodes));

  ProcessRun init = Tool(bbs, {"init", "NODELIST"}, {korvo});
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("Created " + Shown("../data/nlindex.qdx") + " with 1 slot"), std::string::npos) << init.out;
  EXPECT_TRUE(Exists(dir / "data/nlindex.qdx"));
  EXPECT_FALSE(Exists(bbs + "/nlindex.qdx"));

  WriteFile(dir / "data/nlindex.qdx", "");
  RunResult damaged = RunTessel(bbs, {"-F"}, {korvo});
  EXPECT_EQ(damaged.status, 100);
  EXPECT_NE(damaged.out.find(" reading " + Shown("../data/nlindex.qdx") + "\r\n"), std::string::npos) << damaged.out;

  ProcessRun blank = Tool(bbs, {"check"}, {korvo + " "});
  EXPECT_EQ(blank.status, 1) << blank.out;
  EXPECT_NE(blank.out.find("  - KORVO is \"" + bbs + " \", with blanks"), std::string::npos) << blank.out;
  EXPECT_EQ(Tool(bbs, {"check"}, {korvo}).out.find("KORVO is \""), std::string::npos);
}

}  // namespace
}  // namespace tessel::test
