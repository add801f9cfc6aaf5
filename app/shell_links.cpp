#include "app/shell_links.h"

#include <windows.h>

#include "app/application.h"
#include "system/desktop_shell.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kHelpPath[] = L"/harborline_backup/";
constexpr wchar_t kUpdatePath[] = L"/harborline_backup/about.php?ver=";

// The shell's default handler, started as the signed-in user: the program
// runs elevated, and a browser or Explorer must not inherit that. A failed
// launch is not reported (no browser, no network): the program goes on.
void OpenThroughShell(const wchar_t* target) { OpenAsSignedInUser(target); }

ShellOpener g_opener = OpenThroughShell;

WideString SiteAddress(const wchar_t* path, const wchar_t* tail) {
  WideString address;
  address.AssignConcat(L"https://", kWebHost, path, tail);
  return address;
}

}  // namespace

WideString GetVersionText() {
  WideString version;
  int units = MultiByteToWideChar(CP_ACP, 0, kVersionText, -1, nullptr, 0);
  wchar_t* text = version.AssignN(units > 0 ? units : 0, nullptr);
  if (text && units > 0) MultiByteToWideChar(CP_ACP, 0, kVersionText, -1, text, units);
  version.len = 0;  // recounted on use
  return version;
}

WideString HelpPageAddress() { return SiteAddress(kHelpPath, nullptr); }

WideString UpdatePageAddress() {
  WideString version = GetVersionText();
  return SiteAddress(kUpdatePath, version.CStr());
}

void SetShellOpener(ShellOpener opener) { g_opener = opener ? opener : OpenThroughShell; }

void OpenWithShell(const wchar_t* target) { g_opener(target); }

bool NextShellEvent(Application& app, UiWindow& events, UiEvent& event) {
  if (!NextEvent(events, event)) return false;
  UiWindow& main = app.mainWindow;
  if (event.source != &main || event.code <= 0) return true;
  const int code = event.code;
  if (code == app.minimizeButtonId) {
    ShowWindow(main.handle, SW_MINIMIZE);
    UpdateWindow(main.handle);
  } else if (code == app.closeButtonId) {
    event.code = ToCode(UiEventCode::Close);
    event.param1 = static_cast<int32_t>(CloseCause::Window);
  } else if (code == app.helpLinkId) {
    OpenWithShell(HelpPageAddress().CStr());
  } else if (code == app.updateLinkId) {
    OpenWithShell(UpdatePageAddress().CStr());
  }
  return true;
}
