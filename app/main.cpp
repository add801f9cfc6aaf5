// Process entry: COM and GDI+ around the single Application and its window.
#include <objbase.h>
#include <windows.h>

#include "app/application.h"
#include "app/program.h"
#include "app/runner/completion_action.h"
#include "app/runner/operation_runner.h"
#include "ui/gdiplus_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
  CoInitialize(nullptr);
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartupInput startup;  // version 1, default input
  if (Gdiplus::GdiplusStartup(&gdiplusToken, &startup, nullptr) != Gdiplus::Ok) gdiplusToken = 0;

  // Only the program itself makes the power calls and runs backups; tests
  // plug in their own.
  SetBackupRunner(RunBackup);
  SetPowerCalls(SystemPowerCalls());

  Application* app = new Application();
  int result = RunProgram(*app, commandLine, showCommand);
  delete app;

  if (gdiplusToken) Gdiplus::GdiplusShutdown(gdiplusToken);
  CoUninitialize();
  return result;
}
