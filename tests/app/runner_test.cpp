// The operation runner end to end: real trees, a real main window with its
// folder-pair list, the real progress window driven by posted messages.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "app/application.h"
#include "app/install/shell_links.h"
#include "app/runner/completion_action.h"
#include "app/runner/operation_runner.h"
#include "engine/backup_job.h"
#include "tests/support/run_driver.h"
#include "tests/support/temp_tree.h"
#include "tests/support/window_harness.h"

namespace {

struct PowerCall {
  bool exitWindows;  // else a suspend
  UINT flags;
  bool hibernate;
  bool disableWakeEvents;
};
std::vector<PowerCall> g_powerCalls;

PowerCalls Recorder() {
  PowerCalls calls;
  calls.exitWindows = [](UINT flags, DWORD) {
    g_powerCalls.push_back({true, flags, false, false});
  };
  calls.suspend = [](bool hibernate, bool, bool disableWakeEvents) {
    g_powerCalls.push_back({false, 0, hibernate, disableWakeEvents});
  };
  return calls;
}

constexpr wchar_t kColumns[] =
    L"  Backup source folder\n  Destination folder\n  Item ID\n  FTP encrypted info";

bool ScratchLeftIn(const std::wstring& folder) {
  for (const std::wstring& name : NamesIn(folder))
    if (name != L"big.bin" && name != L"a.txt") return true;
  return false;
}

// Points to hold the worker at.
bool AtAnEntry(const BackupJob& job) { return job.itemsDone > 0; }
// Inside the large file, on the walker's thread: the tests that hold there
// copy one file at a time (job.threads = 1), since a small file beside it
// would go to a worker of the pool and be the first to count bytes, while
// the walker ran on through the large one. Pause and cancel with files in
// flight: tests/engine/copy_pool_test.cpp.
bool InsideAFile(const BackupJob& job) { return job.bytesDone > 0; }

class Runner : public testing::Test {
 protected:
  void SetUp() override {
    g_powerCalls.clear();
    SetPowerCalls(Recorder());
    className = UniqueClassName(L"RunnerMain");
    UiWindow& main = app.mainWindow;
    main.Create(className.c_str(), L"Runner test", 650, 525, 20, 20, WS_POPUP, nullptr, nullptr);
    list = main.AddListView(kColumns, 15, 65, 620, 130);
    ShowWindow(main.handle, SW_SHOWNOACTIVATE);
    DrainEvents(main);
    app.osVersion = 10.0;
    // The run log goes beside the default settings file: here, into the tree.
    app.defaultSettingsPath.Assign(tree.Path(L"user.hbak").c_str());
    app.currentSettingsPath.Assign(tree.Path(L"job.hbak").c_str());
    job.pairListControl = list;
    job.ownerWindow = &main;
    ASSERT_TRUE(EnsureTransferBuffer(job));
  }
  void TearDown() override {
    SetPowerCalls(PowerCalls());
    app.mainWindow.Destroy();
    MSG left;
    while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  void AddPair(const std::wstring& source, const std::wstring& destination, bool checked = true) {
    UiWindow& main = app.mainWindow;
    const int row = main.AddListRow(list, source.c_str());
    LVITEMW cell{};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(destination.c_str());
    main.SendToControl(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    main.SetRowChecked(list, row, checked);
  }
  void AddTreePair(const wchar_t* source, const wchar_t* destination, bool checked = true) {
    AddPair(tree.Path(source), tree.Path(destination), checked);
  }

  // Runs the job while the script drives the run from outside; the worker is
  // held at each point in turn. The box the script answered is in question.
  RunResult RunDriven(uint32_t flags, std::vector<RunDriver::Condition> holds,
                      RunDriver::Script script) {
    RunDriver driver(job);
    for (RunDriver::Condition& hold : holds) driver.HoldWhen(std::move(hold));
    driver.Start(std::move(script));
    const RunResult result = Run(flags);
    driver.Join();
    EXPECT_EQ(driver.problems, L"");
    question = driver.question;
    return result;
  }

  RunResult Run(uint32_t flags) {
    job.flags = flags;
    job.cancelRequested = 0;
    DrainEvents(app.mainWindow);
    return RunBackup(app, job);
  }

  Application app;
  BackupJob job;
  TempTree tree;
  std::wstring className;
  std::wstring question;
  int list = 0;
};

// --- Modes -------------------------------------------------------------------

struct ModeCase {
  const char* name;
  uint32_t flags;
};

class RunnerModes : public Runner, public testing::WithParamInterface<ModeCase> {};

TEST_P(RunnerModes, EachModeRunsThroughTheProgressWindow) {
  const uint32_t flags = GetParam().flags;
  tree.WriteFile(L"src\\a.txt", "source a");
  tree.WriteFile(L"src\\sub\\b.txt", "source b");
  tree.WriteFile(L"dst\\c.txt", "destination c");
  tree.WriteFile(L"dst\\sub\\d.txt", "destination d");
  AddTreePair(L"src", L"dst");
  EXPECT_EQ(Run(flags), RunResult::kFinished);
  const std::wstring source = DescribeTree(tree.Path(L"src"));
  const std::wstring destination = DescribeTree(tree.Path(L"dst"));
  if (flags & BackupMode::Strict) {
    EXPECT_EQ(destination, source) << "the destination mirrors the source";
  } else if (flags & BackupMode::Restore) {
    EXPECT_TRUE(IsFile(tree.Path(L"src\\c.txt")) && IsFile(tree.Path(L"src\\sub\\d.txt")));
    EXPECT_FALSE(IsFile(tree.Path(L"dst\\a.txt")));
  } else if (flags & BackupMode::Sync) {
    EXPECT_EQ(destination, source) << "both sides hold everything";
    EXPECT_TRUE(IsFile(tree.Path(L"src\\c.txt")));
  } else {
    EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\sub\\b.txt")), "source b");
    EXPECT_TRUE(IsFile(tree.Path(L"dst\\c.txt"))) << "Common deletes nothing";
  }
  EXPECT_TRUE(g_powerCalls.empty());
  EXPECT_EQ(job.flags & BackupMode::ModeBits, flags) << "the run leaves the job's mode as it was";
}

INSTANTIATE_TEST_SUITE_P(
    , RunnerModes,
    testing::Values(ModeCase{"Common", BackupMode::Common}, ModeCase{"Strict", BackupMode::Strict},
                    ModeCase{"Restore", BackupMode::Restore}, ModeCase{"Sync", BackupMode::Sync}),
    [](const testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST_F(Runner, StrictJobOfSeveralPairsRunsTheDeletionPassForEveryPair) {
  for (const wchar_t* n : {L"1", L"2", L"3"}) {
    std::wstring s = std::wstring(L"src") + n, d = std::wstring(L"dst") + n;
    tree.WriteFile(s + L"\\kept.txt", "kept");
    tree.WriteFile(d + L"\\extra.txt", "not in the source");
    AddPair(tree.Path(s), tree.Path(d));
  }
  EXPECT_EQ(Run(BackupMode::Strict), RunResult::kFinished);
  for (const wchar_t* n : {L"1", L"2", L"3"}) {
    std::wstring d = std::wstring(L"dst") + n;
    EXPECT_EQ(NamesIn(tree.Path(d)), std::vector<std::wstring>{L"kept.txt"}) << "pair " << n;
  }
  EXPECT_TRUE(job.flags & BackupMode::Strict);
}

TEST_F(Runner, UncheckedRowsAreLeftAloneAndCountInThePairText) {
  tree.WriteFile(L"src1\\a.txt", "a");
  tree.WriteFile(L"src2\\a.txt", "a");
  AddTreePair(L"src1", L"dst1", false);
  AddTreePair(L"src2", L"dst2");
  auto script = [](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.WaitForText(kStatusLabel, L"Copying files from source to destination, folder pair 2 of 2...");
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {AtAnEntry}, script), RunResult::kFinished);
  EXPECT_FALSE(Exists(tree.Path(L"dst1")));
  EXPECT_TRUE(IsFile(tree.Path(L"dst2\\a.txt")));
}

TEST_F(Runner, StrictDeletionPassShowsTheSynchronizingStatus) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\old.txt", "old");
  AddTreePair(L"src", L"dst\\");
  std::wstring source, destination, title;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.WaitForText(kStatusLabel, L"Synchronizing source and destination, folder pair 1 of 1...");
    source = d.Text(kSourceLabel);
    destination = d.Text(kDestinationLabel);
    title = d.Text(kTitleLabel);
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Strict, {[](const BackupJob& seen) {
                        return (seen.flags & BackupMode::Strict) != 0;
                      }},
                      script),
            RunResult::kFinished);
  EXPECT_EQ(source, L"Source: " + tree.Path(L"src"));
  EXPECT_EQ(destination, L"Destination: " + tree.Path(L"dst")) << "trailing separator removed";
  EXPECT_EQ(title, L"Backup operation progress");
  EXPECT_FALSE(Exists(tree.Path(L"dst\\old.txt")));
}

TEST_F(Runner, RestoreShowsItsTitleAndCopiesBack) {
  tree.WriteFile(L"dst\\a.txt", "from the backup");
  tree.MakeFolder(L"src");
  AddTreePair(L"src", L"dst");
  std::wstring title;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.WaitForText(kStatusLabel, L"Copying files from destination to source, folder pair 1 of 1...");
    title = d.Text(kTitleLabel);
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Restore, {AtAnEntry}, script), RunResult::kFinished);
  EXPECT_EQ(title, L"Restore operation progress");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"src\\a.txt")), "from the backup");
}

