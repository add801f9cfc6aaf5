#include "app/window/main_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <utility>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/console/console_output.h"
#include "app/install/schedule_command.h"
#include "app/install/shell_links.h"
#include "app/job_options.h"
#include "app/runner/backup_runner.h"
#include "app/runner/run_log.h"
#include "app/runner/run_report.h"
#include "app/window/folder_pair_dialog.h"
#include "app/window/main_window_state.h"
#include "app/window/preview_window.h"
#include "app/window/safety_net_dialog.h"
#include "app/window/schedule_dialog.h"
#include "app/window/strict_warning.h"
#include "base/path.h"
#include "engine/item_queries.h"
#include "jobfile/settings_file.h"
#include "ui/list_view.h"
#include "ui/message_box.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kNoRunnerText[] =
    L"No backup can be run: this build of the program has no backup runner.";
constexpr int kNoticeHeight = 130;
constexpr wchar_t kProgramName[] = L"Harborline Backup";
constexpr wchar_t kUnsavedMark[] = L"*";
constexpr wchar_t kNotTakenText[] =
    L"Only folders can become folder pairs. These dropped items were not taken:\r\n";
constexpr int kNotTakenShown = 5;
constexpr int kNotTakenHeight = 200;
constexpr int kNotTakenWidth = 440;
constexpr wchar_t kStrayArgumentText[] =
    L"the argument is neither a switch (/Passive, /Quiet, /Uninstall) nor the path of a job file "
    L"ending in .hbak";
constexpr wchar_t kDefaultJobShown[] = L"The default job is shown instead.";
constexpr wchar_t kNoJobShown[] =
    L"An empty job is shown; use \"Save as...\" to keep what you make of it.";
constexpr wchar_t kScheduleNeedsFile[] =
    L"Save the job to a file of its own first (\"Save as...\"): the schedule runs a job "
    L"file.";
constexpr wchar_t kScheduleNeedsSave[] =
    L"Save the job first: the schedule runs the job as its file holds it.";
constexpr wchar_t kNoPairsText[] =
    L"There is no folder pair to back up.\r\n\r\nAdd one with \"Add folder pair\", then press "
    L"\"Start backup\" again.";
constexpr wchar_t kNoCheckedPairText[] =
    L"No folder pair is checked, so there is nothing to back up.\r\n\r\nCheck the box of each "
    L"folder pair to back up, then press \"Start backup\" again.";

