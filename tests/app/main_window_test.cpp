// The main window and its dialogs on real windows under Xvfb, driven from a
// script that waits for each window and then posts clicks, texts and drops
// to it. A recording runner is plugged into the Start seam and a recorder
// into the shell opener, so nothing is copied and nothing is launched.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/backup_runner.h"
#include "app/shell_links.h"
#include "tests/support/temp_tree.h"
#include "tests/support/ui_script.h"
#include "tests/support/window_harness.h"

namespace {

constexpr wchar_t kBoxClass[] = L"_WINDOW_MsgBoxClass";
constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";

struct Row {
  std::wstring source, destination;
  bool checked;
  std::wstring id, extra;
};

struct RunSeen {
  int calls = 0;
  uint32_t flags = 0, skip = 0;
  bool windowShown = false;
  bool listSortable = true;
  bool listMatches = false;
  std::vector<Row> rows;
};

RunSeen g_run;
RunResult g_runAnswer = RunResult::kFinished;
std::vector<std::wstring> g_opened;

HWND ListOf(HWND main) { return FindChild(main, nullptr, L"SysListView32"); }

std::wstring Cell(HWND list, int row, int column) {
  std::vector<wchar_t> text(8192, L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text.data();
  item.cchTextMax = static_cast<int>(text.size());
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text.data();
}

std::vector<Row> RowsOf(HWND list) {
  std::vector<Row> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int r = 0; r < count; ++r) {
    const UINT state =
        static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, r, LVIS_STATEIMAGEMASK));
    rows.push_back({Cell(list, r, 0), Cell(list, r, 1), ((state & LVIS_STATEIMAGEMASK) >> 12) == 2,
                    Cell(list, r, 2), Cell(list, r, 3)});
  }
  return rows;
}

void PutRow(HWND list, const Row& row) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = 20000000;
  item.pszText = const_cast<wchar_t*>(row.source.c_str());
  const int at =
      static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  const std::wstring* others[] = {&row.destination, &row.id, &row.extra};
  for (int column = 1; column <= 3; ++column) {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(others[column - 1]->c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&cell));
  }
  LVITEMW check{};
  check.stateMask = LVIS_STATEIMAGEMASK;
  check.state = INDEXTOSTATEIMAGEMASK(row.checked ? 2 : 1);
  SendMessageW(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&check));
}

void SelectRow(HWND list, int row) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

RunResult RecordingRunner(Application& app, BackupJob& job) {
  ++g_run.calls;
  g_run.flags = job.flags;
  g_run.skip = job.skipAttributes;
  g_run.windowShown = IsWindowVisible(app.mainWindow.handle) != FALSE;
  UiControl* list = app.mainWindow.Control(job.pairListControl);
  g_run.listMatches =
      job.ownerWindow == &app.mainWindow && list && list->kind == ControlKind::ListView;
  if (list) {
    g_run.listSortable = (list->kindData.listOptions & kListSortsOnHeaderClick) != 0;
    g_run.rows = RowsOf(list->handle);
  }
  app.exitCode = 2;  // what a runner reports; the window hands it on
  return g_runAnswer;
}

void RecordOpen(const wchar_t* target) { g_opened.push_back(target); }

// The nth child (from 0) of a class, in creation order.
HWND NthChild(HWND parent, const wchar_t* className, int n) {
  HWND child = nullptr;
  for (int i = 0; i <= n; ++i) child = FindWindowExW(parent, child, className, nullptr);
  return child;
}

