#include "app/runner/deletion_question.h"

#include <windows.h>

#include "app/application.h"
#include "app/window/preview_window.h"
#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";
constexpr int kDialogHeight = 170;

std::wstring QuestionText(const BackupJob& job, const PreviewPair& pair) {
  return L"Strict mode would delete " + GroupedNumber(job.guardCount.filesToDelete) + L" of " +
         GroupedNumber(job.guardCount.filesOnSide) + L" files in " + pair.destination +
         L". Delete them?\r\n\r\nThat is more than the deletion guard's " +
         std::to_wstring(job.deletionGuard) +
         L" %. A source emptied by mistake, or encrypted by malware, looks like this. "
         L"\"Preview\" lists every item first.";
}

}  // namespace

bool AskDeletionGuard(Application& app, const BackupJob& job, const PreviewPair& pair) {
  UiWindow& main = app.mainWindow;
  UiWindow& events = *main.events;
  UiWindow dialog;
  if (!CreateSkinnedDialog(main, dialog, kDialogClass, kDialogHeight)) return false;
  dialog.SetFontForNewControls(9, 800, kFontPlain);
  {
    NewControlSettings black(dialog);
    black.TextColour(RGB(0, 0, 0));
    dialog.AddStatic(QuestionText(job, pair).c_str(), 20, 20, 410, 100);
  }
  const int preview = dialog.AddButton(L"Pre&view...", 20, kDialogHeight - 35, 100, 26);
  const int yes = dialog.AddButton(L"&Yes", 250, kDialogHeight - 35, 80, 26);
  const int no = dialog.AddButton(L"&No", 350, kDialogHeight - 35, 80, 26);
  dialog.Present(no);

  bool answer = false;
  ModalScope modal(dialog);
  HeldCloses heldCloses(events);
  UiEvent event;
  while (NextEvent(events, event)) {
    if (heldCloses.Hold(event, dialog)) continue;
    const int code = event.code;
    if (event.source == &main && code == app.closeButtonId) break;
    if (event.source != &dialog) continue;
    if (code == ToCode(UiEventCode::Close) || code == no) break;
    if (code == yes) {
      answer = true;
      break;
    }
    if (code == preview) {
      RunPreview plan;
      PlanRun({pair}, job, plan);
      ShowPreviewWindow(app, plan);
      dialog.Present(no);
    }
  }
  DisposeDialog(main, dialog);
  return answer;
}
