#include "engine/pending_messages.h"

#include <windows.h>

namespace {

// Looking at the queue costs a round trip to the window system per call, which
// on a deletion of many small files weighs more than the deletions; a window
// stays responsive when its messages are handled every few tens of
// milliseconds.
constexpr ULONGLONG kPumpIntervalMs = 30;
thread_local ULONGLONG t_lastPump = 0;

}  // namespace

bool PumpMessages() {
  bool handled = false;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
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