bool IsCheckedButton(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app.defaultSettingsPath.Assign(tree.Path(L"user.hbak").c_str());
    g_run = RunSeen{};
    g_runAnswer = RunResult::kFinished;
    g_opened.clear();
    SetBackupRunner(RecordingRunner);
    SetShellOpener(RecordOpen);
  }
  void TearDown() override {
    SetBackupRunner(nullptr);
    SetShellOpener(nullptr);
  }

  // Runs the main window with the script; fails the test when the script
  // did not reach its end.
  int Run(const std::wstring& commandLine, std::vector<UiStep> steps) {
    UiScript script(std::move(steps));
    const int code =
        RunMainWindow(app, GetModuleHandleW(nullptr), commandLine.c_str(), SW_SHOWNORMAL);
    EXPECT_FALSE(script.stalled()) << "the script stopped at step " << script.done();
    EXPECT_TRUE(script.finished()) << "the window ended before step " << script.done();
    return code;
  }

  HWND Main() { return app.mainWindow.handle; }
  HWND List() { return ListOf(Main()); }

  // Steps.
  // Main-window steps wait for the main loop.
  UiStep Do(std::function<void()> action) {
    return [action] {
      if (!AtOuterLoop()) return false;
      action();
      return true;
    };
  }
  UiStep ClickMain(const wchar_t* text) {
    return [this, text] { return AtOuterLoop() && ClickChild(Main(), text); };
  }
  // Waits for a message box and clicks one of its buttons; keeps its text.
  UiStep Answer(const wchar_t* button, std::wstring* text = nullptr) {
    return [button, text] {
      HWND box = FindShownWindow(kBoxClass);
      if (!box) return false;
      if (text) *text = WindowText(FindChild(box, nullptr, L"Static"));
      return ClickChild(box, button);
    };
  }
  // Waits for the folder pair dialog and acts on it.
  UiStep InPairDialog(std::function<void(HWND)> action) {
    return [action] {
      HWND dialog = FindShownWindow(kDialogClass, L"Item checked");
      if (!dialog) return false;
      action(dialog);
      return true;
    };
  }
  UiStep CloseMain() {
    return [this] { return AtOuterLoop() && PostMessageW(Main(), WM_CLOSE, 0, 0) != FALSE; };
  }

  TempTree tree;
  Application app;
};

}  // namespace

// --- Unattended starts ---------------------------------------------------------

TEST_F(MainWindowTest, PassiveStartPressesStartIntoTheRunnerAndEnds) {
  const int code = Run(L"/Passive", {});
  EXPECT_EQ(g_run.calls, 1);
  EXPECT_TRUE(g_run.listMatches) << "the runner reaches the list through the job";
  EXPECT_TRUE(g_run.windowShown);
  EXPECT_FALSE(g_run.listSortable) << "no sorting while the runner walks the rows";
  // A file that does not exist loads as Common with the update method and both skips.
  EXPECT_EQ(g_run.flags, 0x10u);
  EXPECT_EQ(g_run.skip, 6u);
  EXPECT_EQ(code, 2) << "the runner's exit code is the program's";
  EXPECT_EQ(app.mainWindow.handle, nullptr) << "the window is gone";
}

TEST_F(MainWindowTest, QuietStartNeverShowsTheWindow) {
  Run(L"/Quiet", {});
  EXPECT_EQ(g_run.calls, 1);
  EXPECT_FALSE(g_run.windowShown);
}

TEST_F(MainWindowTest, UnattendedStartWithoutRunnerFailsWithoutAWindow) {
  SetBackupRunner(nullptr);
  EXPECT_EQ(Run(L"/Quiet", {}), 1);
}

TEST_F(MainWindowTest, InteractiveStartWithoutRunnerSaysSo) {
  SetBackupRunner(nullptr);
  std::wstring said;
  Run(L"", {ClickMain(L" Start backup"), Answer(L"OK", &said), CloseMain()});
  EXPECT_NE(said.find(L"no backup runner"), std::wstring::npos) << said;
}

// --- Editing the list ------------------------------------------------------------

TEST_F(MainWindowTest, AddingAPairAppendsACheckedRowAndWritesTheHistory) {
  tree.MakeFolder(L"src\\Docs");
  const std::wstring source = tree.Path(L"src\\Docs");
  const std::wstring destination = tree.Path(L"dst\\Docs");
  std::vector<Row> rows;
  std::wstring prompt;
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([&](HWND dialog) {
              SetWindowTextW(NthChild(dialog, L"Edit", 0), (source + L"\\").c_str());
              SetWindowTextW(NthChild(dialog, L"Edit", 1), destination.c_str());
              ClickChild(dialog, L"OK");
            }),
            [&] {
              if (!AtOuterLoop()) return false;
              rows = RowsOf(List());
              return true;
            },
            CloseMain(), Answer(L"No", &prompt)});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].source, source) << "stored without the trailing backslash";
  EXPECT_EQ(rows[0].destination, destination);
  EXPECT_TRUE(rows[0].checked);
  EXPECT_EQ(prompt, L"Save changes to user.hbak?") << "an added pair is a change";
  std::vector<wchar_t> history(4096, L'\0');
  GetPrivateProfileStringW(L"History", L"LastSrcFolder", L"", history.data(), 4096,
                           tree.Path(L"user.hbak").c_str());
  EXPECT_EQ(std::wstring(history.data()), source) << "the history goes to the default file";
}

