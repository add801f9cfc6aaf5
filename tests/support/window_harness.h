// Helpers for tests that drive real toolkit windows with posted and sent
// messages. Posted messages are in the queue as soon as PostMessage returns,
// so pumping until the queue is empty is a bounded, deterministic wait.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
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

// Dispatches everything queued and forgets every queued event.
void DrainEvents(UiWindow& record);

// Pumps in polling mode until an event with the code has been produced
// (true; the event is then record.event) or the queue is empty (false).
bool PumpUntilEvent(UiWindow& record, int32_t code);
inline bool PumpUntilEvent(UiWindow& record, UiEventCode code) {
  return PumpUntilEvent(record, ToCode(code));
}

// Every event code produced while the queue drains, in order.
std::vector<int32_t> PumpAllEvents(UiWindow& record);

// The events raised so far that no pump delivered yet, oldest first, taken out
// of the record without fetching a message (for events raised by sends).
std::vector<UiEvent> TakeRaisedEvents(UiWindow& record);
// The latest of them (code 0 when there is none); all are taken.
UiEvent TakeLastRaised(UiWindow& record);

// Removes a quit message that PumpEvent posted again after a test's loop ended.
void ForgetQuit();

// Real input, as a user gives it (SendInput reaches windows under Xvfb). The
// keys go to the foreground window's focus.
void PressKey(WORD key, bool shift = false, bool alt = false, bool control = false);
// The key pressed while a modifier (VK_MENU for Alt, VK_CONTROL) is held.
void PressKeyWith(WORD key, WORD modifier);
// Moves the pointer to a screen point.
void MovePointerTo(POINT screen);
// Moves the pointer there and clicks the left button.
void ClickAt(POINT screen);
// Pumps in polling mode until the condition holds, testing it after every
// event (record.event is the latest) and waiting for input to arrive when the
// queue runs dry. Bounded: false when it did not hold within a few seconds.
bool PumpUntil(UiWindow& record, const std::function<bool()>& condition);
// Pumps until an event with the code arrives from that window (it is then
// record.event).
bool PumpUntilEventFrom(UiWindow& record, const UiWindow& source, int32_t code);
inline bool PumpUntilEventFrom(UiWindow& record, const UiWindow& source, UiEventCode code) {
  return PumpUntilEventFrom(record, source, ToCode(code));
}

// A file drop as the shell makes it: DROPFILES followed by the wide paths,
// in movable global memory that the receiver frees with DragFinish.
HGLOBAL MakeFileDrop(const std::vector<std::wstring>& paths, POINT clientPoint, bool inClient);