// Messages an elevated process would otherwise refuse from the shell, which
// runs with less rights: file drops and what they need.
void LetDropsThrough() {
  HMODULE user = LoadLibraryW(L"User32.dll");
  if (!user) return;
  using FilterFn = BOOL(WINAPI*)(UINT, DWORD);
  auto filter = reinterpret_cast<FilterFn>(
      reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter")));
  if (filter) {
    for (UINT message :
         {0x233u /* WM_DROPFILES */, 0x49u /* WM_COPYGLOBALDATA */, 0x84u /* WM_NCHITTEST */})
      filter(message, MSGFLT_ADD);
  }
  FreeLibrary(user);
}

void EnableControl(UiWindow& window, int index, bool on) {
  window.SetControlState(index, on ? kStateEnable : kStateDisable);
}

// Edit, Remove and the two moves follow the selection and the row count.
void ApplySelectionRules(MainWindow& main, int selected) {
  const int rows = RowCount(main);
  MainWindowControls& ids = main.ids;
  EnableControl(main.window, ids.edit, selected >= 0);
  EnableControl(main.window, ids.remove, selected >= 0);
  EnableControl(main.window, ids.moveUp, rows >= 2 && selected >= 1);
  EnableControl(main.window, ids.moveDown, rows >= 2 && selected >= 0 && selected <= rows - 2);
}

void CheckSelection(MainWindow& main) {
  const int selected = SelectedRow(main);
  const int rows = RowCount(main);
  if (selected == main.lastSelection && rows == main.lastRowCount) return;
  main.lastSelection = selected;
  main.lastRowCount = rows;
  ApplySelectionRules(main, selected);
}

bool IsFolder(const wchar_t* path) { return path && path[0] && PathIsDirectoryW(path); }

// Opens a row's folder in the file manager. Only a folder that exists is
// handed to the shell: a job file can come from anywhere, and a row naming a
// program or a web address must never be launched (the program runs elevated).
void OpenRowFolder(MainWindow& main, int column) {
  const int row = SelectedRow(main);
  if (row < 0) return;
  WideString path = main.window.GetRowText(main.ids.list, row, column);
  if (IsFolder(path.CStr())) OpenWithShell(path.CStr());
}

// at: where the menu opens (screen), under the pointer or, from the keyboard,
// under the selected row.
void ShowContextMenu(MainWindow& main, POINT at) {
  UiWindow& w = main.window;
  MainWindowControls& ids = main.ids;
  const int row = SelectedRow(main);
  for (int control : {ids.edit, ids.remove, ids.menuEdit, ids.menuRemove})
    EnableControl(w, control, row >= 0);
  bool sourceExists = false, destinationExists = false;
  if (row >= 0) {
    WideString source = w.GetRowText(ids.list, row, kSourceColumn);
    WideString destination = w.GetRowText(ids.list, row, kDestinationColumn);
    sourceExists = IsFolder(source.CStr());
    destinationExists = sourceExists && IsFolder(destination.CStr());
  }
  EnableControl(w, ids.menuOpenSource, sourceExists);
  EnableControl(w, ids.menuOpenDestination, destinationExists);
  UiControl* list = w.Control(ids.list);
  if (!list || !list->menu) return;
  TrackPopupMenu(list->menu, TPM_LEFTBUTTON, at.x, at.y, 0, w.handle, nullptr);
}

// The keys go back to the list, on the row the dialog wrote or left.
void FocusList(MainWindow& main) { main.window.Present(main.ids.list); }

bool EditPair(MainWindow& main, int mode, const wchar_t* dropped = nullptr) {
  const bool changed = FolderPairDialog(main.app, main.ids.list, mode, dropped);
  if (changed) main.isSaved = false;
  FocusList(main);
  return changed;
}

// Each dropped folder is proposed as a pair of its own, one dialog after the
// other (Cancel ends the row of dialogs); what is no folder is named
// afterwards, so that nothing dropped goes missing unseen.
void AddDroppedItems(MainWindow& main, const wchar_t* dropped) {
  SplitList items(dropped, L"\r\n");
  std::vector<WideString> notTaken;
  bool goOn = true;
  for (int i = 0; i < items.Count(); ++i) {
    const wchar_t* item = items.Item(i);
    if (!item || !item[0]) continue;
    WideString probe(item);
    AddLongPathPrefix(probe);
    if (!PathIsFolder(probe.CStr())) {
      notTaken.emplace_back(item);
    } else if (goOn && !EditPair(main, kDroppedPair, item)) {
      goOn = false;
    }
  }
  if (notTaken.empty()) return;
  WideString message(kNotTakenText);
  for (size_t i = 0; i < notTaken.size() && i < kNotTakenShown; ++i)
    message.Append(L"\r\n", notTaken[i].CStr());
  if (notTaken.size() > kNotTakenShown) {
    WideString more;
    more.FromInt(static_cast<int>(notTaken.size() - kNotTakenShown));
    message.Append(L"\r\n... and ", more.CStr(), L" more.");
  }
  ShowMessageBox(main.window, message.CStr(), MessageBoxType::Ok, kNotTakenHeight, kNotTakenWidth);
  FocusList(main);
}

void RemoveSelected(MainWindow& main) {
  const int row = SelectedRow(main);
  if (row >= 0) {
    main.window.SendToControl(main.ids.list, LVM_DELETEITEM, row, 0);
    main.window.SendToControl(main.ids.list, LVM_ARRANGE, LVA_DEFAULT, 0);
  }
  main.isSaved = false;
}

void MoveSelected(MainWindow& main, int step) {
  const int row = SelectedRow(main);
  const int other = row + step;
  if (row >= 0 && other >= 0 && other < RowCount(main)) {
    UiEventMute mute(main.window);
    HWND list = main.window.ControlHandle(main.ids.list);
    SwapRows(list, row, other);
    ClearSortArrows(list);
    SendMessageW(list, LVM_ENSUREVISIBLE, other, FALSE);
  }
  main.isSaved = false;
}

void ChooseMode(MainWindow& main, int mode) {
  UiWindow& w = main.window;
  const int update = main.ids.options.updateMethod;
  if (mode == main.ids.modes.restore)
    w.SetControlState(update, kStateDisable | kStateUncheck);
  else if (mode == main.ids.modes.sync)
    w.SetControlState(update, kStateDisable | kStateCheck);
  else
    w.SetControlState(update, kStateEnable | kStateCheck);
  main.isSaved = false;
}

void ReportNoRunner(MainWindow& main) {
  if (main.app.runMode == kInteractive) {
    ShowMessageBox(main.window, kNoRunnerText, MessageBoxType::Ok, kNoticeHeight, 0);
  } else {
    WriteConsoleLine(L"harborline: no backup was run: this build has no backup runner.");
    main.app.exitCode = 1;
  }
}

// "Schedule...": only a job that has a file of its own and is saved, since
// the task runs the file as it is.
void ScheduleCurrentJob(MainWindow& main) {
  Application& app = main.app;
  const wchar_t* file = app.currentSettingsPath.CStr();
  if (app.currentSettingsPath.Length() == 0 || EqualsNoCase(file, app.defaultSettingsPath.CStr())) {
    ShowMessageBox(main.window, kScheduleNeedsFile, MessageBoxType::Ok, kNoticeHeight, 0);
    return;
  }
  if (!main.isSaved) {
    ShowMessageBox(main.window, kScheduleNeedsSave, MessageBoxType::Ok, kNoticeHeight, 0);
    return;
  }
  Schedule schedule = JobFileSchedule(file);
  // The dialog writes the file's key itself; the value follows, so that the
  // next save keeps it.
  if (ScheduleDialog(app, file, schedule)) main.settings.schedule = ScheduleSettingText(schedule);
}

// Interactive: a start with nothing to run says why instead of flashing the
// progress window. True when there is a checked row.
bool HasPairToRun(MainWindow& main) {
  const int rows = RowCount(main);
  for (int row = 0; row < rows; ++row)
    if (main.window.IsRowChecked(main.ids.list, row)) return true;
  if (main.app.runMode != kInteractive) return true;  // the runner reports it
  ShowMessageBox(main.window, rows == 0 ? kNoPairsText : kNoCheckedPairText, MessageBoxType::Ok,
                 kNoticeHeight, 0);
  return false;
}

// The job cannot change while it runs: the list, the modes, the options
// (the safety net, the exclusions and the schedule with them), the preview
// and the file commands are disabled for the run and then come back as they
// were (the update method stays disabled in Restore and Sync).
class JobControlsLocked {
 public:
  explicit JobControlsLocked(MainWindow& main) : window_(main.window) {
    const MainWindowControls& ids = main.ids;
    for (int control : {ids.list,
                        ids.moveUp,
                        ids.moveDown,
                        ids.add,
                        ids.edit,
                        ids.remove,
                        ids.modes.common,
                        ids.modes.strict,
                        ids.modes.restore,
                        ids.modes.sync,
                        ids.options.updateMethod,
                        ids.options.skipSystem,
                        ids.options.skipHidden,
                        ids.settings,
                        ids.exclude,
                        ids.schedule,
                        ids.preview,
                        ids.safetyNet,
                        ids.open,
                        ids.save,
                        ids.saveAs,
                        ids.start}) {
      HWND handle = window_.ControlHandle(control);
      if (!handle || !IsWindowEnabled(handle)) continue;
      window_.SetControlState(control, kStateDisable);
      locked_.push_back(control);
    }
  }
  ~JobControlsLocked() {
    for (int control : locked_) window_.SetControlState(control, kStateEnable);
  }
  JobControlsLocked(const JobControlsLocked&) = delete;
  JobControlsLocked& operator=(const JobControlsLocked&) = delete;

 private:
  UiWindow& window_;
  std::vector<int> locked_;
};

// The checked rows' folders, as a run takes them.
std::vector<PreviewPair> CheckedPairs(MainWindow& main) {
  std::vector<PreviewPair> pairs;
  UiWindow& w = main.window;
  const int list = main.ids.list;
  for (int row = 0; row < RowCount(main); ++row) {
    if (!w.IsRowChecked(list, row)) continue;
    WideString source = w.GetRowText(list, row, kSourceColumn);
    WideString destination = w.GetRowText(list, row, kDestinationColumn);
    if (!source.CStr() || !destination.CStr()) continue;
    TrimTrailingBackslashes(source);
    TrimTrailingBackslashes(destination);
    pairs.push_back({source.CStr(), destination.CStr()});
  }
  return pairs;
}

// "Preview": the checked pairs with the mode and options the window shows.
void PreviewBackup(MainWindow& main) {
  CollectMainWindowJob(main);
  BackupJob options;
  ApplyJobOptions(main.settings, options);
  RunPreview preview;
  {
    // The walk runs on this thread's time; a large tree takes a while.
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    PlanRun(CheckedPairs(main), options, preview);
    SetCursor(previous);
  }
  ShowPreviewWindow(main.app, preview);
}

// "Start backup". True when the loop is to end.
bool StartBackup(MainWindow& main) {
  BackupJob& job = main.job;
  BackupRunner runner = CurrentBackupRunner();
  if (!runner) {
    ReportNoRunner(main);
    return main.app.runMode != kInteractive;
  }
  if (!HasPairToRun(main)) return false;
  // The runner reads the rows themselves; the value gives the mode and options.
  CollectMainWindowJob(main);
  if (main.settings.mode == JobMode::Strict) {
    BackupJob options;
    ApplyJobOptions(main.settings, options);
    if (!ConfirmStrictBackup(main.app, CheckedPairs(main), options)) return false;
  }
  ApplyJobOptions(main.settings, job);
  job.cancelRequested = 0;
  job.progress = 0;
  job.pairListControl = main.ids.list;
  job.ownerWindow = &main.window;
  if (!EnsureTransferBuffer(job)) {
    if (main.app.runMode == kInteractive) {
      ShowMessageBox(main.window, L"There is not enough memory to start the backup.",
                     MessageBoxType::Ok, kNoticeHeight, 0);
      return false;
    }
    WriteConsoleLine(L"harborline: not enough memory to start the backup.");
    main.app.exitCode = 1;
    return true;
  }
  RunResult result;
  {
    JobControlsLocked locked(main);
    // A header click during the run would reorder the rows under the runner.
    main.window.SetListSortable(main.ids.list, false);
    result = runner(main.app, job);
    CloseJobFiles(job);
    main.window.SetListSortable(main.ids.list, true);
  }
  if (main.app.runMode != kInteractive) return true;
  // The runner asked when the ending choice was made; this only asks when it
  // did not.
  if (result == RunResult::kFinishedAndClose && ConfirmClose(main)) return true;
  main.leaveWithoutSaving = false;
  return false;
}

// One event of the main window. True when the loop is to end.
bool Dispatch(MainWindow& main, const UiEvent& event) {
  UiWindow& w = main.window;
  MainWindowControls& ids = main.ids;
  const int code = event.code;
  if (IsCloseOf(event, w)) return ConfirmClose(main);
  if (event.source != &w || code == 0) return false;
  // The session ending was refused while edits are unsaved: ask now.
  if (code == UiEventCode::SessionEnding && event.message == WM_QUERYENDSESSION)
    return w.holdsUnsavedWork && ConfirmClose(main);
  const int param = event.param1;

  if (code == UiEventCode::ItemSelected || code == UiEventCode::ItemDeselected) {
    if (param == ids.list) {
      const bool any = SelectedRow(main) >= 0;
      EnableControl(w, ids.edit, any);
      EnableControl(w, ids.remove, any);
    }
  } else if (code == UiEventCode::ItemChecked || code == UiEventCode::ItemUnchecked) {
    if (param == ids.list) main.isSaved = false;
  } else if (code == UiEventCode::ContextMenu) {
    if (param == ids.list) ShowContextMenu(main, event.point);
  } else if (code == UiEventCode::DoubleClicked) {
    if (param == ids.list) OpenRowFolder(main, kSourceColumn);
  } else if (code == UiEventCode::FilesDropped) {
    if (param == ids.list) AddDroppedItems(main, event.Text());
  } else if (code == UiEventCode::ReturnPressed) {
    const int row = SelectedRow(main);
    if (param == ids.list && row >= 0) EditPair(main, row);
  } else if (code == UiEventCode::ListKeyDown) {
    if (param == ids.list && event.param2 == VK_DELETE && SelectedRow(main) >= 0)
      RemoveSelected(main);
  } else if (code == UiEventCode::Moved) {
    // Resizing and back makes the list repaint after the window moved.
    w.SetControlBounds(ids.list, 15, 65, 620, 132);
    w.SetControlBounds(ids.list, 15, 65, 620, 130);
  } else if (code == ids.menuOpenSource) {
    OpenRowFolder(main, kSourceColumn);
  } else if (code == ids.menuOpenDestination) {
    OpenRowFolder(main, kDestinationColumn);
  } else if (code == ids.add || code == ids.menuAdd) {
    EditPair(main, kNewPair);
  } else if (code == ids.edit || code == ids.menuEdit) {
    const int row = SelectedRow(main);
    if (row >= 0) EditPair(main, row);
  } else if (code == ids.remove || code == ids.menuRemove) {
    RemoveSelected(main);
  } else if (code == ids.moveUp) {
    MoveSelected(main, -1);
  } else if (code == ids.moveDown) {
    MoveSelected(main, +1);
  } else if (code == ids.options.updateMethod || code == ids.options.skipSystem ||
             code == ids.options.skipHidden) {
    main.isSaved = false;
  } else if (code == UiEventCode::EditChanged) {
    if (param == ids.exclude) main.isSaved = false;
  } else if (code == ids.schedule) {
    ScheduleCurrentJob(main);
  } else if (code == ids.settings) {
    // Closed from inside the dialog, or handed over to the installed copy
    // (which asked already before it started the copy).
    return main.app.RunInstallDialog(HandOverArguments(main.app).CStr(), main.showCommand) &&
           ConfirmClose(main);
  } else if (code == ids.open) {
    OpenJobFile(main);
  } else if (code == ids.save) {
    SaveCurrentJob(main);
  } else if (code == ids.saveAs) {
    SaveJobAs(main);
  } else if (code == ids.start) {
    return StartBackup(main);
  } else if (code == ids.preview || code == ids.menuPreview) {
    PreviewBackup(main);
  } else if (code == ids.safetyNet) {
    if (EditSafetyNet(main.app, main.settings)) main.isSaved = false;
  } else if (code == ids.modes.common || code == ids.modes.strict || code == ids.modes.restore ||
             code == ids.modes.sync) {
    ChooseMode(main, code);
  }
  return false;
}

// Alt+Up and Alt+Down move the selected pair: the two image buttons have no
// text to carry a mnemonic.
void AddMoveKeys(MainWindow& main) {
  ACCEL keys[] = {
      {FALT | FVIRTKEY, VK_UP, static_cast<WORD>(main.ids.moveUp)},
      {FALT | FVIRTKEY, VK_DOWN, static_cast<WORD>(main.ids.moveDown)},
  };
  main.window.accelerators = CreateAcceleratorTableW(keys, 2);
}

// Why the job named on the command line cannot be run (empty when it can),
// and the argument that named it.
std::wstring JobArgumentProblem(Application& app, std::wstring& argument) {
  if (app.missingSettingsFile.Length() > 0) {
    argument = app.missingSettingsFile.CStr();
    return JobFileProblemText(JobFileProblem::Missing, 0);
  }
  if (app.runMode != kInteractive && app.strayArgument.Length() > 0) {
    argument = app.strayArgument.CStr();
    return kStrayArgumentText;
  }
  if (app.currentSettingsPath.Length() == 0) return std::wstring();
  unsigned long error = 0;
  const JobFileProblem problem = CheckJobFile(app.currentSettingsPath.CStr(), &error);
  if (problem == JobFileProblem::None) return std::wstring();
  // Interactively a file that is no job (or a folder) opens as an empty job,
  // which no save can turn into a loss; only a file whose pairs cannot be
  // read must not be shown as empty.
  if (app.runMode == kInteractive && problem != JobFileProblem::Unreadable) return std::wstring();
  argument = app.currentSettingsPath.CStr();
  return JobFileProblemText(problem, error);
}

// An unattended start that runs nothing: the reason goes to the run log and
// the console, the exit code says so.
void RefuseUnattendedRun(Application& app, const std::wstring& argument,
                         const std::wstring& reason) {
  RunRecord run;
  GetLocalTime(&run.started);
  run.ended = run.started;
  run.jobFile = argument;
  run.runMode = app.runMode;
  run.notRunReason = reason;
  AppendToRunLog(RunLogPath(app.defaultSettingsPath.CStr()).c_str(), FormatRunReport(run));
  const std::wstring line = L"harborline: " + argument + L": " + reason + L"; no backup was run.";
  WriteConsoleLine(line.c_str());
  app.exitCode = kExitMissingSettingsFile;
}

void ShowMainWindow(MainWindow& main) {
  HWND handle = main.window.handle;
  ShowWindow(handle, SW_SHOW);
  UpdateWindow(handle);
  SetForegroundWindow(handle);
  SetActiveWindow(handle);
  EnableWindow(handle, TRUE);
}

void RunLoop(MainWindow& main) {
  UiWindow& events = *main.window.events;
  UiEvent event;
  if (main.app.runMode != kInteractive) {
    // Unattended: the first event is a press of "Start backup", before any
    // real message is read; the loop ends with the run.
    CheckSelection(main);
    StartBackup(main);
    return;
  }
  NoteUnsavedWork(main);
  while (NextShellEvent(main.app, events, event)) {
    if (event.code != UiEventCode::MouseMoved) CheckSelection(main);
    if (Dispatch(main, event)) break;
    ShowJobName(main);
    NoteUnsavedWork(main);
  }
}

}  // namespace

