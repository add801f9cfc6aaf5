#include "tests/support/window_harness.h"

#include <shlobj.h>

#include <cstring>

std::wstring UniqueClassName(const wchar_t* stem) {
  static int serial = 0;
  return std::wstring(L"HarborlineTest_") + stem + L"_" + std::to_wstring(GetCurrentProcessId()) +
         L"_" + std::to_wstring(++serial);
}

TestWindow::TestWindow(int width, int height) : className(UniqueClassName(L"Window")) {
  ui.Create(className.c_str(), L"Test window", width, height, 20, 20, WS_POPUP, nullptr, nullptr);
  // Not activated: a test that needs the foreground asks for it (Activate).
  ShowWindow(ui.handle, SW_SHOWNOACTIVATE);
  UpdateWindow(ui.handle);
  DrainEvents(ui);
}

bool TestWindow::Activate() {
  SetForegroundWindow(ui.handle);
  DrainEvents(ui);
  return GetForegroundWindow() == ui.handle;
}

void DrainEvents(UiWindow& record) {
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
    PumpEvent(record, 1);
  }
  record.eventPending = false;
}

bool PumpUntilEvent(UiWindow& record, int32_t code) {
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (PumpEvent(record, 1) == code && code != 0) return true;
  }
  return false;
}

std::vector<int32_t> PumpAllEvents(UiWindow& record) {
  std::vector<int32_t> codes;
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
    int32_t code = PumpEvent(record, 1);
    if (code) codes.push_back(code);
  }
  return codes;
}

HGLOBAL MakeFileDrop(const std::vector<std::wstring>& paths, POINT clientPoint, bool inClient) {
  size_t units = 1;  // the final empty string
  for (const std::wstring& path : paths) units += path.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * 2);
  if (!memory) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->pt = clientPoint;
  header->fNC = !inClient;
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(header + 1);
  for (const std::wstring& path : paths) {
    memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    text += path.size() + 1;
  }
  *text = 0;
  GlobalUnlock(memory);
  return memory;
}