// The host keeps no path that long (its limit is 4,096 bytes), so the pair
// cannot run; what it shows is that the text reaching the passes and the
// report is the whole cell, not its first 4,095 characters.
TEST_F(Runner, CellsLongerThanFourThousandCharactersAreReadWhole) {
  std::wstring source = tree.Path(L"src");
  for (int i = 0; source.size() < 5000; ++i) source += L"\\folder" + std::to_wstring(i);
  source += L"\\end";
  AddPair(source, tree.Path(L"dst"));
  app.runMode = kQuiet;
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinished);
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  const std::string whole(source.begin(), source.end());  // plain ASCII
  EXPECT_NE(log.find(whole + " -> "), std::string::npos) << log.substr(0, 400);
  EXPECT_NE(log.find("skipped: the source folder does not exist"), std::string::npos);
}

// An empty text would walk the root of the current drive, a relative one a
// folder below the current folder: the case runs on a drive letter mapped to
// a folder of the test, with the current folder there.
TEST_F(Runner, RowsWhoseFoldersAreNotFullPathsAreSkippedAndReported) {
  tree.WriteFile(L"drive\\top.txt", "at the root of the drive");
  tree.WriteFile(L"drive\\cwd\\rel\\a.txt", "relative");
  MappedDrive drive(tree.Path(L"drive"), L"cwd");
  if (!drive.Ready()) GTEST_SKIP() << drive.WhyNot();
  tree.WriteFile(L"src\\a.txt", "a");
  AddPair(L"", tree.Path(L"dst1"));
  AddPair(L"rel", tree.Path(L"dst2"));
  AddPair(drive.Drive() + L"rel", tree.Path(L"dst3"));
  AddPair(tree.Path(L"src"), L"");
  AddPair(tree.Path(L"src"), L"backup");
  AddTreePair(L"src", L"dst6");
  app.runMode = kQuiet;
  EXPECT_EQ(Run(BackupMode::Strict), RunResult::kFinished);
  EXPECT_EQ(app.exitCode, kExitIncomplete);
  for (const wchar_t* never : {L"dst1", L"dst2", L"dst3", L"drive\\cwd\\backup"})
    EXPECT_FALSE(Exists(tree.Path(never))) << never;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\top.txt")), "at the root of the drive");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\cwd\\rel\\a.txt")), "relative");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst6\\a.txt")), "a") << "the full pair still ran";
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  size_t skipped = 0;
  for (size_t at = log.find("skipped: the folders must be full paths"); at != std::string::npos;
       at = log.find("skipped: the folders must be full paths", at + 1))
    ++skipped;
  EXPECT_EQ(skipped, 5u) << log;
}

