// End-to-end tests of tessel-index (init, show, find, verify) around real
// runs of tessel, and of the nodelist generator.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "test_util.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

ProcessRun Tool(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  return RunTool(TESSEL_INDEX_BINARY, dir, args, env);
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Builds the index in "dir" and checks that tessel succeeded.
void Compile(const std::string& dir) {
  RunResult run = RunTessel(dir, {"-F"});
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_NE(run.out.find("nodes processed"), std::string::npos) << run.out;
}

// The text from a line's system name on: what an entry points at.
std::string TailOf(const std::string& line) {
  size_t first = line.find(',');
  return line.substr(line.find(',', first + 1) + 1);
}

TEST(IndexToolInit, WritesTheHeadAndAHostConfigThatTesselFollows) {
  ScopedTempDir dir;
  std::string home = dir / "home", data = dir / "data";
  fs::create_directory(home);
  fs::create_directory(data);
  std::vector<std::string> lines = {"Zone,3,Zc,Pl,Zed_Ay,x,", "Host,30,Hs,Pl,Hal_Bo,x,", ",7,Sy,Pl,Ann_Cy,x,"};
  WriteFile(home + "/nodelist.123", Lines(lines));

  ProcessRun init = Tool(home, {"init", "--data", data, "--home", home, "NODELIST", "other/LIST2"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(ReadFile(data + "/nlindex.qdx"), IndexHead({{"NODELIST", ""}, {"other/LIST2", ""}}));
  std::string config = ReadFile(home + "/config.qdx");
  ASSERT_GE(config.size(), 201u);
  std::string data_path = fs::path(data + "/").make_preferred().string();
  EXPECT_EQ(config.substr(155, 1 + data_path.size()), static_cast<char>(data_path.size()) + data_path);

  // tessel, run in the home directory, finds the index through KORVO.
  RunResult build = RunTessel(home, {}, {"KORVO=" + home});
  ASSERT_EQ(build.status, 0) << build.out;
  EXPECT_NE(build.out.find("Nodelist other/LIST2 not found"), std::string::npos) << build.out;
  ProcessRun show = Tool(home, {"show", "--data", data});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("   1  NODELIST" + std::string(32, ' ') + "  123  3\n"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("Node-number section: 3 entries from byte 107\n"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("Sysop-name section:  3 entries from byte 143\n"), std::string::npos) << show.out;
  ProcessRun find = Tool(home, {"find", "--data", data, "3:30/7"});
  EXPECT_EQ(find.out, "slot 1  3:30/7  ANN CY\n    " + TailOf(lines[2]) + "\n");
  EXPECT_EQ(Tool(home, {"verify", "--data", data}).status, 0);
}

// init --force waits while a run holds the data directory's lock, then
// replaces the index and config.qdx by renaming new files over them: a
// program that has the old index open keeps reading the old bytes.
TEST(IndexToolInit, ReplacesFilesWholeAfterWaitingForTheRunLock) {
#ifdef _WIN32
  GTEST_SKIP() << "holds the lock with flock(), which Windows lacks; the Win32 lock has its own test";
#else
  ScopedTempDir dir;
  std::string data = dir / "data", home = dir / "home";
  fs::create_directory(data);
  fs::create_directory(home);
  const std::string old_index = IndexHead({{"OLDLIST", "001"}}) + std::string(240, 'e');
  WriteFile(data + "/nlindex.qdx", old_index);
  WriteFile(home + "/config.qdx", HostConfig("/somewhere/else/"));
  int reader = open((data + "/nlindex.qdx").c_str(), O_RDONLY | O_CLOEXEC);
  int held = open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  pid_t pid = StartProcess({TESSEL_INDEX_BINARY, {"init", "--force", "--data", data, "--home", home, "NODELIST"}, dir / "",
                            EnvironmentWithout({"KORVO"}), 60},
                           out[1]);
  close(out[1]);
  std::string said;
  char buffer[512];
  while (said.find("...\n") == std::string::npos) {
    ssize_t n = read(out[0], buffer, sizeof buffer);
    ASSERT_GT(n, 0) << said;
    said.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(said, "Waiting for another run to finish with " + data + "...\n");
  EXPECT_EQ(ReadFile(data + "/nlindex.qdx"), old_index);
  close(held);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  close(out[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  EXPECT_EQ(ReadFile(data + "/nlindex.qdx"), IndexHead({{"NODELIST", ""}}));
  EXPECT_EQ(ReadFile(home + "/config.qdx").substr(155, 1 + data.size() + 1), static_cast<char>(data.size() + 1) + data + "/");
  std::string seen(old_index.size() + 1, '\0');
  EXPECT_EQ(pread(reader, seen.data(), seen.size(), 0), static_cast<ssize_t>(old_index.size()));
  EXPECT_EQ(seen.substr(0, old_index.size()), old_index);
  close(reader);
  for (const std::string& left : {data + "/nlindex.bar", home + "/config.bar"}) EXPECT_FALSE(Exists(left)) << left;
#endif
}

TEST(IndexToolInit, RefusesWhatTheHostCannotHoldAndBadCommandLines) {
  ScopedTempDir dir;
  WriteFile(dir / "nlindex.qdx", "keep");
  std::vector<std::string> many(256, "NODELIST");
  many.insert(many.begin(), "init");
  std::string deep = dir / std::string(45, 'd');
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"init", "--force", std::string(41, 'N')}, "at most 40"},
      {{"init", "--force", "NL"}, "fewer than 5"},
      {{"init", "--force", "nl/NODELIST.362"}, "numbered extension; use \"nl/NODELIST\""},
      {{"init", "--force", "nl/NODELIST.Z03"}, "archive's extension, which names no list tessel reads; use \"nl/NODELIST\""},
      {{"init", "--force", "nl/NODELIST", "NL\\nodelist"}, "\"NL\\nodelist\" is already catalogued as \"nl/NODELIST\""},
      {many, "at most 255"},
      {{"init", "NODELIST"}, "nlindex.qdx: exists"},
      {{"init", "--force", "--data", deep, "--home", dir.path(), "NODELIST"}, "at most 45"},
      {{}, "usage:"},
      {{"list"}, "unknown command"},
      {{"show", "--force"}, "unknown option"},
      {{"verify", "extra"}, "takes no operands"},
      {{"find", "--data"}, "needs a directory"},
      {{"find"}, "needs an address or a name"},
      {{"changes", "1:*", "2:*"}, "changes takes at most one pattern"},
      {{"update", "--done", ""}, "--done needs a directory"},
  };
  for (const Case& c : cases) {
    ProcessRun run = Tool(dir.path(), c.args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << c.message;
  }
  EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), "keep");
  EXPECT_FALSE(Exists(dir / "config.qdx"));
  EXPECT_FALSE(Exists(deep));

  ProcessRun forced = Tool(dir.path(), {"init", "--force", "NODELIST"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(ReadFile(dir / "nlindex.qdx"), IndexHead({{"NODELIST", ""}}));
  EXPECT_EQ(Tool(dir.path(), {"--help"}).status, 0);
}

// Two nodelists (one LF-only) that share net 1:100, with node 1:100/5 in
// both; the catalogue names the first in upper case.
class TwoListIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "netone.101", Lines(one_));
    WriteFile(dir_ / "nettwo.202", Lines(two_, "\n"));
    ASSERT_EQ(Tool(dir_.path(), {"init", "NETONE", "nettwo"}).status, 0);
    Compile(dir_.path());
    index_ = ReadFile(dir_ / "nlindex.qdx");
  }
  ProcessRun Verify() { return Tool(dir_.path(), {"verify"}); }

  ScopedTempDir dir_;
  std::vector<std::string> one_ = {";header", "Zone,1,Zc,Pl,Zed_Ay,x,", "Host,100,Hs,Pl,Hal_Bo,x,",
                                   ",5,Sys_A,Place,Ann_Lee,1-555,9600,CM", "Pvt,6,Sy,Pl,Bo_Dee,-Unpublished-,300,",
                                   ",7,Sy,Pl,bob_ray,x,"};
  std::vector<std::string> two_ = {"Zone,1,Zc,Pl,Zed_Ay,x,", "Host,100,Hs2,Pl,Cy_Ann,x,", "Hub,2,Sy,Pl,Bo_Dee,x,",
                                   ",5,Other,Town,Ann_Lee,1-777,2400,XA"};
  std::string index_;
};

TEST_F(TwoListIndex, FindsByAddressInBothListsAndByNamePrefix) {
  ProcessRun both = Tool(dir_.path(), {"find", "1:100/5"});
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_NE(both.out.find("slot 1  1:100/5  ANN LEE\n    " + TailOf(one_[3]) + "\n"), std::string::npos) << both.out;
  EXPECT_NE(both.out.find("slot 2  1:100/5  ANN LEE\n    " + TailOf(two_[3]) + "\n"), std::string::npos) << both.out;
  EXPECT_EQ(Count(both.out, "slot "), 2);

  EXPECT_EQ(Count(Tool(dir_.path(), {"find", "ann_lee"}).out, "ANN LEE\n"), 2);
  ProcessRun prefix = Tool(dir_.path(), {"find", "BO"});  // Bob Ray and the hub's Bo Dee; Pvt lines have no entry
  EXPECT_EQ(Count(prefix.out, "slot "), 2) << prefix.out;
  EXPECT_NE(prefix.out.find("slot 1  1:100/7  BOB RAY\n    " + TailOf(one_[5]) + "\n"), std::string::npos);
  EXPECT_NE(prefix.out.find("slot 2  1:100/2  BO DEE\n"), std::string::npos) << prefix.out;
  EXPECT_EQ(Count(Tool(dir_.path(), {"find", "Zed", "Ay"}).out, "1:1/0  ZED AY"), 2);

  for (std::string missing : {"1:100/6", "9:9/9", "Nobody"}) {
    ProcessRun none = Tool(dir_.path(), {"find", missing});
    EXPECT_EQ(none.status, 1) << missing;
    EXPECT_NE(none.err.find("nlindex.qdx"), std::string::npos) << none.err;
  }
}

TEST_F(TwoListIndex, FindTakesTheAddressFormsSysopsType) {
  std::string plain = Tool(dir_.path(), {"find", "1:100/5"}).out;
  ProcessRun point_zero = Tool(dir_.path(), {"find", "1:100/5.0"});
  EXPECT_EQ(point_zero.status, 0) << point_zero.err;
  EXPECT_EQ(point_zero.out, plain);
  ProcessRun domain = Tool(dir_.path(), {"find", "1:100/5.0@fidonet"});
  EXPECT_EQ(domain.status, 0) << domain.err;
  EXPECT_EQ(domain.out, "Domain @fidonet is not kept in the index; every nodelist's 1:100/5 is shown.\n" + plain);

  ProcessRun point = Tool(dir_.path(), {"find", "1:100/5.1@fidonet"});
  EXPECT_EQ(point.status, 1);
  EXPECT_NE(point.err.find("is a point; the index holds nodes only"), std::string::npos) << point.err;
  for (std::string bad : {"1:100", "1:100/x", "1:100/5@", "100/5", "1:100/5.0.0", "1:100/70000", "1:*"}) {
    ProcessRun run = Tool(dir_.path(), {"find", bad});
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.err.find("is not an address; use ZONE:NET/NODE"), std::string::npos) << run.err;
  }
}

// A net from both lists, host first, each address's nodes list by list.
TEST_F(TwoListIndex, FindListsAWholeNet) {
  ProcessRun net = Tool(dir_.path(), {"find", "1:100/*@fidonet"});
  ASSERT_EQ(net.status, 0) << net.err;
  std::string expected = "Domain @fidonet is not kept in the index; every nodelist's 1:100/* is shown.\n";
  for (const auto& [slot, address, line] : {std::tuple{1, "1:100/0  HAL BO", one_[2]}, {2, "1:100/0  CY ANN", two_[1]},
                                            {2, "1:100/2  BO DEE", two_[2]}, {1, "1:100/5  ANN LEE", one_[3]},
                                            {2, "1:100/5  ANN LEE", two_[3]}, {1, "1:100/7  BOB RAY", one_[5]}}) {
    expected += "slot " + std::to_string(slot) + "  " + address + "\n    " + TailOf(line) + "\n";
  }
  EXPECT_EQ(net.out, expected);
  EXPECT_EQ(Tool(dir_.path(), {"find", "1:101/*"}).status, 1);
  EXPECT_EQ(Tool(dir_.path(), {"find", "1:100/*.0"}).status, 2);
}

TEST_F(TwoListIndex, VerifyPassesTheBuildAndCatchesDamage) {
  ProcessRun clean = Verify();
  ASSERT_EQ(clean.status, 0) << clean.out;
  EXPECT_NE(clean.out.find("No faults."), std::string::npos);

  // Entries 0-7 are the node-number section, 8-15 the sysop-name section.
  constexpr size_t kFirst = 13 + 2 * 47;
  ASSERT_EQ(index_.size(), kFirst + 16 * 12);
  auto entry = [&](std::string* bytes, int k) { return bytes->data() + kFirst + 12 * k; };
  auto find_entry = [&](int from, uint16_t node, uint8_t slot_byte) {
    for (int k = from; k < from + 8; ++k) {
      Entry e = ReadEntry(index_, kFirst + 12 * k);
      if (e.node == node && e.slot == slot_byte) return k;
    }
    return -1;
  };
  int hub = find_entry(0, 2, 2), named_bob = find_entry(8, 7, 255);
  ASSERT_GE(hub, 0);
  ASSERT_GE(named_bob, 0);
  struct Case {
    std::string name;
    std::function<void(std::string*)> damage;
    std::string fault;
  } cases[] = {
      {"node number", [&](std::string* b) { entry(b, hub)[5] = 3; }, "not node 1:100/3"},
      {"offset", [&](std::string* b) { ++entry(b, named_bob)[8]; }, "not a comma"},
      {"tail length", [&](std::string* b) { --entry(b, hub)[7]; }, "stops short of its line's end"},
      {"slot byte", [&](std::string* b) { entry(b, named_bob)[0] = 1; }, "names no catalogued nodelist"},
      {"order", [&](std::string* b) { std::swap_ranges(entry(b, 1), entry(b, 2), entry(b, 7)); }, "out of order"},
      {"size", [&](std::string* b) { b->pop_back(); }, "not FirstEntryOffset 107 plus whole 12-byte entries"},
      {"cut after the head", [&](std::string* b) { b->resize(kFirst); }, "holds no entries, though its catalogue says"},
      {"extension blanked", [&](std::string* b) { (*b)[12 + 41] = 0; }, "slot 1 holds entries, but its catalogue names no"},
  };
  for (const Case& c : cases) {
    std::string damaged = index_;
    c.damage(&damaged);
    WriteFile(dir_ / "nlindex.qdx", damaged);
    ProcessRun run = Verify();
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.out.find("fault: nlindex.qdx"), std::string::npos) << c.name << "\n" << run.out;
    EXPECT_NE(run.out.find(c.fault), std::string::npos) << c.name << "\n" << run.out;
  }
}

