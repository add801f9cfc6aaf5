// The main window and its dialogs on real windows under Xvfb, driven from a
// script that waits for each window and then posts clicks, texts and drops
// to it. A recording runner is plugged into the Start seam and a recorder
// into the shell opener, so nothing is copied and nothing is launched.
#include "app/window/main_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/install/shell_links.h"
#include "app/runner/backup_runner.h"
#include "app/runner/completion_action.h"
#include "app/runner/operation_runner.h"
#include "jobfile/job_settings.h"
#include "system/task_schedule.h"
#include "tests/support/run_driver.h"
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
  std::wstring exclude;             // the job's patterns as the runner got them
  std::wstring enabledJobControls;  // those the user could still change during the run
};

const wchar_t* const kJobControls[] = {
    L"   Open", L"Restore mode. Copy files from destination to source, overwriting source files.",
    L"Use update method (faster). Overwrite only outdated files in the destination.",
    L"Skip copying hidden files.", L"Sa&fety net..."};

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
  g_run.exclude = job.exclusions.Text();
  g_run.windowShown = IsWindowVisible(app.mainWindow.handle) != FALSE;
  UiControl* list = app.mainWindow.Control(job.pairListControl);
  g_run.listMatches =
      job.ownerWindow == &app.mainWindow && list && list->kind == ControlKind::ListView;
  if (list) {
    g_run.listSortable = (list->kindData.listOptions & kListSortsOnHeaderClick) != 0;
    g_run.rows = RowsOf(list->handle);
    if (IsWindowEnabled(list->handle)) g_run.enabledJobControls += L"list|";
  }
  for (const wchar_t* text : kJobControls)
    if (IsWindowEnabled(FindChild(app.mainWindow.handle, text)))
      g_run.enabledJobControls += std::wstring(text) + L"|";
  app.exitCode = 2;  // what a runner reports; the window hands it on
  return g_runAnswer;
}

bool RecordOpen(const wchar_t* target) {
  g_opened.push_back(target);
  return true;
}

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
  UiStep AddCheckedRow() {
    return Do([this] { PutRow(List(), {L"C:\\Data", L"E:\\Data", true, L"", L""}); });
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
       Do(look), AddCheckedRow(), ClickMain(L" Start backup"), CloseMain(), Answer(L"No")});
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
    HWND dialog = FindShownWindow(kDialogClass, L"Don't ask again");
    if (!dialog) return false;
    action(dialog);
    return true;
  };
}
}  // namespace

