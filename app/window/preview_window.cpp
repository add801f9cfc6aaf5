#include "app/window/preview_window.h"

#include <windows.h>

#include <commctrl.h>

#include "app/application.h"
#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kWindowClass[] = L"Harborline_Preview";
constexpr int kWidth = 640;
constexpr int kHeight = 460;
constexpr int kSummaryHeight = 80;
constexpr wchar_t kColumns[] = L"Action\nItem\nBytes\nPair";
constexpr int kColumnWidths[] = {80, 380, 75, 40};
constexpr wchar_t kHeading[] =
    L"Preview: what \"Start backup\" would do with the checked folder pairs. Nothing has been "
    L"changed.";

std::wstring PairSummary(size_t index, const PairPreview& pair) {
  const PassCounts& c = pair.counts;
  std::wstring text = L"Pair " + std::to_wstring(index + 1) + L": " + pair.folders.source +
                      L" -> " + pair.folders.destination + L"\r\n    ";
  if (pair.outcome != kPairFinished && pair.outcome != kPairGuardStopped)
    return text + L"would be skipped (the folders cannot be used as they are)";
  text += L"copy " + GroupedNumber(c.copied) + L" (" + GroupedNumber(c.bytesCopied) +
          L" bytes), up to date " + GroupedNumber(c.upToDate) + L", delete " +
          GroupedNumber(c.deleted);
  if (c.versioned) text += L", kept as versions " + GroupedNumber(c.versioned);
  if (pair.guard.tripped)
    text += L"; the deletion guard asks first (" + GroupedNumber(pair.guard.filesToDelete) +
            L" of " + GroupedNumber(pair.guard.filesOnSide) + L" files)";
  return text;
}

std::wstring Summary(const RunPreview& preview) {
  std::wstring text;
  for (size_t i = 0; i < preview.pairs.size(); ++i) {
    if (!text.empty()) text += L"\r\n";
    text += PairSummary(i, preview.pairs[i]);
  }
  return text.empty() ? L"No folder pair is checked." : text;
}

void FillList(UiWindow& window, int list, const RunPreview& preview) {
  UiEventMute mute(window);
  for (const PlannedRow& item : preview.rows) {
    const int row = window.AddListRow(list, PlannedActionText(item.action));
    if (row < 0) return;
    window.SetRowText(list, row, 1, item.path.c_str());
    const bool sized =
        item.action != PlannedAction::kDelete && item.action != PlannedAction::kVersion;
    window.SetRowText(list, row, 2, sized ? std::to_wstring(item.bytes).c_str() : L"");
    window.SetRowText(list, row, 3, std::to_wstring(item.pair + 1).c_str());
  }
}

}  // namespace

void ShowPreviewWindow(Application& app, const RunPreview& preview) {
  UiWindow& main = app.mainWindow;
  UiWindow& events = *main.events;
  UiWindow window;
  if (!CreateSkinnedDialog(main, window, kWindowClass, kHeight, kWidth, L"Preview")) return;
  window.SetFontForNewControls(9, 800, kFontPlain);
  {
    NewControlSettings black(window);
    black.TextColour(RGB(0, 0, 0));
    window.AddStatic(kHeading, 20, 14, kWidth - 40, 18);
  }
  window.SetFontForNewControls(9, 400, kFontPlain);
  {
    NewControlSettings black(window);
    black.TextColour(RGB(0, 0, 0));
    window.AddStatic(Summary(preview).c_str(), 20, 38, kWidth - 40, kSummaryHeight);
  }
  const int list = window.AddListView(kColumns, 20, 38 + kSummaryHeight + 6, kWidth - 40,
                                      kHeight - 38 - kSummaryHeight - 6 - 52);
  // A plan, not a choice: no check boxes.
  window.SendToControl(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, 0);
  for (int column = 0; column < 4; ++column)
    window.SendToControl(list, LVM_SETCOLUMNWIDTH, column, kColumnWidths[column]);
  window.SetListSortable(list, true);
  FillList(window, list, preview);
  window.SetFontForNewControls(9, 800, kFontPlain);
  const int close = window.AddButton(L"C&lose", kWidth - 110, kHeight - 33, 90, 26);
  window.Present(close);

  ModalScope modal(window);
  HeldCloses heldCloses(events);
  UiEvent event;
  while (NextEvent(events, event)) {
    if (heldCloses.Hold(event, window)) continue;
    const int code = event.code;
    if (event.source == &window && (code == close || code == ToCode(UiEventCode::Close))) break;
    if (event.source == &main && code == app.closeButtonId) break;
  }
  DisposeDialog(main, window);
}
