#include "app/command_line.h"

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace {

int g_uninstallCalls = 0;
void CountUninstall(Application&) { ++g_uninstallCalls; }

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    g_uninstallCalls = 0;
    SetUninstallHandler(CountUninstall);
  }
  void TearDown() override { SetUninstallHandler(DefaultUninstallHandler()); }
  bool Parse(const std::wstring& line) { return ParseCommandLine(app, line.c_str()); }
  Application app;
  TempTree tree;
};

}  // namespace

TEST_F(CommandLine, EmptyLineStartsInteractively) {
  EXPECT_TRUE(Parse(L""));
  EXPECT_EQ(app.runMode, kInteractive);
  EXPECT_EQ(app.currentSettingsPath.Length(), 0);
}

TEST_F(CommandLine, SwitchesIgnoreCaseAndTheLastOneWins) {
  EXPECT_TRUE(Parse(L"/quiet"));
  EXPECT_EQ(app.runMode, kQuiet);
  EXPECT_TRUE(Parse(L"-QUIET /Passive"));
  EXPECT_EQ(app.runMode, kPassive);
  app.runMode = kInteractive;
  EXPECT_TRUE(Parse(L"--Quiet /Quietly Passive"));
  EXPECT_EQ(app.runMode, kInteractive) << "none of these is a switch";
}

TEST_F(CommandLine, SettingsFileMustExistAndEndInHbak) {
  tree.WriteFile(L"Photos.HBAK", "");
  tree.WriteFile(L"Photos.hbak.txt", "");
  tree.WriteFile(L"with space.hbak", "");
  std::wstring photos = tree.Path(L"Photos.HBAK");

  EXPECT_TRUE(Parse(L"\"" + photos + L"\" /Passive"));
  EXPECT_STREQ(app.currentSettingsPath.CStr(), photos.c_str());
  EXPECT_EQ(app.runMode, kPassive);

  app.currentSettingsPath.Clear();
  EXPECT_TRUE(
      Parse(L"\"" + tree.Path(L"Photos.hbak.txt") + L"\" \"" + tree.Path(L"Missing.hbak") + L"\""));
  EXPECT_EQ(app.currentSettingsPath.Length(), 0);

  std::wstring spaced = tree.Path(L"with space.hbak");
  EXPECT_TRUE(Parse(L"\"" + photos + L"\" \"" + spaced + L"\""));
  EXPECT_STREQ(app.currentSettingsPath.CStr(), spaced.c_str()) << "the last settings file wins";
}

TEST_F(CommandLine, UninstallRunsAtOnceAndEndsTheProcess) {
  EXPECT_FALSE(Parse(L"/Uninstall /Quiet"));
  EXPECT_EQ(g_uninstallCalls, 1);
  EXPECT_EQ(app.runMode, kInteractive) << "arguments after the switch are not looked at";

  EXPECT_FALSE(Parse(L"/Passive -uninstall"));
  EXPECT_EQ(g_uninstallCalls, 2);
  EXPECT_EQ(app.runMode, kPassive) << "switches before it are recorded";
}

TEST_F(CommandLine, WithoutAnUninstallerTheProcessStillEnds) {
  SetUninstallHandler(nullptr);
  EXPECT_FALSE(Parse(L"/Uninstall"));
  EXPECT_EQ(g_uninstallCalls, 0);
}

TEST_F(CommandLine, RelativeSettingsFileIsKeptAsAFullPath) {
  // The profile functions would look for a relative name in the Windows folder.
  tree.WriteFile(L"Relative.hbak", "");
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(tree.Root().c_str()));
  const bool goOn = Parse(L"Relative.hbak /Passive");
  SetCurrentDirectoryW(previous);
  EXPECT_TRUE(goOn);
  EXPECT_TRUE(EqualsNoCase(app.currentSettingsPath.CStr(), tree.Path(L"Relative.hbak").c_str()))
      << app.currentSettingsPath.CStr();
}

TEST_F(CommandLine, MissingSettingsFileIsRememberedUntilAnExistingOneFollows) {
  tree.WriteFile(L"There.hbak", "");
  std::wstring missing = tree.Path(L"Gone.hbak");
  EXPECT_TRUE(Parse(L"/Quiet \"" + missing + L"\""));
  EXPECT_STREQ(app.missingSettingsFile.CStr(), missing.c_str());
  EXPECT_EQ(app.currentSettingsPath.Length(), 0) << "a missing file is never loaded";

  EXPECT_TRUE(Parse(L"\"" + missing + L"\" \"" + tree.Path(L"There.hbak") + L"\""));
  EXPECT_EQ(app.missingSettingsFile.Length(), 0) << "the last settings file wins";

  app.missingSettingsFile.Clear();
  EXPECT_TRUE(Parse(L"\"" + tree.Path(L"Gone.hbak.txt") + L"\""));
  EXPECT_EQ(app.missingSettingsFile.Length(), 0) << "not a settings file name";
}