std::vector<std::wstring> g_opened;
std::atomic<int> g_openings{0};

TEST_F(Runner, HeaderLinksKeepWorkingDuringARun) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  app.updateLinkId = app.mainWindow.AddStatic(L"Check for updates", 520, 30, 120, 15);
  g_opened.clear();
  g_openings = 0;
  SetShellOpener([](const wchar_t* target) {
    g_opened.push_back(target);
    ++g_openings;
    return true;
  });
  HWND main = app.mainWindow.handle;
  const int link = app.updateLinkId;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(link, STN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main, link)));
    // Served while the worker still stands: the run's loop took it.
    for (int i = 0; i < 6000 && g_openings == 0; ++i) Sleep(10);
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {AtAnEntry}, script), RunResult::kFinished);
  SetShellOpener(nullptr);
  ASSERT_EQ(g_opened.size(), 1u);
  EXPECT_NE(g_opened[0].find(L"about.php?ver=1.3.4.0"), std::wstring::npos) << g_opened[0];
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\a.txt")), "a") << "the run went on";
}

// --- Layout ------------------------------------------------------------------

struct ControlLook {
  std::wstring className;
  RECT bounds{};
  std::wstring text;
  LONG fontHeight = 0;
  LONG fontWeight = 0;
  std::wstring face;
};

ControlLook LookAt(HWND window, HWND control) {
  ControlLook look;
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  look.className = name;
  GetWindowRect(control, &look.bounds);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&look.bounds), 2);
  wchar_t text[512] = {};
  GetWindowTextW(control, text, 512);
  look.text = text;
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW info{};
  if (font && GetObjectW(font, sizeof info, &info)) {
    look.fontHeight = info.lfHeight;
    look.fontWeight = info.lfWeight;
    look.face = info.lfFaceName;
  }
  return look;
}

LONG PointsToHeight(int points) {
  HDC screen = GetDC(nullptr);
  LONG height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return height;
}

