// The main window's job and its files: load, save, Open, Save as and the
// save prompt on close.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/main_window_state.h"
#include "base/path.h"
#include "jobfile/job_settings.h"
#include "jobfile/preferences.h"
#include "jobfile/settings_file.h"
#include "ui/message_box.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kFileFilter[] = L"Harborline Backup files (*.hbak)\0*.hbak\0";
constexpr wchar_t kDefaultExtension[] = L"hbak";
// Room for the longest path the file system takes: with less, the dialog
// refuses a long name as if the user had cancelled.
constexpr DWORD kFileNameBuffer = 32768;
constexpr wchar_t kNotSavedText[] =
    L"Sorry, the backup settings could not be saved to this file.\r\n\r\nPlease select a file the "
    L"application can write to.";
constexpr wchar_t kMakeDefaultQuestion[] =
    L"Do you wish to make the selected backup options the default options, that will be "
    L"automatically loaded when the application starts up?\r\n\r\nNote: The previous default "
    L"settings will be overwritten! If you're no sure, just say No.";
constexpr int kQuestionHeight = 130;
constexpr int kLongTextHeight = 170;

void SetShownFileName(MainWindow& main) {
  main.shownFileName.Assign(main.app.currentSettingsPath.CStr());
  FileNamePart(main.shownFileName);
}

void ShowNotSaved(MainWindow& main) {
  ShowMessageBox(main.window, kNotSavedText, MessageBoxType::Ok, 150, 0);
}

// Asks "Save changes to ...?" and saves on Yes. True when the caller may go
// on (saved, or No); false on Cancel or a save that failed.
bool SaveChangesFirst(MainWindow& main) {
  WideString question;
  question.AssignConcat(L"Save changes to ", main.shownFileName.CStr(), L"?");
  const MessageBoxAnswer answer =
      ShowMessageBox(main.window, question.CStr(), MessageBoxType::YesNoCancel, kQuestionHeight, 0);
  if (answer == MessageBoxAnswer::Cancel) return false;
  if (answer != MessageBoxAnswer::Yes) return true;
  return SaveCurrentJob(main);
}

// The platform's file dialog; false when cancelled.
bool AskForFile(MainWindow& main, bool forSaving, WideString& chosen) {
  std::vector<wchar_t> name(kFileNameBuffer, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = main.window.handle;
  dialog.lpstrFilter = kFileFilter;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = kFileNameBuffer;
  dialog.lpstrDefExt = kDefaultExtension;
  BOOL ok;
  if (forSaving) {
    dialog.lpstrTitle = L"Save backup settings to file";
    dialog.Flags = OFN_NOCHANGEDIR;  // an existing file is overwritten without asking
    ok = GetSaveFileNameW(&dialog);
  } else {
    dialog.lpstrTitle = L"Load backup settings from file";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    ok = GetOpenFileNameW(&dialog);
  }
  if (!ok) return false;
  chosen.Assign(name.data());
  return true;
}

}  // namespace

bool SaveCurrentJob(MainWindow& main) {
  main.isSaved = SaveJob(main, main.app.currentSettingsPath.CStr());
  if (!main.isSaved) ShowNotSaved(main);
  return main.isSaved;
}

void OpenJobFile(MainWindow& main) {
  if (!main.isSaved && !SaveChangesFirst(main)) return;
  WideString chosen;
  if (!AskForFile(main, false, chosen)) return;
  main.app.currentSettingsPath.Assign(chosen.CStr());
  LoadJob(main, chosen.CStr());
}

void SaveJobAs(MainWindow& main) {
  Application& app = main.app;
  if (!EqualsNoCase(app.currentSettingsPath.CStr(), app.defaultSettingsPath.CStr()) &&
      ShowMessageBox(main.window, kMakeDefaultQuestion, MessageBoxType::YesNo, kLongTextHeight,
                     0) == MessageBoxAnswer::Yes) {
    app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());
    SetShownFileName(main);
    main.isSaved = CollectJobSettings(main.window, main.ids.job(), main.settings) &&
                   SaveAsDefaultJob(app.defaultSettingsPath.CStr(), main.settings).complete;
    if (!main.isSaved) ShowNotSaved(main);
    return;
  }
  WideString chosen;
  if (!AskForFile(main, true, chosen)) return;
  if (!SaveJob(main, chosen.CStr())) {
    ShowNotSaved(main);
    return;
  }
  app.currentSettingsPath.Assign(chosen.CStr());
  SetShownFileName(main);
  main.isSaved = true;
}

bool ConfirmClose(MainWindow& main) {
  if (main.isSaved || main.app.runMode != kInteractive) return true;
  HWND handle = main.window.handle;
  if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
  return SaveChangesFirst(main);
}

void LoadJob(MainWindow& main, const wchar_t* path) {
  // The program's own changes raise no events that a loop could take for
  // the user's (the check boxes of the loaded rows are no change).
  UiEventMute mute(main.window);
  uint32_t flag = SettingsFlag::Default;
  ReadJobSettings(path, main.settings, &flag);
  ShowJobSettings(main.window, main.ids.job(), main.settings, &flag);
  SetShownFileName(main);
  main.isSaved = true;
}

bool SaveJob(MainWindow& main, const wchar_t* path) {
  // Only a complete save holds the job: a file with some of its pairs would
  // lose the others at the next load.
  const bool whole = CollectJobSettings(main.window, main.ids.job(), main.settings);
  return WriteJobSettings(path, main.settings).complete && whole;
}
