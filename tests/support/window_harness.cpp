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

namespace {

// Pumps in polling mode while an event is pending or a message is queued,
// handing every code to visit until it answers false (true then); false once
// the queue has run dry.
template <typename Visit>
bool PumpWhileQueued(UiWindow& record, Visit visit) {
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (!visit(PumpEvent(record, 1))) return true;
  }
  return false;
}

}  // namespace

void DrainEvents(UiWindow& record) {
  PumpWhileQueued(record, [](int32_t) { return true; });
  record.eventPending = false;
}

bool PumpUntilEvent(UiWindow& record, int32_t code) {
  return PumpWhileQueued(record, [code](int32_t got) { return got != code || code == 0; });
}

std::vector<int32_t> PumpAllEvents(UiWindow& record) {
  std::vector<int32_t> codes;
  PumpWhileQueued(record, [&codes](int32_t got) {
    if (got) codes.push_back(got);
    return true;
  });
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
