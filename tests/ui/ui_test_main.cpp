// The window tests start what the program's entry starts before any window:
// COM, GDI+ and the common controls.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "tests/support/test_process.h"
#include "ui/gdiplus_api.h"

int main(int argc, char** argv) {
  PrepareTestProcess();
  testing::InitGoogleTest(&argc, argv);
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput startup;
  if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) != Gdiplus::Ok) token = 0;
  int result = RUN_ALL_TESTS();
  if (token) Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return result;
}