TEST_F(MainWindowTest, StrictWarningNoWithDontAskAgainAbandonsAndIsNotAskedAgain) {
  std::wstring warning;
  int callsAfterNo = -1;
  Run(L"", {AddCheckedRow(), ClickMain(kStrictMode), ClickMain(L" Start backup"),
            InStrictWarning([&](HWND dialog) {
              warning = WindowText(NthChild(dialog, L"Static", 0));
              PostMessageW(FindChild(dialog, L"Don't ask again"), BM_CLICK, 0, 0);
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

TEST_F(MainWindowTest, StrictWarningEscapeAndTheCloseButtonAnswerNo) {
  Run(L"", {AddCheckedRow(), ClickMain(kStrictMode), ClickMain(L" Start backup"),
            InStrictWarning([](HWND) { PressKey(VK_ESCAPE); }), ClickMain(L" Start backup"),
            InStrictWarning([&](HWND) {
              // The main window's own close button, pressed while the warning is open.
              PostMessageW(Main(), WM_COMMAND, app.closeButtonId, 0);
            }),
            [] { return AtOuterLoop(); }, CloseMain(), Answer(L"No")});
  EXPECT_EQ(g_run.calls, 0) << "both abandon the run";
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
UiStep InFileDialog(const std::wstring& name, std::wstring* title = nullptr,
                    bool* readOnlyBoxShown = nullptr) {
  return [name, title, readOnlyBoxShown] {
    HWND dialog = FindShownWindow(L"#32770");
    if (!dialog) return false;
    if (title) *title = WindowText(dialog);
    if (readOnlyBoxShown) *readOnlyBoxShown = IsWindowVisible(GetDlgItem(dialog, 0x410)) != FALSE;
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

// --- Keyboard, title and header -----------------------------------------------------

TEST_F(MainWindowTest, KeysEditMoveAndRemoveRowsAndTheFocusComesBackToTheList) {
  std::vector<std::wstring> seen;  // per look: the sources, the selected row, the focus
  auto look = [&] {
    return Do([&] {
      std::wstring state;
      for (const Row& row : RowsOf(List())) state += row.source + L"|";
      state += std::to_wstring(SendMessageW(List(), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
      seen.push_back(state + (GetFocus() == List() ? L" list" : L" elsewhere"));
    });
  };
  auto key = [&](WORD vk, WORD modifier = 0) { return Do([=] { PressKeyWith(vk, modifier); }); };
  Run(L"", {Do([&] {
              PutRow(List(), {L"C:\\A", L"E:\\A", true, L"", L""});
              PutRow(List(), {L"C:\\B", L"E:\\B", true, L"", L""});
              SelectRow(List(), 1);
              SetFocus(List());
            }),
            key(VK_RETURN), InPairDialog([](HWND dialog) {
              SetWindowTextW(NthChild(dialog, L"Edit", 0), L"C:\\B2");
              PressKeyWith('O', VK_MENU);
            }),
            look(), key(VK_UP, VK_MENU), look(), key(VK_DELETE), look(), key('D', VK_MENU),
            InPairDialog([](HWND) { PressKey(VK_ESCAPE); }), look(), CloseMain(), Answer(L"No")});
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"C:\\A|C:\\B2|1 list", L"C:\\B2|C:\\A|0 list",
                                             L"C:\\A|-1 list", L"C:\\A|-1 list"}));
}

TEST_F(MainWindowTest, TitleAndHeaderNameTheJobAndOpenLeavesNoSortArrow) {
  tree.WriteFile(L"Photos.hbak", kTwoPairJob);
  std::vector<std::wstring> titles;
  int arrows = -1;
  auto look = [&] {
    return Do([&] {
      std::wstring header;
      for (HWND label = nullptr; (label = FindWindowExW(Main(), label, L"Static", nullptr));)
        if (WindowText(label).find(L".hbak") != std::wstring::npos) header = WindowText(label);
      titles.push_back(WindowText(Main()) + L" / " + header);
    });
  };
  Run(L"", {look(), ClickMain(L"Skip copying hidden files."), look(), Do([&] {
              NMLISTVIEW note{};
              note.hdr = {List(), static_cast<UINT_PTR>(GetDlgCtrlID(List())),
                          static_cast<UINT>(LVN_COLUMNCLICK)};
              SendMessageW(Main(), WM_NOTIFY, note.hdr.idFrom, reinterpret_cast<LPARAM>(&note));
            }),
            ClickMain(L"   Open"), Answer(L"No"), InFileDialog(tree.Path(L"Photos.hbak")), look(),
            Do([&] {
              HWND header = ListView_GetHeader(List());
              arrows = 0;
              for (int column = 0; column < Header_GetItemCount(header); ++column) {
                HDITEMW item{};
                item.mask = HDI_FORMAT;
                Header_GetItem(header, column, &item);
                if (item.fmt & (HDF_SORTUP | HDF_SORTDOWN)) ++arrows;
              }
            }),
            CloseMain()});
  EXPECT_EQ(titles, (std::vector<std::wstring>{
                        L"user.hbak - Harborline Backup / user.hbak",
                        L"*user.hbak - Harborline Backup / *user.hbak (changes not saved)",
                        L"Photos.hbak - Harborline Backup / Photos.hbak"}));
  EXPECT_EQ(arrows, 0) << "the arrow of the sort before Open";
}

namespace {
// Every labelled button of the window, as a list of what is wrong: each needs
// a mnemonic of its own, and a check box or radio button room for its text.
std::wstring LabelProblems(HWND window) {
  std::wstring problems, letters;
  for (HWND c = nullptr; (c = FindWindowExW(window, c, L"Button", nullptr));) {
    const std::wstring text = WindowText(c);
    if (text.empty()) continue;
    const size_t at = text.find(L'&');
    const wchar_t letter = at + 1 < text.size() ? towupper(text[at + 1]) : 0;
    if (!letter || letters.find(letter) != std::wstring::npos) problems += L"mnemonic: " + text;
    letters += letter;
    const LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_AUTOCHECKBOX && type != BS_AUTORADIOBUTTON) continue;
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(c, WM_GETFONT, 0, 0)));
    RECT needed{}, has{};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    GetClientRect(c, &has);
    if (needed.right + GetSystemMetrics(SM_CXMENUCHECK) > has.right) problems += L" cut: " + text;
  }
  return problems;
}
}  // namespace

TEST_F(MainWindowTest, EveryLabelledButtonHasItsOwnMnemonicAndRoomForItsText) {
  std::vector<std::wstring> problems;
  auto check = [&](HWND window) { problems.push_back(LabelProblems(window)); };
  Run(L"",
      {Do([&] { check(Main()); }), ClickMain(L"   Add folder pair"),
       InPairDialog([&](HWND d) { check(d), ClickChild(d, L"Cancel"); }), AddCheckedRow(),
       ClickMain(kStrictMode), ClickMain(L" Start backup"),
       InStrictWarning([&](HWND d) { check(d), ClickChild(d, L"No"); }), ClickMain(L"  Settings"),
       [&] {
         HWND d = FindShownWindow(kDialogClass, L"Associate the application with .hbak files");
         return d && (check(d), ClickChild(d, L"Cancel"));
       },
       CloseMain(),
       [&] {
         HWND box = FindShownWindow(kBoxClass);
         return box && (check(box), ClickChild(box, L"Cancel"));
       },
       CloseMain(), Answer(L"No")});
  EXPECT_EQ(problems, std::vector<std::wstring>(5)) << "main, pair, strict, settings, box";
}

TEST_F(MainWindowTest, SeveralDroppedFoldersEachGetADialogAndWhatIsNoFolderIsNamed) {
  tree.MakeFolder(L"A");
  tree.MakeFolder(L"B");
  tree.WriteFile(L"notes.txt", "x");
  WritePrivateProfileStringW(L"History", L"LastDstFolder", tree.Path(L"Backups\\Old").c_str(),
                             tree.Path(L"user.hbak").c_str());
  std::vector<std::wstring> shown;
  std::wstring said;
  std::vector<Row> rows;
  auto answer = [&](const wchar_t* button) {
    return InPairDialog([&, button](HWND d) {
      shown.push_back(WindowText(NthChild(d, L"Edit", 0)) + L">" +
                      WindowText(NthChild(d, L"Edit", 1)));
      ClickChild(d, button);
    });
  };
  Run(L"", {Do([&] {
              HGLOBAL drop = MakeFileDrop(
                  {tree.Path(L"A"), tree.Path(L"notes.txt"), tree.Path(L"B")}, {200, 150}, true);
              PostMessageW(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
            }),
            answer(L"OK"), answer(L"Cancel"), Answer(L"OK", &said),
            Do([&] { rows = RowsOf(List()); }), CloseMain(), Answer(L"No")});
  EXPECT_EQ(shown, (std::vector<std::wstring>{tree.Path(L"A") + L">" + tree.Path(L"Backups\\A"),
                                              tree.Path(L"B") + L">" + tree.Path(L"Backups\\B")}));
  EXPECT_NE(said.find(tree.Path(L"notes.txt")), std::wstring::npos) << said;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].source, tree.Path(L"A"));
}

TEST_F(MainWindowTest, LinkThatStartsNoBrowserSaysSo) {
  SetShellOpener([](const wchar_t*) { return false; });
  std::wstring said;
  Run(L"", {Do([&] { PostMessageW(Main(), WM_COMMAND, app.helpLinkId, 0); }), Answer(L"OK", &said),
            CloseMain()});
  EXPECT_EQ(said.rfind(L"No web browser could be started", 0), 0u) << said;
  EXPECT_NE(said.find(L"https://harborline.example/harborline_backup/"), std::wstring::npos);
}

TEST_F(MainWindowTest, DestinationBrowseAsksForTheDestinationAndStartsInTheHistorysFolder) {
  tree.MakeFolder(L"Music");
  tree.MakeFolder(L"Backups\\Music");
  WritePrivateProfileStringW(L"History", L"LastDstFolder", tree.Path(L"Backups\\Old").c_str(),
                             tree.Path(L"user.hbak").c_str());
  std::wstring title, name = L"unread", destination;
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([&](HWND d) {
              SetWindowTextW(NthChild(d, L"Edit", 0), tree.Path(L"Music").c_str());
              PostMessageW(NthChild(d, L"Button", 1), BM_CLICK, 0, 0);
            }),
            [&] {
              HWND picker = FindShownWindow(L"#32770");
              if (!picker) return false;
              title = WindowText(picker);
              HWND edit = FindChild(picker, nullptr, L"Edit");
              name = WindowText(edit);
              // A name relative to the folder the picker shows.
              SetWindowTextW(edit, L"Music");
              return PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != FALSE;
            },
            InPairDialog([&](HWND d) {
              destination = WindowText(NthChild(d, L"Edit", 1));
              ClickChild(d, L"Cancel");
            }),
            CloseMain()});
  EXPECT_EQ(title, L"Please select the destination folder for this backup");
  EXPECT_EQ(name, L"") << "nothing proposed by name, the source least of all";
  EXPECT_EQ(destination, tree.Path(L"Backups\\Music")) << "picked in the folder it started in";
}

TEST_F(MainWindowTest, InstalledCopyIsHandedTheJobOpenNow) {
  app.currentSettingsPath.Assign(tree.Path(L"My Photos.hbak").c_str());
  EXPECT_STREQ(HandOverArguments(app).CStr(), Quoted(tree.Path(L"My Photos.hbak")).c_str());
  app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());
  EXPECT_STREQ(HandOverArguments(app).CStr(), L"") << "the installed copy opens its own default";
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

TEST_F(MainWindowTest, OpenOfAJobFileThatCannotBeReadSaysSoAndKeepsTheShownJob) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  const std::string heldJob = "[Settings]\r\nversion=1\r\n[Folders]\r\n0=C:\\H<|>D:\\H\r\n";
  tree.WriteFile(L"held.hbak", heldJob);
  // Held by another program that lets nobody else read it.
  HANDLE held = CreateFileW(tree.Path(L"held.hbak").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::wstring said;
  std::vector<Row> rows;
  Run(Quoted(tree.Path(L"job.hbak")),
      {ClickMain(L"   Open"), InFileDialog(tree.Path(L"held.hbak")), Answer(L"OK", &said),
       Do([&] { rows = RowsOf(List()); }), CloseMain()});
  CloseHandle(held);
  EXPECT_NE(said.find(L"was not opened: the job file cannot be read"), std::wstring::npos) << said;
  EXPECT_EQ(rows.size(), 2u) << "the shown job stays";
  EXPECT_STREQ(app.currentSettingsPath.CStr(), tree.Path(L"job.hbak").c_str());
  EXPECT_EQ(ReadWholeFile(tree.Path(L"held.hbak")), heldJob);
}

TEST_F(MainWindowTest, MissingJobFileOnTheCommandLineIsSaidAndTheDefaultJobShown) {
  tree.WriteFile(L"user.hbak", kTwoPairJob);
  std::wstring said;
  std::vector<Row> rows;
  Run(Quoted(tree.Path(L"gone.hbak")),
      {Answer(L"OK", &said), Do([&] { rows = RowsOf(List()); }), CloseMain()});
  EXPECT_NE(said.find(L"gone.hbak was not opened: the job file does not exist"), std::wstring::npos)
      << said;
  EXPECT_EQ(rows.size(), 2u) << "the default job";
  EXPECT_STREQ(app.currentSettingsPath.CStr(), tree.Path(L"user.hbak").c_str());
}

TEST_F(MainWindowTest, SaveAsOntoAFileThatIsNoJobAsksFirstAndNoDialogOffersReadOnly) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  const std::string notes = "Shopping list\r\nmilk\r\n";
  tree.WriteFile(L"notes.txt", notes);
  const std::wstring path = tree.Path(L"notes.txt");
  std::wstring asked;
  bool openShowsReadOnly = true, saveShowsReadOnly = true;
  Run(Quoted(tree.Path(L"job.hbak")),
      {ClickMain(L"   Open"), InFileDialog(tree.Path(L"job.hbak"), nullptr, &openShowsReadOnly),
       ClickMain(L"   Save as..."), Answer(L"No"), InFileDialog(path, nullptr, &saveShowsReadOnly),
       Answer(L"No", &asked), Do([&] { EXPECT_EQ(ReadWholeFile(path), notes) << "No keeps it"; }),
       ClickMain(L"   Save as..."), Answer(L"No"), InFileDialog(path), Answer(L"Yes"),
       CloseMain()});
  EXPECT_NE(asked.find(L"notes.txt exists and is not a backup settings file"), std::wstring::npos)
      << asked;
  EXPECT_EQ(ReadWholeFile(path).find("Shopping"), std::string::npos) << "replaced, not added to";
  wchar_t first[64] = {};
  GetPrivateProfileStringW(L"Folders", L"0", L"", first, 64, path.c_str());
  EXPECT_STREQ(first, L"C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents");
  EXPECT_FALSE(saveShowsReadOnly);
  EXPECT_FALSE(openShowsReadOnly);
}

