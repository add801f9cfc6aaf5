// Return, Escape, Tab and the arrows, typed as a user types them (SendInput)
// into real windows under Xvfb.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/window_harness.h"
#include "ui/ui_window.h"

namespace {

// A main window that is its own record, with a dialog owned by it on the same
// record, as the program's dialogs are.
class DialogKeysTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(main_.Activate());
    dialogClass_ = UniqueClassName(L"Dialog");
    ASSERT_TRUE(dialog_.Create(dialogClass_.c_str(), L"", 300, 200, 450, 40, WS_POPUP, &main_.ui,
                               main_.ui.handle));
  }
  void TearDown() override {
    dialog_.Dispose();
    DrainEvents(main_.ui);
  }
  UiWindow& events() { return main_.ui; }
  // Presents the dialog with the focus on a control and forgets what that raised.
  void Present(int focus) {
    ASSERT_TRUE(dialog_.Present(focus));
    DrainEvents(events());
  }
  // Types a key and pumps until an event from the window with the code
  // arrives (true) or the input has surely been handled (false).
  bool KeyGives(WORD key, const UiWindow& from, int32_t code, bool shift = false) {
    PressKey(key, shift);
    return PumpUntilEventFrom(events(), from, code);
  }
  // Types a key and pumps until its release has been fetched, collecting every
  // event on the way and what is still queued after it.
  std::vector<UiEvent> EventsOfKey(WORD key) {
    PressKey(key);
    std::vector<UiEvent> seen;
    auto collect = [&] {
      if (events().event.code) seen.push_back(events().event);
      events().event.code = 0;
    };
    PumpUntil(events(), [&] {
      collect();
      const MSG& last = events().lastMessage;
      return last.message == WM_KEYUP && last.wParam == key;
    });
    for (int guard = 0; guard < 1000; ++guard) {
      MSG peek;
      if (!events().EventPending() && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
      PumpEvent(events(), PumpMode::Poll);
      collect();
    }
    return seen;
  }

  TestWindow main_{400, 300};
  std::wstring dialogClass_;
  UiWindow dialog_;
};

bool HasCode(const std::vector<UiEvent>& events, int32_t code) {
  for (const UiEvent& event : events)
    if (event.code == code) return true;
  return false;
}

}  // namespace

TEST_F(DialogKeysTest, EscapeClosesTheDialogWithItsOwnClose) {
  const int edit = dialog_.AddEdit(10);
  Present(edit);
  ASSERT_TRUE(KeyGives(VK_ESCAPE, dialog_, ToCode(UiEventCode::Close)));
  const UiEvent& close = events().event;
  EXPECT_TRUE(IsCloseOf(close, dialog_));
  EXPECT_FALSE(IsCloseOf(close, main_.ui));
  EXPECT_EQ(close.param1, static_cast<int32_t>(CloseCause::EscapeKey));
}

TEST_F(DialogKeysTest, EscapeNeverClosesTheMainWindow) {
  const int edit = main_.ui.AddEdit(10);
  ASSERT_TRUE(main_.ui.Present(edit));
  DrainEvents(events());
  std::vector<UiEvent> seen = EventsOfKey(VK_ESCAPE);
  EXPECT_FALSE(HasCode(seen, ToCode(UiEventCode::Close)));
}