TEST_F(Runner, ProgressWindowIsLaidOutAsDesigned) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  std::vector<ControlLook> looks;
  RECT client{};
  std::wstring windowTitle;
  std::vector<std::wstring> actions;
  LRESULT selected = -1;
  HWND owner = nullptr;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    GetClientRect(d.window, &client);
    wchar_t title[64] = {};
    GetWindowTextW(d.window, title, 64);
    windowTitle = title;
    owner = GetWindow(d.window, GW_OWNER);
    for (int i = kSpinnerHost; i <= kCancelButton; ++i)
      looks.push_back(LookAt(d.window, d.Control(i)));
    HWND combo = d.Control(kCompletionList);
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[64] = {};
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      actions.push_back(item);
    }
    selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {AtAnEntry}, script), RunResult::kFinished);
  ASSERT_EQ(looks.size(), 10u);
  EXPECT_EQ(client.right, 450);
  EXPECT_EQ(client.bottom, 300);
  EXPECT_EQ(windowTitle, L"Harborline Backup");
  EXPECT_EQ(owner, app.mainWindow.handle);

  struct Expected {
    const wchar_t* className;
    RECT bounds;  // left, top, right, bottom; the list's height is its own
    int points;
    bool bold;
  };
  const Expected table[10] = {
      {L"Static", {10, 10, 58, 58}, 9, false},
      {L"Static", {58, 20, 440, 42}, 12, true},
      {L"Static", {10, 90, 440, 108}, 9, false},
      {L"Static", {10, 115, 440, 133}, 9, false},
      {L"msctls_progress32", {10, 145, 440, 163}, 9, false},
      {L"Static", {10, 168, 440, 186}, 9, false},
      {L"Static", {40, 209, 240, 227}, 9, true},
      {L"ComboBox", {250, 205, 410, 0}, 9, true},
      {L"Button", {190, 265, 290, 291}, 9, true},
      {L"Button", {320, 265, 420, 291}, 9, true},
  };
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i + 1);
    const ControlLook& look = looks[i];
    EXPECT_EQ(look.className, table[i].className);
    EXPECT_EQ(look.bounds.left, table[i].bounds.left);
    EXPECT_EQ(look.bounds.top, table[i].bounds.top);
    EXPECT_EQ(look.bounds.right, table[i].bounds.right);
    if (table[i].bounds.bottom) {
      EXPECT_EQ(look.bounds.bottom, table[i].bounds.bottom);
    }
    if (i == 0 || i == 4) continue;  // the spinner host and the bar draw no text
    EXPECT_EQ(look.face, L"Arial");
    EXPECT_EQ(look.fontHeight, PointsToHeight(table[i].points));
    EXPECT_EQ(look.fontWeight >= FW_BOLD, table[i].bold);
  }
  EXPECT_EQ(looks[1].text, L"Backup operation progress");
  EXPECT_EQ(looks[2].text, L"Source: " + tree.Path(L"src"));
  EXPECT_EQ(looks[3].text, L"Destination: " + tree.Path(L"dst"));
  EXPECT_EQ(looks[6].text, L"&When the operation completes, ");
  EXPECT_EQ(looks[8].text, L"  &Pause");
  EXPECT_EQ(looks[9].text, L"  &Cancel");
  EXPECT_EQ(actions, (std::vector<std::wstring>{L"Do nothing", L"Close application", L"Log off",
                                                L"Sleep", L"Hibernate", L"Shut down", L"Restart"}));
  EXPECT_EQ(selected, 0);
}

// --- Pause and cancel ---------------------------------------------------------

// The image list a push button shows its image from.
HANDLE ButtonImages(HWND button) {
  BUTTON_IMAGELIST images{};
  if (!SendMessageW(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images))) return nullptr;
  return images.himl;
}

TEST_F(Runner, PauseThenResumeLeavesACorrectCopy) {
  job.threads = 1;  // see InsideAFile
  tree.WriteFileOfSize(L"src\\big.bin", 8 * 1024 * 1024, 5);
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  uint64_t heldAt = 0, afterWaiting = 0;
  std::wstring resumeText, restored;
  HANDLE pauseImage = nullptr, resumeImage = nullptr;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    pauseImage = ButtonImages(d.Control(kPauseButton));
    d.Click(kPauseButton);
    d.WaitForText(kStatusLabel, L"Paused. Press \"Resume\" to continue.");
    resumeText = d.Text(kPauseButton);
    resumeImage = ButtonImages(d.Control(kPauseButton));
    heldAt = d.job.bytesDone;
    d.Release();
    // The worker now runs to its next stopping point and waits there; a
    // short look shows it standing (it cannot fail falsely).
    Sleep(300);
    afterWaiting = d.job.bytesDone;
    d.Click(kPauseButton);
    if (!d.WaitHeld()) return;
    d.WaitForText(kPauseButton, L"  Pause");
    restored = d.Text(kStatusLabel);
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common,
                      {InsideAFile,
                       [](const BackupJob& seen) { return seen.bytesDone > 4 * 1024 * 1024; }},
                      script),
            RunResult::kFinished);
  EXPECT_EQ(resumeText, L"  &Resume");
  EXPECT_NE(pauseImage, nullptr);
  EXPECT_NE(resumeImage, nullptr);
  EXPECT_NE(resumeImage, pauseImage) << "the button shows the resume image";
  EXPECT_EQ(afterWaiting, heldAt) << "nothing is copied while paused";
  EXPECT_EQ(restored, L"Copying files from source to destination, folder pair 1 of 1...");
  EXPECT_EQ(DescribeTree(tree.Path(L"dst")), DescribeTree(tree.Path(L"src")));
}

