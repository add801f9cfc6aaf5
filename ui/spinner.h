// The busy indicator of the progress window: an arc turning on a picture
// control, drawn by a thread of its own straight onto the control.
#pragma once

#include <windows.h>

#include <cstdint>

// Made on the heap (new) by the caller and handed to SpinnerThread, which frees it.
struct SpinnerRecord {
  HWND window = nullptr;  // control the spinner is drawn on
  int32_t size = 48;      // edge of the square drawing area, pixels
  uint32_t colour = 0;    // ARGB colour of the arc
  int32_t speed = 80;     // 0 to 100; frames are 100 - speed milliseconds apart
};

// Thread routine (CreateThread). Turns until the control is destroyed; pauses
// while it is hidden. Returns 0.
DWORD WINAPI SpinnerThread(void* record);
