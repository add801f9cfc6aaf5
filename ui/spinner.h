// The busy indicator of the progress window: an arc turning on a picture
// control, drawn by a thread of its own straight onto the control.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/stoppable_thread.h"

// What the spinner thread draws; owned by the BusySpinner that runs it.
struct SpinnerRecord {
  HWND window = nullptr;  // control the spinner is drawn on
  int32_t size = 48;      // edge of the square drawing area, pixels
  uint32_t colour = 0;    // ARGB colour of the arc
  int32_t speed = 80;     // 0 to 100; frames are 100 - speed milliseconds apart
  HANDLE stop = nullptr;  // event that ends the thread when set
};

// Thread routine of BusySpinner. Turns until the stop event is set or the
// control is destroyed; pauses while the control is hidden. Returns 0.
DWORD WINAPI SpinnerThread(void* record);

// Runs SpinnerThread on a control. The thread draws with GDI+, so it is
// stopped and joined (Stop, or the destructor) before the control's window is
// destroyed and before GDI+ shuts down.
class BusySpinner {
 public:
  BusySpinner() = default;
  ~BusySpinner() { Stop(); }
  BusySpinner(const BusySpinner&) = delete;
  BusySpinner& operator=(const BusySpinner&) = delete;

  // False when it cannot start or already runs.
  bool Start(HWND control, int32_t size, uint32_t colour, int32_t speed);
  // Ends the thread and waits for it.
  void Stop();
  bool Running() const { return thread_.Running(); }

 private:
  SpinnerRecord record_;
  StoppableThread thread_;
};
