// The progress window of a run: what is being copied where, how far it has
// come, what happens at the end, and the Pause and Cancel buttons.
#pragma once

#include <windows.h>

#include "ui/ui_window.h"

class Application;
class BackupJob;

inline constexpr wchar_t kProgressWindowClass[] = L"Harborline_MsgBox";
inline constexpr wchar_t kProgressWindowTitle[] = L"Harborline Backup";
inline constexpr int kProgressWindowWidth = 450;
inline constexpr int kProgressWindowHeight = 300;
inline constexpr int kProgressRange = 1000;

// Images of the Pause button: "  Pause", and "  Resume" while paused.
inline constexpr int kPauseImage = 148;
inline constexpr int kResumeImage = 145;
inline constexpr int kCancelImage = 149;
inline constexpr int kButtonImageSize = 16;

inline constexpr wchar_t kPauseText[] = L"  &Pause";
inline constexpr wchar_t kResumeText[] = L"  &Resume";
inline constexpr wchar_t kPausedStatus[] = L"Paused. Press \"Resume\" to continue.";

struct ProgressWindow {
  UiWindow window;
  int spinnerHost = 0;
  int title = 0;
  int source = 0;
  int destination = 0;
  int bar = 0;
  int status = 0;
  int completionLabel = 0;
  int completionList = 0;
  int pause = 0;
  int cancel = 0;
  // Where button images go (SetButtonImage's position).
  int imagePosition = 0;
  int lastProgress = -1;  // the value last sent to the bar
};

// Creates the window (hidden) with every control, owned by the main window and
// writing into its event record; the bar's handle goes into the job. False
// when the window could not be made.
bool BuildProgressWindow(Application& app, BackupJob& job, ProgressWindow& progress);

// Shows, paints and activates the window.
void ShowProgressWindow(ProgressWindow& progress);

// The bar turns to a marquee while the source is counted, and back.
void SetMarquee(ProgressWindow& progress, bool on);
// Sends the job's progress to the bar when it changed since the last time.
void RefreshBar(ProgressWindow& progress, int value);
// The Pause button's look: "  Pause" with its image, or "  Resume".
void ShowPauseButtonAs(ProgressWindow& progress, bool paused);
// The selected entry of the completion list (0 when none).
int SelectedCompletionAction(ProgressWindow& progress);
void SelectCompletionAction(ProgressWindow& progress, int action);