MainWindow::~MainWindow() {
  // The menu shows the images until the window and its controls are gone.
  window.Destroy();
  for (HBITMAP& image : menuImages) {
    if (image) DeleteObject(image);
    image = nullptr;
  }
}

void ShowJobName(MainWindow& main) {
  if (main.savedShown == main.isSaved && main.nameShown.Length() > 0 &&
      wcscmp(main.nameShown.CStr(), main.shownFileName.CStr()) == 0)
    return;
  main.nameShown.Assign(main.shownFileName.CStr());
  main.savedShown = main.isSaved;
  const wchar_t* mark = main.isSaved ? L"" : kUnsavedMark;
  WideString header;
  header.AssignConcat(mark, main.shownFileName.CStr(),
                      main.isSaved ? L"" : L" (changes not saved)");
  main.window.SetControlText(main.ids.jobName, header.CStr());
  WideString title;
  title.AssignConcat(mark, main.shownFileName.CStr(), L" - ", kProgramName);
  SetWindowTextW(main.window.handle, title.CStr());
}

WideString HandOverArguments(Application& app) {
  if (EqualsNoCase(app.currentSettingsPath.CStr(), app.defaultSettingsPath.CStr()))
    return WideString(L"");
  WideString arguments;
  arguments.AssignConcat(L"\"", app.currentSettingsPath.CStr(), L"\"");
  return arguments;
}

