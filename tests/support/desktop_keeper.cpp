// Holds the test display's desktop open for a whole test run.
//
// Wine closes a desktop a second after the last program has left it, and the
// next program that makes a window starts a new desktop process. That process
// inherits the program's output, which under ctest is a pipe that ctest reads
// to its end: every windowed test then waited out the desktop's second. With
// this program on the desktop from before the first test, the desktop stays,
// and no test starts one.
//
//   desktop_keeper.exe READY-FILE
//
// Run in the background with its output elsewhere. It creates READY-FILE once
// the desktop stands, and stays until the Wine server ends it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 || !GetDesktopWindow()) return 1;
  HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(ready);
  Sleep(INFINITE);
  return 0;
}
