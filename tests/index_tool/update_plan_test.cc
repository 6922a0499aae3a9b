// update's decisions without a disk: what each stage of the plan makes of
// the files it is told of, and of what the writer reports of their bytes.
#include "index_tool/update_plan.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessel::test {
namespace {

// A first line of network "network" for January "day", 1997, stating "crc".
std::string Line(int day, const std::string& network = "FidoNet", const char* crc = "12345") {
  std::string number = std::to_string(1000 + day).substr(1);
  return ";A " + network + " Nodelist for Friday, January " + std::to_string(day) + ", 1997 -- Day number " + number +
         " : " + crc;
}

Source In(const std::string& path) { return Source{path, path.substr(path.rfind('/') + 1), false, "", 0}; }

std::vector<std::string> Said(const Words& words) {
  std::vector<std::string> said;
  for (const Word& w : words) {
    static const char* const kKinds[] = {"note ", "refuse ", "fail ", "mark "};
    static const char* const kVerdicts[] = {" [refused]", " [done]", " [kept]"};
    said.push_back(kKinds[static_cast<int>(w.kind)] + w.path + ": " + w.text +
                   (w.verdict ? kVerdicts[static_cast<int>(*w.verdict)] : ""));
  }
  return said;
}

void Add(std::vector<std::string>* to, const std::vector<std::string>& more) {
  to->insert(to->end(), more.begin(), more.end());
}

const BaseNames kNames = {"nl/NODELIST", "nl/", "NODELIST", "NODEDIFF", "002"};
const FullListCrc kChecks = {{true, 100, 100}, true, 100};

TEST(UpdatePlan, EachStageDecidesFromWhatItIsTold) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>()> run;
    std::vector<std::string> expected;
  } cases[] = {
      {"sources: each directory searched once, in order; an unlisted nodelist directory stops the base name",
       [] {
         ToolOptions options;
         options.inbound = {"in", "./in/", "nl"};
         options.diff_names = {{"NL\\nodelist", "FIDODIFF"}};
         BaseNames names = NamesOf({"nl/NODELIST", "001"}, options);
         std::vector<std::string> dirs = SourceDirs(names, options), said = {names.dir + " " + names.diff_name};
         std::vector<DirEntry> nl = {{"FIDODIFF.002"}, {"NODELIST.001"}}, in = {{"NODELIST.003"}, {"NODELIST.Z04"}};
         BaseSources planned = PlanSources(names, dirs, {&nl, &in});
         for (const Source& s : planned.files.full_lists) said.push_back("full " + s.path);
         for (const Source& s : planned.files.diffs) said.push_back("diff " + s.path);
         Add(&said, Said(PlanSources(names, dirs, {nullptr}).words));
         for (const std::string& path :
              LeftoverLists(kNames, {{"NODELIST.002.123.new"}, {"NODELIST.002.new"}, {"OTHER.002.1.new"}})) {
           said.push_back("remove " + path);
         }
         return said;
       },
       {"nl/ FIDODIFF", "full in/NODELIST.003", "full in/NODELIST.Z04", "diff nl/FIDODIFF.002",
        "fail nl/: cannot be listed, so the lists of nl/NODELIST are not found from the current directory",
        "remove nl/NODELIST.002.123.new", "remove nl/NODELIST.002.new"}},
      {"reading: a file not read to its end stays for the next run, whatever else is made of it",
       [] {
         std::vector<std::string> said;
         for (ReadOutcome outcome :
              {ReadOutcome::kRead, ReadOutcome::kRefused, ReadOutcome::kFailed, ReadOutcome::kPostponed}) {
           Add(&said, Said(ReadWords(outcome, "in/X", "why")));
         }
         return said;
       },
       {"refuse in/X: why", "fail in/X: why [kept]", "note in/X: why [kept]"}},
      {"full lists: one a day, in the order of their days, each checked",
       [] {
         Source sources[] = {In("in/NODELIST.005"), In("in/NODELIST.003"), In("nl/NODELIST.Z03"), In("in/NODELIST.004"),
                             In("in/NODELIST.006"), In("in/NODELIST.007"), In("in/NODELIST.008")};
         FullListRead reads[] = {{"005", Line(5), kChecks, ""},
                                 {"003", Line(3), kChecks, ""},
                                 {"003", Line(3), kChecks, ""},
                                 {"004", Line(4), kChecks, "nl/NODELIST.004"},
                                 {"006", "hello", kChecks, ""},
                                 {"007", Line(7), {{false, 0, 5}, false, 5}, ""},
                                 {"008", Line(8), {{true, 1, 2}, false, 3}, ""}};
         std::vector<FullList> lists;
         std::vector<std::string> said;
         for (size_t i = 0; i < std::size(sources); ++i) Add(&said, Said(TakeFullList(sources[i], reads[i], &lists)));
         for (const FullList& list : lists) said.push_back("take " + list.source->path);
         return said;
       },
       {"note nl/NODELIST.Z03: skipped, the list of that day comes from in/NODELIST.003 [done]",
        "note in/NODELIST.004: skipped, nl/NODELIST.004 is already there [done]",
        "refuse in/NODELIST.006: not a nodelist or nodediff: its first line is no nodelist's first line",
        "refuse in/NODELIST.007: the first line states no CRC",
        "refuse in/NODELIST.008: CRC does not check: the first line says 00001, the lines give 00002",
        "take in/NODELIST.003", "take in/NODELIST.005"}},
      {"installs: older lists just before the list in use, two seconds apart; newer ones after it",
       [] {
         Source sources[] = {In("in/NODELIST.002"), In("in/NODELIST.003"), In("in/NODELIST.006")};
         std::vector<FullList> lists = {
             {&sources[0], "002", Line(2), 1}, {&sources[1], "003", Line(3), 1}, {&sources[2], "006", Line(6), 1}};
         std::vector<std::string> said;
         for (const InUseList& in_use : {InUseList{true, "004", Line(4), 1000, 77}, InUseList{}}) {
           for (const ListInstall& i : PlanFullListInstalls(lists, in_use)) {
             said.push_back(i.list->day + (i.before ? " below " + std::to_string(i.rule.bound) + " by " +
                                                          std::to_string(i.rule.latest)
                                                    : " newest"));
           }
         }
         Add(&said, Said(JudgeReread(lists[0], "002", {{true, 1, 1}, true, 1})));
         Add(&said, Said(JudgeReread(lists[0], "009", {{true, 1, 1}, true, 1})));
         Add(&said, Said(JudgeReread(lists[0], "002", {{true, 2, 2}, true, 2})));
         return said;
       },
       {"002 below 77 by 996", "003 below 77 by 998", "006 newest", "002 newest", "003 newest", "006 newest",
        "refuse in/NODELIST.002: changed while the run read it [kept]",
        "refuse in/NODELIST.002: changed while the run read it [kept]"}},
      {"succession: another network is refused unless --accept names the file",
       [] {
         Succession other{"of another network", "3 nodes (+1, -0, 0 changed)", 3};
         std::vector<std::string> said;
         for (const char* accepted : {"", "nodelist.005", "./in/NODELIST.005", "out/NODELIST.005"}) {
           ToolOptions options;
           if (*accepted != '\0') options.accepted = {accepted};
           FollowDecision d = JudgeFollow(other, In("in/NODELIST.005"), true, options);
           Add(&said, Said(d.words));
           if (d.follows) said.push_back("follows: " + d.summary);
         }
         said.push_back("follows: " + JudgeFollow({"", "changes", 1}, In("in/NODELIST.005"), false, {}).summary);
         return said;
       },
       {"refuse in/NODELIST.005: of another network; if the network was renamed or cut, --accept in/NODELIST.005 "
        "takes it once",
        "note in/NODELIST.005: accepted with --accept: of another network", "follows: 3 nodes (+1, -0, 0 changed)",
        "note in/NODELIST.005: accepted with --accept: of another network", "follows: 3 nodes (+1, -0, 0 changed)",
        "refuse in/NODELIST.005: of another network; if the network was renamed or cut, --accept in/NODELIST.005 "
        "takes it once",
        "follows: 1 node"}},
      {"diffs: each applies once to the list whose first line it bears, and what it makes must check",
       [] {
         Source sources[] = {In("in/NODEDIFF.005"), In("in/NODEDIFF.004"), In("in/NODEDIFF.009")};
         std::vector<WaitingDiff> diffs;
         std::vector<std::string> said;
         Add(&said, Said(TakeDiff(sources[0], "005", Line(4), &diffs)));
         Add(&said, Said(TakeDiff(sources[1], "004", Line(3), &diffs)));
         Add(&said, Said(TakeDiff(sources[2], "009", "hello", &diffs)));
         for (const std::string& line : {Line(3), Line(3), Line(4)}) {
           WaitingDiff* next = NextDiff(&diffs, line);
           said.push_back(next == nullptr ? "none" : "apply " + next->source->path);
         }
         Add(&said, Said(JudgeDiffReread("in/D", Line(4), Line(5))));
         Add(&said, Said(JudgeAppliedDiff("in/D", {DiffStatus::kPastEnd, 3}, "line 3: past the end", {})));
         Add(&said, Said(JudgeAppliedDiff("in/D", {}, "applied", {false, 0, 7})));
         Add(&said, Said(JudgeAppliedDiff("in/D", {}, "applied", {true, 6, 7})));
         return said;
       },
       {"refuse in/NODEDIFF.009: not a nodelist or nodediff: its first line is no nodelist's first line",
        "apply in/NODEDIFF.004", "none", "apply in/NODEDIFF.005", "refuse in/D: changed while the run read it [kept]",
        "refuse in/D: line 3: past the end", "refuse in/D: the first line of the list it makes states no CRC",
        "refuse in/D: CRC of the list it makes does not check: the first line says 00006, the lines give 00007"}},
      {"unused diffs: why each applied to no list, what would bridge the gap, and which are redundant",
       [] {
         NewestList newest{"NODELIST.005", Line(5)};
         struct {
           std::string first_line, existing;
           NewestList newest;
         } unused[] = {{Line(7), "", newest},
                       {Line(3), "nl/NODELIST.003", newest},
                       {Line(2), "", newest},
                       {Line(2, "OtherNet"), "", newest},
                       {Line(5, "FidoNet", "11111"), "", newest},
                       {";A FidoNet Nodelist : 12345", "", newest},
                       {Line(7), "", {}}};
         Source source = In("in/NODEDIFF.X");
         std::vector<std::string> said;
         for (const auto& u : unused) {
           WaitingDiff diff{&source, "", u.first_line, false};
           said.push_back("look for " + DayToLookFor(diff, u.newest));
           Add(&said, Said(UnusedDiffWords(kNames, diff, u.newest, u.existing)));
         }
         return said;
       },
       {"look for 007",
        "note in/NODEDIFF.X: skipped, made for the list of day 007, which is not here; the newest list is "
        "nl/NODELIST.005, so a week is missing: NODEDIFF.007 or a full NODELIST.007 would bridge it",
        "look for 003",
        "note in/NODEDIFF.X: skipped, made for nl/NODELIST.003, which is not the newest list (already applied?) "
        "[done]",
        "look for 002",
        "note in/NODEDIFF.X: skipped, made for the list of day 002, which is not here (older than "
        "nl/NODELIST.005, or of another network) [done]",
        "look for 002",
        "note in/NODEDIFF.X: skipped, made for the list of day 002, which is not here (older than "
        "nl/NODELIST.005, or of another network)",
        "look for ",
        "refuse in/NODEDIFF.X: made for another edition of nl/NODELIST.005, the newest list (the diff's first "
        "line says CRC 11111, the list's 12345)",
        "look for ", "note in/NODEDIFF.X: skipped, applies to no list here", "look for 007",
        "note in/NODEDIFF.X: skipped, made for the list of day 007, which is not here"}},
      {"keep: the newest by time stay, and so do tessel's newest and the list the index was built from",
       [] {
         std::vector<FoundList> found = {{"NODELIST.001", 1}, {"NODELIST.002", 2}, {"NODELIST.003", 3},
                                         {"NODELIST.004", 5}, {"NODELIST.Z05", 9}, {"NODELIST.005", 4}};
         return ListsToRemove(kNames, found, "NODELIST.003", 1);
       },
       {"nl/NODELIST.005", "nl/NODELIST.001"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.run(), c.expected);
  }
}

}  // namespace
}  // namespace tessel::test
