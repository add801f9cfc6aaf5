#include "app/console/hbcopy_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "engine/backup_job.h"
#include "engine/handle_holder.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr ULONGLONG kBoundedWaitMs = 60000;

ChildResult RunHbcopyProgram(const std::wstring& arguments, const std::wstring& folder = L"") {
  return RunSiblingProgram(L"hbcopy.exe", arguments, folder);
}

uint64_t QueryFileSizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(LongForm(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

TEST(HbcopyArguments, ThreadsTakeOneToSixtyFourFilesInFlight) {
  const std::pair<const wchar_t*, uint32_t> rows[] = {
      {L"/threads:1", 1},  {L"/THREADS:8", 8}, {L"-threads:64", 64}, {L"/threads:0", 0},
      {L"/threads:65", 0}, {L"/threads:", 0},  {L"/threads:4x", 0},  {L"/threads:-1", 0},
      {L"/threads", 0},    {L"/update", 0}};  // the last: no number, the default
  for (const auto& [argument, threads] : rows) {
    const wchar_t* argv[] = {L"hbcopy", L"common", L"C:\\src", L"C:\\dst", argument};
    HbcopyArguments arguments;
    const bool valid = threads != 0 || wcscmp(argument, L"/update") == 0;
    EXPECT_EQ(ParseHbcopyArguments(5, argv, arguments), valid) << Utf8(argument);
    if (valid) {
      EXPECT_EQ(arguments.settings.threads, threads) << Utf8(argument);
    }
  }
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

namespace {

// The path as a program of another prefix sees it: through Z:, the host's root.
std::wstring ZPath(const std::wstring& path) {
  std::wstring host = HostName(path);
  for (wchar_t& c : host)
    if (c == L'/') c = L'\\';
  return L"Z:" + host;
}

std::wstring ShellPair(TempTree& tree, const wchar_t* mode) {
  return std::wstring(mode) + L" '" + ZPath(tree.Path(L"src")) + L"' '" + ZPath(tree.Path(L"dst")) +
         L"'";
}

}  // namespace

TEST(Hbcopy, AFullDestinationKeepsThePreviousVersionAndSaysSo) {
  // A file-size limit on the child makes its writes fail as on a full disk;
  // with SIGXFSZ ignored the write fails instead of the process dying.
  TempTree tree;
  tree.WriteFileOfSize(L"src\\big.bin", 3 * 1024 * 1024, 5);
  tree.WriteFile(L"src\\small.txt", "fits");
  tree.WriteFile(L"dst\\big.bin", "previous version");
  tree.MakeFolder(L"scratch");
  HostChildResult run =
      RunSiblingOnHost(L"hbcopy.exe", ShellPair(tree, L"common"), L"ulimit -f 1024; trap '' XFSZ;",
                       L"", L"", tree.Path(L"scratch"));
  if (!run.whyNot.empty()) GTEST_SKIP() << run.whyNot;
  EXPECT_EQ(run.result.exitCode, 4u) << run.result.output << run.result.errors;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\big.bin")), "previous version");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\small.txt")), "fits");
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"big.bin", L"small.txt"}))
      << "no scratch file is left";
  EXPECT_NE(run.result.output.find("big.bin ("), std::string::npos) << run.result.output;
  EXPECT_NE(run.result.output.find("disk full"), std::string::npos) << run.result.output;
}

TEST(Hbcopy, UnreadableItemsAreListedWhenRunWithoutRootPowers) {
  // Root reads a file of mode 000; a child without capabilities (and with a
  // wine server of its own, started without them) does not.
  TempTree tree;
  tree.WriteFile(L"src\\readable.txt", "r");
  tree.WriteFile(L"src\\unreadable.txt", "secret");
  tree.WriteFile(L"src\\closed\\inside.txt", "i");
  tree.MakeFolder(L"scratch");
  for (const wchar_t* item : {L"src\\unreadable.txt", L"src\\closed"}) {
    std::wstring host = HostName(tree.Path(item));
    std::wstring path = tree.Path(item);
    std::string whyNot = RunHostProgram("/bin/chmod", L"000 " + Quoted(host), [&] {
      return AttributesOf(path) & FILE_ATTRIBUTE_READONLY;
    });
    if (!whyNot.empty()) GTEST_SKIP() << whyNot;
  }
  HostChildResult run =
      RunSiblingOnHost(L"hbcopy.exe", ShellPair(tree, L"common"), L"",
                       L"setpriv --bounding-set=-all --inh-caps=-all",
                       HostName(tree.Path(L"prefix")), tree.Path(L"scratch"), 240000);
  if (!run.whyNot.empty()) GTEST_SKIP() << run.whyNot;
  EXPECT_EQ(run.result.exitCode, 4u) << run.result.output << run.result.errors;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\readable.txt")), "r");
  EXPECT_NE(run.result.output.find("unreadable.txt (open source: "), std::string::npos)
      << run.result.output;
  EXPECT_NE(run.result.output.find("closed (list folder: "), std::string::npos)
      << run.result.output;
  EXPECT_NE(run.result.output.find("failed=2"), std::string::npos) << run.result.output;
}

