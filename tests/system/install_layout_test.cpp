#include "system/install_layout.h"

#include <gtest/gtest.h>

#include <string>

#include "system/process_command_line.h"
#include "system/uninstaller.h"
#include "tests/support/temp_tree.h"

namespace {

std::wstring Text(WideString& text) { return text.CStr() ? text.CStr() : L""; }

}  // namespace

TEST(InstallLayout, PathsFollowFromTheProgramFilesAndDesktopFolders) {
  InstallLayout layout;
  ASSERT_TRUE(
      BuildInstallLayoutFrom(L"C:\\Program Files", L"C:\\Users\\Ann\\Desktop", L"Ann", layout));
  EXPECT_EQ(Text(layout.installFolder), L"C:\\Program Files\\Harborline Backup");
  EXPECT_EQ(Text(layout.installedProgram), L"C:\\Program Files\\Harborline Backup\\Harborline.exe");
  EXPECT_EQ(Text(layout.installedSettings), L"C:\\Program Files\\Harborline Backup\\Ann.hbak");
  EXPECT_EQ(Text(layout.unattendedShortcut),
            L"C:\\Users\\Ann\\Desktop\\Update Backup (unattended).lnk");
  EXPECT_EQ(Text(layout.normalShortcut), L"C:\\Users\\Ann\\Desktop\\Harborline Backup.lnk");
  EXPECT_TRUE(BuildInstallLayoutFrom(L"\\\\server\\apps", L"\\\\server\\desk", L"", layout));
  EXPECT_TRUE(
      RunsAsInstalledProgram(L"\\\\SERVER\\apps\\harborline backup\\HARBORLINE.EXE", layout));
}

TEST(InstallLayout, EmptyOrRelativeFoldersAreNoPlaceToInstallOrDelete) {
  const wchar_t* const kDesktop = L"C:\\Users\\Ann\\Desktop";
  const wchar_t* const kProgramFiles = L"C:\\Program Files";
  struct Case {
    const wchar_t* programFiles;
    const wchar_t* desktop;
  };
  // Each would name "\Harborline Backup" (or a shortcut) at a drive's root or
  // below the current folder.
  const Case kCases[] = {
      {L"", kDesktop},
      {kProgramFiles, L""},
      {nullptr, kDesktop},
      {kProgramFiles, nullptr},
      {L"Program Files", kDesktop},
      {L"C:", kDesktop},
      {L"\\Program Files", kDesktop},
      {kProgramFiles, L"Desktop"},
  };
  for (const Case& c : kCases) {
    InstallLayout layout;
    EXPECT_FALSE(BuildInstallLayoutFrom(c.programFiles, c.desktop, L"Ann", layout))
        << (c.programFiles ? c.programFiles : L"(none)") << " | "
        << (c.desktop ? c.desktop : L"(none)");
  }
  InstallLayout prefix;
  ASSERT_TRUE(BuildInstallLayout(L"Ann", prefix));
  EXPECT_TRUE(RunsAsInstalledProgram(prefix.installedProgram.CStr(), prefix));
}

// The platform answers temporary folders up to the classic path length; a
// longer one must stop the uninstaller rather than name a cut path.
TEST(TemporaryUninstallerPath, FollowsTheTemporaryFolderWholeOrNotAtAll) {
  TempTree tree;
  std::wstring user = L"Temp of a user with blanks";
  tree.MakeFolder(user);
  SetEnvironmentVariableW(L"TMP", tree.Path(user).c_str());
  WideString folder, program;
  bool found = TemporaryUninstallerPath(folder, program);
  EXPECT_TRUE(found);
  EXPECT_EQ(Text(folder), tree.Path(user) + L"\\Harborline Uninstall");
  EXPECT_EQ(Text(program), tree.Path(user) + L"\\Harborline Uninstall\\Harborline Uninst.exe");

  std::wstring relative =
      DeepRelativePath(L"temporary-folder-", L"-of-a-user-with-a-long-name", 30, L"Temp");
  tree.MakeFolder(relative);
  ASSERT_GT(tree.Path(relative).size(), 1100u);
  SetEnvironmentVariableW(L"TMP", tree.Path(relative).c_str());
  found = TemporaryUninstallerPath(folder, program);
  SetEnvironmentVariableW(L"TMP", nullptr);
  if (found) {
    EXPECT_EQ(Text(folder), tree.Path(relative) + L"\\Harborline Uninstall");
  } else {
    SUCCEED() << "this platform has no temporary folder beyond the classic path length";
  }
}

TEST(ExpandEnvironment, ExpansionsLongerThanAnyFixedBufferArriveWhole) {
  std::wstring value(6000, L'x');
  SetEnvironmentVariableW(L"HARBORLINE_LONG_VALUE", value.c_str());
  WideString text(L"%HARBORLINE_LONG_VALUE%\\end");
  bool expanded = ExpandEnvironment(text);
  SetEnvironmentVariableW(L"HARBORLINE_LONG_VALUE", nullptr);
  ASSERT_TRUE(expanded);
  EXPECT_EQ(Text(text), value + L"\\end");
  WideString unknown(L"%HARBORLINE_NOT_SET%");
  EXPECT_TRUE(ExpandEnvironment(unknown));
  EXPECT_EQ(Text(unknown), L"%HARBORLINE_NOT_SET%");
}
