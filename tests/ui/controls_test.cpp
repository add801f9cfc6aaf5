#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/window_harness.h"
#include "ui/ui_window.h"

namespace {

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  GetObjectW(handle, sizeof font, &font);
  return font;
}

std::wstring TextOf(WideString text) { return text.buf ? std::wstring(text.CStr()) : L"<null>"; }

}  // namespace

TEST(ControlTable, IndicesAreWindowIdentifiersAndMinusOneIsTheLatest) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int label = ui.AddStatic(L"label", 10, 10, 100, 20);
  int button = ui.AddButton(L"button", 10, 40, 100, 25);
  int box = ui.AddCheckBox(L"box", 10, 70, 100);
  int radio = ui.AddRadioButton(L"radio", 100, 100);
  int combo = ui.AddComboBox(L"a\nb", 10, 130, 100, 25);
  int edit = ui.AddEdit(160);
  int list = ui.AddListView(L"one", 10, 190, 200, 80);
  EXPECT_EQ(label, 1);
  EXPECT_EQ(list, 7);
  for (int index : {label, button, box, radio, combo, edit, list}) {
    EXPECT_EQ(GetDlgCtrlID(ui.ControlHandle(index)), index);
    EXPECT_EQ(ui.ControlFromHandle(ui.ControlHandle(index)), index);
  }
  EXPECT_EQ(ui.ControlKindOf(box), ControlKind::CheckBox);
  EXPECT_EQ(ui.ControlKindOf(-1), ControlKind::ListView);
  EXPECT_EQ(ui.controls[radio].x, 30);
  EXPECT_EQ(ui.controls[radio].height, 18);
  EXPECT_EQ(ui.controls[edit].width, 365);
  EXPECT_TRUE(GetWindowLongW(ui.ControlHandle(edit), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetWindowLongW(ui.ControlHandle(box), GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_TRUE(ui.SetControlText(edit, L"typed"));
  EXPECT_EQ(TextOf(ui.GetControlText(edit)), L"typed");
  EXPECT_EQ(ui.SendToControl(-1, LVM_GETITEMCOUNT, 0, 0), 0);
  // A window handle that is not one of the controls is not a control.
  EXPECT_EQ(ui.ControlFromHandle(ui.handle), 0);
}

TEST(ControlTable, InvalidIndicesDoNothingAndAnswerZero) {
  TestWindow window;
  UiWindow& ui = window.ui;
  EXPECT_FALSE(ui.SetControlState(1, kStateHide));  // no table yet
  int label = ui.AddStatic(L"label", 10, 10, 100, 20);
  for (int bad : {0, -2, 2, 1000}) {
    EXPECT_FALSE(ui.IsValidControl(bad));
    EXPECT_EQ(ui.ControlKindOf(bad), ControlKind::None);
    EXPECT_FALSE(ui.SetControlState(bad, kStateHide));
    EXPECT_EQ(ui.GetCheckState(bad), 0);
    EXPECT_FALSE(ui.SetControlText(bad, L"x"));
    EXPECT_EQ(ui.GetControlText(bad).buf, nullptr);
    EXPECT_FALSE(ui.SetControlTextColour(bad, 0));
    EXPECT_FALSE(ui.SetControlCursor(bad, nullptr));
    EXPECT_FALSE(ui.SetControlBounds(bad, 0, 0, 1, 1));
    EXPECT_EQ(ui.SendToControl(bad, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_FALSE(ui.AddTooltip(bad, L"tip"));
    EXPECT_EQ(ui.AttachPopupMenu(bad), nullptr);
    EXPECT_EQ(ui.AddMenuItem(bad, L"item", 0, 0, nullptr), 0);
    EXPECT_FALSE(ui.RemoveControl(bad));
    EXPECT_EQ(ui.AddListRow(bad, L"row"), -1);
    EXPECT_EQ(ui.GetRowText(bad, 0, 0).buf, nullptr);
    EXPECT_FALSE(ui.SetListSortable(bad, true));
    EXPECT_FALSE(ui.SetImageButtonState(bad, 1));
  }
  // Operations of one kind refuse controls of another.
  EXPECT_EQ(ui.AddListRow(label, L"row"), -1);
  EXPECT_FALSE(ui.SetImageButtonState(label, kImageHot));
  EXPECT_TRUE(IsWindowVisible(ui.ControlHandle(label)));
  EXPECT_EQ(ui.controlCount, 1);
}

TEST(ControlTable, RemovingTheTopControlsLowersTheCountPastFreeSlots) {
  TestWindow window;
  UiWindow& ui = window.ui;
  for (int i = 0; i < 4; ++i) ui.AddStatic(L"s", 10, 10 + 20 * i, 50, 18);
  HWND third = ui.ControlHandle(3);
  EXPECT_TRUE(ui.RemoveControl(3));
  EXPECT_FALSE(IsWindow(third));
  EXPECT_EQ(ui.controlCount, 4);
  EXPECT_FALSE(ui.IsValidControl(3));
  EXPECT_TRUE(ui.RemoveControl(-1));
  EXPECT_EQ(ui.controlCount, 2);
  // The top indices come back; the freed middle one is never reused otherwise.
  EXPECT_EQ(ui.AddStatic(L"s", 10, 10, 50, 18), 3);
}

TEST(ControlTable, RemovingAControlKeepsAPostedQuitForTheLoop) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int label = ui.AddStatic(L"s", 10, 10, 50, 18);
  PostQuitMessage(7);
  // Removal drains the queue; the quit must still reach the loop afterwards.
  EXPECT_TRUE(ui.RemoveControl(label));
  MSG quit{};
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);
}

TEST(ControlTable, TheFiveHundredTwelfthControlDoublesTheTable) {
  TestWindow window;
  UiWindow& ui = window.ui;
  for (int i = 1; i <= 511; ++i) ASSERT_EQ(ui.AddStatic(L"s", 0, 0, 5, 5, WS_VISIBLE), i);
  EXPECT_EQ(ui.controlCapacity, 512);
  HWND first = ui.ControlHandle(1);
  EXPECT_EQ(ui.AddStatic(L"s", 0, 0, 5, 5, WS_VISIBLE), 512);
  EXPECT_EQ(ui.controlCapacity, 1024);
  EXPECT_EQ(ui.ControlHandle(1), first);
  EXPECT_EQ(ui.ControlFromHandle(first), 1);
  EXPECT_EQ(ui.ControlFromHandle(ui.ControlHandle(511)), 511);
}

TEST(ControlTable, RegisteredControlTakesItsIndexAsIdentifier) {
  TestWindow window;
  UiWindow& ui = window.ui;
  ui.AddStatic(L"s", 0, 0, 5, 5);
  ui.newControlFlags = LayoutFlags::KeepsOwnBackground | LayoutFlags::DragsWindow;
  HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 10, 10, 100, 10,
                             ui.handle, reinterpret_cast<HMENU>(77), nullptr, nullptr);
  int index = ui.RegisterControl(ControlKind::ProgressBar, bar);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(GetDlgCtrlID(bar), 2);
  EXPECT_EQ(ui.controls[index].flags, LayoutFlags::DragsWindow);
  EXPECT_TRUE(ui.SetControlTextColour(index, RGB(0, 128, 0)));
  EXPECT_EQ(SendMessageW(bar, PBM_GETBARCOLOR, 0, 0), RGB(0, 128, 0));
}

TEST(StandardControls, SecondDefaultButtonTakesTheDefaultStyle) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int first = ui.AddButton(L"One", 10, 10, 80, 25, WS_VISIBLE | BS_DEFPUSHBUTTON);
  EXPECT_EQ(ui.defaultButton, first);
  int second = ui.AddButton(L"Two", 100, 10, 80, 25, WS_VISIBLE | BS_DEFPUSHBUTTON);
  EXPECT_EQ(ui.defaultButton, second);
  EXPECT_EQ(GetWindowLongW(ui.ControlHandle(first), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(GetWindowLongW(ui.ControlHandle(second), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_TRUE(GetWindowLongW(ui.ControlHandle(second), GWL_STYLE) & WS_TABSTOP);
  int plain = ui.AddButton(L"Three", 200, 10, 80, 25);
  EXPECT_EQ(ui.defaultButton, second);
  EXPECT_EQ(SendMessageW(ui.handle, DM_GETDEFID, 0, 0), MAKELRESULT(second, DC_HASDEFID));
  ui.RemoveControl(plain);
  ui.RemoveControl(second);
  EXPECT_EQ(SendMessageW(ui.handle, DM_GETDEFID, 0, 0), 0);
}

TEST(StandardControls, StateFlagsApplyInOrderAndTheFirstOfEachPairWins) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int box = ui.AddCheckBox(L"box", 10, 10, 100);
  EXPECT_TRUE(ui.SetControlState(box, kStateCheck | kStateUncheck));
  EXPECT_EQ(ui.GetCheckState(box), 4);
  EXPECT_TRUE(ui.SetControlState(box, kStateUncheck | kStateIndeterminate));
  EXPECT_EQ(ui.GetCheckState(box), 0);
  EXPECT_EQ(SendMessageW(ui.ControlHandle(box), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(ui.SetControlState(box, kStateHide | kStateShow));
  EXPECT_FALSE(IsWindowVisible(ui.ControlHandle(box)));
  ui.SetControlState(box, kStateShow);
  EXPECT_TRUE(IsWindowVisible(ui.ControlHandle(box)));
  ui.SetControlState(box, kStateDisable);
  EXPECT_FALSE(IsWindowEnabled(ui.ControlHandle(box)));
  EXPECT_TRUE(ui.SetControlState(box, kStateEnable | kStateDisable));
  EXPECT_TRUE(IsWindowEnabled(ui.ControlHandle(box)));
  int radio = ui.AddRadioButton(L"radio", 40, 100);
  ui.SetControlState(radio, kStateCheck);
  EXPECT_EQ(ui.GetCheckState(radio), 4);
  int label = ui.AddStatic(L"label", 10, 80, 50, 18);
  EXPECT_EQ(ui.GetCheckState(label), 0);
}

TEST(StandardControls, ComboBoxTextReplacesItsItems) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int combo = ui.AddComboBox(L"Do nothing\nClose application\nLog off", 250, 205, 160, 25);
  HWND handle = ui.ControlHandle(combo);
  EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), 0);
  RECT area;
  GetWindowRect(handle, &area);
  MapWindowPoints(nullptr, ui.handle, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(ui.controls[combo].x, area.left);
  EXPECT_EQ(ui.controls[combo].height, area.bottom - area.top);
  EXPECT_TRUE(ui.SetControlText(combo, L"x\ny"));
  EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(ui.SetControlText(combo, L""));
  EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST(StandardControls, TextGettersReturnTheWholeTextInACallerOwnedBuffer) {
  TestWindow window;
  UiWindow& ui = window.ui;
  std::wstring longText(5000, L'w');
  longText += L"end";
  int edit = ui.AddEdit(10);
  SendMessageW(ui.ControlHandle(edit), EM_SETLIMITTEXT, 0, 0);
  ASSERT_TRUE(ui.SetControlText(edit, longText.c_str()));
  WideString first = ui.GetControlText(edit);
  WideString second = ui.GetControlText(edit);
  EXPECT_NE(first.buf, second.buf);
  EXPECT_EQ(TextOf(std::move(first)), longText);
  int label = ui.AddStatic(L"", 10, 40, 50, 18);
  EXPECT_EQ(TextOf(ui.GetControlText(label)), L"");
}

TEST(StandardControls, FontsFollowTheWindowSettings) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int plain = ui.AddStatic(L"plain", 10, 10, 100, 20);
  LOGFONTW font = FontOf(ui.ControlHandle(plain));
  EXPECT_EQ(font.lfHeight, -12);
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_STREQ(font.lfFaceName, L"Arial");
  EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
  ui.SetFontForNewControls(10, 700, 2 | 4);
  int styled = ui.AddStatic(L"styled", 10, 40, 100, 20);
  font = FontOf(ui.ControlHandle(styled));
  EXPECT_EQ(font.lfHeight, -13);
  EXPECT_EQ(font.lfWeight, 700);
  EXPECT_TRUE(font.lfItalic);
  EXPECT_TRUE(font.lfUnderline);
  EXPECT_FALSE(font.lfStrikeOut);
  HFONT before = ui.controls[styled].font;
  EXPECT_TRUE(ui.SetLastControlFontSize(18));
  font = FontOf(ui.ControlHandle(styled));
  EXPECT_EQ(font.lfHeight, -24);
  EXPECT_EQ(font.lfWeight, 800);
  EXPECT_EQ(GetObjectType(before), 0u);
  ui.SetFontForNewControls(0.5, 0, 1);
  int tiny = ui.AddStatic(L"tiny", 10, 70, 100, 20);
  EXPECT_EQ(FontOf(ui.ControlHandle(tiny)).lfHeight, -11);
  EXPECT_EQ(FontOf(ui.ControlHandle(tiny)).lfWeight, 400);
}

TEST(StandardControls, ColoursAnswerTheControlsBrushOrTheWindowBackground) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int transparent = ui.AddStatic(L"t", 10, 10, 50, 18);
  ui.newControlTextColour = RGB(200, 0, 0);
  ui.newControlBackColour = -2;
  int hollow = ui.AddStatic(L"h", 10, 30, 50, 18);
  ui.newControlBackColour = RGB(0, 0, 160);
  int opaque = ui.AddStatic(L"o", 10, 50, 50, 18);
  int edit = ui.AddEdit(80);
  HDC dc = CreateCompatibleDC(nullptr);
  auto colour = [&](UINT message, int index) {
    return reinterpret_cast<HBRUSH>(
        SendMessageW(ui.handle, message, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(ui.ControlHandle(index))));
  };
  EXPECT_EQ(colour(WM_CTLCOLORSTATIC, transparent), ui.background.Brush());
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_BTNTEXT));
  SetBkMode(dc, OPAQUE);
  EXPECT_EQ(colour(WM_CTLCOLORSTATIC, hollow), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
  EXPECT_EQ(colour(WM_CTLCOLORSTATIC, opaque), ui.controls[opaque].brush);
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 160));
  EXPECT_EQ(colour(WM_CTLCOLOREDIT, edit), ui.controls[edit].brush);
  EXPECT_TRUE(ui.SetControlTextColour(opaque, RGB(1, 2, 3)));
  colour(WM_CTLCOLORSTATIC, opaque);
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  DeleteDC(dc);
}

