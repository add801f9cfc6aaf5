// The main window's job and its files: load, save, Open, Save as and the
// save prompt on close.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "app/application.h"
#include "app/install/schedule_command.h"
#include "app/window/main_window.h"
#include "app/window/main_window_state.h"
#include "base/path.h"
#include "jobfile/job_settings.h"
#include "jobfile/preferences.h"
#include "jobfile/settings_file.h"
#include "ui/list_view.h"
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
    L"settings will be overwritten! If you're not sure, just say No.";
constexpr wchar_t kShownJobKept[] = L"The job shown is kept.";
constexpr wchar_t kNotAJobQuestion[] =
    L" exists and is not a backup settings file.\r\n\r\nDo you want to replace what it holds "
    L"with this job? Its present content will be lost.";
constexpr wchar_t kScheduleNotMoved[] =
    L"The Task Scheduler refused the new file's task; the schedule stays with the previous file.";
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
    // An existing job file is overwritten without asking; one that is no
    // job file is asked about (SaveJobAs). The read-only box would promise
    // a protection that nothing gives.
    dialog.Flags = OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    ok = GetSaveFileNameW(&dialog);
  } else {
    dialog.lpstrTitle = L"Load backup settings from file";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    ok = GetOpenFileNameW(&dialog);
  }
  if (!ok) return false;
  chosen.Assign(name.data());
  return true;
}

// Save as: the old file's task runs the old file; the user decides whether
// the schedule goes with the job to its new file.
void OfferToMoveSchedule(MainWindow& main, const wchar_t* previous, const wchar_t* chosen,
                         const Schedule& schedule) {
  WideString text;
  FormatSchedule(schedule, text);
  WideString question;
  question.AssignConcat(L"The job was scheduled (", text.CStr(),
                        L").\r\n\r\nMove the schedule to the new file? Otherwise it stays with "
                        L"the previous file.");
  if (ShowMessageBox(main.window, question.CStr(), MessageBoxType::YesNo, kLongTextHeight, 0) !=
      MessageBoxAnswer::Yes)
    return;
  if (ScheduleJob(main.app, chosen, schedule) != TaskOutcome::kDone) {
    ShowMessageBox(main.window, kScheduleNotMoved, MessageBoxType::Ok, kQuestionHeight, 0);
    return;
  }
  main.settings.schedule = ScheduleSettingText(schedule);
  Schedule none;
  ScheduleJob(main.app, previous, none);
}

}  // namespace

bool ConfirmReplacingNonJob(MainWindow& main, const wchar_t* path) {
  WideString name(path);
  FileNamePart(name);
  const std::wstring question = std::wstring(name.CStr()) + kNotAJobQuestion;
  return ShowMessageBox(main.window, question.c_str(), MessageBoxType::YesNo, kLongTextHeight, 0) ==
         MessageBoxAnswer::Yes;
}

bool SaveCurrentJob(MainWindow& main) {
  main.isSaved = SaveJob(main, main.app.currentSettingsPath.CStr());
  if (!main.isSaved) ShowNotSaved(main);
  return main.isSaved;
}

void OpenJobFile(MainWindow& main) {
  if (!main.isSaved && !SaveChangesFirst(main)) return;
  WideString chosen;
  if (!AskForFile(main, false, chosen)) return;
  unsigned long error = 0;
  const JobFileProblem problem = CheckJobFile(chosen.CStr(), &error);
  if (problem != JobFileProblem::None) {
    ShowJobNotOpened(main, chosen.CStr(), JobFileProblemText(problem, error), kShownJobKept);
    return;
  }
  WideString previous(main.app.currentSettingsPath.CStr());
  main.app.currentSettingsPath.Assign(chosen.CStr());
  if (LoadJob(main, chosen.CStr())) return;
  // Unreadable since it was looked at: the shown job stays, and so does its file.
  main.app.currentSettingsPath = std::move(previous);
  const std::wstring why = JobFileProblemText(CheckJobFile(chosen.CStr(), &error), error);
  ShowJobNotOpened(main, chosen.CStr(), why, kShownJobKept);
}

void ShowJobNotOpened(MainWindow& main, const wchar_t* path, const std::wstring& reason,
                      const wchar_t* instead) {
  const std::wstring text = std::wstring(L"The job file ") + path + L" was not opened: " + reason +
                            L".\r\n\r\n" + instead;
  ShowMessageBox(main.window, text.c_str(), MessageBoxType::Ok, kLongTextHeight, 0);
}

