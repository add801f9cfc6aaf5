// harborline.exe started as a scheduled task starts it: a job file and
// "/Quiet" or "/Passive". The program is copied into the test's own folder,
// so that its default settings file and run log are written there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/handle_holder.h"
#include "app/application.h"
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

TEST_F(UnattendedRun, UpgradeCutShortByAFullDiskLeavesTheOldFileAndTheRunGoesOn) {
  // An old-format Strict job just under the child's file-size limit (4,096
  // bytes; SIGXFSZ ignored, so writes fail as on a full disk): the upgrade
  // outgrows the limit. Cut in place, its last line would name another folder.
  tree.MakeFolder(L"drive");
  MappedDrive drive(tree.Path(L"drive"));
  ASSERT_TRUE(drive.Ready()) << drive.WhyNot();
  std::string pairs;
  for (const char* name : {"a", "b", "c"}) {
    tree.WriteFile(L"drive\\src\\" + std::wstring(name, name + 1) + L"\\f.txt", name);
    pairs += Utf8(drive.Drive()) + "\\src\\" + name + "=" + Utf8(drive.Drive()) + "\\dst\\" + name +
             "\r\n";
  }
  const std::string rest = "\r\n[Settings]\r\nFlag=1\r\n[Folders]\r\n" + pairs;
  const std::string old = "[Notes]\r\nfiller=" + std::string(4088 - 16 - rest.size(), 'x') + rest;
  ASSERT_EQ(old.size(), 4088u);
  tree.WriteFile(L"drive\\nightly.hbak", old);
  tree.MakeFolder(L"scratch");
  HostChildResult run =
      RunProgramAtOnHost(program, Quoted(drive.Root() + L"nightly.hbak") + L" /Quiet",
                         L"ulimit -f 8; trap '' XFSZ;", L"", L"", tree.Path(L"scratch"));
  if (!run.whyNot.empty()) GTEST_SKIP() << run.whyNot;
  const std::string after = ReadWholeFile(tree.Path(L"drive\\nightly.hbak"));
  EXPECT_TRUE(after == old) << "not byte for byte as it was; it ends in: "
                            << after.substr(after.size() > 80 ? after.size() - 80 : 0);
  EXPECT_EQ(NamesIn(tree.Path(L"drive")),
            (std::vector<std::wstring>{L"dst", L"nightly.hbak", L"src"}))
      << "no copy is left beside it";
  EXPECT_EQ(run.result.exitCode, 0u) << RunLog();
  EXPECT_EQ(DescribeTree(tree.Path(L"drive\\dst")), DescribeTree(tree.Path(L"drive\\src")))
      << "the run went on with the pairs as read";
}

TEST_F(UnattendedRun, ArgumentsNamingNoJobItCanTrustRunNothingAndExitWith3) {
  // The default job is a real one: running it instead would copy src.
  tree.WriteFile(L"src\\a.txt", "a");
  Application app;
  WriteJobFile(tree.Path(L"program\\") + app.consoleUserName.CStr() + L".hbak", 1, 0,
               {{tree.Path(L"src"), tree.Path(L"dst")}});
  WriteJobFile(tree.Path(L"job.hbk"), 0, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  WriteJobFile(tree.Path(L"job.hbak.txt"), 0, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  tree.MakeFolder(L"folder.hbak");
  tree.WriteFile(L"empty.hbak", "");
  tree.WriteFile(L"random.hbak", std::string("\x9c\x00\xff\x13[Fol\x01\xfe\x80", 12));
  tree.WriteFile(L"settings only.hbak", "[Settings]\r\nversion=1\r\nFlag=1\r\n");
  struct Case {
    std::wstring argument;
    const char* reason;
  };
  const Case cases[] = {
      {Quoted(tree.Path(L"job.hbak ")), "neither a switch"},
      {Quoted(tree.Path(L"job.hbk")), "neither a switch"},
      {Quoted(tree.Path(L"job.hbak.txt")), "neither a switch"},
      {L"--Quiet", "neither a switch"},
      {Quoted(tree.Path(L"folder.hbak")), "a folder, not a job file"},
      {Quoted(tree.Path(L"empty.hbak")), "has no [Folders] section"},
      {Quoted(tree.Path(L"random.hbak")), "has no [Folders] section"},
      {Quoted(tree.Path(L"settings only.hbak")), "has no [Folders] section"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.argument));
    ChildResult run = RunProgramAt(program, c.argument + L" /Quiet", tree.Root());
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 3u) << run.errors;
    EXPECT_FALSE(Exists(tree.Path(L"dst"))) << "the default job ran instead";
    RemoveTree(tree.Path(L"dst"));
    const std::string log = RunLog();
    EXPECT_NE(log.rfind(std::string("Outcome: nothing was run: ")), std::string::npos) << log;
    EXPECT_NE(log.find(c.reason, log.rfind("Outcome:")), std::string::npos) << log;
  }
}

}  // namespace

TEST_F(UnattendedRun, ScheduledRunLeavesOutTheJobsPatternsAndSaysSoInTheReport) {
  tree.WriteFile(L"src\\keep.txt", "keep");
  tree.WriteFile(L"src\\scratch.tmp", "left out");
  tree.WriteFile(L"src\\web\\node_modules\\lib.js", "left out");
  tree.WriteFile(L"dst\\old.tmp", "left out, and so kept by Strict");
  tree.WriteFile(L"dst\\stale.txt", "deleted by Strict");
  WriteJobFile(job, 0x01, 0, {{tree.Path(L"src"), tree.Path(L"dst")}});
  // The key as the window or a text editor writes it, with one empty element.
  ASSERT_TRUE(
      WritePrivateProfileStringW(L"Settings", L"Exclude", L"*.tmp;; node_modules\\", job.c_str()));
  ChildResult run = Start(L"/Quiet /Scheduled");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")),
            (std::vector<std::wstring>{L"keep.txt", L"old.tmp", L"web"}));
  EXPECT_TRUE(NamesIn(tree.Path(L"dst\\web")).empty());
  const std::string log = RunLog();
  EXPECT_NE(log.find("Run: scheduled (/Quiet)\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Excluded: *.tmp;; node_modules\\\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Note: the exclusion pattern \"\" names nothing and was ignored.\r\n"),
            std::string::npos)
      << log;
  // Copy pass: scratch.tmp and node_modules; deletion pass: old.tmp.
  EXPECT_NE(log.find("copied 1, up to date 0, deleted 1, skipped by the options 3, failed 0"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Outcome: finished\r\n"), std::string::npos) << log;
}

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
