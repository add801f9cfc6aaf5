// Wakes a blocking event loop on a window at least every 20 ms: a thread that
// posts the window a null message, but only once the previous one was taken,
// so that a window thread that is busy elsewhere never finds its queue full.
// The progress window runs one while a worker runs.
#pragma once

#include <windows.h>

#include <atomic>

#include "ui/stoppable_thread.h"

class WakeTicker {
 public:
  WakeTicker() = default;
  // Stops and joins the thread.
  ~WakeTicker();
  WakeTicker(const WakeTicker&) = delete;
  WakeTicker& operator=(const WakeTicker&) = delete;

  // Starts the thread on the window (from the window's thread); false when
  // it cannot start or already runs.
  bool Start(HWND window);
  // Ends the thread and waits for it. Call before the window is destroyed.
  void Stop();
  bool Running() const { return thread_.Running(); }

  // The window's thread took the last wake-up (PumpEvent, or the window's
  // procedure when someone else dispatched it).
  void Acknowledge() { posted_.store(false); }

 private:
  static DWORD WINAPI Run(void* self);

  HWND window_ = nullptr;
  StoppableThread thread_;
  std::atomic<bool> posted_{false};
};

// wParam of the ticker's null messages; lParam is the ticker.
inline constexpr WPARAM kWakeTickerMark = 0x57414B45;
