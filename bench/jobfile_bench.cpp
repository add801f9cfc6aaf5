// Times saving and loading a job file of many folder pairs through the real
// list and mode controls, as the main window does (started by bench/run).
//
//   jobfile_bench FILE PAIRS RUNS
//
// Prints one line per run: "run=N save_s=X load_s=Y rows=R" (rows loaded
// back, which must equal PAIRS), and exits 1 when a save was incomplete or a
// load lost rows. Needs a display (a window holds the controls).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "jobfile/settings_file.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kPairTitles[] =
    L"  Backup source folder\n  Destination folder\n  Item ID\n  FTP encrypted info";

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void FillRows(UiWindow& window, int list, int pairs) {
  UiEventMute mute(window);
  window.SendToControl(list, LVM_DELETEALLITEMS, 0, 0);
  for (int i = 0; i < pairs; ++i) {
    std::wstring source = L"C:\\Users\\Ann\\Documents\\Projects\\Folder " + std::to_wstring(i);
    std::wstring destination =
        L"E:\\Backup\\Ann\\Documents\\Projects\\Folder " + std::to_wstring(i);
    int row = window.AddListRow(list, source.c_str());
    window.SetRowText(list, row, kDestinationColumn, destination.c_str());
    window.SetRowChecked(list, row, i % 3 != 0);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: jobfile_bench FILE PAIRS RUNS\n");
    return 2;
  }
  const wchar_t* file = argv[1];
  int pairs = _wtoi(argv[2]);
  int runs = _wtoi(argv[3]);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  UiWindow window(L"HarborlineJobfileBench", L"Job file bench", 650, 525, 0, 0, WS_POPUP, nullptr,
                  nullptr);
  if (!window.handle) {
    fwprintf(stderr, L"jobfile_bench: no window (is there a display?)\n");
    return 2;
  }
  int list = window.AddListView(kPairTitles, 15, 65, 620, 130);
  ModeButtons modes{
      window.AddRadioButton(L"Common", 270, 500), window.AddRadioButton(L"Strict", 295, 500),
      window.AddRadioButton(L"Restore", 320, 500), window.AddRadioButton(L"Sync", 345, 550)};
  OptionBoxes options{window.AddCheckBox(L"Use update method", 30, 415, 460),
                      window.AddCheckBox(L"Skip copying system files.", 30, 440, 180),
                      window.AddCheckBox(L"Skip copying hidden files.", 280, 440, 180)};
  window.SetControlState(modes.strict, kStateCheck);

  bool correct = true;
  for (int run = 1; run <= runs; ++run) {
    DeleteFileW(file);
    FillRows(window, list, pairs);
    LARGE_INTEGER start, saved, loaded;
    QueryPerformanceCounter(&start);
    SettingsSaveResult result = SaveSettingsFile(file, window, list, modes, options);
    QueryPerformanceCounter(&saved);
    LoadSettingsFile(file, window, list, modes, options);
    QueryPerformanceCounter(&loaded);
    int rows = window.ListRowCount(list);
    if (!result.complete || rows != pairs) correct = false;
    wprintf(L"run=%d save_s=%.4f load_s=%.4f rows=%d complete=%d\n", run, Seconds(start, saved),
            Seconds(saved, loaded), rows, result.complete ? 1 : 0);
    fflush(stdout);
  }
  return correct ? 0 : 1;
}
