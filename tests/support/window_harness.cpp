#include "tests/support/window_harness.h"

#include <shlobj.h>

#include <cstring>
#include <iterator>

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
    if (!record.EventPending() && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) return false;
    const int32_t code = PumpEvent(record, PumpMode::Poll);
    // PumpEvent posts a quit again for the loop outside: that is not more work.
    if (code == UiEventCode::Quit) return !visit(code);
    if (!visit(code)) return true;
  }
  return false;
}

}  // namespace

void DrainEvents(UiWindow& record) {
  PumpWhileQueued(record, [](int32_t) { return true; });
  record.queuedEvents.clear();
}

std::vector<UiEvent> TakeRaisedEvents(UiWindow& record) {
  std::vector<UiEvent> raised(std::make_move_iterator(record.queuedEvents.begin()),
                              std::make_move_iterator(record.queuedEvents.end()));
  record.queuedEvents.clear();
  return raised;
}

UiEvent TakeLastRaised(UiWindow& record) {
  std::vector<UiEvent> raised = TakeRaisedEvents(record);
  return raised.empty() ? UiEvent{} : std::move(raised.back());
}

void ForgetQuit() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void PressKeyWith(WORD key, WORD modifier) {
  PressKey(key, modifier == VK_SHIFT, modifier == VK_MENU, modifier == VK_CONTROL);
}

void PressKey(WORD key, bool shift, bool alt, bool control) {
  std::vector<INPUT> inputs;
  auto add = [&inputs](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (control) add(VK_CONTROL, false);
  if (alt) add(VK_MENU, false);
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  if (alt) add(VK_MENU, true);
  if (control) add(VK_CONTROL, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void MovePointerTo(POINT screen) {
  // Absolute coordinates run from 0 to 65535 over the primary screen.
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65535, width - 1);
  input.mi.dy = MulDiv(screen.y, 65535, height - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

void ClickAt(POINT screen) {
  MovePointerTo(screen);
  INPUT clicks[2] = {};
  clicks[0].type = clicks[1].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, clicks, sizeof(INPUT));
}

bool PumpUntil(UiWindow& record, const std::function<bool()>& condition) {
  // Input travels through the X server before it is queued: wait for it in
  // short steps, bounded so that a fault fails the test instead of hanging it.
  for (int step = 0; step < 500; ++step) {
    for (;;) {
      if (condition()) return true;
      MSG peek;
      if (!record.EventPending() && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
      if (PumpEvent(record, PumpMode::Poll) == UiEventCode::Quit) return condition();
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return condition();
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

bool PumpUntilEventFrom(UiWindow& record, const UiWindow& source, int32_t code) {
  return PumpUntil(record,
                   [&] { return record.event.code == code && record.event.source == &source; });
}
