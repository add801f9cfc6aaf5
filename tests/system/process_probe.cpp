// A small program that the process tests start, find and stop:
//   exit N            ends with exit code N
//   record FILE ...   writes its command line and current folder to FILE
//   stubborn EVENT    shows a window that ignores requests to close, signals
//                     the named event and runs until it is stopped
// Without a known mode it ends with exit code 3; started without arguments
// beside a file named like it plus ".parent", it first writes the id of the
// process that started it into a file named like it plus ".parent.txt" (the
// shell passes neither environment nor arguments of the caller's). With the environment variable
// HARBORLINE_PROBE_RECORD set, it first records as "record" would, to that file:
// so it can stand in for a program that others start with arguments of their
// own.
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

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

void RecordParent() {
  wchar_t self[4096];
  DWORD length = GetModuleFileNameW(nullptr, self, 4096);
  if (length == 0 || length >= 4096) return;
  std::wstring marker = std::wstring(self, length) + L".parent";
  if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  WriteUtf8(marker + L".txt", std::to_wstring(parent));
}

}  // namespace

int wmain() {
  RecordParent();
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