TEST_F(DialogKeysTest, EscapeInADroppedDownListOnlyClosesTheList) {
  const int combo = dialog_.AddComboBox(L"one\ntwo\nthree", 10, 10, 150, 120);
  Present(combo);
  dialog_.SendToControl(combo, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(dialog_.SendToControl(combo, CB_GETDROPPEDSTATE, 0, 0));
  std::vector<UiEvent> seen = EventsOfKey(VK_ESCAPE);
  EXPECT_FALSE(HasCode(seen, ToCode(UiEventCode::Close)));
  EXPECT_FALSE(dialog_.SendToControl(combo, CB_GETDROPPEDSTATE, 0, 0));
  // With the list closed, Escape closes the dialog.
  EXPECT_TRUE(KeyGives(VK_ESCAPE, dialog_, ToCode(UiEventCode::Close)));
}

TEST_F(DialogKeysTest, ReturnPressesTheDefaultButtonNeverIndexOne) {
  // Index 1 is a button, as "Yes" is in a message box: the dialog manager
  // would press it for Return (IDOK is 1).
  const int trap = dialog_.AddButton(L"Trap", 10, 100, 80, 25);
  ASSERT_EQ(trap, 1);
  const int edit = dialog_.AddEdit(10);
  Present(edit);
  std::vector<UiEvent> seen = EventsOfKey(VK_RETURN);
  EXPECT_FALSE(HasCode(seen, trap)) << "no default button: Return presses nothing";
  const int ok = dialog_.AddButton(L"OK", 100, 100, 80, 25);
  ASSERT_TRUE(dialog_.SetDefaultButton(ok));
  Present(edit);
  ASSERT_TRUE(KeyGives(VK_RETURN, dialog_, ok));
  EXPECT_TRUE(events().event.IsCommand(dialog_, ok));
}

TEST_F(DialogKeysTest, ReturnPressesTheFocusedButtonAndTabMovesThere) {
  const int edit = dialog_.AddEdit(10);
  const int ok = dialog_.AddButton(L"OK", 10, 100, 80, 25, WS_VISIBLE | BS_DEFPUSHBUTTON);
  const int other = dialog_.AddButton(L"Other", 100, 100, 80, 25);
  EXPECT_EQ(dialog_.defaultButton, ok);
  Present(edit);
  PressKey(VK_TAB);
  ASSERT_TRUE(PumpUntil(events(), [&] { return GetFocus() == dialog_.ControlHandle(ok); }));
  PressKey(VK_TAB);
  ASSERT_TRUE(PumpUntil(events(), [&] { return GetFocus() == dialog_.ControlHandle(other); }));
  EXPECT_TRUE(KeyGives(VK_RETURN, dialog_, other));
}

TEST_F(DialogKeysTest, ArrowsStayInsideARunOfRadioButtons) {
  const int common = dialog_.AddRadioButton(L"Common", 10, 150);
  const int strict = dialog_.AddRadioButton(L"Strict", 30, 150);
  const int sync = dialog_.AddRadioButton(L"Sync", 50, 150);
  const int update = dialog_.AddCheckBox(L"Use update method", 10, 80, 150);
  const int hidden = dialog_.AddCheckBox(L"Skip hidden", 10, 100, 150);
  EXPECT_TRUE(GetWindowLongW(dialog_.ControlHandle(common), GWL_STYLE) & WS_GROUP);
  EXPECT_FALSE(GetWindowLongW(dialog_.ControlHandle(strict), GWL_STYLE) & WS_GROUP);
  EXPECT_TRUE(GetWindowLongW(dialog_.ControlHandle(update), GWL_STYLE) & WS_GROUP);
  EXPECT_FALSE(GetWindowLongW(dialog_.ControlHandle(hidden), GWL_STYLE) & WS_GROUP);
  dialog_.SetControlState(common, kStateCheck);
  Present(update);
  // Up from the first check box: neither the mode changes nor a radio button
  // reports a click.
  std::vector<UiEvent> seen = EventsOfKey(VK_UP);
  EXPECT_FALSE(HasCode(seen, sync));
  EXPECT_FALSE(HasCode(seen, strict));
  EXPECT_TRUE(dialog_.IsChecked(common));
  EXPECT_FALSE(dialog_.IsChecked(sync));
  // Down inside the radio buttons moves to the next one of the run.
  Present(common);
  ASSERT_TRUE(KeyGives(VK_DOWN, dialog_, strict));
  EXPECT_TRUE(dialog_.IsChecked(strict));
  EXPECT_FALSE(dialog_.IsChecked(common));
}

TEST_F(DialogKeysTest, ShiftF10AsksForTheContextMenuUnderTheSelectedRow) {
  const int list = dialog_.AddListView(L"A\nB", 10, 10, 280, 150);
  for (const wchar_t* row : {L"first", L"second", L"third"}) dialog_.AddListRow(list, row);
  ASSERT_TRUE(dialog_.SelectRow(list, 1));
  Present(list);
  ASSERT_TRUE(KeyGives(VK_F10, dialog_, ToCode(UiEventCode::ContextMenu), true));
  const UiEvent& menu = events().event;
  EXPECT_EQ(menu.param1, list);
  RECT row{};
  row.left = LVIR_BOUNDS;
  dialog_.SendToControl(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
  MapWindowPoints(dialog_.ControlHandle(list), nullptr, reinterpret_cast<POINT*>(&row), 2);
  EXPECT_EQ(menu.point.y, row.bottom) << "under the selected row, not at the pointer";
  EXPECT_GE(menu.point.x, row.left);
  EXPECT_LT(menu.point.x, row.right);
}
