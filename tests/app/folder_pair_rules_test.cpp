// The folder pair dialog's rules on texts: validation order and messages,
// history parents and destination proposals.
#include <gtest/gtest.h>
#include <objbase.h>

#include "app/install/shell_links.h"
#include "app/window/folder_pair_dialog.h"
#include "base/path.h"
#include "engine/backup_job.h"
#include "engine/pair_passes.h"
#include "system/process_control.h"
#include "tests/support/child_process.h"
#include "tests/support/foreign_window.h"
#include "tests/support/temp_tree.h"

namespace {

struct ProblemCase {
  const wchar_t* source;
  const wchar_t* destination;
  const wchar_t* message;  // null: accepted
};

constexpr wchar_t kSame[] = L"The Source and destination folders are the same!";
constexpr wchar_t kSourceInside[] =
    L"The source folder can not be a sub-folder of the destination!";
constexpr wchar_t kDestinationInside[] =
    L"The destination folder can not be a sub-folder of the source!";
constexpr wchar_t kNotFull[] =
    L"The folders must be full paths, such as C:\\Data or \\\\server\\share!";

const ProblemCase kProblemCases[] = {
    {L"", L"", L"The \"Source folder\" field is empty!"},
    {L"", L"E:\\B", L"The \"Source folder\" field is empty!"},
    {L"C:\\Data", L"", L"The \"Destination folder\" field is empty!"},
    {L"Data", L"E:\\Backup", kNotFull},
    {L"C:\\Data", L"Backup", kNotFull},
    {L"\\Data", L"E:\\Backup", kNotFull},
    {L"\\\\server", L"E:\\Backup", kNotFull},
    {L"\\\\server\\", L"E:\\Backup", kNotFull},
    {L"C:Data", L"E:\\Backup", kNotFull},
    {L"C:\\Data", L"c:\\DATA", kSame},
    {L"C:\\Data", L"C:\\Data\\Backup", kDestinationInside},
    {L"C:\\Data\\Photos", L"c:\\data", kSourceInside},
    {L"C:\\Photos", L"C:\\Photos Backup", nullptr},
    {L"D:", L"D:\\Backup", kDestinationInside},
    {L"D:", L"E:", nullptr},
    // Other spellings of one folder are caught as well.
    {L"C:\\Data\\.\\Backup", L"C:\\Data", kSourceInside},
    {L"C:/Data/Backup", L"C:\\Data\\Backup", kSame},
    {L"\\\\?\\C:\\Data", L"C:\\Data\\Sub", kDestinationInside},
    {L"C:\\Data\\x\\..", L"C:\\Data", kSame},
    {L"\\\\server\\share\\a", L"\\\\SERVER\\share", kSourceInside},
    {L"\\\\?\\UNC\\server\\share", L"\\\\server\\share\\b", kDestinationInside},
    {L"\\\\server\\share", L"E:\\Backup", nullptr},
};

}  // namespace

TEST(FolderPairRules, ValidationGivesTheFirstFailingMessage) {
  for (const ProblemCase& c : kProblemCases) {
    const wchar_t* got = FolderPairProblem(c.source, c.destination);
    if (c.message)
      EXPECT_STREQ(got, c.message) << "source " << c.source << ", destination " << c.destination;
    else
      EXPECT_EQ(got, nullptr) << "source " << c.source << ", destination " << c.destination << ": "
                              << got;
  }
}

TEST(FolderPairRules, ProposalJoinsTheBaseAndTheSourceName) {
  EXPECT_STREQ(ProposeDestination(L"E:\\Backup", L"C:\\Users\\Ann\\Documents").CStr(),
               L"E:\\Backup\\Documents");
  // A drive root has no name of its own: the base itself, never "E:\Backup\D:".
  EXPECT_STREQ(ProposeDestination(L"E:\\Backup", L"D:").CStr(), L"E:\\Backup");
}

TEST(FolderPairRules, NoProposalIsTheSourceOrHoldsItOrLiesInsideIt) {
  EXPECT_STREQ(ProposeDestination(L"E:\\", L"C:\\Docs").CStr(), L"E:\\Docs");
  // The history's folder beside the source names the source itself.
  EXPECT_STREQ(ProposeDestination(L"C:\\Users\\Ann", L"C:\\Users\\Ann\\Documents").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:\\Data", L"C:\\Data").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:\\B", L"C:\\B\\Y\\Y").CStr(), L"");
  EXPECT_STREQ(ProposeDestination(L"C:", L"C:\\").CStr(), L"");
}