TEST_F(MainWindowTest, InvalidPairKeepsTheDialogOpenWithTheMessage) {
  std::wstring message;
  std::vector<Row> rows{{L"x", L"x", true, L"", L""}};
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([](HWND dialog) {
              SetWindowTextW(NthChild(dialog, L"Edit", 0), L"C:\\Data");
              SetWindowTextW(NthChild(dialog, L"Edit", 1), L"C:\\Data\\Backup");
              ClickChild(dialog, L"OK");
            }),
            InPairDialog([&](HWND dialog) {
              message = WindowText(NthChild(dialog, L"Static", 2));
              if (!message.empty()) ClickChild(dialog, L"Cancel");
            }),
            [&] {
              if (!AtOuterLoop()) return false;
              rows = RowsOf(List());
              return true;
            },
            CloseMain()});
  EXPECT_EQ(message, L"The destination folder can not be a sub-folder of the source!");
  EXPECT_TRUE(rows.empty()) << "Cancel changes nothing";
}

TEST_F(MainWindowTest, EditingARowKeepsItsHiddenColumns) {
  std::vector<Row> rows;
  std::wstring shownSource;
  Run(L"", {Do([&] {
              PutRow(List(), {L"C:\\A", L"E:\\A", true, L"7", L"extra"});
              PutRow(List(), {L"C:\\B", L"E:\\B", false, L"9", L""});
              SelectRow(List(), 0);
            }),
            ClickMain(L"   Edit selected"), InPairDialog([&](HWND dialog) {
              shownSource = WindowText(NthChild(dialog, L"Edit", 0));
              SetWindowTextW(NthChild(dialog, L"Edit", 1), L"F:\\Elsewhere");
              SendMessageW(FindChild(dialog, L"Item checked"), BM_SETCHECK, BST_UNCHECKED, 0);
              ClickChild(dialog, L"OK");
            }),
            [&] {
              if (!AtOuterLoop()) return false;
              rows = RowsOf(List());
              return true;
            },
            CloseMain(), Answer(L"No")});
  EXPECT_EQ(shownSource, L"C:\\A");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].destination, L"F:\\Elsewhere");
  EXPECT_FALSE(rows[0].checked);
  EXPECT_EQ(rows[0].id, L"7");
  EXPECT_EQ(rows[0].extra, L"extra");
  EXPECT_EQ(rows[1].source, L"C:\\B") << "the other row is untouched";
}

TEST_F(MainWindowTest, MovesFollowTheSelectionAndSwapWholeRows) {
  struct Seen {
    bool upEnabled, downEnabled;
  };
  std::vector<Seen> seen;
  std::vector<Row> after;
  auto look = [&] {
    HWND up = NthChild(Main(), L"Button", 0);
    HWND down = NthChild(Main(), L"Button", 1);
    seen.push_back({IsWindowEnabled(up) != FALSE, IsWindowEnabled(down) != FALSE});
  };
  Run(L"", {Do([&] {
              PutRow(List(), {L"C:\\A", L"E:\\A", true, L"0", L"a"});
              PutRow(List(), {L"C:\\B", L"E:\\B", false, L"1", L""});
              PutRow(List(), {L"C:\\C", L"E:\\C", true, L"2", L""});
              SelectRow(List(), 0);
              PostMessageW(Main(), WM_NULL, 0, 0);
            }),
            Do(look), Do([&] {
              PostMessageW(NthChild(Main(), L"Button", 1), BM_CLICK, 0, 0);  // move down
            }),
            Do([&] {
              after = RowsOf(List());
              SelectRow(List(), 2);
              PostMessageW(Main(), WM_NULL, 0, 0);
            }),
            Do(look), CloseMain(), Answer(L"No")});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen[0].upEnabled) << "first row selected";
  EXPECT_TRUE(seen[0].downEnabled);
  EXPECT_TRUE(seen[1].upEnabled) << "last row selected";
  EXPECT_FALSE(seen[1].downEnabled);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0].source, L"C:\\B");
  EXPECT_FALSE(after[0].checked);
  EXPECT_EQ(after[1].source, L"C:\\A");
  EXPECT_TRUE(after[1].checked);
  EXPECT_EQ(after[1].extra, L"a");
}

TEST_F(MainWindowTest, RemoveWithoutSelectionStillCountsAsAChange) {
  std::wstring prompt;
  std::vector<Row> rows;
  Run(L"", {Do([&] {
              PutRow(List(), {L"C:\\A", L"E:\\A", true, L"", L""});
            }),
            // The button is disabled without a selection; the menu command is not checked.
            Do([&] { PostMessageW(Main(), WM_COMMAND, app.mainWindow.controlCount, 0); }),
            Do([&] { rows = RowsOf(List()); }), CloseMain(), Answer(L"Cancel", &prompt), Do([&] {
              SelectRow(List(), 0);
              PostMessageW(NthChild(Main(), L"Button", 4), BM_CLICK, 0, 0);
            }),
            Do([&] { rows = RowsOf(List()); }), CloseMain(), Answer(L"No")});
  EXPECT_EQ(prompt, L"Save changes to user.hbak?");
  EXPECT_TRUE(rows.empty()) << "the selected row went";
}

