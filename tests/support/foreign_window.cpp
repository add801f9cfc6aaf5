#include "tests/support/foreign_window.h"

#include <psapi.h>

namespace {

struct ButtonSearch {
  const wchar_t* text;
  HWND found;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(length + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(length);
  return text;
}

BOOL CALLBACK FindButton(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<ButtonSearch*>(param);
  if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && ReadsAs(TextOf(child), search->text)) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND ButtonOf(HWND window, const wchar_t* text) {
  ButtonSearch search{text, nullptr};
  EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct WindowSearch {
  DWORD processId;
  const wchar_t* buttonText;
  HWND found;
};

BOOL CALLBACK FindWindowOfProcess(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) &&
      ButtonOf(window, search->buttonText)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM param) {
  auto* texts = reinterpret_cast<std::wstring*>(param);
  if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
    if (!texts->empty()) *texts += L"\n";
    *texts += TextOf(child);
  }
  return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() > end) return false;
    Sleep(50);
  }
}

std::vector<DWORD> ProcessesRunning(const std::wstring& program) {
  std::vector<DWORD> ids(4096);
  DWORD bytes = 0;
  std::vector<DWORD> found;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
    return found;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[i]);
    if (!process) continue;
    wchar_t path[4096];
    DWORD size = 4096;
    if (QueryFullProcessImageNameW(process, 0, path, &size) && _wcsicmp(path, program.c_str()) == 0)
      found.push_back(ids[i]);
    CloseHandle(process);
  }
  return found;
}

HWND FindWindowWithButton(DWORD processId, const wchar_t* buttonText) {
  WindowSearch search{processId, buttonText, nullptr};
  EnumWindows(FindWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindowWithButton(const std::wstring& program, const wchar_t* buttonText,
                             DWORD timeoutMs, DWORD* processId) {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        for (DWORD id : ProcessesRunning(program)) {
          window = FindWindowWithButton(id, buttonText);
          if (window) {
            if (processId) *processId = id;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return window;
}

std::wstring StaticTexts(HWND window) {
  std::wstring texts;
  EnumChildWindows(window, CollectStatics, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool PressButton(HWND window, const wchar_t* buttonText) {
  HWND button = ButtonOf(window, buttonText);
  return button && PostMessageW(button, BM_CLICK, 0, 0);
}
