// The program's version and the four controls of the main window's header
// band (minimise, close, "Help", "Check for updates"), served in front of
// every loop that reads the main window's events: the main window's own and
// the progress window's.
#pragma once

#include "base/wide_string.h"

class Application;
class UiWindow;
struct UiEvent;

// The product's web site; a reserved name, so nothing real is ever reached.
inline constexpr wchar_t kWebHost[] = L"harborline.example";
inline constexpr char kVersionText[] = "1.3.4.0";

// The version as a wide text ("1.3.4.0").
WideString GetVersionText();
// "https://harborline.example/harborline_backup/".
WideString HelpPageAddress();
// The update page with the running version in the query: "...about.php?ver=1.3.4.0".
WideString UpdatePageAddress();

// Opens a folder, file or web address with the shell; false when nothing
// could be started for it. Tests plug in a recorder so that nothing is
// launched; the default is the shell itself.
using ShellOpener = bool (*)(const wchar_t* target);
void SetShellOpener(ShellOpener opener);
bool OpenWithShell(const wchar_t* target);

// Waits for the next event of the main window's event record (blocking), hands
// the caller its copy and serves the header controls: minimise minimises the
// main window, close turns into a Close of the main window, the links open
// their pages (and say so in a message when no browser could be started). False once the message
// loop has ended; the caller then leaves its loop. The caller dispatches the event.
bool NextShellEvent(Application& app, UiWindow& events, UiEvent& event);
