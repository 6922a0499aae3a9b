// The weekly cycle left to itself: update refuses another network's list,
// a collapsed one and a file that is no list; --done and --bad empty the
// inbound; changes tells who joined and who left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

#include "nodediff/nodediff_util.h"
#include "test_util.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFour = {"Zone,1,One", "Host,2,Net", ",1,A", ",2,B"};

class WeeklyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"nl", "in", "done", "bad"}) fs::create_directories(dir_.path() / dir);
    WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/NODELIST", ""}}));
  }
  // A file written "age" seconds ago.
  void Put(const std::string& name, const std::string& bytes, int age = 86400) {
    WriteFile(dir_ / name, bytes);
    SetMtime(dir_ / name, std::time(nullptr) - age);
  }
  ProcessRun Run(const std::string& command, std::vector<std::string> args) {
    args.insert(args.begin(), command);
    return RunTool(TESSEL_INDEX_BINARY, dir_.path(), args);
  }
  std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path() / dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedTempDir dir_;
};

TEST_F(WeeklyTest, AStrayOrCollapsedListIsRefusedUntilAccepted) {
  const std::string day1 = MakeList("January 1, 2027", kFour);
  struct Case {
    const char* file;
    std::string bytes, reason;
    bool acceptable;
  } cases[] = {
      {"in/NODELIST.008", MakeList("January 8, 2027", kFour, "Other"),
       "another network's list: nl/NODELIST.008 would be of network \"Other\" with 4 nodes, after nl/NODELIST.001 "
       "of network \"Test\" with 4 nodes; if the network was renamed or cut, --accept in/NODELIST.008 takes it once",
       true},
      {"in/NODEDIFF.008", MakeDiff(day1, MakeList("January 8, 2027", {"Zone,1,One"})),
       "less than half the nodes of the list before it: nl/NODELIST.008 would be of network \"Test\" with 1 node, "
       "after nl/NODELIST.001 of network \"Test\" with 4 nodes",
       true},
      {"in/NODEDIFF.008", "<html>not found</html>\r\n", "not a nodelist or nodediff", false},
      {"in/NODELIST.008", "PK\x03\x04", "not a nodelist or nodediff", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + (" " + c.reason));
    fs::remove_all(dir_.path() / "in");
    fs::remove_all(dir_.path() / "nl");
    fs::create_directories(dir_.path() / "in");
    fs::create_directories(dir_.path() / "nl");
    Put("nl/NODELIST.001", day1);
    Put(c.file, c.bytes);
    ProcessRun run = Run("update", {"--inbound", "in"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(Shown(c.file) + ": refused: " + c.reason), std::string::npos) << run.err;
    EXPECT_FALSE(Exists(dir_ / "nl/NODELIST.008"));
    ProcessRun accepted = Run("update", {"--inbound", "in", "--accept", c.file + 3});  // the name alone
    EXPECT_EQ(accepted.status, c.acceptable ? 0 : 1) << accepted.err;
    EXPECT_EQ(Exists(dir_ / "nl/NODELIST.008"), c.acceptable);
    if (c.acceptable) {
      EXPECT_NE(accepted.out.find(Shown(c.file) + ": accepted with --accept: "), std::string::npos);
    }
  }
}

TEST_F(WeeklyTest, DoneAndBadEmptyTheInboundWithoutReplacingAFile) {
  auto list = [](const char* date) { return MakeList(date, kFour); };
  Put("nl/NODELIST.001", list("January 1, 2027"));
  Put("in/NODEDIFF.008", MakeDiff(list("January 1, 2027"), list("January 8, 2027")));         // applies
  Put("in/NODEDIFF.001", MakeDiff(list("December 25, 2026"), list("January 1, 2027")));       // older
  Put("in/NODELIST.001", list("January 1, 2027"));                                            // there already
  Put("in/NODEDIFF.022", MakeDiff(list("January 15, 2027"), list("January 22, 2027")));       // waits
  Put("in/NODEDIFF.015", "garbage\r\n");                                                     // refused
  Put("done/NODEDIFF.008", "an older file of that name");
  ProcessRun run = Run("update", {"--inbound", "in", "--done", "done", "--bad", "bad"});
  EXPECT_EQ(run.status, 1);
  std::string out = run.out;
  for (const char* moved : {"in/NODEDIFF.001: moved to done/NODEDIFF.001\n",
                            "in/NODEDIFF.008: moved to done/NODEDIFF.008.1\n",
                            "in/NODELIST.001: moved to done/NODELIST.001\n"}) {
    EXPECT_NE(out.find(moved), std::string::npos) << out;
  }
  EXPECT_NE(run.err.find("tessel-index: " + Shown("in/NODEDIFF.015") + ": refused, moved to bad/NODEDIFF.015\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Names("in"), std::vector<std::string>{"NODEDIFF.022"});
  EXPECT_EQ(Names("done"),
            (std::vector<std::string>{"NODEDIFF.001", "NODEDIFF.008", "NODEDIFF.008.1", "NODELIST.001"}));
  EXPECT_EQ(ReadFile(dir_ / "done/NODEDIFF.008"), "an older file of that name");
  EXPECT_EQ(Names("bad"), std::vector<std::string>{"NODEDIFF.015"});
  EXPECT_TRUE(Exists(dir_ / "nl/NODELIST.008"));

  // The next run finds nothing wrong; the diff that waits for its week stays.
  ProcessRun next = Run("update", {"--inbound", "in", "--done", "done", "--bad", "bad"});
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(Names("in"), std::vector<std::string>{"NODEDIFF.022"});
  EXPECT_EQ(Run("update", {"--inbound", "in", "--done", "nowhere"}).status, 3);
  // The current directory is no place to move into: the refused file stays.
  Put("in/NODEDIFF.015", "garbage\r\n");
  EXPECT_EQ(Run("update", {"--inbound", "in", "--bad", "."}).status, 3);
  EXPECT_TRUE(Exists(dir_ / "in/NODEDIFF.015"));
}

TEST_F(WeeklyTest, ChangesListsWhoJoinedAndWhoLeft) {
  WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/NODELIST", "002"}}));
  ProcessRun none = Run("changes", {});
  EXPECT_EQ(none.status, 3);  // no list at all
  Put("nl/NODELIST.001", MakeList("day 1", {"Zone,1,One", "Host,2,Net", ",1,A", ",2,B", "Zone,2,Two", ",3,C"}), 7200);
  Put("nl/NODELIST.002", MakeList("day 2", {"Zone,1,One", "Host,2,Net", ",1,A,CM", ",5,E", "Zone,2,Two", ",3,C"}), 60);
  const std::string head = "nl/NODELIST.002 against nl/NODELIST.001: 6 nodes (+1, -1, 1 changed)\n";
  struct Case {
    const char* pattern;
    std::string out;
  } cases[] = {
      {"", head + "~ 1:2/1 ,1,A,CM\n- 1:2/2 ,2,B\n+ 1:2/5 ,5,E\n"},
      {"1:*", head + "~ 1:2/1 ,1,A,CM\n- 1:2/2 ,2,B\n+ 1:2/5 ,5,E\n"},
      {"1:2/*", head + "~ 1:2/1 ,1,A,CM\n- 1:2/2 ,2,B\n+ 1:2/5 ,5,E\n"},
      {"1:2/5", head + "+ 1:2/5 ,5,E\n"},
      {"2:*", head},
  };
  for (const Case& c : cases) {
    ProcessRun run = Run("changes", c.pattern[0] ? std::vector<std::string>{c.pattern} : std::vector<std::string>{});
    EXPECT_EQ(run.status, 0) << c.pattern << run.err;
    EXPECT_EQ(run.out, c.out) << c.pattern;
  }
  EXPECT_EQ(Run("changes", {"1:2"}).status, 2);
  fs::remove(dir_.path() / "nl/NODELIST.001");
  ProcessRun alone = Run("changes", {});
  EXPECT_EQ(alone.status, 3);
  EXPECT_NE(alone.err.find(Shown("nl/NODELIST.002") + ": no numbered list before it"), std::string::npos) << alone.err;
}

TEST_F(WeeklyTest, ChangesOfTheRealWeek) {
  if (SharedDataDir().empty()) GTEST_SKIP() << "no ../shared/data beside the project";
  WriteFile(dir_ / "nlindex.qdx", IndexHead({{"nl/NODELIST", "003"}}));
  Put("nl/NODELIST.362", ReadFile(SharedDataDir() + "/nodelist.362"), 7 * 86400);
  Put("nl/NODELIST.003", ReadFile(SharedDataDir() + "/nodelist.003"));
  ProcessRun run = Run("changes", {});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "nl/NODELIST.003 against nl/NODELIST.362: 33,583 nodes (+49, -165, 303 changed)");
  std::map<char, int> signs;
  std::tuple<int, int, int> last{0, 0, 0};
  while (std::getline(lines, line)) {
    ++signs[line[0]];
    std::tuple<int, int, int> address{0, 0, 0};
    ASSERT_EQ(std::sscanf(line.c_str() + 2, "%d:%d/%d", &std::get<0>(address), &std::get<1>(address),
                          &std::get<2>(address)), 3) << line;
    EXPECT_LE(last, address) << line;
    last = address;
  }
  EXPECT_EQ(signs, (std::map<char, int>{{'+', 49}, {'-', 165}, {'~', 303}}));
  ProcessRun zone3 = Run("changes", {"3:*"});
  EXPECT_EQ(zone3.status, 0);
  EXPECT_EQ(std::count(zone3.out.begin(), zone3.out.end(), '\n'), 1 + 43);
  EXPECT_EQ(zone3.out.find(" 1:"), std::string::npos);
}

}  // namespace
}  // namespace tessel::test