TEST_F(MainWindowTest, ModesSetTheUpdateBox) {
  struct Box {
    bool checked, enabled;
  };
  std::vector<Box> boxes;
  auto look = [&] {
    HWND update = FindChild(Main(),
                            L"Use update method (faster). Overwrite only outdated files in "
                            L"the destination.");
    boxes.push_back({IsCheckedButton(update), IsWindowEnabled(update) != FALSE});
  };
  auto choose = [&](const wchar_t* prefix) { return ClickMain(prefix); };
  Run(L"",
      {choose(L"Restore mode. Copy files from destination to source, overwriting source files."),
       Do(look),
       choose(L"Common backup. Copy files from source to destination, overwriting existing "
              L"files."),
       Do(look),
       choose(L"Sync mode. Copy newest files from source to destination, and from destination "
              L"to source."),
       Do(look), ClickMain(L" Start backup"), CloseMain(), Answer(L"No")});
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_FALSE(boxes[0].checked);
  EXPECT_FALSE(boxes[0].enabled);
  EXPECT_TRUE(boxes[1].checked);
  EXPECT_TRUE(boxes[1].enabled);
  EXPECT_TRUE(boxes[2].checked);
  EXPECT_FALSE(boxes[2].enabled);
  EXPECT_EQ(g_run.flags, 0x14u) << "Sync with the update method";
  EXPECT_TRUE(g_run.listSortable == false);
}

// --- Drops ----------------------------------------------------------------------

TEST_F(MainWindowTest, FolderDroppedOnTheListOpensTheDialogWithAProposal) {
  tree.MakeFolder(L"Photos");
  const std::wstring photos = tree.Path(L"Photos");
  WritePrivateProfileStringW(L"History", L"LastDstFolder", L"E:\\Backup\\Old",
                             tree.Path(L"user.hbak").c_str());
  std::wstring shownSource, shownDestination;
  Run(L"", {Do([&] {
              PostMessageW(
                  Main(), WM_DROPFILES,
                  reinterpret_cast<WPARAM>(MakeFileDrop({photos + L"\\"}, POINT{200, 150}, true)),
                  0);
            }),
            InPairDialog([&](HWND dialog) {
              shownSource = WindowText(NthChild(dialog, L"Edit", 0));
              shownDestination = WindowText(NthChild(dialog, L"Edit", 1));
              ClickChild(dialog, L"Cancel");
            }),
            CloseMain()});
  EXPECT_EQ(shownSource, photos);
  EXPECT_EQ(shownDestination, L"E:\\Backup\\Photos");
}

TEST_F(MainWindowTest, FolderDroppedOnTheEditsFillsThemAndProposesADestination) {
  tree.MakeFolder(L"Music");
  tree.MakeFolder(L"Target");
  const std::wstring music = tree.Path(L"Music");
  WritePrivateProfileStringW(L"History", L"LastDstFolder", L"E:\\Backup\\Old",
                             tree.Path(L"user.hbak").c_str());
  std::wstring afterSource, afterDestination, question;
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([&](HWND dialog) {
              // Two names at once are no folder: ignored.
              PostMessageW(
                  dialog, WM_DROPFILES,
                  reinterpret_cast<WPARAM>(MakeFileDrop({music, music}, POINT{50, 45}, true)), 0);
              PostMessageW(dialog, WM_DROPFILES,
                           reinterpret_cast<WPARAM>(MakeFileDrop({music}, POINT{50, 45}, true)), 0);
            }),
            InPairDialog([&](HWND dialog) {
              afterSource = WindowText(NthChild(dialog, L"Edit", 0));
              afterDestination = WindowText(NthChild(dialog, L"Edit", 1));
              PostMessageW(dialog, WM_DROPFILES,
                           reinterpret_cast<WPARAM>(
                               MakeFileDrop({tree.Path(L"Target")}, POINT{50, 105}, true)),
                           0);
            }),
            Answer(L"Yes", &question), InPairDialog([&](HWND dialog) {
              afterDestination += L"|" + WindowText(NthChild(dialog, L"Edit", 1));
              ClickChild(dialog, L"Cancel");
            }),
            CloseMain()});
  EXPECT_EQ(afterSource, music);
  EXPECT_EQ(question, L"Do you want to create a sub-directory with the same name as the source?");
  EXPECT_EQ(afterDestination, L"E:\\Backup\\Music|" + tree.Path(L"Target") + L"\\Music");
}

