// The pure pieces of update's checks and of changes: a list's nodes, what
// changed between two lists, the network a first line names, whether a
// list may follow another, and the moves of finished files.
#include <gtest/gtest.h>

#include "index_tool/list_succession.h"
#include "index_tool/node_changes.h"
#include "index_tool/update_moves.h"
#include "testing/fake_platform.h"

namespace tessel {
namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// "sign address line" for every change, or "address line" for every node.
std::vector<std::string> Shown(const std::vector<NodeChange>& changes) {
  std::vector<std::string> shown;
  for (const NodeChange& c : changes) shown.push_back(c.sign + (" " + NodeAddressText(c.address)) + " " + std::string(c.line));
  return shown;
}

TEST(NodeChanges, NodesAreNumberedAsTesselNumbersThem) {
  std::string list = Lines({";A Test list", "Zone,2,Europe", ",1,Node", "Region,24,R", "Hub,100,H", "Pvt,5,P",
                            "Host,5020,Moscow", "Hold,7,Held", "Down,8,Gone", "Boss,9,Odd keyword", "no comma",
                            ",$A,Hex"}) +
                     ",11,Long" + std::string(300, 'x') + "\n,12,After the long line\n\x1A,13,After Ctrl-Z\r\n";
  std::vector<std::string> got;
  for (const ListNode& n : NodesOf(list)) got.push_back(NodeAddressText(n.address) + " " + std::string(n.line));
  std::vector<std::string> want = {
      "2:2/0 Zone,2,Europe",     "2:2/1 ,1,Node",       "2:24/0 Region,24,R",
      "2:24/5 Pvt,5,P",          "2:24/100 Hub,100,H",  "2:5020/0 Host,5020,Moscow",
      "2:5020/7 Hold,7,Held",    "2:5020/8 Down,8,Gone", "2:5020/9 Boss,9,Odd keyword",
      "2:5020/10 ,$A,Hex",       "2:5020/11 ,11,Long" + std::string(255 - 8, 'x'),
      "2:5020/12 ,12,After the long line"};
  EXPECT_EQ(got, want);
}

TEST(NodeChanges, ComparesByAddressAndLine) {
  struct Case {
    const char* name;
    std::vector<std::string> before, after, changes;
  } cases[] = {
      {"same", {"Zone,1,A", ",1,B"}, {"Zone,1,A", ",1,B"}, {}},
      {"added, removed, changed",
       {"Zone,1,A", ",1,B", ",2,C"},
       {"Zone,1,A", ",2,C,new flag", ",3,D"},
       {"- 1:1/1 ,1,B", "~ 1:1/2 ,2,C,new flag", "+ 1:1/3 ,3,D"}},
      {"a node moved to another net", {"Zone,1,A", "Host,2,N", ",5,E"}, {"Zone,1,A", "Host,3,N", ",5,E"},
       {"- 1:2/0 Host,2,N", "- 1:2/5 ,5,E", "+ 1:3/0 Host,3,N", "+ 1:3/5 ,5,E"}},
      {"an address listed twice", {"Zone,1,A", ",4,X", ",4,Y"}, {"Zone,1,A", ",4,Y", ",4,Z", ",4,W"},
       {"~ 1:1/4 ,4,W", "+ 1:1/4 ,4,Z"}},
      {"everything gone", {"Zone,1,A"}, {}, {"- 1:1/0 Zone,1,A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = Lines(c.before), after = Lines(c.after);
    std::vector<NodeChange> changes = CompareNodes(NodesOf(before), NodesOf(after));
    EXPECT_EQ(Shown(changes), c.changes);
  }
  EXPECT_EQ(ChangeSummary(33583, {49, 165, 303}), "33,583 nodes (+49, -165, 303 changed)");
  EXPECT_EQ(NodeCount(1), "1 node");
  EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
  EXPECT_EQ(GroupedNumber(999), "999");
}

TEST(ListSuccession, TheFirstLineNamesTheNetwork) {
  struct Case {
    const char* line;
    bool is_list;
    const char* network;
  } cases[] = {
      {";A FidoNet Nodelist for Friday, January 3, 1997 -- Day number 003 : 02616", true, "FidoNet"},
      {";A tqwnet Nodelist for Friday, August 21, 2026 -- Day number 233 : 18117", true, "tqwnet"},
      {";a Amiga  Net NODELIST FOR day 1", true, "Amiga Net"},
      {";A Nodelist for day 1", true, ""},
      {";A FidoNet Nodelist, no date", false, ""},
      {";S FidoNet Nodelist for day 1", false, ""},
      {"PK\x03\x04 Nodelist for", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string network = "?";
    EXPECT_EQ(NetworkOfFirstLine(c.line, &network), c.is_list) << c.line;
    if (c.is_list) {
      EXPECT_EQ(network, c.network) << c.line;
    }
  }
}

TEST(ListSuccession, AnotherNetworkOrACollapseIsAProblem) {
  auto list = [](const char* network, int nodes) {
    std::string text = ";A " + std::string(network) + " Nodelist for day 1 : 00000\r\nZone,1,Z\r\n";
    for (int n = 1; n < nodes; ++n) text += "," + std::to_string(n) + ",N\r\n";
    return text;
  };
  struct Case {
    std::string before, after, problem;
  } cases[] = {
      {list("FidoNet", 10), list("FIDONET", 5), ""},
      {list("FidoNet", 10), list("FidoNet", 4), "less than half the nodes of the list before it: new would be of "
                                                "network \"FidoNet\" with 4 nodes, after old of network \"FidoNet\" with 10 nodes"},
      {list("FidoNet", 10), "junk\r\n" + list("FidoNet", 10).substr(list("FidoNet", 10).find('\n') + 1),
       "another network's list: new would be of no network its first line names with 10 nodes, after old of "
       "network \"FidoNet\" with 10 nodes"},
  };
  for (const Case& c : cases) {
    Succession judged = JudgeSuccession("old", c.before, "new", c.after);
    EXPECT_EQ(judged.problem, c.problem);
  }
  Succession first = JudgeSuccession("", "", "new", list("tqwnet", 1));
  EXPECT_EQ(first.problem, "");
  EXPECT_EQ(first.summary, "1 node");
}

TEST(UpdateMoves, PlansByTheStrongestVerdictAndAFailedMoveLeavesTheFile) {
  std::map<std::string, FileVerdict> verdicts;
  NoteVerdict(&verdicts, "in/A", FileVerdict::kRefused);
  NoteVerdict(&verdicts, "in/A", FileVerdict::kDone);  // another base name applied it
  NoteVerdict(&verdicts, "in/B", FileVerdict::kRefused);
  NoteVerdict(&verdicts, "in/C", FileVerdict::kKept);
  NoteVerdict(&verdicts, "in/C", FileVerdict::kDone);
  NoteVerdict(&verdicts, "done/D", FileVerdict::kDone);  // already there
  std::vector<PlannedMove> moves = PlanMoves(verdicts, "done/", "bad/");
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].from + " " + moves[0].dir, "in/A done/");
  EXPECT_EQ(moves[1].from + " " + moves[1].dir, "in/B bad/");
  EXPECT_TRUE(PlanMoves(verdicts, "", "").empty());

  // A rename to another device fails: the file stays, and so does no
  // name taken for it.
  FakeDisk disk;
  Platform platform = MakeFakePlatform(&disk);
  std::string to, step;
  FaultPlan plan;
  plan.inner = &platform;
  plan.error = kErrNotSameDevice;
  Platform faulty = MakeFaultyPlatform(&plan);
  disk.files["in/B"].data = "bad";
  plan.fail_at = 3;  // create_new, close, rename
  EXPECT_EQ(CarryOutMove(faulty, moves[1], &to, &step), kErrNotSameDevice);
  EXPECT_TRUE(plan.fired);
  EXPECT_EQ(step, "rename it to bad/B");
  EXPECT_EQ(disk.files["in/B"].data, "bad");
  EXPECT_EQ(disk.files.count("bad/B"), 0u);
}

}  // namespace
}  // namespace tessel