// --- Exclusion patterns and the schedule -----------------------------------------

TEST_F(MainWindowTest, ExclusionFieldShowsTheJobsPatternsAndTypingIsAChangeThatStartAndSaveTake) {
  tree.WriteFile(L"job.hbak",
                 "[Settings]\r\nversion=1\r\nFlag=16\r\nExclude=*.tmp\r\n[Folders]\r\n"
                 "0=C:\\A<|>D:\\A\r\n");
  const std::wstring path = tree.Path(L"job.hbak");
  std::wstring shown, prompt;
  Run(Quoted(path), {Do([&] {
                       HWND edit = NthChild(Main(), L"Edit", 0);
                       shown = WindowText(edit);
                       SetWindowTextW(edit, L"*.bak; Cache\\");
                     }),
                     ClickMain(L" Start backup"), CloseMain(), Answer(L"Yes", &prompt)});
  EXPECT_EQ(shown, L"*.tmp");
  EXPECT_EQ(g_run.exclude, L"*.bak; Cache\\");
  EXPECT_EQ(prompt, L"Save changes to job.hbak?") << "typing in the field is a change";
  wchar_t saved[64] = {};
  GetPrivateProfileStringW(L"Settings", L"Exclude", L"", saved, 64, path.c_str());
  EXPECT_STREQ(saved, L"*.bak; Cache\\");
}

