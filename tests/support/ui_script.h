// Drives a program's own modal loops from inside: a thread timer runs one
// step at a time while whichever loop is running dispatches messages. A step
// answers true once it has done its part (usually after waiting for a window
// to appear); the next step then takes over. A script that stops making
// progress ends every loop with quit messages, so a regression fails the test
// instead of hanging it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using UiStep = std::function<bool()>;

class UiScript {
 public:
  explicit UiScript(std::vector<UiStep> steps);
  ~UiScript();  // stops the timer and empties the thread's queue
  UiScript(const UiScript&) = delete;
  UiScript& operator=(const UiScript&) = delete;

  // Steps done so far; all of them when the script finished.
  size_t done() const { return next_; }
  bool finished() const { return next_ == steps_.size(); }
  bool stalled() const { return stalled_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void Advance();

  friend bool AtOuterLoop();
  std::vector<UiStep> steps_;
  // Stack address of the shallowest tick seen: the outermost loop's.
  uintptr_t outerStack_ = 0;
  uintptr_t tickStack_ = 0;
  size_t next_ = 0;
  int idleTicks_ = 0;
  bool stalled_ = false;
  bool running_ = false;
  UINT_PTR timer_ = 0;
};

// True while the running script's step is called from the outermost loop
// (the one that ran its first step), not from a nested dialog loop or from
// the queue drain that follows a dialog's end: a message posted to the main
// window there would be taken by that loop instead.
bool AtOuterLoop();

// A visible top-level window of this thread with that class whose children
// include a control with that text (null: any), or null.
HWND FindShownWindow(const wchar_t* className, const wchar_t* childText = nullptr);
// A child control of the window by its text (exact), or by class when text is null.
HWND FindChild(HWND parent, const wchar_t* text, const wchar_t* className = nullptr);
// Posts a click to the child with that text; false when there is none.
bool ClickChild(HWND parent, const wchar_t* text);
std::wstring WindowText(HWND window);
