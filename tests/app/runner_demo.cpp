// A run to look at, not shipped: a real progress window over a generated
// tree, slowed down so that scripts/screenshot can catch it. With the
// argument "pause" the Pause button is pressed once the copy is under way.
// The run cancels itself after a while and removes its tree.
//   scripts/screenshot build/bin/runner_demo.exe shot.png "Harborline Backup" 3 -- pause
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <atomic>
#include <string>

#include "app/application.h"
#include "app/runner/operation_runner.h"
#include "engine/backup_job.h"
#include "ui/gdiplus_api.h"
#include "ui/ui_window.h"

namespace {

constexpr int kFiles = 400;
constexpr DWORD kPerItemMs = 25;
constexpr ULONGLONG kRunFor = 20000;
constexpr int kPauseButton = 9;

struct Demo {
  bool pause = false;
  std::atomic<bool> pressed{false};
  ULONGLONG started = 0;
};

void Slow(void* context, BackupJob& job) {
  Demo& demo = *static_cast<Demo*>(context);
  if (!(job.flags & BackupMode::Strict) && job.itemsDone > 0) Sleep(kPerItemMs);
  if (demo.pause && job.itemsDone >= 40 && !demo.pressed.exchange(true)) {
    HWND window = FindWindowW(L"Harborline_MsgBox", nullptr);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kPauseButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, kPauseButton)));
  }
  if (GetTickCount64() - demo.started > kRunFor) job.cancelRequested = 1;
}

void RemoveFolder(const std::wstring& folder) {
  std::wstring list = folder + L'\0';
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = list.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput startup;
  Gdiplus::GdiplusStartup(&token, &startup, nullptr);
  {
    Demo demo;
    demo.pause = commandLine && wcsstr(commandLine, L"pause");
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"harborline-runner-demo";
    RemoveFolder(root);
    const std::wstring source = root + L"\\Documents";
    const std::wstring destination = root + L"\\Backup\\Documents";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(source.c_str(), nullptr);
    std::string content(64 * 1024, 'x');
    for (int i = 0; i < kFiles; ++i) {
      HANDLE file = CreateFileW((source + L"\\report-" + std::to_wstring(i) + L".txt").c_str(),
                                GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
      CloseHandle(file);
    }

    Application app;
    app.defaultSettingsPath.Assign((root + L"\\demo.hbak").c_str());
    UiWindow& main = app.mainWindow;
    main.Create(L"HARBORLINE_RUNNER_DEMO", L"Runner demo", 650, 525, -1, -1, WS_POPUP, nullptr,
                nullptr);
    const int list =
        main.AddListView(L"  Backup source folder\n  Destination folder", 15, 65, 620, 130);
    main.AddListRow(list, source.c_str());
    LVITEMW cell{};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(destination.c_str());
    main.SendToControl(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cell));
    main.SetRowChecked(list, 0, true);
    ShowWindow(main.handle, SW_SHOW);
    UpdateWindow(main.handle);

    BackupJob job;
    job.flags = BackupMode::Strict;
    job.pairListControl = list;
    job.ownerWindow = &main;
    job.progressObserver = Slow;
    job.observerContext = &demo;
    EnsureTransferBuffer(job);
    demo.started = GetTickCount64();
    RunBackup(app, job);
    main.Destroy();
    RemoveFolder(root);
  }
  Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return 0;
}
