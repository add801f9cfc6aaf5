// What the main window keeps while its loop runs; shared by the files that
// build the window, dispatch its events and load and save its job.
#pragma once

#include <windows.h>

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
  WideString shownFileName;
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
void LoadJob(MainWindow& main, const wchar_t* path);
// Collects the job from the controls and writes it; true only when the
// whole job reached the file.
bool SaveJob(MainWindow& main, const wchar_t* path);
// Saves into the current file; on failure says so. True when saved.
bool SaveCurrentJob(MainWindow& main);
void OpenJobFile(MainWindow& main);
void SaveJobAs(MainWindow& main);
// True when the loop may end (saved, or the user chose not to save).
bool ConfirmClose(MainWindow& main);

// --- Helpers ---------------------------------------------------------------
int SelectedRow(MainWindow& main);
int RowCount(MainWindow& main);