TEST(StandardControls, IconAndBitmapImagesShowTheirOwnCopies) {
  TestWindow window;
  UiWindow& ui = window.ui;
  HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
  int iconImage = ui.AddIconImage(icon);
  HICON shown = reinterpret_cast<HICON>(
      SendMessageW(ui.ControlHandle(iconImage), STM_GETIMAGE, IMAGE_ICON, 0));
  EXPECT_EQ(shown, ui.controls[iconImage].kindData.icon);
  EXPECT_NE(shown, icon);
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 48, 48);
  ReleaseDC(nullptr, screen);
  int bitmapImage = ui.AddBitmapImage(bitmap);
  HBITMAP copy = ui.controls[bitmapImage].kindData.bitmap;
  EXPECT_NE(copy, nullptr);
  EXPECT_NE(copy, bitmap);
  DeleteObject(bitmap);  // the caller's stays the caller's
  ui.RemoveControl(bitmapImage);
  EXPECT_EQ(GetObjectType(copy), 0u);
  EXPECT_NE(ui.AddBitmapImage(nullptr), 0);
}

TEST(StandardControls, BoundsAndCapturedGeometry) {
  TestWindow window;
  UiWindow& ui = window.ui;
  ui.newControlFlags = LayoutFlags::DragsWindow;
  int label = ui.AddStatic(L"label", 10, 10, 50, 18);
  EXPECT_EQ(ui.controls[label].flags, LayoutFlags::DragsWindow);
  EXPECT_TRUE(ui.SetControlBounds(label, 30, 40, 70, 22));
  RECT area;
  GetWindowRect(ui.ControlHandle(label), &area);
  MapWindowPoints(nullptr, ui.handle, reinterpret_cast<POINT*>(&area), 2);
  EXPECT_EQ(area.left, 30);
  EXPECT_EQ(area.bottom, 62);
  EXPECT_EQ(ui.controls[label].referenceWidth, 400);
  SetWindowPos(ui.ControlHandle(label), nullptr, 5, 6, 7, 8, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(ui.CaptureLastControlGeometry());
  EXPECT_EQ(ui.controls[label].x, 5);
  EXPECT_EQ(ui.controls[label].height, 8);
  EXPECT_EQ(ui.controls[label].flags, LayoutFlags::KeepsOwnBackground);
}

TEST(StandardControls, CommandsBecomeEventsWithNotificationAndHandle) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int button = ui.AddButton(L"Go", 10, 10, 80, 25);
  int combo = ui.AddComboBox(L"a\nb", 10, 40, 100, 25);
  int edit = ui.AddEdit(80);
  auto command = [&](int index, int code) {
    SendMessageW(ui.handle, WM_COMMAND, MAKEWPARAM(index, code),
                 reinterpret_cast<LPARAM>(ui.ControlHandle(index)));
  };
  command(button, BN_CLICKED);
  UiEvent click = TakeLastRaised(ui);
  EXPECT_EQ(click.code, button);
  EXPECT_TRUE(click.IsCommand(ui, button));
  EXPECT_EQ(click.param1, 0);
  EXPECT_EQ(click.param2, reinterpret_cast<intptr_t>(ui.ControlHandle(button)));
  EXPECT_EQ(click.message, static_cast<UINT>(WM_COMMAND));
  command(button, BN_SETFOCUS);  // other codes of other kinds report nothing
  EXPECT_FALSE(ui.EventPending());
  command(combo, CBN_SELCHANGE);
  UiEvent selection = TakeLastRaised(ui);
  EXPECT_EQ(selection.code, UiEventCode::SelectionChanged);
  EXPECT_EQ(selection.param1, combo);
  EXPECT_EQ(selection.param2, reinterpret_cast<intptr_t>(ui.ControlHandle(combo)));
  command(combo, CBN_CLOSEUP);
  EXPECT_EQ(TakeLastRaised(ui).code, UiEventCode::DropDownClosed);
  command(combo, CBN_EDITCHANGE);
  EXPECT_FALSE(ui.EventPending());
  command(edit, EN_CHANGE);
  EXPECT_EQ(TakeLastRaised(ui).code, UiEventCode::EditChanged);
  command(edit, EN_KILLFOCUS);
  EXPECT_EQ(TakeLastRaised(ui).code, UiEventCode::EditFocusLost);
  // A real click on the button, through the queue.
  DrainEvents(ui);
  PostMessageW(ui.ControlHandle(button), BM_CLICK, 0, 0);
  EXPECT_TRUE(PumpUntilEvent(ui, button));
}

