// Drive-letter paths on Linux, resolved through a Wine prefix made up in a
// scratch directory; and a run of tessel serving a host under Wine.
#ifndef _WIN32
#include "platform/wine_drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

// PREFIX/dosdevices/c: leads to PREFIX/drive_c, as wineboot makes it.
std::string MakePrefix(const ScopedTempDir& dir) {
  std::string prefix = dir / "wine";
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(prefix + "/drive_c/BBS/Nodelist");
  fs::create_directories(prefix + "/drive_c/BBS/DATA");
  fs::create_symlink("../drive_c", prefix + "/dosdevices/c:");
  return prefix;
}

TEST(WineDrivesTest, ResolvesLettersAndNamesWithoutRegardToCase) {
  ScopedTempDir dir;
  std::string prefix = MakePrefix(dir);
  std::string c = prefix + "/dosdevices/c:";
  struct Case {
    std::string path, resolved;
  } cases[] = {
      {"C:/BBS/Nodelist/NODELIST", c + "/BBS/Nodelist/NODELIST"},
      {"c:/bbs/NODELIST/", c + "/BBS/Nodelist/"},
      {"C:/bbs/data/new/nlindex.qdx", c + "/BBS/DATA/new/nlindex.qdx"},  // "new" is not there: as written
      {"C:config.qdx", c + "/config.qdx"},
      {"C:", c},
      {"D:/BBS/x", "D:/BBS/x"},  // a letter the prefix does not map
      {"BBS/C:/x", "BBS/C:/x"},
      {"1:/x", "1:/x"},
      // "." and ".." by their letters, never above the drive.
      {"C:/../../BBS/DATA/", c + "/BBS/DATA/"},
      {"C:/nonexist/../bbs", c + "/BBS"},
      {"C:/BBS/Nodelist/../../..", c + "/"},
      {"C:/./BBS/./DATA/..", c + "/BBS/"},
      {"C:..", c + "/"},
      {"C:/BBS/x/../../../etc/passwd", c + "/etc/passwd"},
  };
  for (const Case& k : cases) EXPECT_EQ(ResolveWineDrive(k.path, prefix), k.resolved) << k.path;
  EXPECT_EQ(ResolveWineDrive("C:/BBS", ""), "C:/BBS");
  EXPECT_EQ(ResolveWineDrive("C:/BBS", dir / "nowhere"), "C:/BBS");
}

// The prefix is read from the environment the platform gives, not the process's.
TEST(WineDrivesTest, ThePrefixComesFromTheEnvironmentGiven) {
  const char* both[] = {"HOME=/home/sysop", "WINEPREFIX=/srv/wine", nullptr};
  const char* home[] = {"WINEPREFIX=", "HOME=/home/sysop", nullptr};
  const char* none[] = {"PATH=/bin", nullptr};
  EXPECT_EQ(WinePrefix(both), "/srv/wine");
  EXPECT_EQ(WinePrefix(home), "/home/sysop/.wine");
  EXPECT_EQ(WinePrefix(none), "");
}

// The host's configuration program under Wine wrote Windows paths: KORVO,
// the data directory in config.qdx and the catalogue's base name.
TEST(WineDrivesTest, TesselServesAHostUnderWine) {
  ScopedTempDir dir;
  std::string prefix = MakePrefix(dir);
  std::string bbs = prefix + "/drive_c/BBS";
  WriteFile(bbs + "/config.qdx", HostConfig("C:\\BBS\\DATA\\"));
  WriteFile(bbs + "/DATA/nlindex.qdx", IndexHead({{"C:\\BBS\\NODELIST\\NODELIST", ""}}));
  WriteFile(bbs + "/Nodelist/nodelist.001", Lines({"Zone,2,Europe,Somewhere,Jo_Sysop,-Unpublished-,300", ",5,Node,Here,Al_Sysop,-Unpublished-,300"}) + "\x1a");

  RunResult run = RunTessel(dir.path(), {}, {"KORVO=C:\\BBS", "WINEPREFIX=" + prefix});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Reading C:\\BBS\\NODELIST\\NODELIST.001..."), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    2 nodes processed\r\n"), std::string::npos) << run.out;
  std::string index = ReadFile(bbs + "/DATA/nlindex.qdx");
  EXPECT_EQ(index.substr(12 + 41, 4), std::string("\x03" "001"));

  // Without the prefix the letter means nothing, as before.
  run = RunTessel(dir.path(), {"-F"}, {"KORVO=C:\\BBS", "WINEPREFIX=" + dir / "nowhere", "HOME=" + dir / "nowhere"});
  EXPECT_EQ(run.out, Banner() + "nlindex.qdx not found; please set up nodelists in CONFIG.\a\r\n");
}


// tessel-index in the same layout: init makes the index in the data
// directory config.qdx names; show and check name drive paths as the prefix
// resolves them, and check says to set WINEPREFIX when none maps the letter.
TEST(WineDrivesTest, ToolMakesAndNamesTheHostsFilesThroughThePrefix) {
  ScopedTempDir dir;
  std::string prefix = MakePrefix(dir);
  std::string c = prefix + "/dosdevices/c:";
  WriteFile(c + "/BBS/config.qdx", HostConfig("C:\\BBS\\DATA\\"));
  WriteFile(c + "/BBS/Nodelist/nodelist.001", Lines({"Zone,2,Europe,Somewhere,Jo_Sysop,-Unpublished-,300"}) + "\x1a");
  std::vector<std::string> env = {"KORVO=C:\\BBS", "WINEPREFIX=" + prefix};
  auto tool = [&](const std::vector<std::string>& args, const std::vector<std::string>& with) {
    return RunTool(TESSEL_INDEX_BINARY, dir.path(), args, with);
  };
  ProcessRun init = tool({"init", "C:\\BBS\\NODELIST\\NODELIST"}, env);
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("Created " + c + "/BBS/DATA/nlindex.qdx with 1 slot"), std::string::npos) << init.out;
  EXPECT_TRUE(Exists(c + "/BBS/DATA/nlindex.qdx"));
  EXPECT_FALSE(Exists(dir / "nlindex.qdx"));
  EXPECT_NE(tool({"show"}, env).out.find("Index " + c + "/BBS/DATA/nlindex.qdx: "), std::string::npos);
  ProcessRun check = tool({"check"}, env);
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("tessel uses " + c + "/BBS/DATA/nlindex.qdx, 1 slot"), std::string::npos) << check.out;
  EXPECT_NE(check.out.find(": reads " + c + "/BBS/Nodelist/nodelist.001\n"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("/C:"), std::string::npos) << check.out;

  check = tool({"check"}, {"KORVO=C:\\BBS", "WINEPREFIX=" + dir / "nowhere"});
  EXPECT_EQ(check.status, 1) << check.out;
  EXPECT_NE(check.out.find("  - C: (in C:\\BBS) is a Windows drive, but the Wine prefix " + dir / "nowhere" +
                           " does not map it (it has no dosdevices/c:); set WINEPREFIX"),
            std::string::npos) << check.out;
}

}  // namespace
}  // namespace tessel::test

#else
#include <gtest/gtest.h>

TEST(WineDrivesTest, NotOnWindows) { GTEST_SKIP() << "drive letters are the system's own on Windows"; }
#endif  // _WIN32