// A list cut shorter since the build: find names it and what to do, with
// status 1, by address and by name, instead of printing empty lines.
TEST_F(TwoListIndex, FindSaysWhenAListChangedSinceTheBuild) {
  WriteFile(dir_ / "nettwo.202", Lines({two_[0], two_[1]}, "\n"));
  for (std::string wanted : {"1:100/5", "Ann_Lee", "1:100/*"}) {
    ProcessRun run = Tool(dir_.path(), {"find", wanted});
    EXPECT_EQ(run.status, 1) << wanted;
    EXPECT_NE(run.err.find("nettwo.202: changed since the index was built (the entry of 1:100/"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("tessel -F rebuilds the index"), std::string::npos) << run.err;
  }
}

TEST(NodelistGenerator, WritesRepeatableListsThatCompileClean) {
  ScopedTempDir dir;
  auto generate = [&](const std::string& seed, const std::string& name, const std::string& style) {
    std::vector<std::string> args = {"1500", seed, name};
    if (!style.empty()) args.push_back(style);
    ProcessRun run = RunTool(TESSEL_MAKE_NODELIST_BINARY, dir.path(), args);
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadFile(dir / name);
  };
  std::string lf = generate("7", "genlf.001", "--lf");
  EXPECT_EQ(generate("7", "again.001", "--lf"), lf);
  EXPECT_NE(generate("8", "other.001", "--lf"), lf);
  std::string crlf = generate("7", "gencr.001", "");
  EXPECT_EQ(Count(lf, "\r"), 0);
  EXPECT_EQ(Count(crlf, "\r\n"), Count(lf, "\n"));
  LinkOrCopy(std::string(TESSEL_EXAMPLES_DIR) + "/NODELIST.001", dir / "example.001");

  ASSERT_EQ(Tool(dir.path(), {"init", "genlf", "example"}).status, 0);
  Compile(dir.path());
  ProcessRun verify = Tool(dir.path(), {"verify"});
  EXPECT_EQ(verify.status, 0) << verify.out;
  // The last plain node line of the LF list, found by its sysop's name.
  std::string line = lf.substr(lf.rfind("\n,") + 1);
  line = line.substr(0, line.find('\n'));
  std::string tail = TailOf(line);
  std::string sysop = TailOf(tail);
  sysop = sysop.substr(0, sysop.find(','));
  ProcessRun find = Tool(dir.path(), {"find", sysop});
  EXPECT_NE(find.out.find("\n    " + tail + "\n"), std::string::npos) << sysop << "\n" << find.out;
}

// A bulletin board's directory with its nodelists under nl/, the index in a
// data directory that config.qdx in the home directory names, as check
// explains it at each stage of setting up.
TEST(IndexToolCheck, ExplainsAMissingIndexAGoodSetupAndAMissingNodelist) {
#ifdef _WIN32
  GTEST_SKIP() << "check shows absolute paths in the system's own form, with backslashes";
#else
  ScopedTempDir dir;
  std::string bbs = dir / "bbs", home = dir / "home", data = dir / "data";
  for (const std::string& d : {bbs, bbs + "/nl", home, data, data + "/nl"}) fs::create_directory(d);
  std::string korvo = "KORVO=" + home;
  auto expect_line = [](const ProcessRun& run, const std::string& line) {
    EXPECT_NE(run.out.find("\n" + line + "\n"), std::string::npos) << "no line: " << line << "\n" << run.out;
  };

  ProcessRun none = Tool(bbs, {"check"}, {korvo});
  EXPECT_EQ(none.status, 1);
  expect_line(none, "  nlindex.qdx in the current directory: not there");
  expect_line(none, "  KORVO names " + home + "/");
  expect_line(none, "  " + home + "/config.qdx: not there");
  EXPECT_NE(none.out.find("tessel finds no index"), std::string::npos) << none.out;

  WriteFile(bbs + "/nl/nodelist.042", Lines({"Zone,3,Zc,Pl,Zed_Ay,x,", ",7,Sy,Pl,Ann_Cy,x,"}));
  ASSERT_EQ(Tool(bbs, {"init", "--data", data, "--home", home, "nl/NODELIST"}).status, 0);
  ProcessRun fresh = Tool(bbs, {"check"}, {korvo});
  EXPECT_EQ(fresh.status, 0) << fresh.out;
  expect_line(fresh, "  its DataPath: \"" + data + "/\"");
  expect_line(fresh, "  " + data + "/nlindex.qdx: found");
  expect_line(fresh, "  slot 1  nl/NODELIST: reads nl/nodelist.042");
  expect_line(fresh, "  yes: slot 1 has a new file, nl/nodelist.042 (the index was built from none of its files yet)");
  ASSERT_EQ(RunTessel(bbs, {}, {korvo}).status, 0);
  expect_line(Tool(bbs, {"check"}, {korvo}), "  no: tessel would say the index is up to date (tessel -F forces a rebuild)");

  // A slot whose list lies under the data directory only, a base name with
  // its number and one too short to be used.
  WriteFile(data + "/nl/other.001", Lines({"Zone,4,Zc,Pl,Zed_Ay,x,"}));
  WriteFile(data + "/nlindex.qdx", IndexHead({{"nl/NODELIST", "042"}, {"nl/OTHER", ""}, {"nl/NODELIST.042", ""}, {"NL", ""}}));
  ProcessRun missing = Tool(bbs, {"check"}, {korvo});
  EXPECT_EQ(missing.status, 1);
  expect_line(missing, "  slot 2  nl/OTHER: missing (no OTHER.nnn in " + bbs + "/nl/)");
  expect_line(missing, "  - slot 2: no nodelist for nl/OTHER in " + bbs + "/nl/; run from " + data +
                           "/ tessel would find it (nodelist paths are taken from the directory tessel runs in)");
  EXPECT_NE(missing.out.find("\"nl/NODELIST.042\" already carries a numbered extension, so tessel reads "
                             "nl/NODELIST.042.042; the base name should be \"nl/NODELIST\""),
            std::string::npos) << missing.out;
  EXPECT_NE(missing.out.find("base name \"NL\" is too short"), std::string::npos) << missing.out;
  // The head says slot 1 was built from nodelist.042, yet no entry follows.
  EXPECT_NE(missing.out.find("though its catalogue says tessel built it: it was cut short"), std::string::npos);
  EXPECT_NE(missing.out.find("\n5 problems:\n"), std::string::npos) << missing.out;
  // tessel agrees.
  RunResult build = RunTessel(bbs, {"-F"}, {korvo});
  EXPECT_NE(build.out.find("Nodelist nl/OTHER not found"), std::string::npos) << build.out;
  EXPECT_NE(build.out.find("Nodelist nl/NODELIST.042 not found"), std::string::npos) << build.out;

  // A host configuration that cannot be read stops tessel, and check.
  fs::create_directory(bbs + "/config.qdx");
  ProcessRun stopped = Tool(bbs, {"check"});
  EXPECT_EQ(stopped.status, 3);
  EXPECT_NE(stopped.out.find("tessel would stop reading the host configuration: "), std::string::npos) << stopped.out;
#endif
}

// The manual pages say what the usage texts say: every command, option and
// exit status of tessel-index's help and every option of the generator's
// usage, every exit status the guide to unattended runs lists, and the
// build's version.
TEST(ManPages, AgreeWithTheUsageTextsAndTheUnattendedGuide) {
  auto page = [](const std::string& name) {
    std::string text = ReadFile(std::string(TESSEL_SOURCE_DIR) + "/man/" + name + ".1");
    for (size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at)) text.erase(at, 1);
    return text;
  };
  auto exit_section = [](const std::string& text) {
    size_t start = text.find(".SH EXIT STATUS");
    return text.substr(start, text.find(".SH", start + 1) - start);
  };
  std::string index_page = page("tessel-index"), tessel_page = page("tessel");
  ProcessRun help = Tool(".", {"--help"});
  ASSERT_EQ(help.status, 0);
  std::smatch match;
  std::regex word("(tessel-index [a-z]+|--[a-z]+)");
  for (std::string rest = help.out; std::regex_search(rest, match, word); rest = match.suffix()) {
    EXPECT_NE(index_page.find(match[1].str()), std::string::npos) << match[1];
  }
  std::string statuses = help.out.substr(help.out.find("Exit status:"));
  std::regex status("([0-9]+) [a-z]");
  int status_count = 0;
  for (; std::regex_search(statuses, match, status); statuses = match.suffix(), ++status_count) {
    EXPECT_NE(exit_section(index_page).find(".B " + match[1].str() + "\n"), std::string::npos) << match[1];
  }
  EXPECT_EQ(status_count, 4);

  ProcessRun generator = RunTool(TESSEL_MAKE_NODELIST_BINARY, ".", {});
  std::string generator_page = page("tessel-make-nodelist");
  for (std::string option : {"--zones", "--lf"}) {
    EXPECT_NE(generator.err.find(option), std::string::npos) << generator.err;
    EXPECT_NE(generator_page.find(option), std::string::npos) << option;
  }

  // docs/unattended.md's tables: "tessel:", then "tessel-index:", rows "| N | ... |".
  std::string guide = ReadFile(std::string(TESSEL_SOURCE_DIR) + "/docs/unattended.md");
  size_t tables = guide.find("\n## Exit status");
  ASSERT_NE(tables, std::string::npos);
  size_t index_table = guide.find("\ntessel-index:\n", tables);
  size_t end = guide.find("\n## ", tables + 1);
  std::regex row("\n\\| ([0-9]+) \\|");
  int rows = 0;
  for (auto [text, from, to] : {std::tuple{tessel_page, tables, index_table}, {index_page, index_table, end}}) {
    for (std::string rest = guide.substr(from, to - from); std::regex_search(rest, match, row);
         rest = match.suffix(), ++rows) {
      EXPECT_NE(exit_section(text).find(".B " + match[1].str() + "\n"), std::string::npos) << match[1];
    }
  }
  EXPECT_EQ(rows, 10);

  ProcessRun version = Tool(".", {"--version"});
  EXPECT_EQ(version.out, "tessel-index (Tessel) " TESSEL_VERSION "\n");
  for (const std::string& text : {tessel_page, index_page, generator_page}) {
    EXPECT_NE(text.find("\"Tessel " TESSEL_VERSION "\""), std::string::npos);
  }
}