TEST(StandardControls, ReturnPressesTheDefaultButtonOfTheActiveWindow) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int edit = ui.AddEdit(10);
  int ok = ui.AddButton(L"OK", 10, 40, 80, 25, WS_VISIBLE | BS_DEFPUSHBUTTON);
  ASSERT_TRUE(window.Activate());
  EXPECT_EQ(ui.activeWindow, &ui);
  ui.SetControlState(edit, kStateFocus);
  DrainEvents(ui);
  ASSERT_EQ(GetFocus(), ui.ControlHandle(edit));
  PostMessageW(ui.ControlHandle(edit), WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_TRUE(PumpUntilEvent(ui, ok));
  // Losing the activation clears the active window.
  SendMessageW(ui.handle, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(ui.activeWindow, nullptr);
  EXPECT_EQ(TakeLastRaised(ui).code, UiEventCode::Deactivated);
}

TEST(StandardControls, TooltipsAreAddedToOneTopmostTooltipWindow) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int first = ui.AddButton(L"1", 10, 10, 80, 25);
  int second = ui.AddStatic(L"2", 10, 40, 80, 25);
  EXPECT_TRUE(ui.AddTooltip(first, L"First tip"));
  HWND tooltip = ui.tooltip;
  ASSERT_NE(tooltip, nullptr);
  EXPECT_TRUE(ui.AddTooltip(second, L"Second tip\r\nwith two lines"));
  EXPECT_EQ(ui.tooltip, tooltip);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 2);
  EXPECT_TRUE(GetWindowLongW(tooltip, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(tooltip, GW_OWNER), ui.handle);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), 100000);
  ui.RemoveControl(second);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
}