TEST_F(Runner, CancelYesKeepsEveryPreviousDestinationFile) {
  job.threads = 1;  // see InsideAFile
  tree.WriteFileOfSize(L"src\\big.bin", 8 * 1024 * 1024, 6);
  tree.WriteFile(L"src\\a.txt", "new a");
  tree.WriteFile(L"dst\\big.bin", "previous big");
  tree.WriteFile(L"dst\\a.txt", "previous a");
  SetWriteTime(tree.Path(L"dst\\a.txt"), 0);
  AddTreePair(L"src", L"dst");
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.Click(kCancelButton);
    d.Answer(true);
    d.WaitForCancelFlag();
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Strict, {InsideAFile}, script), RunResult::kCancelled);
  EXPECT_EQ(question, L"Are you sure you want to cancel the backup operation?");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\big.bin")), "previous big");
  EXPECT_FALSE(ScratchLeftIn(tree.Path(L"dst"))) << "the worker stopped by itself";
  EXPECT_TRUE(g_powerCalls.empty()) << "no completion action after a cancel";
}

TEST_F(Runner, CancelNoShowsTheWindowAgainAndTheRunGoesOn) {
  job.threads = 1;  // see InsideAFile
  tree.WriteFileOfSize(L"dst\\big.bin", 4 * 1024 * 1024, 7);
  tree.MakeFolder(L"src");
  AddTreePair(L"src", L"dst");
  bool shownAgain = false, mainDisabled = false;
  uint64_t asked = 0, whileOpen = 0;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    mainDisabled = !IsWindowEnabled(app.mainWindow.handle);
    d.Click(kCancelButton);
    if (!d.WaitForQuestion()) return;
    asked = d.job.bytesDone;
    d.Release();
    Sleep(300);  // the copy would go on now; a short look shows it standing
    whileOpen = d.job.bytesDone;
    d.Answer(false);
    shownAgain = d.WaitForWindow() != nullptr;
  };
  EXPECT_EQ(RunDriven(BackupMode::Restore, {InsideAFile}, script), RunResult::kFinished);
  EXPECT_EQ(question, L"Are you sure you want to cancel the restore operation?");
  EXPECT_TRUE(mainDisabled) << "the main window waits for the run";
  EXPECT_EQ(whileOpen, asked) << "nothing is copied while the question is open";
  EXPECT_TRUE(shownAgain);
  EXPECT_EQ(job.cancelRequested.load(), 0);
  EXPECT_EQ(DescribeTree(tree.Path(L"src")), DescribeTree(tree.Path(L"dst")));
}

TEST_F(Runner, CancelYesAfterTheLastFileIsDoneIsRecordedAsFinished) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  app.runMode = kPassive;  // so that the outcome is also the exit code
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.Click(kCancelButton);
    if (!d.WaitForQuestion()) return;
    d.Release();  // no stopping point is left after the last file
    d.WaitForWorkerEnd();
    d.Answer(true);
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {InsideAFile}, script), RunResult::kFinished);
  EXPECT_EQ(app.exitCode, kExitAllDone);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\a.txt")), "a");
}

TEST_F(Runner, CancelWhilePausedWakesTheWorkerToStop) {
  job.threads = 1;  // see InsideAFile
  tree.WriteFileOfSize(L"src\\big.bin", 8 * 1024 * 1024, 8);
  tree.WriteFile(L"dst\\big.bin", "previous big");
  AddTreePair(L"src", L"dst");
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.Click(kPauseButton);
    d.WaitForText(kStatusLabel, L"Paused. Press \"Resume\" to continue.");
    d.Release();  // to the pause gate
    d.Click(kCancelButton);
    d.Answer(true);
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {InsideAFile}, script), RunResult::kCancelled);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\big.bin")), "previous big");
  // A worker terminated at the bound would have left its scratch file.
  EXPECT_FALSE(ScratchLeftIn(tree.Path(L"dst")));
}

// A worker that never reaches a stopping point (here: held for good) is
// terminated once the bound after the cancel has passed; this test takes
// that long.
TEST_F(Runner, CancelThatIsNotHonouredIsForcedAfterTheBound) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    d.Click(kCancelButton);
    d.Answer(true);
  };
  EXPECT_EQ(RunDriven(BackupMode::Strict, {AtAnEntry}, script), RunResult::kCancelled);
  EXPECT_TRUE(g_powerCalls.empty());
}

