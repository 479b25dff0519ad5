// nds.ini: where it is found, how its entries are read, and what the two
// alias readers make of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "nds_test_support.h"

namespace nds_test {

using namespace nds;

namespace {

using nds_test::IniDir;
using nds_test::ScopedCurrentDirectory;
using nds_test::ScopedEnv;
using nds_test::TempDir;

TEST(ProfileText, SectionAndEntryNamesIgnoreLetterCase) {
  const std::string text =
      "[Other]\nVOLANTRAX=/wrong\n"
      "[dataBASES]\n  volantrax = /srv/volantra ;c \r\n";
  EXPECT_EQ(FindProfileValue(text, "Databases", "VOLANTRAX"), "/srv/volantra ;c");
  EXPECT_EQ(FindProfileValue(text, "DATABASES", "VolantraX"), "/srv/volantra ;c");
  EXPECT_EQ(FindProfileValue(text, "Other", "volantrax"), "/wrong");
}

TEST(ProfileText, MissingSectionOrEntryGivesEmpty) {
  const std::string text = "[Databases]\nA=/a\n[Next]\nB=/b\n";
  EXPECT_EQ(FindProfileValue(text, "Databases", "B"), "");
  EXPECT_EQ(FindProfileValue(text, "Missing", "A"), "");
  EXPECT_EQ(FindProfileValue("", "Databases", "A"), "");
  // An entry before any section belongs to no section.
  EXPECT_EQ(FindProfileValue("A=/x\n[Databases]\n", "Databases", "A"), "");
}

TEST(ProfileText, LineFormsCommentsQuotesAndDuplicates) {
  const std::string text =
      "\xEF\xBB\xBF[Databases]\r"
      "; A=/commented\r\n"
      "# A=/commented too\n"
      "no equals sign here\n"
      "Quoted=\"/with spaces/db\"\n"
      "A=/first\n"
      "A=/second\n"
      "[ Databases ]\n"
      "B=/in a second block\n"
      "Empty=\n"
      "Eq=/a=b\n";
  EXPECT_EQ(FindProfileValue(text, "Databases", "A"), "/first");
  EXPECT_EQ(FindProfileValue(text, "Databases", "Quoted"), "/with spaces/db");
  EXPECT_EQ(FindProfileValue(text, "Databases", "B"), "/in a second block");
  EXPECT_EQ(FindProfileValue(text, "Databases", "Empty"), "");
  EXPECT_EQ(FindProfileValue(text, "Databases", "Eq"), "/a=b");
}

TEST(AliasValue, PathAndTypeLetter) {
  EXPECT_EQ(SplitAliasValue("F:\\SHARE\\DATA").path, "F:\\SHARE\\DATA");
  EXPECT_EQ(SplitAliasValue("F:\\SHARE\\DATA").typeLetter, 0);
  EXPECT_EQ(SplitAliasValue("c:\\data\\app.ndd;N").path, "c:\\data\\app.ndd");
  EXPECT_EQ(SplitAliasValue("c:\\data\\app.ndd;N").typeLetter, 'N');
  // Only the first ";" and the one letter after it count.
  EXPECT_EQ(SplitAliasValue("/d;cdx;n").path, "/d");
  EXPECT_EQ(SplitAliasValue("/d;cdx;n").typeLetter, 'c');
  EXPECT_EQ(SplitAliasValue("/d;").typeLetter, 0);
  EXPECT_EQ(SplitAliasValue(";C").path, "");
}

TEST(AliasReaders, ConnectionAndDataSetTypesFromTheSameEntry) {
  IniDir dir;
  dir.WriteIni(
      "[Databases]\n"
      "VOLANTRAX=F:\\SHARE\\DATA\n"
      "DICT=c:\\data\\app.ndd;N\n"
      "CDX=/d;c\n"
      "NDT=c:\\data;a\n"
      "ODD=c:\\data;x\n"
      "BARE=c:\\data;\n"
      "NOPATH=;C\n");
  struct Case {
    const char* alias;
    const char* path;
    std::uint8_t connectionType;
    TNdsTableTypes dataSetType;
  };
  const Case cases[] = {
      {"VOLANTRAX", "F:\\SHARE\\DATA", kAliasTypeUnspecified, ttNdsNDT},
      {"dict", "c:\\data\\app.ndd", kAliasTypeNTX, ttNdsNTX},
      {"Cdx", "/d", kAliasTypeCDX, ttNdsCDX},
      {"NDT", "c:\\data", kAliasTypeNDT, ttNdsNDT},
      {"ODD", "c:\\data", kAliasTypeUnspecified, ttNdsNDT},
      {"BARE", "c:\\data", kAliasTypeUnspecified, ttNdsNDT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alias);
    const TConnectionAlias forConnection = ReadAliasForConnection(c.alias);
    EXPECT_TRUE(forConnection.found);
    EXPECT_EQ(forConnection.path, c.path);
    EXPECT_EQ(forConnection.tableType, c.connectionType);
    const TDataSetAlias forDataSet = ReadAliasForDataSet(c.alias);
    EXPECT_TRUE(forDataSet.found);
    EXPECT_EQ(forDataSet.path, c.path);
    EXPECT_EQ(forDataSet.tableType, c.dataSetType);
  }
  // A value that begins with ";" has no path and so is not found.
  EXPECT_FALSE(ReadAliasForConnection("NOPATH").found);
  EXPECT_FALSE(ReadAliasForDataSet("NOPATH").found);
  EXPECT_FALSE(ReadAliasForConnection("MISSING").found);
  EXPECT_EQ(ReadAliasForDataSet("MISSING").tableType, ttNdsNDT);
}

TEST(AliasReaders, EveryLookupReadsTheFileAgain) {
  IniDir dir;
  EXPECT_FALSE(ReadAliasForConnection("LATE").found);
  dir.WriteIni("[Databases]\nLATE=/first\n");
  EXPECT_EQ(ReadAliasForConnection("LATE").path, "/first");
  dir.WriteIni("[Databases]\nLATE=/second;C\n");
  EXPECT_EQ(ReadAliasForConnection("LATE").path, "/second");
  EXPECT_EQ(ReadAliasForDataSet("LATE").tableType, ttNdsCDX);
}

// A profile file is read up to 4 MB: an entry anywhere before that is
// found, even one spanning the pieces it is read in; one beyond is not.
TEST(ProfileFile, ReadUpToItsSizeLimit) {
  TempDir dir;
  const std::string file = dir.str() + "/nds.ini";
  std::string text = "[Databases]\n;" + std::string(8192 - 18, 'x') + "\n";
  text += "NEAR=/near\n";  // starts a few bytes before 8 KB
  text += ";" + std::string(4 * 1024 * 1024 - text.size() - 2, 'x') + "\n";
  text += "FAR=/far\n";  // starts at 4 MB
  {
    std::ofstream out(file, std::ios::binary);
    out << text;
  }
  EXPECT_EQ(ReadProfileString(file, "Databases", "NEAR"), "/near");
  EXPECT_EQ(ReadProfileString(file, "Databases", "FAR"), "");
  EXPECT_EQ(ReadProfileString(dir.str() + "/missing.ini", "Databases", "NEAR"), "");
}

TEST(ConfigFile, SearchOrderStartsWithProgramThenCurrentDirectory) {
  TempDir cwd, config;
  ScopedCurrentDirectory inCwd(cwd.str());
  ScopedEnv xdg("XDG_CONFIG_HOME", config.str().c_str());
  ScopedEnv path("PATH", "/usr/local/bin::/usr/bin");
  const auto dirs = ConfigSearchDirectories();
  ASSERT_EQ(dirs.size(), 7u);
  EXPECT_EQ(dirs[0], std::filesystem::canonical("/proc/self/exe").parent_path().string());
  EXPECT_EQ(dirs[1], std::filesystem::current_path().string());
  EXPECT_EQ(dirs[2], config.str());
  EXPECT_EQ(dirs[3], "/etc");
  EXPECT_EQ(dirs[4], "/usr/local/bin");
  EXPECT_EQ(dirs[5], std::filesystem::current_path().string());  // the empty PATH element
  EXPECT_EQ(dirs[6], "/usr/bin");
}

TEST(ConfigFile, UserConfigDirectoryFallsBackToHomeConfig) {
  TempDir home;
  ScopedEnv homeEnv("HOME", home.str().c_str());
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(ConfigSearchDirectories()[2], home.str() + "/.config");
  }
  {
    // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(ConfigSearchDirectories()[2], home.str() + "/.config");
  }
}

TEST(ConfigFile, CurrentDirectoryComesBeforeUserConfig) {
  TempDir cwd, config;
  ScopedCurrentDirectory inCwd(cwd.str());
  ScopedEnv xdg("XDG_CONFIG_HOME", config.str().c_str());
  config.Write("nds.ini", "[Databases]\nX=/from/config\n");
  EXPECT_EQ(LocateConfigFile(), config / "nds.ini");
  EXPECT_EQ(ReadAliasForConnection("X").path, "/from/config");

  cwd.Write("nds.ini", "[Databases]\nX=/from/cwd\n");
  EXPECT_EQ(LocateConfigFile(), std::filesystem::current_path().string() + "/nds.ini");
  EXPECT_EQ(ReadAliasForConnection("X").path, "/from/cwd");
}

TEST(ConfigFile, PathDirectoriesAreSearchedAndOnlyFilesCount) {
  TempDir cwd, config, bin1, bin2;
  ScopedCurrentDirectory inCwd(cwd.str());
  ScopedEnv xdg("XDG_CONFIG_HOME", config.str().c_str());
  ScopedEnv path("PATH", (bin1.str() + ":" + bin2.str()).c_str());
  // A directory named nds.ini is not the file.
  config.MakeDir("nds.ini");
  bin1.MakeDir("nds.ini");
  bin2.Write("nds.ini", "[Databases]\nX=/from/path\n");
  if (std::filesystem::exists("/etc/nds.ini"))
    GTEST_SKIP() << "/etc/nds.ini exists on this machine";
  EXPECT_EQ(LocateConfigFile(), bin2 / "nds.ini");
  EXPECT_EQ(ReadAliasForConnection("X").path, "/from/path");
}

TEST(ConfigFile, NothingFoundGivesTheBareName) {
  TempDir cwd, config, bin;
  ScopedCurrentDirectory inCwd(cwd.str());
  ScopedEnv xdg("XDG_CONFIG_HOME", config.str().c_str());
  ScopedEnv path("PATH", bin.str().c_str());
  if (std::filesystem::exists("/etc/nds.ini"))
    GTEST_SKIP() << "/etc/nds.ini exists on this machine";
  EXPECT_EQ(LocateConfigFile(), "nds.ini");
  EXPECT_FALSE(ReadAliasForConnection("VOLANTRAX").found);
}

TEST(PathNames, SlashOrBackslashMakesAPath) {
  EXPECT_TRUE(IsPathName("C:\\DATA"));
  EXPECT_TRUE(IsPathName("//srv/db"));
  EXPECT_TRUE(IsPathName("\\"));
  EXPECT_FALSE(IsPathName("VOLANTRAX"));
  EXPECT_FALSE(IsPathName("C:"));
  EXPECT_FALSE(IsPathName("Form1.NdsConnection1"));
}

}  // namespace
}  // namespace nds_test