TEST(Menus, ReplacingAPopupFreesItsItemsAndTheCountNamesTheLatestControl) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int list = ui.AddStatic(L"list", 10, 10, 100, 50);
  ASSERT_NE(ui.AttachPopupMenu(list), nullptr);
  int first = ui.AddMenuItem(list, L"One", 0, 0, nullptr);
  ui.AddMenuItem(list, L"Two", 1, 0, nullptr);
  HMENU fresh = ui.AttachPopupMenu(list);
  ASSERT_NE(fresh, nullptr);
  EXPECT_FALSE(ui.IsValidControl(first));
  EXPECT_EQ(ui.controlCount, list) << "the count names the highest slot in use";
  EXPECT_EQ(ui.ControlKindOf(-1), ControlKind::StaticText);
  EXPECT_EQ(ui.AddMenuItem(list, L"Again", 0, 0, nullptr), list + 1);
}

TEST(Menus, PopupItemsAreControlsWithStateTextAndRemoval) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int list = ui.AddStatic(L"list", 10, 10, 100, 50);
  HMENU popup = ui.AttachPopupMenu(list);
  ASSERT_NE(popup, nullptr);
  HDC screen = GetDC(nullptr);
  HBITMAP picture = CreateCompatibleBitmap(screen, 13, 13);
  ReleaseDC(nullptr, screen);
  int open = ui.AddMenuItem(list, L"Open source folder", 0, 0, picture);
  int separator = ui.AddMenuItem(list, nullptr, 10, kMenuSeparator, nullptr);
  int more = ui.AddMenuItem(list, L"More", 10, kMenuSubMenu, nullptr);
  int inner = ui.AddMenuItem(-1, L"Inner", 0, kMenuChecked, nullptr);
  int first = ui.AddMenuItem(list, L"First", 0, kMenuRadioChecked, nullptr);
  EXPECT_EQ(GetMenuItemCount(popup), 4);
  EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(first));
  EXPECT_EQ(GetMenuItemID(popup, 1), static_cast<UINT>(open));
  EXPECT_EQ(GetMenuItemID(popup, 2), static_cast<UINT>(separator));
  EXPECT_EQ(ui.ControlKindOf(more), ControlKind::SubMenu);
  EXPECT_EQ(ui.ControlKindOf(inner), ControlKind::MenuItem);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_CHECKMARKS;
  GetMenuItemInfoW(popup, open, FALSE, &info);
  EXPECT_NE(info.hbmpUnchecked, nullptr);
  EXPECT_NE(info.hbmpUnchecked, picture) << "the entry's own flattened copy";
  EXPECT_EQ(ui.GetCheckState(inner), 4);
  EXPECT_EQ(ui.GetCheckState(first), 4);
  EXPECT_TRUE(ui.SetControlState(inner, kStateUncheck));
  EXPECT_EQ(ui.GetCheckState(inner), 0);
  EXPECT_TRUE(ui.SetControlState(open, kStateFocus | kStateDisable));
  UINT state = GetMenuState(popup, open, MF_BYCOMMAND);
  EXPECT_TRUE(state & MF_DISABLED || state & MF_GRAYED);
  EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, GMDI_USEDISABLED), static_cast<UINT>(open));
  EXPECT_TRUE(ui.SetControlState(more, kStateDisable));
  EXPECT_TRUE(GetMenuState(popup, more, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED));
  std::wstring longCaption(600, L'm');
  EXPECT_TRUE(ui.SetControlText(open, longCaption.c_str()));
  EXPECT_EQ(TextOf(ui.GetControlText(open)), longCaption);
  EXPECT_EQ(TextOf(ui.GetControlText(more)), L"More");
  // Removing the submenu removes its items too.
  EXPECT_TRUE(ui.RemoveControl(more));
  EXPECT_FALSE(ui.IsValidControl(inner));
  EXPECT_EQ(GetMenuItemCount(popup), 3);
  // Choosing an item reports its index.
  SendMessageW(ui.handle, WM_COMMAND, MAKEWPARAM(open, 0), 0);
  EXPECT_EQ(TakeLastRaised(ui).code, open);
  // Removing the control takes its whole popup along.
  ui.RemoveControl(list);
  EXPECT_FALSE(IsMenu(popup));
  EXPECT_FALSE(ui.IsValidControl(open));
  EXPECT_EQ(ui.controlCount, 0);
  DeleteObject(picture);
}

