#include "app/hbcopy_command.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/backup_job.h"
#include "engine/handle_holder.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace {

ChildResult RunHbcopyProgram(const std::wstring& arguments, const std::wstring& folder = L"") {
  return RunSiblingProgram(L"hbcopy.exe", arguments, folder);
}

}  // namespace

TEST(Hbcopy, CopiesAPairAndPrintsTheCounters) {
  TempTree tree;
  tree.WriteFile(L"my source\\a.txt", "alpha");
  tree.WriteFile(L"my source\\sub\\b.txt", "bet");
  ChildResult run = RunHbcopyProgram(L"common " + Quoted(tree.Path(L"my source")) + L" " +
                                     Quoted(tree.Path(L"new\\backup")));
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"new\\backup\\sub\\b.txt")), "bet");
  EXPECT_EQ(DescribeTree(tree.Path(L"new\\backup")), DescribeTree(tree.Path(L"my source")));
  // Totals are the source's plus one: 3 items, 8 bytes.
  EXPECT_EQ(run.output, "bytesTotal=9 bytesDone=8 itemsTotal=4 itemsDone=3 progress=" +
                            std::to_string(8 * 500 / 9 + 3 * 500 / 4) +
                            "\r\n"
                            "pass=copy copied=2 uptodate=0 deleted=0 skipped=0 failed=0 bytes=8 "
                            "leftovers=0\r\n");
}

TEST(Hbcopy, FailedItemsAreListedAndTheExitCodeIsFour) {
  TempTree tree;
  tree.WriteFile(L"src\\fine.txt", "fine");
  tree.WriteFile(L"src\\locked.txt", "held by another program");
  tree.WriteFile(L"dst\\stale.txt", "goes");
  ChildResult run;
  {
    HandleHolder holder(CreateFileW(LongForm(tree.Path(L"src\\locked.txt")).c_str(), GENERIC_READ,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.Valid());
    run =
        RunHbcopyProgram(L"strict " + Quoted(tree.Path(L"src")) + L" " + Quoted(tree.Path(L"dst")));
  }
  EXPECT_EQ(run.exitCode, 4u) << run.errors;
  EXPECT_NE(run.output.find("pass=copy copied=1 uptodate=0 deleted=0 skipped=0 failed=1 bytes=4 "
                            "leftovers=0\r\nfailed: "),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("locked.txt (open source: "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("pass=delete copied=0 uptodate=0 deleted=1 skipped=0 failed=0"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\fine.txt")), "fine");
  EXPECT_NE(run.errors.find("finished, but items failed"), std::string::npos);
}

TEST(Hbcopy, ModeAndSwitchesIgnoreCase) {
  TempTree tree;
  tree.WriteFile(L"src\\plain.txt", "p");
  tree.WriteFile(L"src\\hidden.txt", "h");
  SetAttributes(tree.Path(L"src\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  tree.WriteFile(L"dst\\stale.txt", "goes");
  ChildResult run =
      RunHbcopyProgram(L"STRICT " + Quoted(tree.Path(L"src")) + L" " + Quoted(tree.Path(L"dst")) +
                       L" /UPDATE /SkipHidden -skipsystem");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"plain.txt"}));
}

TEST(Hbcopy, RelativePathsAreTakenFromTheCurrentFolder) {
  TempTree tree;
  tree.WriteFile(L"src\\f.txt", "f");
  ChildResult run = RunHbcopyProgram(L"sync src .\\out\\..\\dst", tree.Root());
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\f.txt")), "f");
  EXPECT_FALSE(Exists(tree.Path(L"out")));
}

TEST(Hbcopy, BadArgumentsPrintTheUsage) {
  TempTree tree;
  tree.MakeFolder(L"src");
  std::wstring pair = Quoted(tree.Path(L"src")) + L" " + Quoted(tree.Path(L"dst"));
  for (const std::wstring& arguments :
       {std::wstring(L""), L"common " + Quoted(tree.Path(L"src")), L"mirror " + pair,
        L"common " + pair + L" /fast", L"common " + pair + L" update"}) {
    ChildResult run = RunHbcopyProgram(arguments);
    EXPECT_EQ(run.exitCode, 2u) << "arguments: " << std::string(arguments.begin(), arguments.end());
    EXPECT_EQ(run.errors.rfind("usage: hbcopy MODE SOURCE DESTINATION [/update] [/skiphidden] "
                               "[/skipsystem]",
                               0),
              0u);
  }
  EXPECT_FALSE(Exists(tree.Path(L"dst")));
}

TEST(Hbcopy, MissingSourceOrBlockedDestinationExitsWithThree) {
  TempTree tree;
  tree.MakeFolder(L"src");
  tree.WriteFile(L"blocker", "a file");
  ChildResult missing =
      RunHbcopyProgram(L"common " + Quoted(tree.Path(L"nothing")) + L" " + Quoted(tree.Path(L"d")));
  EXPECT_EQ(missing.exitCode, 3u);
  EXPECT_FALSE(Exists(tree.Path(L"d")));
  ChildResult blocked = RunHbcopyProgram(L"restore " + Quoted(tree.Path(L"src")) + L" " +
                                         Quoted(tree.Path(L"blocker\\d")));
  EXPECT_EQ(blocked.exitCode, 3u);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"blocker")), "a file");
}

