#include "app/window/strict_warning.h"

#include <windows.h>

#include "app/application.h"
#include "app/window/preview_window.h"
#include "jobfile/preferences.h"
#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";
constexpr int kDialogHeight = 290;
constexpr wchar_t kWarningText[] =
    L"You are about to perform a backup in STRICT mode. In this mode, Harborline Backup will "
    L"ensure the backup folder has exactly the same files as the source.\r\n\r\nThis means it "
    L"will delete files in the destination folder, if they do not exist in the source folder. "
    L"Thus, you should use care when selecting the source and destination folders, in order to "
    L"prevent deleting files you may need, which could happen, for instance, if you initially "
    L"choose an empty source folder, and a non-empty destination folder.\r\n\r\nAre you sure you "
    L"want to start a STRICT backup?";

enum class Answer { kYes, kNo, kLoopEnded };

std::wstring DeletionCountText(const RunPreview& preview) {
  const uint64_t files = preview.FilesDeleted();
  return L"This run would delete " + GroupedNumber(files) + (files == 1 ? L" file" : L" files") +
         L" in the destination folders. \"Preview\" lists every item it would copy or delete.";
}

}  // namespace

bool ConfirmStrictBackup(Application& app, const std::vector<PreviewPair>& pairs,
                         const BackupJob& options) {
  if (app.runMode != kInteractive) return true;
  if (IsStrictWarningSkipped(app.defaultSettingsPath.CStr())) return true;
  RunPreview plan;
  PlanRun(pairs, options, plan);

  UiWindow& main = app.mainWindow;
  UiWindow& events = *main.events;
  UiWindow dialog;
  if (!CreateSkinnedDialog(main, dialog, kDialogClass, kDialogHeight)) return false;
  dialog.SetFontForNewControls(9, 800, kFontPlain);
  {
    NewControlSettings black(dialog);
    black.TextColour(RGB(0, 0, 0));
    dialog.AddStatic(kWarningText, 20, 20, 410, 180);
    dialog.AddStatic(DeletionCountText(plan).c_str(), 20, 205, 410, 40);
  }
  const int preview = dialog.AddButton(L"Pre&view...", 15, 255, 95, 26);
  const int dontAsk = dialog.AddCheckBox(L"&Don't ask again", 120, 260, 100);
  // Its text is wider than the box it was given in bold Arial.
  dialog.WidenToText(dontAsk);
  const int yes = dialog.AddButton(L"&Yes", 250, 255, 80, 26);
  const int no = dialog.AddButton(L"&No", 350, 255, 80, 26);

  dialog.Present(no);

  Answer answer = Answer::kLoopEnded;
  {
    ModalScope modal(dialog);
    // A Close of the main window is its loop's to answer, once this question
    // is over.
    HeldCloses heldCloses(events);
    UiEvent event;
    while (NextEvent(events, event)) {
      if (heldCloses.Hold(event, dialog)) continue;
      // Escape, or closing the warning itself, is the cautious answer.
      if (IsCloseOf(event, dialog)) {
        answer = Answer::kNo;
        break;
      }
      const int code = event.code;
      if (code <= 0) continue;
      if (event.source == &main) {
        if (code == app.minimizeButtonId) {
          ShowWindow(main.handle, SW_MINIMIZE);
          UpdateWindow(main.handle);
        } else if (code == app.closeButtonId) {
          answer = Answer::kNo;
          break;
        }
      } else if (event.source == &dialog) {
        if (code == yes || code == no) {
          answer = code == yes ? Answer::kYes : Answer::kNo;
          break;
        }
      }
      if (code == preview) {
        ShowPreviewWindow(app, plan);
        dialog.Present(no);
      }
    }
  }
  // "No" with the box checked stores the choice as well: whoever ticks it
  // does not want to be asked again, whatever this answer.
  if (answer != Answer::kLoopEnded && dialog.GetCheckState(dontAsk) == kStateCheck)
    SkipStrictWarningFromNowOn(app.defaultSettingsPath.CStr());
  DisposeDialog(main, dialog);
  return answer == Answer::kYes;
}