TEST_F(Runner, CloseOfTheMainWindowAsksTheCancelQuestion) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  HWND main = app.mainWindow.handle;
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    PostMessageW(main, kPrivateCloseMessage, 0, 0);
    d.Answer(true);
    d.WaitForCancelFlag();
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {AtAnEntry}, script), RunResult::kCancelled);
  EXPECT_EQ(question, L"Are you sure you want to cancel the backup operation?");
}

TEST_F(Runner, QuitDuringAPassEndsTheRunAsCancelledAndIsPostedAgain) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"src\\b.txt", "b");
  tree.WriteFile(L"dst\\extra.txt", "only here");
  AddTreePair(L"src", L"dst");
  app.runMode = kPassive;
  const DWORD thread = GetCurrentThreadId();
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    PostThreadMessageW(thread, WM_QUIT, 7, 0);
    d.WaitForCancelFlag();
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Strict, {AtAnEntry}, script), RunResult::kCancelled);
  EXPECT_TRUE(IsFile(tree.Path(L"dst\\extra.txt"))) << "no deletion pass beside the copy";
  EXPECT_EQ(app.exitCode, kExitCancelled);
  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
}

// A quit in the first of several pairs ends the whole run: no later pair
// starts, and the run counts as cancelled.
TEST_F(Runner, QuitDuringTheFirstOfSeveralPairsRunsNoLaterPair) {
  for (const wchar_t* n : {L"1", L"2", L"3"}) {
    tree.WriteFile(std::wstring(L"src") + n + L"\\a.txt", "a");
    tree.WriteFile(std::wstring(L"src") + n + L"\\b.txt", "b");
    AddPair(tree.Path(std::wstring(L"src") + n), tree.Path(std::wstring(L"dst") + n));
  }
  app.runMode = kPassive;
  const DWORD thread = GetCurrentThreadId();
  auto script = [&](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    PostThreadMessageW(thread, WM_QUIT, 0, 0);
    d.WaitForCancelFlag();
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Common, {AtAnEntry}, script), RunResult::kCancelled);
  EXPECT_EQ(app.exitCode, kExitCancelled);
  EXPECT_FALSE(Exists(tree.Path(L"dst2")));
  EXPECT_FALSE(Exists(tree.Path(L"dst3")));
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  EXPECT_NE(log.find("Folder pair 1 of 3: "), std::string::npos) << log;
  EXPECT_EQ(log.find("Folder pair 2 of 3"), std::string::npos) << log;
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// --- Completion action and results ---------------------------------------------

TEST_F(Runner, AllUncheckedListStillPerformsTheCompletionAction) {
  AddTreePair(L"src", L"dst", false);
  ProgressWindowShown choose([](HWND window) {
    SendMessageW(GetDlgItem(window, kCompletionList), CB_SETCURSEL,
                 static_cast<WPARAM>(CompletionAction::kShutDown), 0);
  });
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinishedAndClose);
  ASSERT_EQ(g_powerCalls.size(), 1u);
  EXPECT_TRUE(g_powerCalls[0].exitWindows);
  EXPECT_EQ(g_powerCalls[0].flags, 0x400001u) << "hybrid shut-down from version 6.2 on";
  EXPECT_FALSE(Exists(tree.Path(L"dst")));
}

TEST_F(Runner, EmptyListDoesNothingAtAll) {
  ProgressWindowShown choose(
      [](HWND window) { SendMessageW(GetDlgItem(window, kCompletionList), CB_SETCURSEL, 5, 0); });
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kNoRows);
  EXPECT_TRUE(g_powerCalls.empty());
  EXPECT_EQ(FindWindowW(L"Harborline_MsgBox", nullptr), nullptr);
}

TEST_F(Runner, QuietRunShowsNoWindowAndEndsWithNothing) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  app.runMode = kQuiet;
  bool shown = false;
  ProgressWindowShown watch([&](HWND) { shown = true; });
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinished);
  EXPECT_FALSE(shown);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\a.txt")), "a");
  EXPECT_EQ(app.exitCode, kExitAllDone);
  EXPECT_TRUE(g_powerCalls.empty());
}

// The Quiet wait serves the queue: a close request (as at the end of a
// session) reaches it and ends the run, with no question to ask.
TEST_F(Runner, QuietRunEndsOnACloseRequestWithoutAQuestion) {
  tree.WriteFile(L"src\\a.txt", "a");
  tree.WriteFile(L"dst\\extra.txt", "only here");
  AddTreePair(L"src", L"dst");
  app.runMode = kQuiet;
  HWND main = app.mainWindow.handle;
  auto script = [&](RunDriver& d) {
    if (!d.WaitHeld()) return;
    PostMessageW(main, kPrivateCloseMessage, 0, 0);
    d.WaitForCancelFlag();
    d.Release();
  };
  EXPECT_EQ(RunDriven(BackupMode::Strict, {AtAnEntry}, script), RunResult::kCancelled);
  EXPECT_EQ(question, L"");
  EXPECT_EQ(app.exitCode, kExitCancelled);
  EXPECT_TRUE(IsFile(tree.Path(L"dst\\extra.txt"))) << "no deletion pass after the cancel";
}