int SelectedRow(MainWindow& main) {
  return static_cast<int>(main.window.SendToControl(main.ids.list, LVM_GETNEXTITEM,
                                                    static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int RowCount(MainWindow& main) {
  return static_cast<int>(main.window.SendToControl(main.ids.list, LVM_GETITEMCOUNT, 0, 0));
}

int RunMainWindow(Application& app, HINSTANCE instance, const wchar_t* commandLine,
                  int showCommand) {
  if (!ParseCommandLine(app, commandLine)) return app.exitCode;
  std::wstring refused;
  const std::wstring reason = JobArgumentProblem(app, refused);
  if (app.runMode != kInteractive && !reason.empty()) {
    // Running the default job instead could run a Strict job over other folders.
    RefuseUnattendedRun(app, refused, reason);
    return app.exitCode;
  }
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  {
    MainWindow main(app);
    main.commandLine = commandLine ? commandLine : L"";
    main.showCommand = showCommand;
    if (!BuildMainWindow(main, instance)) {
      WriteConsoleLine(L"harborline: the main window could not be created.");
      app.exitCode = 1;
      return app.exitCode;
    }
    LetDropsThrough();
    if (!reason.empty() || app.currentSettingsPath.Length() == 0)
      app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());
    const bool loaded = LoadJob(main, app.currentSettingsPath.CStr());
    main.window.SetListSortable(main.ids.list, true);
    AddMoveKeys(main);
    ShowJobName(main);
    app.confirmLeave = [&main] { return ConfirmClose(main); };
    if (app.runMode != kQuiet) ShowMainWindow(main);
    if (!reason.empty()) ShowJobNotOpened(main, refused.c_str(), reason, kDefaultJobShown);
    if (!loaded) {
      // The default file exists but cannot be read: its pairs are not shown,
      // so nothing may run as that job or be saved over it.
      unsigned long error = 0;
      const std::wstring why =
          JobFileProblemText(CheckJobFile(app.currentSettingsPath.CStr(), &error), error);
      if (app.runMode != kInteractive) {
        RefuseUnattendedRun(app, app.currentSettingsPath.CStr(), why);
        return app.exitCode;
      }
      ShowJobNotOpened(main, app.currentSettingsPath.CStr(), why, kNoJobShown);
      app.currentSettingsPath.Clear();
    }
    RunLoop(main);
    app.confirmLeave = nullptr;
  }
  return app.exitCode;
}