TEST_F(MainWindowTest, ScheduleNeedsAJobFileOfItsOwn) {
  std::wstring text;
  Run(L"", {ClickMain(L"Schedule..."), Answer(L"OK", &text), CloseMain()});
  EXPECT_EQ(text.rfind(L"Save the job to a file of its own first", 0), 0u) << Utf8(text);
}

TEST_F(MainWindowTest, SaveAsMovesTheScheduleToTheNewFileWhenTheUserSaysSo) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);
  tree.WriteFile(L"job.hbak",
                 "[Settings]\r\nversion=1\r\nFlag=16\r\nSchedule=daily@21:00\r\n[Folders]\r\n"
                 "0=C:\\A<|>D:\\A\r\n");
  const std::wstring job = tree.Path(L"job.hbak");
  const std::wstring copy = tree.Path(L"copy.hbak");
  Schedule daily;
  ASSERT_TRUE(ParseSchedule(L"daily@21:00", daily));
  TaskAction action;
  action.program = L"C:\\harborline.exe";
  action.jobFile = job.c_str();
  ASSERT_EQ(ApplySchedule(daily, action), TaskOutcome::kDone);

  std::wstring question, title;
  Run(Quoted(job), {ClickMain(L"   Save as..."), Answer(L"No"), InFileDialog(copy, &title),
                    Answer(L"Yes", &question), CloseMain()});
  EXPECT_EQ(question.rfind(L"The job was scheduled (daily@21:00).", 0), 0u) << Utf8(question);
  EXPECT_TRUE(ScheduledTaskExists(copy.c_str()));
  EXPECT_FALSE(ScheduledTaskExists(job.c_str()));
  EXPECT_EQ(ReadJobSchedule(copy.c_str()), L"daily@21:00");
  EXPECT_TRUE(ReadJobSchedule(job.c_str()).empty());

  // Saved again under a third name, and told No: the schedule stays where it is.
  const std::wstring third = tree.Path(L"third.hbak");
  Run(Quoted(copy), {ClickMain(L"   Save as..."), Answer(L"No"), InFileDialog(third, &title),
                     Answer(L"No"), CloseMain()});
  EXPECT_TRUE(ScheduledTaskExists(copy.c_str()));
  EXPECT_FALSE(ScheduledTaskExists(third.c_str()));
  EXPECT_TRUE(ReadJobSchedule(third.c_str()).empty()) << "no file claims another's task";
  EXPECT_EQ(RemoveAllScheduledTasks(), TaskOutcome::kDone);
}