// The published lists, CR LF and LF-only, catalogued together.
TEST(IndexToolRealLists, CompileAndVerifyCleanTogether) {
  std::string data = SharedDataDir();
  if (data.empty()) GTEST_SKIP() << "no shared nodelists";
  ScopedTempDir dir;
  // Each under its own base name, so each is the newest file of its name.
  const std::pair<std::string, std::string> lists[] = {
      {"nodelist.362", "fido96.362"}, {"nodelist.003", "fido97.003"}, {"NODELIST.122", "fido14.122"},
      {"tqwnet.233", "tqwnet.233"}};
  for (const auto& [from, to] : lists) LinkOrCopy(data + "/" + from, dir / to);
  ASSERT_EQ(Tool(dir.path(), {"init", "FIDO96", "fido97", "fido14", "tqwnet"}).status, 0);
  Compile(dir.path());

  ProcessRun verify = Tool(dir.path(), {"verify"});
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find("No faults."), std::string::npos) << verify.out;
  // Zone and Region 1337 of the tqwNet list are both 1337:1337/0.
  EXPECT_EQ(Count(Tool(dir.path(), {"find", "1337:1337/0"}).out, "slot 4  1337:1337/0  CHRISTIAN SACKS\n"), 2);
  // The same node in the 1996 list (CR LF) and the 1997 one (LF only).
  ProcessRun long_name = Tool(dir.path(), {"find", "joe_nicholson_&"});
  EXPECT_EQ(Count(long_name.out, "  JOE NICHOLSON & MARJ MILL\n    9-1-1_BBS,La_Mesa_CA,Joe_Nicholson_&_Marj_Mills,"),
            2)
      << long_name.out;
}

}  // namespace
}  // namespace tessel::test