TEST_F(Runner, UnattendedRunWithAMissingSourceEndsWithCodeTwo) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"missing", L"dst1");
  AddTreePair(L"src", L"dst2");
  app.runMode = kQuiet;
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinished);
  EXPECT_EQ(app.exitCode, kExitIncomplete);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst2\\a.txt")), "a") << "the next pair still ran";
}

// --- Run report ----------------------------------------------------------------

// A pair with one item that cannot be done: a file on the other side bears
// the name of a walked folder.
void PrepareIncompleteJob(TempTree& tree) {
  tree.WriteFile(L"src\\thing\\inside.txt", "inside");
  tree.WriteFile(L"src\\fine.txt", "fine");
  tree.WriteFile(L"dst\\thing", "a file in the way");
}

TEST_F(Runner, ReportTellsPairsOutcomesCountsAndFailedItems) {
  PrepareIncompleteJob(tree);
  AddTreePair(L"src", L"dst");
  AddTreePair(L"missing", L"dst2", false);
  AddTreePair(L"missing", L"dst3");
  app.runMode = kQuiet;
  job.skipAttributes = SkipAttribute::SkipHidden;
  EXPECT_EQ(Run(BackupMode::UpdateMethod), RunResult::kFinished);
  EXPECT_EQ(app.exitCode, kExitIncomplete);
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 with a byte-order mark";
  for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1))
    ASSERT_EQ(log[at - 1], '\r') << "every line ends with CR LF";
  auto has = [&log](const std::string& text) { return log.find(text) != std::string::npos; };
  EXPECT_TRUE(has("==== Harborline Backup run started ")) << log;
  EXPECT_TRUE(has("Job file: ")) << log;
  EXPECT_TRUE(has("Run: unattended (/Quiet)")) << log;
  EXPECT_TRUE(has("Mode: Common; options: update method, skip hidden files")) << log;
  EXPECT_TRUE(
      has("Outcome: finished, but not everything could be done (1 item failed, 1 "
          "folder pair was skipped.)"))
      << log;
  EXPECT_TRUE(has("Folder pair 1 of 3: ")) << log;
  EXPECT_FALSE(has("Folder pair 2 of 3")) << "unchecked rows are not part of the run";
  EXPECT_TRUE(has("Folder pair 3 of 3: ")) << log;
  EXPECT_TRUE(has("  Outcome: skipped: the source folder does not exist")) << log;
  EXPECT_TRUE(has("failed 1")) << log;
  EXPECT_TRUE(has("  Failed: ")) << log;
  EXPECT_TRUE(has("thing (")) << log;
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\thing")), "a file in the way");
}

TEST_F(Runner, RunsAppendToTheLog) {
  tree.WriteFile(L"src\\a.txt", "a");
  AddTreePair(L"src", L"dst");
  app.runMode = kQuiet;
  Run(BackupMode::Common);
  Run(BackupMode::Common);
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  size_t runs = 0;
  for (size_t at = log.find("==== Harborline Backup run "); at != std::string::npos;
       at = log.find("==== Harborline Backup run ", at + 1))
    ++runs;
  EXPECT_EQ(runs, 2u);
  EXPECT_EQ(log.find("\xEF\xBB\xBF", 3), std::string::npos) << "one mark, at the start";
  EXPECT_EQ(app.exitCode, kExitAllDone);
}

TEST_F(Runner, InteractiveRunThatLeftSomethingUndoneSaysSo) {
  PrepareIncompleteJob(tree);
  AddTreePair(L"src", L"dst");
  AddTreePair(L"missing", L"dst3");
  EXPECT_EQ(RunDriven(BackupMode::Common, {}, [](RunDriver& d) { d.Answer(true); }),
            RunResult::kFinished);
  EXPECT_EQ(question,
            L"The backup finished, but not everything could be done.\r\n\r\n1 item failed, 1 "
            L"folder pair was skipped.\r\n\r\nDetails: " +
                tree.Path(L"user.log"));
  EXPECT_EQ(app.exitCode, 0) << "interactive runs leave the exit code alone";
}

TEST_F(Runner, LogThatCannotBeWrittenNeitherStopsNorFailsTheRun) {
  PrepareIncompleteJob(tree);
  AddTreePair(L"src", L"dst");
  app.defaultSettingsPath.Assign(tree.Path(L"no such folder\\user.hbak").c_str());
  EXPECT_EQ(RunDriven(BackupMode::Common, {}, [](RunDriver& d) { d.Answer(true); }),
            RunResult::kFinished);
  EXPECT_EQ(question,
            L"The backup finished, but not everything could be done.\r\n\r\n1 item failed, 0 "
            L"folder pairs were skipped.\r\n\r\nThe details could not be written to " +
                tree.Path(L"no such folder\\user.log") + L".");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\fine.txt")), "fine");
}

