// The program itself, started as a user would start it.
#include <gtest/gtest.h>

#include "system/process_launch.h"
#include "tests/support/child_process.h"
#include "tests/support/foreign_window.h"
#include "tests/support/temp_tree.h"

TEST(Program, UnattendedStartWithAMissingJobFileRunsNothingAndEndsWith3) {
  TempTree tree;
  // A name in any script: the message names it as given.
  std::wstring job = tree.Path(L"\u5099\u4efd \u0444\u043e\u0442\u043e.hbak");
  // A copy of its own, so that the run log it writes stays in the test's tree.
  tree.MakeFolder(L"program");
  const std::wstring program = tree.Path(L"program\\harborline.exe");
  ASSERT_TRUE(CopyFileW(SiblingProgramPath(L"harborline.exe").c_str(), program.c_str(), FALSE));
  for (const wchar_t* mode : {L"/Quiet", L"-Passive"}) {
    ChildResult run = RunProgramAt(program, std::wstring(mode) + L" " + Quoted(job));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 3u) << Utf8(mode);
    EXPECT_NE(run.errors.find(Utf8(job)), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("does not exist"), std::string::npos) << run.errors;
  }
}

TEST(Program, UninstallSwitchHandsOverToAPrivateCopyThatAsksFirst) {
  TempTree tree;
  // The temporary copy goes below the test's own tree.
  SetEnvironmentVariableW(L"TMP", tree.Root().c_str());
  // Started without output pipes: the second stage, which outlives the
  // first, would hold them open.
  int64_t exitCode =
      RunProcess((Quoted(SiblingProgramPath(L"harborline.exe")) + L" /Passive /Uninstall").c_str(),
                 nullptr, SW_SHOWNORMAL, kWaitForExit);
  SetEnvironmentVariableW(L"TMP", nullptr);
  EXPECT_EQ(exitCode, 0);

  // The second stage runs from its copy, interactively, and asks.
  std::wstring copy = tree.Path(L"Harborline Uninstall\\Harborline Uninst.exe");
  ASSERT_TRUE(IsFile(copy));
  DWORD stage = 0;
  HWND question = WaitForWindowWithButton(copy, L"No", 60000, &stage);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(StaticTexts(question), L"Are you sure you want to uninstall Harborline Backup?");
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, stage);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(PressButton(question, L"No"));
  EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
  CloseHandle(process);
  // Declined: the copy stays where it is.
  EXPECT_TRUE(IsFile(copy));
}