TEST(Hbcopy, OverlappingFoldersAreRefused) {
  TempTree tree;
  tree.WriteFile(L"src\\keep.txt", "k");
  tree.MakeFolder(L"src\\inner");
  ChildResult run = RunHbcopyProgram(L"strict " + Quoted(tree.Path(L"src\\inner")) + L" " +
                                     Quoted(tree.Path(L"src")));
  EXPECT_EQ(run.exitCode, 2u) << "a Strict run would delete the source";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\keep.txt")), "k");
}

TEST(HbcopyArguments, ModesSwitchesAndFullPaths) {
  const wchar_t* argv[] = {L"hbcopy",    L"Restore",     L"relative\\src",
                           L"C:\\dst\\", L"/skipSYSTEM", L"/update"};
  HbcopyArguments arguments;
  ASSERT_TRUE(ParseHbcopyArguments(6, argv, arguments));
  EXPECT_EQ(arguments.flags, BackupMode::Restore | BackupMode::UpdateMethod);
  EXPECT_EQ(arguments.skipAttributes, static_cast<uint32_t>(SkipAttribute::SkipSystem));
  wchar_t current[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, current);
  std::wstring expected = std::wstring(current);
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(std::wstring(arguments.source.CStr()), expected + L"relative\\src");
  EXPECT_EQ(std::wstring(arguments.destination.CStr()), L"C:\\dst");

  const wchar_t* sync[] = {L"hbcopy", L"sync", L"a", L"b"};
  HbcopyArguments syncArguments;
  ASSERT_TRUE(ParseHbcopyArguments(4, sync, syncArguments));
  EXPECT_EQ(syncArguments.flags, static_cast<uint32_t>(BackupMode::Sync));
  const wchar_t* empty[] = {L"hbcopy", L"sync", L"", L"b"};
  EXPECT_FALSE(ParseHbcopyArguments(4, empty, syncArguments));
}

TEST(Hbcopy, DriveRootPairsOnTheCurrentDriveAreRefused) {
  TempTree tree;
  tree.WriteFile(L"drive\\src\\a.txt", "a");
  tree.WriteFile(L"drive\\photos\\p.jpg", "unrelated and precious");
  tree.MakeFolder(L"drive\\work");
  MappedDrive drive(tree.Path(L"drive"), L"work");
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  std::wstring before = DescribeTree(tree.Path(L"drive"));
  const std::wstring t = drive.Drive();
  for (const std::wstring& arguments :
       {L"strict " + t + L"\\src " + t + L"\\", L"strict " + t + L"\\src " + t,
        L"common " + t + L"\\ " + t + L"\\backup", L"common " + t + L" backup"}) {
    ChildResult run = RunHbcopyProgram(arguments, drive.Root() + L"work");
    EXPECT_EQ(run.exitCode, 2u) << std::string(arguments.begin(), arguments.end()) << "\n"
                                << run.output << run.errors;
  }
  EXPECT_EQ(DescribeTree(tree.Path(L"drive")), before);
}
