// The program itself, started as a user would start it.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace {
std::string Utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
  return out;
}
}  // namespace

TEST(Program, UnattendedStartWithAMissingJobFileRunsNothingAndEndsWith3) {
  TempTree tree;
  // A name in any script: the message names it as given.
  std::wstring job = tree.Path(L"\u5099\u4efd \u0444\u043e\u0442\u043e.hbak");
  for (const wchar_t* mode : {L"/Quiet", L"-Passive"}) {
    ChildResult run = RunSiblingProgram(L"harborline.exe", std::wstring(mode) + L" " + Quoted(job));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 3u) << Utf8(mode);
    EXPECT_NE(run.errors.find(Utf8(job)), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("does not exist"), std::string::npos) << run.errors;
  }
}

TEST(Program, UninstallSwitchEndsTheProcessAtOnce) {
  ChildResult run = RunSiblingProgram(L"harborline.exe", L"/Passive /Uninstall");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_NE(run.errors.find("nothing was removed"), std::string::npos) << run.errors;
}
