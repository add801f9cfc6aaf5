// harborline.exe started as a scheduled task starts it: a job file and
// "/Quiet" or "/Passive". The program is copied into the test's own folder,
// so that its default settings file and run log are written there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/handle_holder.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace {

struct JobPair {
  std::wstring source;
  std::wstring destination;
  bool checked = true;
};

// A job file as the program writes it: UTF-16LE with its mark.
// extraSettings: more "Key=value\r\n" lines of [Settings].
void WriteJobFile(const std::wstring& path, unsigned flag, unsigned skip,
                  const std::vector<JobPair>& pairs, const std::wstring& extraSettings = L"") {
  std::wstring text = L"\xFEFF[Settings]\r\nversion=1\r\nFlag=" + std::to_wstring(flag) +
                      L"\r\nSkipAttributes=" + std::to_wstring(skip) + L"\r\n" + extraSettings +
                      L"[Folders]\r\n";
  for (size_t i = 0; i < pairs.size(); ++i)
    text += std::to_wstring(i) + L"=" + pairs[i].source + L"<|>" + (pairs[i].checked ? L"" : L"0") +
            pairs[i].destination + L"\r\n";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
}

class UnattendedRun : public testing::Test {
 protected:
  void SetUp() override {
    tree.MakeFolder(L"program");
    program = tree.Path(L"program\\harborline.exe");
    ASSERT_TRUE(CopyFileW(SiblingProgramPath(L"harborline.exe").c_str(), program.c_str(), FALSE));
    job = tree.Path(L"nightly.hbak");
  }

  ChildResult Start(const wchar_t* mode) {
    return RunProgramAt(program, Quoted(job) + L" " + mode, tree.Root());
  }

  // The run log beside the default settings file, whatever the user is called.
  std::string RunLog() {
    for (const std::wstring& name : NamesIn(tree.Path(L"program")))
      if (name.size() > 4 && name.compare(name.size() - 4, 4, L".log") == 0)
        return ReadWholeFile(tree.Path(L"program\\" + name));
    return std::string();
  }

  TempTree tree;
  std::wstring program;
  std::wstring job;
};

TEST_F(UnattendedRun, QuietCleanRunCopiesEverythingAndExitsWithZero) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"src\\sub\\b.txt", "b");
  WriteJobFile(job, 0, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  ChildResult run = Start(L"/Quiet");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  const std::string log = RunLog();
  EXPECT_NE(log.find("Run: unattended (/Quiet)"), std::string::npos) << log;
  EXPECT_NE(log.find("Outcome: finished\r\n"), std::string::npos) << log;
}

