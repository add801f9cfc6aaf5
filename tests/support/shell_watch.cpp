#include "tests/support/shell_watch.h"

#include <shlobj.h>

namespace {

constexpr UINT kNoticeMessage = WM_APP + 17;
constexpr wchar_t kClassName[] = L"HarborlineTestShellWatch";

}  // namespace

ShellWatch::ShellWatch(const std::wstring& folder) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = Receive;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);  // a second registration fails harmlessly
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (!window_) return;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  PIDLIST_ABSOLUTE id = ILCreateFromPathW(folder.c_str());
  if (!id) return;
  SHChangeNotifyEntry entry = {id, TRUE};
  registration_ = SHChangeNotifyRegister(window_, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                         SHCNE_ALLEVENTS, kNoticeMessage, 1, &entry);
  ILFree(id);
}

ShellWatch::~ShellWatch() {
  if (registration_) SHChangeNotifyDeregister(registration_);
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK ShellWatch::Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kNoticeMessage) return DefWindowProcW(window, message, wParam, lParam);
  auto* watch = reinterpret_cast<ShellWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  auto** ids = reinterpret_cast<PIDLIST_ABSOLUTE*>(wParam);
  wchar_t path[MAX_PATH * 4] = {};
  if (ids && ids[0]) SHGetPathFromIDListEx(ids[0], path, MAX_PATH * 4, GPFIDL_DEFAULT);
  if (watch) watch->notices_.push_back({static_cast<LONG>(lParam), path});
  return 0;
}

const std::vector<ShellNotice>& ShellWatch::Notices() {
  MSG message;
  while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  return notices_;
}

size_t ShellWatch::Count(LONG event) {
  size_t count = 0;
  for (const ShellNotice& notice : Notices())
    if (notice.event == event) ++count;
  return count;
}
