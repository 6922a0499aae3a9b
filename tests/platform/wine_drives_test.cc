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

}  // namespace
}  // namespace tessel::test

#else
#include <gtest/gtest.h>

TEST(WineDrivesTest, NotOnWindows) { GTEST_SKIP() << "drive letters are the system's own on Windows"; }
#endif  // _WIN32
