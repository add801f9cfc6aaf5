#include "ui/message_box.h"

#include "ui/drawing.h"
#include "ui/modal_scope.h"
#include "ui/ui_internal.h"

namespace {

constexpr wchar_t kClassName[] = L"_WINDOW_MsgBoxClass";
constexpr int kMinimumWidth = 160;
constexpr int kDefaultWidth = 360;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kButtonsFromBottom = 37;

const wchar_t* const kOkTexts[] = {L"&OK"};
const wchar_t* const kChoiceTexts[] = {L"&Yes", L"&No", L"&Cancel"};

bool LeftButtonHeld() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

// The click that opened the box must not land on it: wait, still serving the
// other windows, until the button has been reported up twice in a row.
void WaitForButtonRelease(UiWindow& events) {
  int upReads = 0;
  while (upReads < 2) {
    if (!LeftButtonHeld()) {
      ++upReads;
      continue;
    }
    upReads = 0;
    DrainQueue(events);
    Sleep(5);
  }
}

// Left edges of the buttons in creation order; answers how many there are.
int ButtonPositions(MessageBoxType type, int width, int positions[3]) {
  if (type == MessageBoxType::YesNoCancel) {
    const int q = (width - 240) / 4;
    positions[0] = q;
    positions[1] = 2 * q + 80;
    positions[2] = 3 * q + 160;
    return 3;
  }
  if (type == MessageBoxType::YesNo) {
    const int s = (width - 160) / 3;
    positions[0] = s;
    positions[1] = 2 * s + 80;
    return 2;
  }
  positions[0] = width - 135;
  return 1;
}

// Escape means "none of these": Cancel where there is one, else No, and OK
// for a notice. Closing the box otherwise (Alt+F4) closes only the box: Cancel
// where there is one, so that a question before closing the program never
// ends it; else No.
MessageBoxAnswer CloseAnswer(MessageBoxType type, const UiEvent& event) {
  if (event.param1 != static_cast<int32_t>(CloseCause::EscapeKey))
    return type == MessageBoxType::YesNoCancel ? MessageBoxAnswer::Cancel : MessageBoxAnswer::No;
  switch (type) {
    case MessageBoxType::YesNoCancel:
      return MessageBoxAnswer::Cancel;
    case MessageBoxType::YesNo:
      return MessageBoxAnswer::No;
    case MessageBoxType::Ok:
      break;
  }
  return MessageBoxAnswer::Yes;
}

}  // namespace

MessageBoxAnswer ShowMessageBox(UiWindow& owner, const wchar_t* text, MessageBoxType type,
                                int height, int width) {
  if (width < kMinimumWidth) width = kDefaultWidth;
  HWND ownerWindow = owner.handle;
  if (ownerWindow && (GetWindowLongPtrW(ownerWindow, GWL_STYLE) & WS_MINIMIZE)) {
    ShowWindow(ownerWindow, SW_RESTORE);
  }

  UiWindow box;
  UiWindow* record = owner.events;
  if (!box.Create(kClassName, L"", width, height, kCentred, kCentred, WS_POPUP, record,
                  ownerWindow)) {
    return MessageBoxAnswer::LoopEnded;
  }
  box.closeOnEscape = true;
  UiWindow& events = record ? *record : box;
  box.SetFontForNewControls(9.0, 800, kFontPlain);

  ApplyDialogSkin(owner, box, height, width);

  // The text may name files and folders, whose "&" is no mnemonic.
  box.AddStatic(text, 20, 20, width - 40, height - 65, WS_VISIBLE | SS_NOTIFY | SS_NOPREFIX);
  int positions[3];
  const int count = ButtonPositions(type, width, positions);
  const wchar_t* const* texts = type == MessageBoxType::Ok ? kOkTexts : kChoiceTexts;
  int buttons[3] = {};
  for (int i = 0; i < count; ++i) {
    const DWORD style = i == 0 ? WS_VISIBLE | BS_DEFPUSHBUTTON : kDefaultStyle;
    buttons[i] = box.AddButton(texts[i], positions[i], height - kButtonsFromBottom, kButtonWidth,
                               kButtonHeight, style);
  }

  WaitForButtonRelease(events);

  box.Present(buttons[0]);

  MessageBoxAnswer answer = MessageBoxAnswer::LoopEnded;
  {
    ModalScope modal(box);
    HeldCloses heldCloses(events);
    UiEvent event;
    while (NextEvent(events, event)) {
      if (heldCloses.Hold(event, box) || !event.IsFrom(box)) continue;
      if (event.code == UiEventCode::Close) {
        answer = CloseAnswer(type, event);
      } else if (event.IsCommand(box, buttons[0])) {
        answer = MessageBoxAnswer::Yes;
      } else if (count > 1 && event.IsCommand(box, buttons[1])) {
        answer = MessageBoxAnswer::No;
      } else if (count > 2 && event.IsCommand(box, buttons[2])) {
        answer = MessageBoxAnswer::Cancel;
      } else {
        continue;
      }
      break;
    }
  }
  // Dispose also clears the record's pointers to the box.
  box.Dispose();
  return answer;
}
