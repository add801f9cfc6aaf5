#include "app/application.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/file_name_chars.h"
#include "app/privileges.h"
#include "app/settings_path.h"

TEST(StripInvalidFileNameChars, RemovesEveryForbiddenCharacter) {
  WideString name(L"a\\b/c:d*e?f\"g<h>i|j");
  EXPECT_EQ(StripInvalidFileNameChars(name), 9);
  EXPECT_STREQ(name.CStr(), L"abcdefghij");
}

TEST(StripInvalidFileNameChars, LeavesCleanAndEmptyNamesAlone) {
  WideString clean(L"Ann \u00c5str\u00f6m");
  EXPECT_EQ(StripInvalidFileNameChars(clean), 0);
  EXPECT_STREQ(clean.CStr(), L"Ann \u00c5str\u00f6m");
  WideString empty;
  EXPECT_EQ(StripInvalidFileNameChars(empty), 0);
  WideString allBad(L"::");
  EXPECT_EQ(StripInvalidFileNameChars(allBad), 2);
  EXPECT_STREQ(allBad.CStr(), L"");
}

TEST(StripInvalidFileNameChars, LongNamesGrowTheOutputBuffer) {
  std::wstring text;
  for (int i = 0; i < 5000; ++i) text += (i % 10 == 0) ? L'|' : static_cast<wchar_t>(L'a' + i % 26);
  WideString name(text.c_str());
  EXPECT_EQ(StripInvalidFileNameChars(name), 500);
  EXPECT_EQ(name.Length(), 4500);
  EXPECT_EQ(name.Find(L"|", true, 1, 1, 0), 0);
}

TEST(Application, DefaultSettingsFileSitsNextToTheProgram) {
  Application app;
  app.programPath.Assign(L"C:\\Tools\\Backup\\prog.exe");
  app.consoleUserName.Assign(L"a:b");
  StripInvalidFileNameChars(app.consoleUserName);
  BuildDefaultSettingsPath(app);
  EXPECT_STREQ(app.defaultSettingsPath.CStr(), L"C:\\Tools\\Backup\\ab.hbak");
  app.consoleUserName.Assign(L"");
  BuildDefaultSettingsPath(app);
  EXPECT_STREQ(app.defaultSettingsPath.CStr(), L"C:\\Tools\\Backup\\.hbak");
}

TEST(Application, StartUpFindsProgramUserAndVersion) {
  Application app;
  EXPECT_EQ(app.runMode, kInteractive);
  EXPECT_EQ(app.closeButtonId, -1);
  EXPECT_GE(app.osVersion, 5.0);
  wchar_t module[1024];
  GetModuleFileNameW(nullptr, module, 1024);
  EXPECT_STREQ(app.programPath.CStr(), module);
  // The test prefix has a console session with a user.
  EXPECT_GT(app.consoleUserName.Length(), 0);
  std::wstring expected = module;
  expected = expected.substr(0, expected.rfind(L'\\') + 1) + app.consoleUserName.CStr() + L".hbak";
  EXPECT_STREQ(app.defaultSettingsPath.CStr(), expected.c_str());
}

TEST(Application, BackupPrivilegesAreEnabled) {
  PrivilegeState previous = EnableBackupPrivileges();
  ASSERT_FALSE(previous.empty());
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  LUID backup;
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup));
  PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{backup, 0}}};
  BOOL held = FALSE;
  ASSERT_TRUE(PrivilegeCheck(token, &set, &held));
  CloseHandle(token);
  EXPECT_TRUE(held);
}
