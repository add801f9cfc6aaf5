// Helpers for tests that drive real toolkit windows with posted and sent
// messages. Posted messages are in the queue as soon as PostMessage returns,
// so pumping until the queue is empty is a bounded, deterministic wait.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/ui_window.h"

// A window class name used by no other test of the run.
std::wstring UniqueClassName(const wchar_t* stem);

// A shown, ownerless pop-up test window of 400 x 300 that is its own event
// record, with every message of its creation already pumped.
class TestWindow {
 public:
  explicit TestWindow(int width = 400, int height = 300);
  // Makes it the foreground window, as a click would; true on success.
  bool Activate();
  UiWindow ui;
  std::wstring className;
};

// Dispatches everything queued and forgets any pending event.
void DrainEvents(UiWindow& record);

// Pumps in polling mode until an event with the code has been produced
// (true) or the queue is empty (false).
bool PumpUntilEvent(UiWindow& record, int32_t code);

// Every event code produced while the queue drains, in order.
std::vector<int32_t> PumpAllEvents(UiWindow& record);

// A file drop as the shell makes it: DROPFILES followed by the wide paths,
// in movable global memory that the receiver frees with DragFinish.
HGLOBAL MakeFileDrop(const std::vector<std::wstring>& paths, POINT clientPoint, bool inClient);