TEST(Menus, WindowMenuTakesItemsWithParentZero) {
  TestWindow window;
  UiWindow& ui = window.ui;
  EXPECT_EQ(ui.AddMenuItem(0, L"No menu", 0, 0, nullptr), 0);
  ui.windowMenu = CreateMenu();
  int item = ui.AddMenuItem(0, L"Item", 0, 0, nullptr);
  EXPECT_EQ(item, 1);
  EXPECT_EQ(GetMenuItemID(ui.windowMenu, 0), 1u);
  HMENU menu = ui.windowMenu;
  ui.Destroy();
  EXPECT_FALSE(IsMenu(menu));
}

TEST(StandardControls, ProgressBarTakesItsRangeAndNeverKeepsItsOwnBackground) {
  TestWindow window;
  UiWindow& ui = window.ui;
  ui.newControlFlags = LayoutFlags::KeepsOwnBackground;
  const int bar = ui.AddProgressBar(10, 145, 380, 18);
  ASSERT_NE(bar, 0);
  EXPECT_EQ(ui.ControlKindOf(bar), ControlKind::ProgressBar);
  EXPECT_EQ(ui.controls[bar].flags, LayoutFlags::None);
  EXPECT_TRUE(GetWindowLongW(ui.ControlHandle(bar), GWL_STYLE) & PBS_SMOOTH);
  EXPECT_EQ(ui.SendToControl(bar, PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(ui.SendToControl(bar, PBM_GETPOS, 0, 0), 0);
  ui.SendToControl(bar, PBM_SETPOS, 1000, 0);
  EXPECT_EQ(ui.SendToControl(bar, PBM_GETPOS, 0, 0), 1000);
}

TEST(StandardControls, DefaultButtonMovesAndCanBeCleared) {
  TestWindow window;
  UiWindow& ui = window.ui;
  const int first = ui.AddButton(L"First", 10, 10, 80, 25);
  const int second = ui.AddButton(L"Second", 100, 10, 80, 25);
  const int label = ui.AddStatic(L"label", 10, 50, 80, 20);
  auto isDefault = [&](int index) {
    return (GetWindowLongW(ui.ControlHandle(index), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  };
  EXPECT_TRUE(ui.SetDefaultButton(first));
  EXPECT_TRUE(isDefault(first));
  EXPECT_TRUE(ui.SetDefaultButton(second));
  EXPECT_FALSE(isDefault(first));
  EXPECT_TRUE(isDefault(second));
  EXPECT_EQ(SendMessageW(ui.handle, DM_GETDEFID, 0, 0), MAKELRESULT(second, DC_HASDEFID));
  EXPECT_FALSE(ui.SetDefaultButton(label)) << "only push buttons";
  EXPECT_EQ(ui.defaultButton, second);
  EXPECT_TRUE(ui.SetDefaultButton(0));
  EXPECT_FALSE(isDefault(second));
  EXPECT_EQ(SendMessageW(ui.handle, DM_GETDEFID, 0, 0), 0);
}

TEST(StandardControls, PresentActivatesFocusesAndServesTheKeys) {
  TestWindow owner;
  ASSERT_TRUE(owner.Activate());
  UiWindow dialog;
  std::wstring name = UniqueClassName(L"Presented");
  ASSERT_TRUE(dialog.Create(name.c_str(), L"", 200, 100, kCentred, kCentred, WS_POPUP, &owner.ui,
                            owner.ui.handle));
  const int edit = dialog.AddEdit(10);
  EXPECT_FALSE(IsWindowVisible(dialog.handle));
  EXPECT_TRUE(dialog.Present(edit));
  EXPECT_TRUE(IsWindowVisible(dialog.handle));
  EXPECT_EQ(GetForegroundWindow(), dialog.handle);
  EXPECT_EQ(GetFocus(), dialog.ControlHandle(edit));
  EXPECT_EQ(owner.ui.activeWindow, &dialog);
  dialog.Dispose();
  EXPECT_NE(owner.ui.activeWindow, &dialog) << "the record never points at a window that is gone";
  DrainEvents(owner.ui);
}

TEST(StandardControls, NewControlSettingsLastForTheirScope) {
  TestWindow window;
  UiWindow& ui = window.ui;
  int inside = 0;
  {
    NewControlSettings settings(ui);
    settings.Font(12, 800)
        .Flags(LayoutFlags::DragsWindow)
        .TextColour(RGB(1, 2, 3))
        .BackColour(RGB(4, 5, 6));
    inside = ui.AddStatic(L"inside", 10, 10, 80, 20);
  }
  const int after = ui.AddStatic(L"after", 10, 40, 80, 20);
  EXPECT_EQ(ui.controls[inside].flags, LayoutFlags::DragsWindow);
  EXPECT_EQ(ui.controls[inside].textColour, static_cast<int32_t>(RGB(1, 2, 3)));
  EXPECT_NE(ui.controls[inside].brush, nullptr);
  EXPECT_EQ(FontOf(ui.ControlHandle(inside)).lfHeight, -16);
  EXPECT_EQ(FontOf(ui.ControlHandle(inside)).lfWeight, 800);
  EXPECT_EQ(ui.controls[after].flags, LayoutFlags::None);
  EXPECT_EQ(ui.controls[after].backColour, kTransparentBackground);
  EXPECT_EQ(ui.controls[after].brush, nullptr);
  EXPECT_EQ(FontOf(ui.ControlHandle(after)).lfHeight, -12);
  EXPECT_EQ(FontOf(ui.ControlHandle(after)).lfWeight, 400);
  EXPECT_EQ(ui.newControlTextColour, kSystemTextColour);
}
