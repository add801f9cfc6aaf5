// Listens for the shell's change notices below a folder, as a file manager
// would, so that tests can see which notices a deletion sends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ShellNotice {
  LONG event;
  std::wstring path;
};

class ShellWatch {
 public:
  explicit ShellWatch(const std::wstring& folder);
  ~ShellWatch();
  ShellWatch(const ShellWatch&) = delete;
  ShellWatch& operator=(const ShellWatch&) = delete;

  bool Listening() const { return registration_ != 0; }
  // Hands the queued notices of this thread to the watch, then answers all seen.
  const std::vector<ShellNotice>& Notices();
  size_t Count(LONG event);

 private:
  static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  ULONG registration_ = 0;
  std::vector<ShellNotice> notices_;
};