TEST(ShellLinks, VersionAndAddressesUseTheReservedHost) {
  EXPECT_STREQ(GetVersionText().CStr(), L"1.3.4.0");
  EXPECT_STREQ(HelpPageAddress().CStr(), L"https://harborline.example/harborline_backup/");
  EXPECT_STREQ(UpdatePageAddress().CStr(),
               L"https://harborline.example/harborline_backup/about.php?ver=1.3.4.0");
}

// Whatever the dialog accepts is stored in the form the runner reads, and the
// runner then runs it; what the runner would skip the dialog refuses with the
// runner's reason. A job file's "." below a folder runs as well.
TEST(FolderPairRules, TheDialogStoresWhatTheRunnerRunsAndRefusesWhatItSkips) {
  TempTree tree;
  tree.WriteFile(L"drive\\src\\sub\\a.txt", "a");
  MappedDrive drive(tree.Path(L"drive"));
  ASSERT_TRUE(drive.Ready()) << drive.WhyNot();
  const std::wstring t = drive.Drive();
  BackupJob job;
  EnsureTransferBuffer(job);
  PassHooks hooks;
  hooks.runWorker = RunWorkerAndWait;

  struct Typed {
    std::wstring source, destination, storedSource, storedDestination;
  };
  const Typed accepted[] = {
      {t + L"/src/sub", t + L"\\dst\\..\\dst2", t + L"\\src\\sub", t + L"\\dst2"},
      {t + L"\\src\\.\\sub", L"\\\\?\\" + t + L"\\dst3\\.", t + L"\\src\\sub", t + L"\\dst3"},
  };
  for (const Typed& c : accepted) {
    WideString source(c.source.c_str()), destination(c.destination.c_str());
    const wchar_t* problem = NormalizeFolderPair(source, destination);
    ASSERT_EQ(problem, nullptr) << problem;
    EXPECT_EQ(std::wstring(source.CStr()), c.storedSource);
    EXPECT_EQ(std::wstring(destination.CStr()), c.storedDestination);
    job.flags = 0;
    EXPECT_EQ(RunPairPasses(job, source.CStr(), destination.CStr(), hooks), kPairFinished)
        << c.source;
    EXPECT_EQ(ReadWholeFile(tree.Path(L"drive") + c.storedDestination.substr(2) + L"\\a.txt"), "a");
  }
  // As a job file may hold it, unnormalised: the runner resolves it too.
  job.flags = 0;
  EXPECT_EQ(RunPairPasses(job, (t + L"\\src\\.\\sub").c_str(), (t + L"\\dst4").c_str(), hooks),
            kPairFinished);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\dst4\\a.txt")), "a");

  // A server without a share names no folder; the runner skips it.
  WideString server(L"\\\\server"), other((t + L"\\x").c_str());
  EXPECT_STREQ(NormalizeFolderPair(server, other), kNotFull);
  EXPECT_EQ(RunPairPasses(job, L"\\\\server", (t + L"\\x").c_str(), hooks), kPairNotFullPath);
  EXPECT_FALSE(Exists(tree.Path(L"drive\\x")));
}

// What the user opens from the program (help and update pages, a folder in
// Explorer) is started by the shell's desktop, as the signed-in user, not by
// the elevated program. Where no desktop answers the program starts it
// itself, as before.
TEST(ShellLinks, WhatTheUserOpensIsStartedByTheDesktopNotByTheProgram) {
  TempTree tree;
  const std::wstring opened = tree.Path(L"opened.exe");
  ASSERT_TRUE(CopyFileW(SiblingProgramPath(L"process_probe.exe").c_str(), opened.c_str(), FALSE));
  tree.WriteFile(L"opened.exe.parent", "");
  CoInitialize(nullptr);
  OpenWithShell(opened.c_str());
  CoUninitialize();
  const std::wstring record = opened + L".parent.txt";
  ASSERT_TRUE(WaitUntil([&] { return IsFile(record); }, 60000));
  const DWORD parent = static_cast<DWORD>(std::stoul(ReadWholeFile(record)));
  EXPECT_NE(parent, GetCurrentProcessId()) << "started by the program, with its rights";
  WideString starter;
  ASSERT_TRUE(GetProcessImagePath(parent, starter));
  WideString name(starter.CStr());
  EXPECT_TRUE(EqualsNoCase(FileNamePart(name).CStr(), L"explorer.exe")) << starter.CStr();
}