// --- Closing and saving -----------------------------------------------------------

TEST_F(MainWindowTest, FailedSaveIsReportedAndTheWindowStays) {
  // The job file is a folder: nothing can be written into it.
  tree.MakeFolder(L"locked.hbak");
  std::wstring first, second;
  Run(L"\"" + tree.Path(L"locked.hbak") + L"\"",
      {ClickMain(L"Skip copying hidden files."), ClickMain(L"   Save"), Answer(L"OK", &first),
       CloseMain(), Answer(L"Yes"), Answer(L"OK", &second), CloseMain(), Answer(L"No")});
  EXPECT_NE(first.find(L"could not be saved"), std::wstring::npos) << first;
  EXPECT_NE(second.find(L"could not be saved"), std::wstring::npos)
      << "Yes with a failed save stays";
}

TEST_F(MainWindowTest, CloseAfterNoChangeDoesNotAsk) {
  Run(L"", {CloseMain()});
  EXPECT_EQ(g_run.calls, 0);
}

// --- Strict warning ------------------------------------------------------------------

namespace {
constexpr wchar_t kStrictMode[] =
    L"Strict backup. Additionally delete destination files, not existing on source.";

// Waits for the strict warning and acts on it.
UiStep InStrictWarning(std::function<void(HWND)> action) {
  return [action] {
    HWND dialog = FindShownWindow(kDialogClass, L"Dont ask again");
    if (!dialog) return false;
    action(dialog);
    return true;
  };
}
}  // namespace

TEST_F(MainWindowTest, StrictWarningNoWithDontAskAgainAbandonsAndIsNotAskedAgain) {
  std::wstring warning;
  int callsAfterNo = -1;
  Run(L"", {ClickMain(kStrictMode), ClickMain(L" Start backup"), InStrictWarning([&](HWND dialog) {
              warning = WindowText(NthChild(dialog, L"Static", 0));
              PostMessageW(FindChild(dialog, L"Dont ask again"), BM_CLICK, 0, 0);
              ClickChild(dialog, L"No");
            }),
            [&] {
              if (!AtOuterLoop()) return false;
              callsAfterNo = g_run.calls;
              return ClickChild(Main(), L" Start backup");
            },
            CloseMain(), Answer(L"No")});
  EXPECT_EQ(warning.rfind(L"You are about to perform a backup in STRICT mode.", 0), 0u) << warning;
  EXPECT_EQ(callsAfterNo, 0) << "No abandons the run";
  EXPECT_EQ(g_run.calls, 1) << "the second start runs without asking";
  EXPECT_EQ(g_run.flags & 0x07u, 1u);
  wchar_t stored[8] = {};
  GetPrivateProfileStringW(L"Settings", L"SkipStrictWarning", L"", stored, 8,
                           tree.Path(L"user.hbak").c_str());
  EXPECT_STREQ(stored, L"1");
}

TEST_F(MainWindowTest, StrictWarningIgnoresAPlainCloseAndAnswersTheCloseButton) {
  bool stayedAfterClose = false;
  Run(L"", {ClickMain(kStrictMode), ClickMain(L" Start backup"),
            InStrictWarning([](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }),
            // Posted messages go before the next tick: the close has been seen.
            InStrictWarning([&](HWND) {
              stayedAfterClose = true;
              // The main window's own close button, pressed while the warning is open.
              PostMessageW(Main(), WM_COMMAND, app.closeButtonId, 0);
            }),
            [] { return AtOuterLoop(); }, CloseMain(), Answer(L"No")});
  EXPECT_TRUE(stayedAfterClose);
  EXPECT_EQ(g_run.calls, 0) << "the close button abandons the run";
}

// --- Header links and the list's folders ------------------------------------------------

TEST_F(MainWindowTest, LinksOpenTheProductPages) {
  Run(L"", {Do([&] { PostMessageW(Main(), WM_COMMAND, app.helpLinkId, 0); }),
            Do([&] { PostMessageW(Main(), WM_COMMAND, app.updateLinkId, 0); }), [&] {
              return g_opened.size() == 2 && PostMessageW(Main(), WM_COMMAND, app.closeButtonId, 0);
            }});
  ASSERT_EQ(g_opened.size(), 2u);
  EXPECT_EQ(g_opened[0], L"https://harborline.example/harborline_backup/");
  EXPECT_EQ(g_opened[1], L"https://harborline.example/harborline_backup/about.php?ver=1.3.4.0");
}

