#include "engine/pending_messages.h"

#include <windows.h>

namespace {

// Looking at the queue costs a round trip to the window system per call, which
// on a deletion of many small files weighs more than the deletions; a window
// stays responsive when its messages are handled every few tens of
// milliseconds.
constexpr ULONGLONG kPumpIntervalMs = 30;
thread_local ULONGLONG t_lastPump = 0;

// Keyboard input stays queued for the loop that owns the windows: only it
// knows what Return, Escape and Tab mean there (default buttons, closing a
// dialog); dispatched here, such a key would simply be lost. Everything else
// is dispatched, and the windows keep the events it produces.
bool PeekAnythingButKeys(MSG& message) {
  return PeekMessageW(&message, nullptr, 0, WM_KEYFIRST - 1, PM_REMOVE) ||
         PeekMessageW(&message, nullptr, WM_KEYLAST + 1, 0xFFFFFFFF, PM_REMOVE);
}

}  // namespace

bool PumpMessages() {
  bool handled = false;
  MSG message;
  while (PeekAnythingButKeys(message)) {
    if (message.message == WM_QUIT) {
      // The loop that owns the thread must still see the request to end.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    handled = true;
  }
  return handled;
}

void ProcessPendingMessages() {
  ULONGLONG now = GetTickCount64();
  if (now - t_lastPump < kPumpIntervalMs) return;
  t_lastPump = now;
  PumpMessages();
}