TEST(Hbcopy, AKilledRunLeavesNothingThatTheNextRunDoesNotClear) {
  TempTree tree;
  tree.WriteFileOfSize(L"src\\big.bin", 192 * 1024 * 1024, 3);
  tree.WriteFile(L"dst\\big.bin", "previous version");
  std::wstring pair = Quoted(tree.Path(L"src")) + L" " + Quoted(tree.Path(L"dst"));
  HandleHolder child(StartSiblingProgram(L"hbcopy.exe", L"common " + pair));
  ASSERT_TRUE(child.Valid());
  // Killed once its scratch copy has contents: mid-copy, as by a power cut.
  bool caught = false;
  for (ULONGLONG deadline = GetTickCount64() + kBoundedWaitMs;
       !caught && GetTickCount64() < deadline;) {
    for (const std::wstring& name : NamesIn(tree.Path(L"dst")))
      if (name != L"big.bin" && QueryFileSizeOf(tree.Path(L"dst\\" + name)) > 0) caught = true;
    if (!caught && WaitForSingleObject(child.Get(), 1) == WAIT_OBJECT_0) break;
  }
  TerminateProcess(child.Get(), 9);
  WaitForSingleObject(child.Get(), INFINITE);
  if (!caught) GTEST_SKIP() << "the copy ended before it could be interrupted";
  ASSERT_EQ(NamesIn(tree.Path(L"dst")).size(), 2u) << "the partial copy beside the old one";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\big.bin")), "previous version");

  ChildResult next = RunHbcopyProgram(L"common " + pair);
  EXPECT_EQ(next.exitCode, 0u) << next.output << next.errors;
  EXPECT_NE(next.output.find("leftovers=1"), std::string::npos) << next.output;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"big.bin"}));
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
}