TEST_F(Runner, OtherCompletionActionsGoAheadWithoutAMessage) {
  PrepareIncompleteJob(tree);
  AddTreePair(L"src", L"dst");
  ProgressWindowShown choose([](HWND window) {
    SendMessageW(GetDlgItem(window, kCompletionList), CB_SETCURSEL,
                 static_cast<WPARAM>(CompletionAction::kSleep), 0);
  });
  EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinished);
  ASSERT_EQ(g_powerCalls.size(), 1u);
  EXPECT_FALSE(g_powerCalls[0].exitWindows);
  EXPECT_FALSE(g_powerCalls[0].hibernate);
}

TEST_F(Runner, UnattendedRunWithAFileThatCannotBeReadEndsWithCodeTwo) {
  tree.WriteFile(L"src\\fine.txt", "fine");
  tree.WriteFile(L"src\\held.txt", "held by another program");
  AddTreePair(L"src", L"dst");
  app.runMode = kPassive;
  {
    HANDLE held = CreateFileW(LongForm(tree.Path(L"src\\held.txt")).c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Run(BackupMode::Common), RunResult::kFinished);
    CloseHandle(held);
  }
  EXPECT_EQ(app.exitCode, kExitIncomplete);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\fine.txt")), "fine");
  const std::string log = ReadWholeFile(tree.Path(L"user.log"));
  EXPECT_NE(log.find("held.txt (open source: "), std::string::npos) << log;
}

struct ActionCase {
  CompletionAction action;
  double osVersion;
  RunResult result;
  int exitWindowsFlags;  // -1: no such call
  int suspend;           // -1 none, 0 sleep, 1 hibernate
};

class CompletionActions : public testing::TestWithParam<ActionCase> {};

TEST_P(CompletionActions, MakeTheirCallThroughTheSeam) {
  const ActionCase& c = GetParam();
  g_powerCalls.clear();
  SetPowerCalls(Recorder());
  EXPECT_EQ(PerformCompletionAction(static_cast<int>(c.action), c.osVersion), c.result);
  SetPowerCalls(PowerCalls());
  if (c.exitWindowsFlags < 0 && c.suspend < 0) {
    EXPECT_TRUE(g_powerCalls.empty());
    return;
  }
  ASSERT_EQ(g_powerCalls.size(), 1u);
  if (c.exitWindowsFlags >= 0) {
    EXPECT_TRUE(g_powerCalls[0].exitWindows);
    EXPECT_EQ(g_powerCalls[0].flags, static_cast<UINT>(c.exitWindowsFlags));
  } else {
    EXPECT_FALSE(g_powerCalls[0].exitWindows);
    EXPECT_EQ(g_powerCalls[0].hibernate, c.suspend == 1);
    EXPECT_FALSE(g_powerCalls[0].disableWakeEvents);
  }
}

INSTANTIATE_TEST_SUITE_P(
    , CompletionActions,
    testing::Values(
        ActionCase{CompletionAction::kDoNothing, 10.0, RunResult::kFinished, -1, -1},
        ActionCase{CompletionAction::kCloseApplication, 10.0, RunResult::kFinishedAndClose, -1, -1},
        ActionCase{CompletionAction::kLogOff, 10.0, RunResult::kFinishedAndClose, EWX_LOGOFF, -1},
        ActionCase{CompletionAction::kSleep, 10.0, RunResult::kFinished, -1, 0},
        ActionCase{CompletionAction::kHibernate, 10.0, RunResult::kFinished, -1, 1},
        ActionCase{CompletionAction::kShutDown, 6.1, RunResult::kFinishedAndClose, EWX_SHUTDOWN,
                   -1},
        ActionCase{CompletionAction::kShutDown, 6.2, RunResult::kFinishedAndClose, 0x400001, -1},
        ActionCase{CompletionAction::kRestart, 10.0, RunResult::kFinishedAndClose, EWX_REBOOT, -1}),
    [](const testing::TestParamInfo<ActionCase>& info) {
      return std::to_string(static_cast<int>(info.param.action)) + "_" +
             std::to_string(static_cast<int>(info.param.osVersion * 10));
    });

TEST(CompletionActionSeam, WithNothingPluggedInNoCallIsMade) {
  // What protects the machine running the tests: the program plugs in the
  // system's calls at start, and nothing else does.
  g_powerCalls.clear();
  SetPowerCalls(PowerCalls());
  EXPECT_EQ(PerformCompletionAction(static_cast<int>(CompletionAction::kShutDown), 10.0),
            RunResult::kFinishedAndClose);
  EXPECT_TRUE(g_powerCalls.empty());
}

}  // namespace
