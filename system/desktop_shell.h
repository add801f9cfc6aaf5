// Starting what the user asked for (a web page, a folder in Explorer) as the
// signed-in user rather than with the program's administrator rights.
#pragma once

#include <windows.h>

// How the target was started.
enum class ShellStart {
  kFailed,       // neither way started it
  kByDesktop,    // the shell's desktop started it, with the user's own rights
  kFromProgram,  // started from this process (and so with its rights): the
                 // desktop could not be asked
};

// Asks the shell's desktop window to open the target (with the parameters,
// which may be null) through its automation interface, so that it runs as
// the user who signed in, like anything started from the desktop; where no
// desktop answers (no shell running, a shell without that interface), opens
// it from this process as ShellOpen does. Needs COM on the calling thread,
// and initialises it for the call when it is not.
ShellStart OpenAsSignedInUser(const wchar_t* target, const wchar_t* parameters = nullptr);
