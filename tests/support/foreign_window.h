// Looking at and answering the windows of another process that a test
// started (directly or through the program under test): its box questions
// are answered by pressing their buttons, as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/shown_text.h"

// Polls the condition every few milliseconds until it holds (true) or the
// time is up (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Ids of the running processes whose program file is the given path.
std::vector<DWORD> ProcessesRunning(const std::wstring& program);

// A visible top-level window of the process that has a push button with the
// text, or null.
HWND FindWindowWithButton(DWORD processId, const wchar_t* buttonText);
// Waits until a running process of the program shows a window with the
// button; answers the window (null when none came in time) and, through
// processId, the process.
HWND WaitForWindowWithButton(const std::wstring& program, const wchar_t* buttonText,
                             DWORD timeoutMs, DWORD* processId);
// The texts of the window's static controls, joined by line feeds.
std::wstring StaticTexts(HWND window);
// Presses the window's button with the text; false when there is none.
bool PressButton(HWND window, const wchar_t* buttonText);