void SaveJobAs(MainWindow& main) {
  Application& app = main.app;
  if (!EqualsNoCase(app.currentSettingsPath.CStr(), app.defaultSettingsPath.CStr()) &&
      ShowMessageBox(main.window, kMakeDefaultQuestion, MessageBoxType::YesNo, kLongTextHeight,
                     0) == MessageBoxAnswer::Yes) {
    app.currentSettingsPath.Assign(app.defaultSettingsPath.CStr());
    SetShownFileName(main);
    // A schedule stays with the file its task runs.
    main.settings.schedule.clear();
    main.isSaved = CollectMainWindowJob(main) &&
                   SaveAsDefaultJob(app.defaultSettingsPath.CStr(), main.settings).complete;
    if (!main.isSaved) ShowNotSaved(main);
    return;
  }
  WideString chosen;
  if (!AskForFile(main, true, chosen)) return;
  // A file that is there but holds no job (notes, a renamed document) would
  // otherwise get the job's sections added to whatever it holds.
  const bool replace = CheckJobFile(chosen.CStr()) == JobFileProblem::NotAJob;
  if (replace && !ConfirmReplacingNonJob(main, chosen.CStr())) return;
  WideString previous(app.currentSettingsPath.CStr());
  // The new file's schedule is decided below; until then it has none, so
  // that no file claims a task that is not its own.
  Schedule schedule;
  ParseSchedule(main.settings.schedule.c_str(), schedule);
  main.settings.schedule.clear();
  if (!SaveJob(main, chosen.CStr(), replace)) {
    main.settings.schedule = ScheduleSettingText(schedule);
    ShowNotSaved(main);
    return;
  }
  app.currentSettingsPath.Assign(chosen.CStr());
  SetShownFileName(main);
  main.isSaved = true;
  if (schedule.kind != ScheduleKind::kNone && !EqualsNoCase(previous.CStr(), chosen.CStr()))
    OfferToMoveSchedule(main, previous.CStr(), chosen.CStr(), schedule);
}

bool ConfirmClose(MainWindow& main) {
  if (main.isSaved || main.leaveWithoutSaving || main.app.runMode != kInteractive) return true;
  HWND handle = main.window.handle;
  if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
  const bool leave = SaveChangesFirst(main);
  if (leave && !main.isSaved) main.leaveWithoutSaving = true;
  NoteUnsavedWork(main);
  return leave;
}

void NoteUnsavedWork(MainWindow& main) {
  main.window.holdsUnsavedWork =
      main.app.runMode == kInteractive && !main.isSaved && !main.leaveWithoutSaving;
}

bool LoadJob(MainWindow& main, const wchar_t* path) {
  // The program's own changes raise no events that a loop could take for
  // the user's (the check boxes of the loaded rows are no change).
  UiEventMute mute(main.window);
  uint32_t flag = SettingsFlag::Default;
  JobFileRead read = ReadJobSettings(path, main.settings, &flag);
  if (read == JobFileRead::NotAFile) {
    // Shown as an empty job: a folder can never be saved over.
    main.settings = NewJobSettings();
    read = JobFileRead::Missing;
  }
  if (read != JobFileRead::Read && read != JobFileRead::Missing) return false;
  ShowJobSettings(main.window, main.ids.job(), main.settings, &flag);
  // An arrow left from the previous job would claim an order these rows
  // do not have.
  ClearSortArrows(main.window.ControlHandle(main.ids.list));
  main.window.SetControlText(main.ids.exclude, main.settings.exclude.c_str());
  SetShownFileName(main);
  main.isSaved = true;
  return true;
}

bool SaveJob(MainWindow& main, const wchar_t* path, bool replaceContent) {
  // Only a complete save holds the job: a file with some of its pairs would
  // lose the others at the next load.
  const bool whole = CollectMainWindowJob(main);
  const SettingsSaveResult saved = replaceContent ? ReplaceWithJobSettings(path, main.settings)
                                                  : WriteJobSettings(path, main.settings);
  return saved.complete && whole;
}

bool CollectMainWindowJob(MainWindow& main) {
  const bool whole = CollectJobSettings(main.window, main.ids.job(), main.settings);
  WideString exclude = main.window.GetControlText(main.ids.exclude);
  main.settings.exclude.assign(exclude.buf ? exclude.buf : L"");
  return whole;
}
