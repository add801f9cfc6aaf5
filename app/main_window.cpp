#include "app/main_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>
#include <windowsx.h>

#include "app/application.h"
#include "app/backup_runner.h"
#include "app/command_line.h"
#include "app/console_output.h"
#include "app/folder_pair_dialog.h"
#include "app/job_options.h"
#include "app/main_window_state.h"
#include "app/preview_window.h"
#include "app/safety_net_dialog.h"
#include "app/shell_links.h"
#include "app/strict_warning.h"
#include "base/path.h"
#include "jobfile/settings_file.h"
#include "ui/list_view.h"
#include "ui/message_box.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kNoRunnerText[] =
    L"No backup can be run: this build of the program has no backup runner.";
constexpr int kNoticeHeight = 130;

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

void EditPair(MainWindow& main, int mode, const wchar_t* dropped = nullptr) {
  if (FolderPairDialog(main.app, main.ids.list, mode, dropped)) main.isSaved = false;
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
    SwapRows(main.window.ControlHandle(main.ids.list), row, other);
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
  CollectJobSettings(main.window, main.ids.job(), main.settings);
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
  // The runner reads the rows themselves; the value gives the mode and options.
  CollectJobSettings(main.window, main.ids.job(), main.settings);
  if (main.settings.mode == JobMode::Strict) {
    BackupJob options;
    ApplyJobOptions(main.settings, options);
    if (!ConfirmStrictBackup(main.app, CheckedPairs(main), options)) return false;
  }
  BackupRunner runner = CurrentBackupRunner();
  if (!runner) {
    ReportNoRunner(main);
    return main.app.runMode != kInteractive;
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
  // A header click during the run would reorder the rows under the runner.
  main.window.SetListSortable(main.ids.list, false);
  const RunResult result = runner(main.app, job);
  CloseJobFiles(job);
  main.window.SetListSortable(main.ids.list, true);
  return main.app.runMode != kInteractive || result == RunResult::kFinishedAndClose;
}

// One event of the main window. True when the loop is to end.
bool Dispatch(MainWindow& main, const UiEvent& event) {
  UiWindow& w = main.window;
  MainWindowControls& ids = main.ids;
  const int code = event.code;
  if (IsCloseOf(event, w)) return ConfirmClose(main);
  if (event.source != &w || code == 0) return false;
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
    if (param == ids.list) EditPair(main, kDroppedPair, event.Text());
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
  } else if (code == ids.settings) {
    return main.app.RunInstallDialog(main.commandLine, main.showCommand);
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
  while (NextShellEvent(main.app, events, event)) {
    if (event.code != UiEventCode::MouseMoved) CheckSelection(main);
    if (Dispatch(main, event)) break;
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
  if (app.runMode != kInteractive && app.missingSettingsFile.Length() > 0) {
    // Running the default job instead could run a Strict job over other folders.
    WideString line;
    line.AssignConcat(L"harborline: the settings file ", app.missingSettingsFile.CStr(),
                      L" does not exist; no backup was run.");
    WriteConsoleLine(line.CStr());
    app.exitCode = kExitMissingSettingsFile;
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
    if (app.currentSettingsPath.Length() == 0)
      app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());
    LoadJob(main, app.currentSettingsPath.CStr());
    main.window.SetListSortable(main.ids.list, true);
    if (app.runMode != kQuiet) ShowMainWindow(main);
    RunLoop(main);
  }
  return app.exitCode;
}