TEST(Hbcopy, ExcludeSwitchLeavesItemsOutEvenWhenItsQuoteFollowsABackslash) {
  TempTree tree;
  tree.WriteFile(L"src\\keep.txt", "keep");
  tree.WriteFile(L"src\\a.tmp", "left out");
  tree.WriteFile(L"src\\web\\node_modules\\lib.js", "left out");
  tree.WriteFile(L"src\\hidden.txt", "left out by /skiphidden");
  SetAttributes(tree.Path(L"src\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  // The command line reads "\"" as an escaped quote: the switches after it
  // must still count.
  ChildResult run =
      RunHbcopyProgram(L"common " + Quoted(tree.Path(L"src")) + L" " + Quoted(tree.Path(L"dst")) +
                       L" /exclude:\"*.tmp;node_modules\\\" /skiphidden");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.output.find("pass=copy copied=1 uptodate=0 deleted=0 skipped=3 failed=0"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")), (std::vector<std::wstring>{L"keep.txt", L"web"}));
  EXPECT_TRUE(NamesIn(tree.Path(L"dst\\web")).empty());

  // A malformed pattern is noted and ignored; the run goes on.
  run = RunHbcopyProgram(L"common " + Quoted(tree.Path(L"src")) + L" " +
                         Quoted(tree.Path(L"dst2")) + L" /EXCLUDE:\"*.tmp;;\\\\\"");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.errors.find("pattern ignored (no name to match): \"\""), std::string::npos)
      << run.errors;
  EXPECT_FALSE(Exists(tree.Path(L"dst2\\a.tmp")));
  EXPECT_TRUE(IsFile(tree.Path(L"dst2\\web\\node_modules\\lib.js")));

  // The switch needs no value, but nothing else follows its name.
  run = RunHbcopyProgram(L"common " + Quoted(tree.Path(L"src")) + L" " +
                         Quoted(tree.Path(L"dst3")) + L" /excludes");
  EXPECT_EQ(run.exitCode, 2u);
}

TEST(HbcopyArguments, VersionsGuardAndPreviewSwitches) {
  struct Row {
    std::vector<const wchar_t*> switches;
    bool valid;
    uint32_t versionDays;
    uint32_t guard;
    bool preview;
  };
  const Row rows[] = {
      {{}, true, 0, 50, false},
      {{L"/versions"}, true, 30, 50, false},
      {{L"/VERSIONS:7", L"-guard:0", L"/Preview"}, true, 7, 0, true},
      {{L"/guard:100"}, true, 0, 100, false},
      {{L"/versions:0"}, false, 0, 0, false},
      {{L"/versions:"}, false, 0, 0, false},
      {{L"/versions:3x"}, false, 0, 0, false},
      {{L"/guard"}, false, 0, 0, false},
      {{L"/guard:101"}, false, 0, 0, false},
      {{L"/guard:-1"}, false, 0, 0, false},
      {{L"/versionsX"}, false, 0, 0, false},
  };
  for (const Row& row : rows) {
    std::vector<const wchar_t*> argv = {L"hbcopy", L"strict", L"C:\\a", L"C:\\b"};
    argv.insert(argv.end(), row.switches.begin(), row.switches.end());
    HbcopyArguments arguments;
    const bool parsed = ParseHbcopyArguments(static_cast<int>(argv.size()), argv.data(), arguments);
    ASSERT_EQ(parsed, row.valid) << Utf8(row.switches.empty() ? L"" : row.switches[0]);
    if (!parsed) continue;
    EXPECT_EQ(arguments.settings.versionDays, row.versionDays);
    EXPECT_EQ(arguments.settings.deletionGuard, row.guard);
    EXPECT_EQ(arguments.preview, row.preview);
  }
}

TEST(Hbcopy, TheGuardStopsAMassDeletionWithExitCodeFive) {
  TempTree tree;
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\kept.txt", "k");
  for (int i = 0; i < 12; ++i) tree.WriteFile(L"dst\\f" + std::to_wstring(i) + L".txt", "x");
  const std::wstring pair = drive.Root() + L"src " + drive.Root() + L"dst";
  ChildResult run = RunHbcopyProgram(L"strict " + pair);
  EXPECT_EQ(run.exitCode, 5u) << run.errors;
  EXPECT_NE(run.output.find("guard: would delete 12 of 13 files"), std::string::npos) << run.output;
  EXPECT_NE(run.errors.find("the deletion guard stopped the deletion pass; nothing was deleted"),
            std::string::npos);
  EXPECT_EQ(NamesIn(tree.Path(L"dst")).size(), 13u);

  run = RunHbcopyProgram(L"strict " + pair + L" /guard:0 /versions");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(NamesIn(tree.Path(L"dst")),
            (std::vector<std::wstring>{L"Harborline Versions", L"kept.txt"}));
  EXPECT_NE(run.output.find("deleted=12 skipped=0 failed=0 bytes=0 leftovers=0 versioned=12"),
            std::string::npos)
      << run.output;
  // Without /update the copy pass replaced kept.txt as well: its old copy is kept too.
  EXPECT_NE(run.output.find("versions side=destination runs=1 files=13 bytes=13"),
            std::string::npos)
      << run.output;
}

TEST(Hbcopy, APreviewPrintsEachItemAndChangesNothing) {
  TempTree tree;
  MappedDrive drive(tree.Root());
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\new.txt", "new");
  tree.WriteFile(L"src\\changed.txt", "changed");
  tree.WriteFile(L"dst\\changed.txt", "old");
  tree.WriteFile(L"dst\\extra.txt", "extra");
  const std::wstring before = DescribeTree(tree.Root());
  const std::wstring d = drive.Root();
  ChildResult run = RunHbcopyProgram(L"strict " + d + L"src " + d + L"dst /versions /preview");
  EXPECT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(DescribeTree(tree.Root()), before);
  const std::string root = Utf8(d);
  // The walk's order is the file system's; each item once.
  std::vector<std::string> lines;
  const std::string items = run.output.substr(0, run.output.find("bytesTotal="));
  for (size_t at = 0, end; (end = items.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(items.substr(at, end - at));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "copy " + root + "dst\\new.txt 3", "delete " + root + "dst\\extra.txt",
                "update " + root + "dst\\changed.txt 7", "version " + root + "dst\\changed.txt",
                "version " + root + "dst\\extra.txt"}));
  EXPECT_NE(run.output.find("pass=copy copied=2 uptodate=0 deleted=0 skipped=0 failed=0 bytes=10 "
                            "leftovers=0 versioned=1\r\n"
                            "pass=delete copied=0 uptodate=0 deleted=1"),
            std::string::npos)
      << run.output;
}
