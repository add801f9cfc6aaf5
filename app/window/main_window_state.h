// What the main window keeps while its loop runs; shared by the files that
// build the window, dispatch its events and load and save its job.
#pragma once

#include <windows.h>

#include <string>

#include "app/application.h"
#include "base/wide_string.h"
#include "engine/backup_job.h"
#include "jobfile/job_settings.h"
#include "jobfile/settings_file.h"

class UiWindow;

// Control indices of the main window, as the toolkit returned them.
struct MainWindowControls {
  int list = 0;
  int moveUp = 0, moveDown = 0;
  int add = 0, edit = 0, remove = 0;
  ModeButtons modes;
  OptionBoxes options;
  int settings = 0, open = 0, save = 0, saveAs = 0, start = 0;
  // The header's line with the job file's name.
  int jobName = 0;
  int exclude = 0;   // the job's exclusion patterns
  int schedule = 0;  // "Schedule..."
  // What a run would do, and the job's versions and deletion guard.
  int preview = 0, safetyNet = 0;
  // Items of the list's context menu.
  int menuOpenSource = 0, menuOpenDestination = 0, menuAdd = 0, menuEdit = 0, menuRemove = 0;
  int menuPreview = 0;

  JobControls job() const { return JobControls{list, modes, options}; }
};

struct MainWindow {
  explicit MainWindow(Application& application)
      : app(application), window(application.mainWindow) {}
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  Application& app;
  UiWindow& window;
  MainWindowControls ids;
  const wchar_t* commandLine = L"";
  int showCommand = SW_SHOWNORMAL;
  bool isSaved = true;
  // The user answered the save question with No for a way out that is
  // under way (a completion action that ends the program): not asked again.
  bool leaveWithoutSaving = false;
  WideString shownFileName;
  // What the header and the title show now, so that they change only when
  // the job's name or its saved state does.
  WideString nameShown;
  bool savedShown = false;
  int lastSelection = 0;
  int lastRowCount = -1;
  // The job as last loaded, saved or started. The controls show its pairs,
  // mode and options and are collected back into it; the settings no control
  // shows live only here.
  JobSettings settings;
  BackupJob job;
  // The context menu's images; they must outlive the menu.
  HBITMAP menuImages[4] = {};
};

// --- Building (main_window_layout.cpp) -------------------------------------
// Creates the window with its background and every control; false when the
// window itself could not be made.
bool BuildMainWindow(MainWindow& main, HINSTANCE instance);

// --- Job and files (main_window_files.cpp) ---------------------------------
// Reads a settings file into the job's value and shows it; counts as saved.
// False when the file could not be read: nothing shown changes.
bool LoadJob(MainWindow& main, const wchar_t* path);
// Says that a job file was not opened, why, and what is shown instead.
void ShowJobNotOpened(MainWindow& main, const wchar_t* path, const std::wstring& reason,
                      const wchar_t* instead);
// Collects the job from the controls into main.settings (the pairs, mode
// and options, and the exclusion field); false when a row could not be read.
bool CollectMainWindowJob(MainWindow& main);
// Collects the job from the controls and writes it (replaceContent: in place
// of everything the file held); true only when the whole job reached the file.
bool SaveJob(MainWindow& main, const wchar_t* path, bool replaceContent = false);
// Asks before a job replaces a file that is no job file; true on Yes.
bool ConfirmReplacingNonJob(MainWindow& main, const wchar_t* path);
// Saves into the current file; on failure says so. True when saved.
bool SaveCurrentJob(MainWindow& main);
void OpenJobFile(MainWindow& main);
void SaveJobAs(MainWindow& main);
// The one save question before the program ends. True when the loop may end
// (saved, nothing to save, or the user chose not to save).
bool ConfirmClose(MainWindow& main);
// Tells the window whether it holds unsaved edits (it then refuses the end of
// the session until the user has answered).
void NoteUnsavedWork(MainWindow& main);

// --- Helpers ---------------------------------------------------------------
// Shows the job file's name in the header and the title ("Photos.hbak -
// Harborline Backup"), marked with "*" while it has unsaved edits.
void ShowJobName(MainWindow& main);
int SelectedRow(MainWindow& main);
int RowCount(MainWindow& main);