TEST_F(UnattendedRun, QuietRunWithAFileThatCannotBeReadExitsWithTwo) {
  tree.WriteFile(L"src\\fine.txt", "fine");
  tree.WriteFile(L"src\\held.txt", "held by another program");
  WriteJobFile(job, 0, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  ChildResult run;
  {
    HANDLE held = CreateFileW(LongForm(tree.Path(L"src\\held.txt")).c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    run = Start(L"/Quiet");
    CloseHandle(held);
  }
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\fine.txt")), "fine");
  const std::string log = RunLog();
  EXPECT_NE(log.find("held.txt (open source: "), std::string::npos) << log;
}

TEST_F(UnattendedRun, QuietRunWithAMissingSourceExitsWithTwoAndRunsTheOtherPairs) {
  tree.WriteFile(L"src\\a.txt", "a");
  WriteJobFile(job, 0, 0,
               {{tree.Path(L"gone"), tree.Path(L"dst1")}, {tree.Path(L"src"), tree.Path(L"dst2")}});
  ChildResult run = Start(L"/Quiet");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst2\\a.txt")), "a");
  EXPECT_NE(RunLog().find("skipped: the source folder does not exist"), std::string::npos);
}

TEST_F(UnattendedRun, PassiveStrictRunShowsItsWindowsAnswersTheWarningAndEndsByItself) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\stale.txt", "stale");
  WriteJobFile(job, 1, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  ChildResult run = Start(L"/Passive");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
  EXPECT_NE(RunLog().find("Run: unattended (/Passive)"), std::string::npos);
  EXPECT_NE(RunLog().find("Mode: Strict"), std::string::npos);
}

// A Strict deletion that the system refuses (the item is held open by another
// program without delete sharing) is a failure like any other: counted,
// listed with its path, and the exit code says so, from hbcopy and from an
// unattended run alike. The rest of the deletions go ahead.
TEST_F(UnattendedRun, AStrictDeletionThatFailsIsCountedListedAndEndsWithItsExitCode) {
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\kept.txt", "kept");
  tree.WriteFile(L"dst\\held.txt", "held open by another program");
  const std::wstring source = drive.Root() + L"src";
  const std::wstring destination = drive.Root() + L"dst";
  const std::string held = Utf8(destination + L"\\held.txt");
  WriteJobFile(job, 1, 0, {{source, destination}});
  HandleHolder holder(CreateFileW(LongForm(tree.Path(L"dst\\held.txt")).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  ASSERT_TRUE(holder.Valid());

  tree.WriteFile(L"dst\\stale.txt", "goes");
  ChildResult copy =
      RunSiblingProgram(L"hbcopy.exe", L"strict " + Quoted(source) + L" " + Quoted(destination));
  ASSERT_TRUE(copy.started);
  EXPECT_EQ(copy.exitCode, 4u) << copy.output << copy.errors;
  EXPECT_NE(copy.output.find("pass=delete copied=0 uptodate=0 deleted=1 skipped=0 failed=1 "),
            std::string::npos)
      << copy.output;
  EXPECT_NE(copy.output.find("failed: " + held + " (delete: "), std::string::npos) << copy.output;
  EXPECT_FALSE(Exists(tree.Path(L"dst\\stale.txt")));

  tree.WriteFile(L"dst\\stale.txt", "goes");
  ChildResult run = Start(L"/Quiet");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 2u) << run.errors;
  const std::string log = RunLog();
  EXPECT_NE(log.find("deleted 1, "), std::string::npos) << log;
  EXPECT_NE(log.find("failed 1"), std::string::npos) << log;
  EXPECT_NE(log.find("  Failed: " + held + " (delete: "), std::string::npos) << log;
  EXPECT_FALSE(Exists(tree.Path(L"dst\\stale.txt")));
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\held.txt")), "held open by another program");
}

}  // namespace

TEST_F(UnattendedRun, TheDeletionGuardStopsAnUnattendedStrictRunAndTheLogSaysWhy) {
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\kept.txt", "k");
  for (int i = 0; i < 12; ++i) tree.WriteFile(L"dst\\old" + std::to_wstring(i) + L".txt", "o");
  const std::vector<JobPair> pairs = {{drive.Root() + L"src", drive.Root() + L"dst"}};
  // A job file without the newer keys: the guard is on at 50 %.
  WriteJobFile(job, 1, 0, pairs);
  ChildResult run = Start(L"/Quiet");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 2u) << run.errors;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")).size(), 13u) << "nothing deleted";
  std::string log = RunLog();
  EXPECT_NE(log.find("the deletion guard stopped the deletion pass, which would have deleted 12 "
                     "of 13 files in " +
                     Utf8(drive.Root()) + "dst; nothing was deleted"),
            std::string::npos)
      << log;

  // Versions on, the guard off: the deletions go into the versions, and the
  // log says what they hold.
  WriteJobFile(job, 1, 0, pairs, L"VersionDays=30\r\nDeletionGuard=0\r\n");
  run = Start(L"/Quiet");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")),
            (std::vector<std::wstring>{L"Harborline Versions", L"kept.txt"}));
  log = RunLog();
  EXPECT_NE(log.find("keep replaced and deleted files for 30 days"), std::string::npos) << log;
  EXPECT_NE(log.find("Versions in " + Utf8(drive.Root()) + "dst\\Harborline Versions: 13 files"),
            std::string::npos)
      << log;
}
