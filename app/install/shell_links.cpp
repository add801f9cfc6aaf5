#include "app/install/shell_links.h"

#include <windows.h>

#include "app/application.h"
#include "system/desktop_shell.h"
#include "ui/message_box.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kHelpPath[] = L"/harborline_backup/";
constexpr wchar_t kUpdatePath[] = L"/harborline_backup/about.php?ver=";

constexpr wchar_t kNoBrowserText[] =
    L"No web browser could be started to show the page. You can open it in a browser "
    L"yourself:\r\n\r\n";
constexpr int kNoBrowserHeight = 150;
constexpr int kNoBrowserWidth = 420;

// The shell's default handler, started as the signed-in user: the program
// runs elevated, and a browser or Explorer must not inherit that.
bool OpenThroughShell(const wchar_t* target) {
  return OpenAsSignedInUser(target) != ShellStart::kFailed;
}

ShellOpener g_opener = OpenThroughShell;

WideString SiteAddress(const wchar_t* path, const wchar_t* tail) {
  WideString address;
  address.AssignConcat(L"https://", kWebHost, path, tail);
  return address;
}

// A link that opened nothing would otherwise look like a click that was
// not heard.
void OpenPage(UiWindow& main, const wchar_t* address) {
  if (OpenWithShell(address)) return;
  WideString text;
  text.AssignConcat(kNoBrowserText, address);
  ShowMessageBox(main, text.CStr(), MessageBoxType::Ok, kNoBrowserHeight, kNoBrowserWidth);
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

bool OpenWithShell(const wchar_t* target) { return g_opener(target); }

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
    OpenPage(main, HelpPageAddress().CStr());
  } else if (code == app.updateLinkId) {
    OpenPage(main, UpdatePageAddress().CStr());
  }
  return true;
}
