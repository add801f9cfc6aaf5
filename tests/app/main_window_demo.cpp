// The main window with a small job, for looking at it (scripts/screenshot);
// not shipped. Arguments: "pair" opens the folder pair dialog on the first
// row, "strict" chooses Strict and presses Start so that the warning shows,
// "settings" opens the Settings dialog, "nobrowser" clicks "Help" where no
// browser starts, "menu" opens the list's context menu, "unchecked" presses
// Start with no row checked, "run" shows the window during a run. Nothing is
// copied: no real runner is plugged in.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include "app/application.h"
#include "app/install/shell_links.h"
#include "app/runner/backup_runner.h"
#include "app/window/main_window.h"
#include "tests/support/ui_script.h"
#include "ui/gdiplus_api.h"

namespace {

constexpr char kDemoJob[] =
    "[Settings]\r\nversion=1\r\nFlag=16\r\nSkipAttributes=6\r\n[Folders]\r\n"
    "0=C:\\Users\\Ann\\Documents<|>E:\\Backup\\Documents\r\n"
    "1=C:\\Users\\Ann\\Pictures<|>0E:\\Backup\\Pictures\r\n"
    "2=D:\\Projects<|>\\\\harbor\\share\\Projects\r\n";

std::wstring WriteDemoFiles(Application& app) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"harborline-demo";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring job = folder + L"\\Demo.hbak";
  HANDLE file = CreateFileW(job.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, kDemoJob, sizeof kDemoJob - 1, &written, nullptr);
  CloseHandle(file);
  app.defaultSettingsPath.Assign((folder + L"\\demo-user.hbak").c_str());
  WritePrivateProfileStringW(L"Settings", L"SkipStrictWarning", L"0",
                             app.defaultSettingsPath.CStr());
  return job;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  CoInitialize(nullptr);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput startup;
  Gdiplus::GdiplusStartup(&token, &startup, nullptr);
  {
    Application app;
    const std::wstring job = WriteDemoFiles(app);
    const std::wstring what = commandLine ? commandLine : L"";
    std::vector<UiStep> steps;
    HWND* main = &app.mainWindow.handle;
    auto click = [main](const wchar_t* text) {
      return [main, text] { return AtOuterLoop() && ClickChild(*main, text); };
    };
    auto select = [main] {
      HWND list = FindChild(*main, nullptr, L"SysListView32");
      LVITEMW item{};
      item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
      return true;
    };
    steps.push_back(select);
    if (what.find(L"pair") != std::wstring::npos) {
      steps.push_back(click(L"   Edit selected"));
    } else if (what.find(L"strict") != std::wstring::npos) {
      steps.push_back(
          click(L"Strict backup. Additionally delete destination files, not existing on source."));
      steps.push_back(click(L" Start backup"));
    } else if (what.find(L"settings") != std::wstring::npos) {
      steps.push_back(click(L"  Settings"));
    } else if (what.find(L"nobrowser") != std::wstring::npos) {
      // As on a machine where no browser can be started.
      SetShellOpener([](const wchar_t*) { return false; });
      steps.push_back([&app] {
        return AtOuterLoop() && PostMessageW(app.mainWindow.handle, WM_COMMAND, app.helpLinkId, 0);
      });
    } else if (what.find(L"unchecked") != std::wstring::npos) {
      SetBackupRunner([](Application&, BackupJob&) { return RunResult::kFinished; });
      steps.push_back([main] {
        HWND list = FindChild(*main, nullptr, L"SysListView32");
        LVITEMW item{};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(1);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&item));
        return true;
      });
      steps.push_back(click(L" Start backup"));
    } else if (what.find(L"run") != std::wstring::npos) {
      // A runner that only keeps the window's events going: the main window
      // as it looks during a run.
      SetBackupRunner([](Application& running, BackupJob&) {
        UiEvent event;
        while (NextEvent(*running.mainWindow.events, event)) {
        }
        return RunResult::kCancelled;
      });
      steps.push_back(click(L" Start backup"));
    } else if (what.find(L"menu") != std::wstring::npos) {
      steps.push_back([main] {
        HWND list = FindChild(*main, nullptr, L"SysListView32");
        RECT box;
        GetWindowRect(list, &box);
        PostMessageW(*main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
                     MAKELPARAM(box.left + 120, box.top + 40));
        return true;
      });
    }
    steps.push_back([] { return false; });  // stays until the capture is over
    UiScript script(std::move(steps));
    std::wstring arguments = L"\"" + job + L"\"";
    RunMainWindow(app, instance, arguments.c_str(), showCommand);
  }
  if (token) Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return 0;
}
