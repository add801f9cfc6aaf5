// A small program that the process tests start, find and stop:
//   exit N            ends with exit code N
//   record FILE ...   writes its command line and current folder to FILE
//   stubborn EVENT    shows a window that ignores requests to close, signals
//                     the named event and runs until it is stopped
// Without a known mode it ends with exit code 3. With the environment variable
// HARBORLINE_PROBE_RECORD set, it first records as "record" would, to that file:
// so it can stand in for a program that others start with arguments of their
// own.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kStubbornClass[] = L"HarborlineProcessProbe";

LRESULT CALLBACK IgnoreClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes,
                      nullptr, nullptr);
  // Written under another name first, so that a reader never sees half a file.
  std::wstring partial = path + L".partial";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int Stubborn(const wchar_t* eventName) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = IgnoreClose;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kStubbornClass;
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, kStubbornClass, L"probe", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName);
  if (!window || !ready) return 4;
  SetEvent(ready);
  CloseHandle(ready);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  // Only a request that the window ignores reaches this far by mistake.
  for (;;) Sleep(1000);
}

void Record(const wchar_t* path) {
  wchar_t folder[4096];
  DWORD length = GetCurrentDirectoryW(4096, folder);
  WriteUtf8(path, std::wstring(L"cmd=") + GetCommandLineW() + L"\ncwd=" +
                      std::wstring(folder, length) + L"\n");
}

}  // namespace

int wmain() {
  wchar_t recordPath[4096];
  DWORD recordLength = GetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", recordPath, 4096);
  if (recordLength > 0 && recordLength < 4096) Record(recordPath);
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || count < 2) return 3;
  std::wstring mode = arguments[1];
  if (mode == L"exit" && count >= 3) return _wtoi(arguments[2]);
  if (mode == L"record" && count >= 3) {
    Record(arguments[2]);
    return 0;
  }
  if (mode == L"stubborn" && count >= 3) return Stubborn(arguments[2]);
  return 3;
}