TEST_F(MainWindowTest, DoubleClickOpensOnlyAnExistingFolder) {
  tree.MakeFolder(L"Real");
  tree.WriteFile(L"tool.exe", "MZ");
  auto doubleClick = [&](int row) {
    return Do([&, row] {
      SelectRow(List(), row);
      NMHDR note{List(), static_cast<UINT_PTR>(GetDlgCtrlID(List())), static_cast<UINT>(NM_DBLCLK)};
      SendMessageW(Main(), WM_NOTIFY, note.idFrom, reinterpret_cast<LPARAM>(&note));
    });
  };
  Run(L"", {Do([&] {
              PutRow(List(), {tree.Path(L"tool.exe"), L"E:\\A", true, L"", L""});
              PutRow(List(), {L"https://harborline.example/x", L"E:\\B", true, L"", L""});
              PutRow(List(), {tree.Path(L"Real"), L"E:\\C", true, L"", L""});
            }),
            doubleClick(0), doubleClick(1), doubleClick(2), Do([] {}), CloseMain(), Answer(L"No")});
  ASSERT_EQ(g_opened.size(), 1u);
  EXPECT_EQ(g_opened[0], tree.Path(L"Real"));
}

// --- Job files ---------------------------------------------------------------------

namespace {
constexpr char kTwoPairJob[] =
    "[Settings]\r\nversion=1\r\nFlag=17\r\nSkipAttributes=2\r\n[Folders]\r\n"
    "0=C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents\r\n"
    "1=C:\\Users\\Ann\\Pictures<|>0E:\\Backup\\Pictures<|>kept\r\n";
}  // namespace

TEST_F(MainWindowTest, LoadedJobIsWhatStartHandsToTheRunner) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  Run(L"/Passive " + Quoted(tree.Path(L"job.hbak")), {});
  EXPECT_EQ(g_run.calls, 1) << "no strict warning in an unattended run";
  EXPECT_EQ(g_run.flags, 0x11u);
  EXPECT_EQ(g_run.skip, 2u);
  ASSERT_EQ(g_run.rows.size(), 2u);
  EXPECT_EQ(g_run.rows[0].source, L"C:\\Users\\Ann\\Documents");
  EXPECT_TRUE(g_run.rows[0].checked);
  EXPECT_EQ(g_run.rows[1].destination, L"E:\\Backup\\Pictures");
  EXPECT_FALSE(g_run.rows[1].checked);
  EXPECT_EQ(g_run.rows[1].extra, L"kept");
}

TEST_F(MainWindowTest, CloseRightAfterLoadingDoesNotAsk) {
  // Loading checks rows, which raises check events: those are no change.
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  Run(Quoted(tree.Path(L"job.hbak")), {CloseMain()});
  EXPECT_EQ(g_run.calls, 0);
}

TEST_F(MainWindowTest, YesInTheSavePromptWritesTheJobAndEnds) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  std::wstring prompt;
  Run(Quoted(tree.Path(L"job.hbak")),
      {ClickMain(L"Skip copying system files."), CloseMain(), Answer(L"Yes", &prompt)});
  EXPECT_EQ(prompt, L"Save changes to job.hbak?");
  wchar_t skip[16] = {};
  GetPrivateProfileStringW(L"Settings", L"SkipAttributes", L"", skip, 16,
                           tree.Path(L"job.hbak").c_str());
  EXPECT_STREQ(skip, L"6");
  wchar_t second[64] = {};
  GetPrivateProfileStringW(L"Folders", L"1", L"", second, 64, tree.Path(L"job.hbak").c_str());
  EXPECT_STREQ(second, L"C:\\Users\\Ann\\Pictures<|>0E:\\Backup\\Pictures<|>kept");
}