// --- Modal windows and the ways out ------------------------------------------------

namespace {
HWND g_clickedRoot = nullptr;  // the top-level window of the last click taken from the queue
LRESULT CALLBACK NoteClick(int code, WPARAM message, LPARAM info) {
  // A click on a disabled window comes as a click on its frame.
  if (code == HC_ACTION && (message == WM_LBUTTONDOWN || message == WM_NCLBUTTONDOWN))
    g_clickedRoot = GetAncestor(reinterpret_cast<MOUSEHOOKSTRUCT*>(info)->hwnd, GA_ROOT);
  return CallNextHookEx(nullptr, code, message, info);
}
}  // namespace

TEST_F(MainWindowTest, AClickOnTheMainWindowBringsTheOpenDialogBackWithTheFocus) {
  HHOOK hook = SetWindowsHookExW(WH_MOUSE, NoteClick, nullptr, GetCurrentThreadId());
  HWND dialogSeen = nullptr;
  bool mainDisabled = false, focusInDialog = false;
  Run(L"", {ClickMain(L"   Add folder pair"), InPairDialog([&](HWND dialog) {
              dialogSeen = dialog;
              mainDisabled = !IsWindowEnabled(Main());
              RECT list{};
              GetWindowRect(List(), &list);
              ClickAt(POINT{(list.left + list.right) / 2, (list.top + list.bottom) / 2});
            }),
            [&] {
              if (g_clickedRoot != Main() || GetForegroundWindow() != dialogSeen) return false;
              focusInDialog = IsChild(dialogSeen, GetFocus()) != FALSE;
              return ClickChild(dialogSeen, L"Cancel");
            },
            Do([&] { mainDisabled = mainDisabled && IsWindowEnabled(Main()); }), CloseMain()});
  UnhookWindowsHookEx(hook);
  EXPECT_TRUE(mainDisabled) << "disabled while the dialog is open, enabled after";
  EXPECT_TRUE(focusInDialog);
}

