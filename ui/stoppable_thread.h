// A helper thread that is asked to end through an event and always joined:
// the toolkit's threads (spinner, wake-up ticker) use windows and GDI+ that
// must not go while the thread still runs.
#pragma once

#include <windows.h>

#include "base/owner.h"

class StoppableThread {
 public:
  // The stop event exists from the start, so that a thread's context can
  // carry it before the thread runs.
  StoppableThread() : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~StoppableThread() { Stop(); }
  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  // Starts routine(context); false when it cannot start or already runs.
  bool Start(LPTHREAD_START_ROUTINE routine, void* context);
  // Sets the stop event and waits for the thread to end.
  void Stop();
  bool Running() const { return thread_.Valid(); }
  // The event the thread waits on; set when it is to end (until the next Start).
  HANDLE StopEvent() const { return stop_.Get(); }

 private:
  HandleHolder stop_;
  HandleHolder thread_;
};