TEST_F(MainWindowTest, ContextMenuEnablesWhatTheSelectedRowAllows) {
  tree.MakeFolder(L"Source");
  tree.MakeFolder(L"Destination");
  struct Items {
    bool openSource, openDestination, edit, remove;
  };
  std::vector<Items> seen;
  HMENU menu = nullptr;
  auto open = [&](int row) {
    return Do([&, row] {
      HWND list = List();
      LVITEMW none{};
      none.stateMask = LVIS_SELECTED;
      SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&none));
      if (row >= 0) SelectRow(list, row);
      menu = app.mainWindow.Control(app.mainWindow.ControlFromHandle(list))->menu;
      PostMessageW(Main(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(300, 300));
    });
  };
  // Runs inside the menu's own loop: reads the items, then closes the menu.
  auto look = [&] {
    if (!menu || !(GetMenuState(menu, 0, MF_BYPOSITION) & MF_DEFAULT)) return false;
    auto enabled = [&](int position) {
      return !(GetMenuState(menu, position, MF_BYPOSITION) & (MF_DISABLED | MF_GRAYED));
    };
    seen.push_back({enabled(0), enabled(1), enabled(4), enabled(5)});
    EndMenu();
    return true;
  };
  Run(L"",
      {Do([&] {
         PutRow(List(), {tree.Path(L"Source"), tree.Path(L"Destination"), true, L"", L""});
         PutRow(List(), {tree.Path(L"Source"), tree.Path(L"Gone"), true, L"", L""});
         PutRow(List(), {tree.Path(L"Gone"), tree.Path(L"Destination"), true, L"", L""});
       }),
       open(0), look, open(1), look, open(2), look, open(-1), look, CloseMain(), Answer(L"No")});
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_TRUE(seen[0].openSource && seen[0].openDestination && seen[0].edit && seen[0].remove);
  EXPECT_TRUE(seen[1].openSource);
  EXPECT_FALSE(seen[1].openDestination) << "the destination does not exist";
  EXPECT_FALSE(seen[2].openSource);
  EXPECT_FALSE(seen[2].openDestination) << "needs the source as well";
  EXPECT_FALSE(seen[3].openSource || seen[3].openDestination || seen[3].edit || seen[3].remove)
      << "nothing selected";
}

TEST_F(MainWindowTest, SortingIsNoChangeButTickingARowIs) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  std::vector<Row> sorted;
  std::wstring prompt;
  auto headerClick = [&] {
    NMLISTVIEW note{};
    note.hdr = {List(), static_cast<UINT_PTR>(GetDlgCtrlID(List())),
                static_cast<UINT>(LVN_COLUMNCLICK)};
    note.iItem = -1;
    note.iSubItem = 0;
    SendMessageW(Main(), WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
  };
  Run(Quoted(tree.Path(L"job.hbak")),
      {
          Do(headerClick), Do(headerClick), Do([&] { sorted = RowsOf(List()); }), CloseMain(),
          // Closing after sorting alone ends at once; the script goes on in a second run.
      });
  ASSERT_EQ(sorted.size(), 2u);
  EXPECT_EQ(sorted[0].source, L"C:\\Users\\Ann\\Pictures") << "descending after the second click";

  Run(Quoted(tree.Path(L"job.hbak")),
      {Do([&] {
         LVITEMW check{};
         check.stateMask = LVIS_STATEIMAGEMASK;
         check.state = INDEXTOSTATEIMAGEMASK(2);
         SendMessageW(List(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&check));
       }),
       CloseMain(), Answer(L"Cancel", &prompt), CloseMain(), Answer(L"No")});
  EXPECT_EQ(prompt, L"Save changes to job.hbak?");
}

TEST_F(MainWindowTest, HeaderMinimiseButtonMinimisesTheWindow) {
  bool minimised = false;
  Run(L"", {Do([&] { PostMessageW(Main(), WM_COMMAND, app.minimizeButtonId, 0); }),
            Do([&] { minimised = IsIconic(Main()) != FALSE; }), CloseMain()});
  EXPECT_TRUE(minimised);
}

// --- Open and Save as, through the platform's file dialogs -----------------------------

namespace {
// Waits for the platform's file dialog, types the name and confirms.
UiStep InFileDialog(const std::wstring& name, std::wstring* title = nullptr) {
  return [name, title] {
    HWND dialog = FindShownWindow(L"#32770");
    if (!dialog) return false;
    if (title) *title = WindowText(dialog);
    SetDlgItemTextW(dialog, 0x47C, name.c_str());  // the file name field
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
  };
}
}  // namespace

TEST_F(MainWindowTest, SaveAsWritesTheChosenFileAndMakesItCurrent) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  std::wstring question, title, prompt;
  Run(Quoted(tree.Path(L"job.hbak")),
      {ClickMain(L"   Save as..."), Answer(L"No", &question),
       InFileDialog(tree.Path(L"copy.hbak"), &title), ClickMain(L"Skip copying hidden files."),
       CloseMain(), Answer(L"No", &prompt)});
  EXPECT_EQ(question.rfind(L"Do you wish to make the selected backup options the default", 0), 0u)
      << question;
  EXPECT_EQ(title, L"Save backup settings to file");
  EXPECT_EQ(prompt, L"Save changes to copy.hbak?") << "the saved file is the current one";
  wchar_t first[64] = {};
  GetPrivateProfileStringW(L"Folders", L"0", L"", first, 64, tree.Path(L"copy.hbak").c_str());
  EXPECT_STREQ(first, L"C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents");
}

