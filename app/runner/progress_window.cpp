#include "app/runner/progress_window.h"

#include <commctrl.h>

#include "app/application.h"
#include "app/runner/completion_action.h"
#include "engine/backup_job.h"
#include "ui/drawing.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kRegularWeight = 400;
constexpr int kBoldWeight = 800;
constexpr uint8_t kPlain = 1;

}  // namespace

bool BuildProgressWindow(Application& app, BackupJob& job, ProgressWindow& progress) {
  UiWindow& main = app.mainWindow;
  UiWindow& w = progress.window;
  if (!w.Create(kProgressWindowClass, kProgressWindowTitle, kProgressWindowWidth,
                kProgressWindowHeight, -1, -1, WS_POPUP, main.events, main.handle))
    return false;
  ApplyDialogSkin(main, w, kProgressWindowHeight);
  // Through a left-aligned image list on every version: an image set
  // directly on a button loses its transparency on some platforms.
  progress.imagePosition = 0;

  w.newControlTextColour = kBlack;
  w.newControlBackColour = kWhite;
  w.SetFontForNewControls(9, kRegularWeight, kPlain);
  progress.spinnerHost = w.AddBitmapImage(nullptr);  // 10, 10, 48 x 48
  const bool restore = (job.flags & BackupMode::Restore) != 0;
  progress.title =
      w.AddStatic(restore ? L"Restore operation progress" : L"Backup operation progress", 58, 20,
                  382, 22, WS_VISIBLE | SS_CENTER);
  w.SetLastControlFontSize(12);  // bold
  progress.source = w.AddStatic(L"Source: ", 10, 90, 430, 18);
  progress.destination = w.AddStatic(L"Destination: ", 10, 115, 430, 18);
  progress.bar = w.AddProgressBar(10, 145, 430, 18, kProgressRange);
  job.progressBar = w.ControlHandle(progress.bar);
  progress.status = w.AddStatic(L"", 10, 168, 430, 18);

  w.SetFontForNewControls(9, kBoldWeight, kPlain);
  progress.completionLabel = w.AddStatic(L"&When the operation completes, ", 40, 209, 200, 18);
  progress.completionList = w.AddComboBox(kCompletionActionItems, 250, 205, 160, 25);
  progress.pause = w.AddButton(kPauseText, 190, 265, 100, 26);
  SetButtonImageFromResource(w, progress.pause, progress.imagePosition, nullptr, kPauseImage,
                             kButtonImageSize, kButtonImageSize);
  progress.cancel = w.AddButton(L"  &Cancel", 320, 265, 100, 26);
  SetButtonImageFromResource(w, progress.cancel, progress.imagePosition, nullptr, kCancelImage,
                             kButtonImageSize, kButtonImageSize);
  progress.lastProgress = -1;
  return true;
}

void ShowProgressWindow(ProgressWindow& progress) { progress.window.Present(); }

void SetMarquee(ProgressWindow& progress, bool on) {
  HWND bar = progress.window.ControlHandle(progress.bar);
  if (!bar) return;
  LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
  SetWindowLongPtrW(bar, GWL_STYLE, on ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE));
  SendMessageW(bar, PBM_SETMARQUEE, on ? TRUE : FALSE, 0);  // 0: the default interval
  if (!on) progress.lastProgress = -1;                      // the next value goes to the bar
}

void RefreshBar(ProgressWindow& progress, int value) {
  if (value == progress.lastProgress) return;
  progress.lastProgress = value;
  progress.window.SendToControl(progress.bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void ShowPauseButtonAs(ProgressWindow& progress, bool paused) {
  UiWindow& w = progress.window;
  w.SetControlText(progress.pause, paused ? kResumeText : kPauseText);
  SetButtonImageFromResource(w, progress.pause, progress.imagePosition, nullptr,
                             paused ? kResumeImage : kPauseImage, kButtonImageSize,
                             kButtonImageSize);
}

int SelectedCompletionAction(ProgressWindow& progress) {
  LRESULT selected = progress.window.SendToControl(progress.completionList, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? 0 : static_cast<int>(selected);
}

void SelectCompletionAction(ProgressWindow& progress, int action) {
  progress.window.SendToControl(progress.completionList, CB_SETCURSEL, static_cast<WPARAM>(action),
                                0);
}