TEST_F(MainWindowTest, TheJobCannotBeChangedDuringARunAndComesBackAsItWas) {
  bool listBack = false, updateBack = true;
  Run(L"", {AddCheckedRow(), ClickMain(kJobControls[1]), ClickMain(L" Start backup"), Do([&] {
              listBack = IsWindowEnabled(List()) != FALSE;
              updateBack = IsWindowEnabled(FindChild(Main(), kJobControls[2])) != FALSE;
            }),
            CloseMain(), Answer(L"No")});
  EXPECT_EQ(g_run.enabledJobControls, L"");
  EXPECT_TRUE(listBack);
  EXPECT_FALSE(updateBack) << "Restore keeps the update method disabled";
}

TEST_F(MainWindowTest, StartWithNoCheckedPairSaysSo) {
  std::wstring said;
  Run(L"", {Do([&] {
              PutRow(List(), {L"C:\\Data", L"E:\\Data", false, L"", L""});
            }),
            ClickMain(L" Start backup"), Answer(L"OK", &said), CloseMain()});
  EXPECT_EQ(g_run.calls, 0);
  EXPECT_EQ(said.rfind(L"No folder pair is checked", 0), 0u) << said;
}

TEST_F(MainWindowTest, EndOfSessionAndCloseFromSettingsAskTheSaveQuestion) {
  LRESULT unchanged = -1, changed = -1;
  std::wstring prompts;
  Run(L"", {Do([&] { unchanged = SendMessageW(Main(), WM_QUERYENDSESSION, 0, 0); }),
            ClickMain(kJobControls[3]),
            Do([&] { changed = SendMessageW(Main(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF); }),
            Answer(L"Cancel", &prompts), ClickMain(L"  Settings"),
            [&] {  // the main window's close button, while the dialog is open
              return FindShownWindow(kDialogClass, L"Warn before a strict backup") &&
                     PostMessageW(Main(), WM_COMMAND, app.closeButtonId, 0);
            },
            Answer(L"No", &prompts)});
  EXPECT_EQ(unchanged, TRUE);
  EXPECT_EQ(changed, FALSE) << "refused while the question is unanswered";
  EXPECT_EQ(prompts, L"Save changes to user.hbak?");
}

TEST_F(MainWindowTest, AltF4AsksOnceAndWithADialogOpenClosesOnlyTheDialog) {
  int questionsAfterCancel = 0;
  Run(L"", {ClickMain(kJobControls[3]), ClickMain(L"   Add folder pair"),
            InPairDialog([](HWND) { PressKey(VK_F4, false, true); }),
            Do([] { PressKey(VK_F4, false, true); }), Answer(L"Cancel"),
            [&] {
              HWND box = FindShownWindow(kBoxClass);
              if (box && ClickChild(box, L"Cancel")) ++questionsAfterCancel;
              return !box && AtOuterLoop();
            },
            CloseMain(), Answer(L"No")});
  EXPECT_EQ(questionsAfterCancel, 0);
}

// The real runner, driven from outside while the main window waits for it:
// "Close application" is chosen, and the save question answered Yes, while
// the copy is held.
namespace {
std::wstring g_driverSaw;
RunResult DrivenRunner(Application& app, BackupJob& job) {
  RunDriver driver(job);
  driver.HoldWhen([](const BackupJob& seen) { return seen.bytesDone > 0; });
  driver.Start([](RunDriver& d) {
    if (!d.WaitForHeldRun()) return;
    HWND list = d.Control(kCompletionList);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(CompletionAction::kCloseApplication), 0);
    PostMessageW(d.window, WM_COMMAND, MAKEWPARAM(kCompletionList, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    d.Answer(true);
    d.Release();
  });
  const RunResult result = RunBackup(app, job);
  driver.Join();
  g_driverSaw = driver.question + driver.problems;
  return result;
}
}  // namespace

TEST_F(MainWindowTest, ChoosingCloseApplicationDuringARunAsksToSaveThenAndOnce) {
  tree.WriteFile(L"src\\a.txt", "a");
  SetBackupRunner(DrivenRunner);
  Run(L"", {Do([&] {
              PutRow(List(), {tree.Path(L"src"), tree.Path(L"dst"), true, L"", L""});
            }),
            ClickMain(L" Start backup")});
  EXPECT_EQ(g_driverSaw, L"Save changes to user.hbak?");
  wchar_t row[512] = {};
  GetPrivateProfileStringW(L"Folders", L"0", L"", row, 512, tree.Path(L"user.hbak").c_str());
  EXPECT_NE(std::wstring(row).find(tree.Path(L"dst")), std::wstring::npos) << "saved at the choice";
}

// --- The safety net --------------------------------------------------------------

namespace {
// Every text of a window's children, one per line.
std::wstring TextsOf(HWND window) {
  std::wstring texts;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM out) {
        *reinterpret_cast<std::wstring*>(out) += WindowText(child) + L"\n";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

// Waits for the preview window, keeps its texts and rows, and closes it.
UiStep InPreview(std::wstring* texts, std::vector<Row>* rows) {
  return [texts, rows] {
    HWND window = FindShownWindow(L"Harborline_Preview");
    if (!window) return false;
    *texts = TextsOf(window);
    *rows = RowsOf(ListOf(window));
    return ClickChild(window, L"C&lose");
  };
}

size_t Deletions(const std::vector<Row>& rows) {
  size_t n = 0;
  for (const Row& row : rows) n += row.source == L"delete";
  return n;
}
}  // namespace

TEST_F(MainWindowTest, PreviewAndTheGuardsQuestionShowAStrictRunsDeletionsAndNoKeepsThem) {
  tree.WriteFile(L"src\\kept.txt", "k");
  for (int i = 0; i < 20; ++i) tree.WriteFile(L"dst\\old\\f" + std::to_wstring(i) + L".txt", "x");
  const std::wstring job = tree.Path(L"job.hbak");
  tree.WriteFile(L"job.hbak", "[Settings]\r\nversion=1\r\nFlag=1\r\n[Folders]\r\n0=" +
                                  Utf8(tree.Path(L"src") + L"<|>" + tree.Path(L"dst")) + "\r\n");
  SetBackupRunner(RunBackup);
  std::wstring previewTexts, guardPreviewTexts, warning, question, againAsked, end;
  std::vector<Row> previewRows, guardPreviewRows;
  UiStep askedAgain = [&] {
    HWND box = FindShownWindow(kDialogClass, L"Pre&view...");
    if (!box || TextsOf(box).find(L"Strict mode would delete") == std::wstring::npos) return false;
    againAsked = TextsOf(box);
    return ClickChild(box, L"&No");
  };
  Run(Quoted(job),
      {ClickMain(L"Pre&view"), InPreview(&previewTexts, &previewRows), ClickMain(L" Start backup"),
       [&] {
         HWND box = FindShownWindow(kDialogClass, L"&Don't ask again");
         if (!box) return false;
         warning = TextsOf(box);
         return ClickChild(box, L"&Yes");
       },
       [&] {
         HWND box = FindShownWindow(kDialogClass, L"Pre&view...");
         if (!box || TextsOf(box).find(L"Strict mode") == std::wstring::npos) return false;
         question = TextsOf(box);
         return ClickChild(box, L"Pre&view...");
       },
       InPreview(&guardPreviewTexts, &guardPreviewRows), askedAgain, Answer(L"OK", &end),
       CloseMain()});

  EXPECT_EQ(Deletions(previewRows), 21u) << "20 files and their folder";
  EXPECT_NE(previewTexts.find(L"the deletion guard asks first (20 of 21 files)"),
            std::wstring::npos)
      << previewTexts;
  EXPECT_NE(warning.find(L"This run would delete 20 files in the destination folders."),
            std::wstring::npos)
      << warning;
  EXPECT_NE(question.find(L"Strict mode would delete 20 of 21 files in " + tree.Path(L"dst") +
                          L". Delete them?"),
            std::wstring::npos)
      << question;
  EXPECT_EQ(Deletions(guardPreviewRows), 21u);
  EXPECT_EQ(againAsked, question) << "the preview returns to the question";
  EXPECT_NE(end.find(L"not everything could be done"), std::wstring::npos) << end;
  EXPECT_EQ(NamesIn(tree.Path(L"dst\\old")).size(), 20u) << "No deletes nothing";
  EXPECT_EQ(ReadWholeFile(tree.Path(L"dst\\kept.txt")), "k") << "the copy pass ran";
}

TEST_F(MainWindowTest, SafetyNetRefusesAnUnusableNumberAndItsValuesAreSavedWithTheJob) {
  tree.WriteFile(L"job.hbak", kTwoPairJob);
  const std::wstring path = tree.Path(L"job.hbak");
  std::wstring refused;
  auto inDialog = [](std::function<void(HWND)> action) -> UiStep {
    return [action] {
      HWND dialog = FindShownWindow(kDialogClass,
                                    L"&Deletion guard: ask before strict mode "
                                    L"deletes more than");
      if (!dialog) return false;
      action(dialog);
      return true;
    };
  };
  auto setNumber = [](HWND dialog, int nth, const wchar_t* text) {
    SetWindowTextW(NthChild(dialog, L"Edit", nth), text);
  };
  Run(Quoted(path), {ClickMain(L"Sa&fety net..."), inDialog([&](HWND d) {
                       ClickChild(d, L"&Keep replaced and deleted files for");
                       setNumber(d, 0, L"0");
                       ClickChild(d, L"&OK");
                     }),
                     Answer(L"OK", &refused), inDialog([&](HWND d) {
                       setNumber(d, 0, L"7");
                       ClickChild(d, L"&Deletion guard: ask before strict mode deletes more than");
                       ClickChild(d, L"&OK");
                     }),
                     ClickMain(L"   Save"), CloseMain()});
  EXPECT_EQ(refused, L"Please enter a number of days from 1 to 36500.");
  wchar_t days[16] = {}, guard[16] = {};
  GetPrivateProfileStringW(L"Settings", L"VersionDays", L"<absent>", days, 16, path.c_str());
  GetPrivateProfileStringW(L"Settings", L"DeletionGuard", L"<absent>", guard, 16, path.c_str());
  EXPECT_STREQ(days, L"7");
  EXPECT_STREQ(guard, L"0");
}