TEST_F(MainWindowTest, OpenAsksAboutChangesFirstAndLoadsTheChosenFile) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  std::wstring title;
  std::vector<Row> rows;
  Run(L"", {ClickMain(L"Skip copying hidden files."), ClickMain(L"   Open"), Answer(L"Cancel"),
            ClickMain(L"   Open"), Answer(L"No"), InFileDialog(tree.Path(L"job.hbak"), &title),
            Do([&] { rows = RowsOf(List()); }),
            // Just loaded: closing asks nothing.
            CloseMain()});
  EXPECT_EQ(title, L"Load backup settings from file");
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_STREQ(app.currentSettingsPath.CStr(), tree.Path(L"job.hbak").c_str());
}

TEST_F(MainWindowTest, SaveAsYesMakesTheJobTheDefaultOne) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  std::wstring prompt;
  Run(Quoted(tree.Path(L"job.hbak")),
      {ClickMain(L"   Save as..."), Answer(L"Yes"), ClickMain(L"Skip copying hidden files."),
       CloseMain(), Answer(L"No", &prompt)});
  EXPECT_EQ(prompt, L"Save changes to user.hbak?");
  wchar_t flag[16] = {};
  GetPrivateProfileStringW(L"Settings", L"Flag", L"", flag, 16, tree.Path(L"user.hbak").c_str());
  EXPECT_STREQ(flag, L"17") << "the job went into the default file";
}

TEST_F(MainWindowTest, BrowsedSourceFillsTheEditAndProposesADestination) {
  tree.MakeFolder(L"Pick\\Music");
  WritePrivateProfileStringW(L"History", L"LastSrcFolder", tree.Path(L"Pick\\Old").c_str(),
                             tree.Path(L"user.hbak").c_str());
  WritePrivateProfileStringW(L"History", L"LastDstFolder", L"E:\\Backup\\Old",
                             tree.Path(L"user.hbak").c_str());
  std::wstring title, source, destination;
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([&](HWND dialog) {
              PostMessageW(NthChild(dialog, L"Button", 0), BM_CLICK, 0, 0);
            }),
            [&] {
              HWND picker = FindShownWindow(L"#32770");
              if (!picker) return false;
              title = WindowText(picker);
              HWND name = FindChild(picker, nullptr, L"Edit");
              if (!name) return false;
              SetWindowTextW(name, tree.Path(L"Pick\\Music").c_str());
              PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
              return true;
            },
            [&] { return !FindShownWindow(L"#32770"); }, InPairDialog([&](HWND dialog) {
              source = WindowText(NthChild(dialog, L"Edit", 0));
              destination = WindowText(NthChild(dialog, L"Edit", 1));
              ClickChild(dialog, L"Cancel");
            }),
            CloseMain()});
  EXPECT_EQ(title, L"Please select the source folder for this backup");
  EXPECT_EQ(source, tree.Path(L"Pick\\Music"));
  EXPECT_EQ(destination, L"E:\\Backup\\Music");
}

TEST_F(MainWindowTest, SettingsNoControlShowsSurviveASaveFromTheWindow) {
  tree.WriteFile(L"job.hbak",
                 "[Settings]\r\nversion=1\r\nFlag=17\r\nVersionDays=7\r\nDeletionGuard=0\r\n"
                 "Exclude=*.tmp\r\n[Folders]\r\n0=C:\\A<|>D:\\A\r\n");
  const std::wstring path = tree.Path(L"job.hbak");
  Run(Quoted(path), {ClickMain(L"Skip copying system files."), ClickMain(L"   Save"), CloseMain()});
  auto value = [&](const wchar_t* key) {
    wchar_t text[64] = {};
    GetPrivateProfileStringW(L"Settings", key, L"<absent>", text, 64, path.c_str());
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"SkipAttributes"), L"2") << "the change in the window was saved";
  EXPECT_EQ(value(L"VersionDays"), L"7");
  EXPECT_EQ(value(L"DeletionGuard"), L"0");
  EXPECT_EQ(value(L"Exclude"), L"*.tmp");
}
