#include "ui/ui_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/window_harness.h"

namespace {

bool ClassExists(const std::wstring& name) {
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  return GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info) != FALSE;
}

}  // namespace

TEST(UiWindowCreate, GivesTheRequestedClientSizeCentredOnTheWorkArea) {
  UiWindow window;
  std::wstring name = UniqueClassName(L"Centre");
  ASSERT_NE(
      window.Create(name.c_str(), L"Centred", 300, 200, -1, -1, kDefaultStyle, nullptr, nullptr),
      nullptr);
  RECT client, frame, area;
  GetClientRect(window.handle, &client);
  GetWindowRect(window.handle, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 200);
  EXPECT_EQ(frame.left, area.left + (area.right - area.left) / 2 - (frame.right - frame.left) / 2);
  EXPECT_EQ(frame.top, area.top + (area.bottom - area.top) / 2 - (frame.bottom - frame.top) / 2);
  EXPECT_EQ(window.events, &window);
  EXPECT_EQ(window.referenceWidth, 300);
  EXPECT_EQ(window.laidOutHeight, 200);
  EXPECT_EQ(GetWindowLongW(window.handle, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_TRUE(GetWindowLongW(window.handle, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_NE(window.background.MemoryDc(), nullptr);
  EXPECT_NE(window.background.Brush(), nullptr);
  EXPECT_EQ(window.newControlParent, window.handle);
  EXPECT_DOUBLE_EQ(window.newControlFont.size, 9.0);
  EXPECT_STREQ(window.newControlFont.face, L"Arial");
  // An ownerless window keeps the program path in its text.
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_STREQ(window.text.CStr(), path);
}

TEST(UiWindowCreate, DialogCentresOnItsOwnerAndUsesItsEventRecord) {
  TestWindow owner(500, 400);
  UiWindow dialog;
  std::wstring name = UniqueClassName(L"Dialog");
  ASSERT_NE(
      dialog.Create(name.c_str(), L"", 200, 100, -1, -1, WS_POPUP, &owner.ui, owner.ui.handle),
      nullptr);
  RECT ownerFrame, frame;
  GetWindowRect(owner.ui.handle, &ownerFrame);
  GetWindowRect(dialog.handle, &frame);
  EXPECT_EQ(frame.right - frame.left, 200);
  EXPECT_EQ(frame.left, ownerFrame.left + (ownerFrame.right - ownerFrame.left) / 2 - 100);
  EXPECT_EQ(frame.top, ownerFrame.top + (ownerFrame.bottom - ownerFrame.top) / 2 - 50);
  EXPECT_EQ(dialog.events, &owner.ui);
  EXPECT_EQ(GetWindow(dialog.handle, GW_OWNER), owner.ui.handle);
  // Its events land in the owner's record, with the dialog as source.
  dialog.RaiseEvent(UiEventCode::Moved, WM_MOVE, dialog.handle, 0, 0);
  UiEvent moved = TakeLastRaised(owner.ui);
  EXPECT_EQ(moved.source, &dialog);
  EXPECT_EQ(moved.code, UiEventCode::Moved);
  PostMessageW(dialog.handle, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntilEvent(owner.ui, UiEventCode::Close));
  EXPECT_TRUE(IsCloseOf(owner.ui.event, dialog));
  EXPECT_FALSE(IsCloseOf(owner.ui.event, owner.ui));
}

TEST(UiWindowClass, RegisteredOnceAndKeptUntilItsRegistrarIsDestroyed) {
  std::wstring name = UniqueClassName(L"Shared");
  UiWindow first, second;
  ASSERT_NE(first.Create(name.c_str(), L"1", 100, 100, 0, 0, kDefaultStyle, nullptr, nullptr),
            nullptr);
  ASSERT_NE(second.Create(name.c_str(), L"2", 100, 100, 0, 0, kDefaultStyle, &first, nullptr),
            nullptr);
  EXPECT_EQ(first.classOwnership, 0);
  EXPECT_NE(first.classAtom, 0);
  EXPECT_EQ(second.classOwnership, 1);
  EXPECT_EQ(second.classAtom, 0);
  second.Destroy();
  EXPECT_TRUE(ClassExists(name));
  // The object is reusable after destruction.
  EXPECT_EQ(second.handle, nullptr);
  ASSERT_NE(second.Create(name.c_str(), L"2", 100, 100, 0, 0, kDefaultStyle, &first, nullptr),
            nullptr);
  second.AddStatic(L"s", 0, 0, 5, 5);
  second.Dispose();
  EXPECT_EQ(second.controls, nullptr);
  EXPECT_EQ(second.text.buf, nullptr);
  {
    // The constructor form creates at once; the destructor disposes.
    UiWindow third(name.c_str(), L"3", 100, 100, 0, 0, kDefaultStyle, &first, nullptr);
    EXPECT_NE(third.handle, nullptr);
    EXPECT_EQ(third.events, &first);
  }
  first.Destroy();
  EXPECT_FALSE(ClassExists(name));
}

TEST(UiWindowClass, FailedRegistrationFailsTheCreation) {
  UiWindow window;
  std::wstring tooLong(300, L'x');
  EXPECT_EQ(window.Create(tooLong.c_str(), L"", 100, 100, 0, 0, kDefaultStyle, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(window.handle, nullptr);
}

TEST(PumpEvent, PostedCloseGivesCloseAndNeverDestroysTheWindow) {
  TestWindow window;
  PostMessageW(window.ui.handle, WM_CLOSE, 0, 0);
  std::vector<int32_t> events = PumpAllEvents(window.ui);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], UiEventCode::Close);
  EXPECT_TRUE(IsWindow(window.ui.handle));
}

TEST(PumpEvent, SystemMenuCloseGivesOneCloseAndKeepsTheWindow) {
  TestWindow window;
  PostMessageW(window.ui.handle, WM_SYSCOMMAND, SC_CLOSE, 0);
  int closes = 0;
  for (int32_t code : PumpAllEvents(window.ui))
    if (code == UiEventCode::Close) ++closes;
  EXPECT_EQ(closes, 1) << "one close request, one question";
  EXPECT_TRUE(IsWindow(window.ui.handle));
  EXPECT_TRUE(IsWindowVisible(window.ui.handle));
}

TEST(PumpEvent, CloseNamesTheWindowItCloses) {
  // The event before it came from another window: a Close that kept that
  // source would close the wrong one.
  TestWindow window;
  UiWindow other;
  std::wstring name = UniqueClassName(L"Other");
  ASSERT_NE(other.Create(name.c_str(), L"", 50, 50, 0, 0, WS_POPUP, &window.ui, nullptr), nullptr);
  DrainEvents(window.ui);
  window.ui.RaiseEvent(UiEventCode::Moved, WM_MOVE, window.ui.handle, 0, 0);
  PumpEvent(window.ui, PumpMode::Poll);  // delivers the queued event
  PostMessageW(other.handle, kPrivateCloseMessage, 0, 0);
  EXPECT_EQ(PumpEvent(window.ui, PumpMode::Poll), UiEventCode::Close);
  EXPECT_EQ(window.ui.event.source, &other);
  EXPECT_EQ(window.ui.event.window, other.handle);
  EXPECT_EQ(window.ui.event.param1, static_cast<int32_t>(CloseCause::Window));
  EXPECT_TRUE(IsCloseOf(window.ui.event, other));
  EXPECT_FALSE(IsCloseOf(window.ui.event, window.ui));
}

TEST(PumpEvent, NullMessageReturnsNonZeroWithoutEventInBothModes) {
  TestWindow window;
  window.ui.event.code = ToCode(UiEventCode::Moved);
  PostMessageW(window.ui.handle, WM_NULL, 0, 0);
  EXPECT_NE(PumpEvent(window.ui, PumpMode::Wait), 0);
  EXPECT_EQ(window.ui.event.code, 0);
  EXPECT_EQ(window.ui.lastMessage.message, static_cast<UINT>(WM_NULL));
  PostMessageW(window.ui.handle, WM_NULL, 0, 0);
  EXPECT_EQ(PumpEvent(window.ui, PumpMode::Poll), 1);
  EXPECT_EQ(window.ui.event.code, 0);
}

TEST(PumpEvent, EmptyQueueAnswersZeroInPollingMode) {
  TestWindow window;
  EXPECT_EQ(PumpEvent(window.ui, PumpMode::Poll), 0);
  EXPECT_EQ(window.ui.event.code, 0);
}

TEST(PumpEvent, QuitMessageEndsTheBlockingLoop) {
  TestWindow window;
  PostQuitMessage(7);
  int answer = 1;
  for (int guard = 0; guard < 1000 && answer != 0; ++guard)
    answer = PumpEvent(window.ui, PumpMode::Wait);
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(window.ui.event.code, UiEventCode::Quit);
  ForgetQuit();
}

TEST(PumpEvent, EventRaisedDuringASendIsDeliveredWithoutFetching) {
  TestWindow window;
  const UINT marker = WM_APP + 7;
  PostMessageW(window.ui.handle, marker, 0, 0);
  SendMessageW(window.ui.handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(window.ui.handle),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_TRUE(window.ui.EventPending());
  EXPECT_EQ(PumpEvent(window.ui, PumpMode::Poll), UiEventCode::Hover);
  EXPECT_FALSE(window.ui.EventPending());
  MSG peek;
  EXPECT_TRUE(PeekMessageW(&peek, window.ui.handle, marker, marker, PM_NOREMOVE));
  // In blocking mode the queued event answers 1 and becomes the record's event.
  SendMessageW(window.ui.handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(window.ui.handle),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(PumpEvent(window.ui, PumpMode::Wait), 1);
  EXPECT_EQ(window.ui.event.code, UiEventCode::Hover);
  EXPECT_TRUE(PeekMessageW(&peek, window.ui.handle, marker, marker, PM_REMOVE));
}

TEST(UiWindowMessages, QueryEndSessionRaisesSessionEndingAndLetsTheSessionEnd) {
  TestWindow window;
  LRESULT answer =
      SendMessageW(window.ui.handle, WM_QUERYENDSESSION, 0, static_cast<LPARAM>(ENDSESSION_LOGOFF));
  EXPECT_EQ(answer, TRUE);
  UiEvent query = TakeLastRaised(window.ui);
  EXPECT_EQ(query.code, UiEventCode::SessionEnding);
  EXPECT_EQ(query.param1, static_cast<int32_t>(ENDSESSION_LOGOFF));
  EXPECT_EQ(SendMessageW(window.ui.handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
  UiEvent end = TakeLastRaised(window.ui);
  EXPECT_EQ(end.code, UiEventCode::SessionEnding);
  EXPECT_EQ(end.param1, 0);
}

TEST(UiWindowMessages, DefaultIdAnswersZeroWithoutDefaultButton) {
  TestWindow window;
  EXPECT_EQ(SendMessageW(window.ui.handle, DM_GETDEFID, 0, 0), 0);
  int ok = window.ui.AddButton(L"OK", 10, 10, 80, 25, WS_VISIBLE | BS_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(window.ui.handle, DM_GETDEFID, 0, 0), MAKELRESULT(ok, DC_HASDEFID));
}

TEST(UiWindowMessages, SystemCommandsAndFrameMessagesRaiseTheirEvents) {
  TestWindow window;
  struct Case {
    UINT message;
    WPARAM wParam;
    UiEventCode code;
    int32_t param1;
  } cases[] = {
      {WM_NCLBUTTONUP, HTCAPTION, UiEventCode::FrameButtonUp, HTCAPTION},
      {WM_NCMOUSELEAVE, 0, UiEventCode::FrameMouseLeft, 0},
      {WM_MOUSEWHEEL, MAKEWPARAM(0, 120), UiEventCode::MouseWheel, MAKELONG(0, 120)},
      {WM_LBUTTONUP, MK_SHIFT, UiEventCode::LeftButtonUp, MK_SHIFT},
      {WM_CHAR, L'x', UiEventCode::Character, L'x'},
  };
  for (const Case& c : cases) {
    SendMessageW(window.ui.handle, c.message, c.wParam, 0);
    UiEvent raised = TakeLastRaised(window.ui);
    EXPECT_EQ(raised.code, c.code) << c.message;
    EXPECT_EQ(raised.param1, c.param1) << c.message;
    EXPECT_EQ(raised.source, &window.ui);
    EXPECT_EQ(raised.window, window.ui.handle);
    DrainEvents(window.ui);
  }
  SendMessageW(window.ui.handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-5, 17));
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::MouseMoved);
  EXPECT_EQ(window.ui.mouseX, -5);
  EXPECT_EQ(window.ui.mouseY, 17);
  EXPECT_EQ(window.ui.mouseKeys, static_cast<uint32_t>(MK_LBUTTON));
  EXPECT_EQ(SendMessageW(window.ui.handle, WM_MOVING, 0, 0), 1);
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::Moving);
  SendMessageW(window.ui.handle, WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::Moved);
}

TEST(UiWindowMessages, ResizingRecordsTheNewClientSize) {
  TestWindow window;
  window.ui.AddStatic(L"x", 0, 0, 10, 10);
  RECT frame;
  GetWindowRect(window.ui.handle, &frame);
  DrainEvents(window.ui);
  SetWindowPos(window.ui.handle, nullptr, 0, 0, frame.right - frame.left + 30,
               frame.bottom - frame.top + 20, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::Resized);
  EXPECT_EQ(window.ui.laidOutWidth, 430);
  EXPECT_EQ(window.ui.laidOutHeight, 320);
  EXPECT_EQ(window.ui.referenceWidth, 400);
}

TEST(UiWindowMessages, DoubleClickReportsTheHoveredControl) {
  TestWindow window;
  int label = window.ui.AddStatic(L"label", 10, 10, 50, 20);
  SendMessageW(window.ui.handle, WM_SETCURSOR,
               reinterpret_cast<WPARAM>(window.ui.ControlHandle(label)),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(window.ui.hoveredControl, label);
  UiEvent hover = TakeLastRaised(window.ui);
  EXPECT_EQ(hover.code, UiEventCode::Hover);
  EXPECT_EQ(hover.param1, label);
  SendMessageW(window.ui.handle, WM_LBUTTONDBLCLK, 0, MAKELPARAM(15, 15));
  UiEvent doubleClick = TakeLastRaised(window.ui);
  EXPECT_EQ(doubleClick.code, UiEventCode::DoubleClicked);
  EXPECT_EQ(doubleClick.param1, label);
  SendMessageW(window.ui.handle, WM_CONTEXTMENU,
               reinterpret_cast<WPARAM>(window.ui.ControlHandle(label)), MAKELPARAM(100, 120));
  UiEvent menu = TakeLastRaised(window.ui);
  EXPECT_EQ(menu.code, UiEventCode::ContextMenu);
  EXPECT_EQ(menu.param1, label);
  EXPECT_EQ(menu.point.x, 100) << "a click places the menu at the pointer";
  EXPECT_EQ(menu.point.y, 120);
}

TEST(UiWindowMessages, CursorIsSetForTheWindowAndForControlsThatHaveOne) {
  TestWindow window;
  int plain = window.ui.AddStatic(L"plain", 10, 10, 50, 20);
  int link = window.ui.AddStatic(L"link", 10, 40, 50, 20);
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  window.ui.SetControlCursor(link, hand);
  auto over = [&](HWND target) {
    return SendMessageW(window.ui.handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                        MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  };
  EXPECT_EQ(over(window.ui.ControlHandle(link)), TRUE);
  EXPECT_EQ(GetCursor(), hand);
  EXPECT_EQ(over(window.ui.ControlHandle(plain)), FALSE);
  EXPECT_EQ(window.ui.hoveredControl, plain);
  window.ui.windowCursor = LoadCursorW(nullptr, IDC_CROSS);
  EXPECT_EQ(over(window.ui.handle), TRUE);
  EXPECT_EQ(GetCursor(), window.ui.windowCursor);
  EXPECT_EQ(window.ui.hoveredControl, 0);
}

TEST(UiWindowAttach, FortyEightSlotsAndDeadWindowsMakeRoom) {
  TestWindow window;
  std::wstring name = UniqueClassName(L"Attached");
  std::vector<UiWindow> attached(kAttachedWindowSlots + 1);
  for (int i = 0; i <= kAttachedWindowSlots; ++i)
    ASSERT_NE(attached[i].Create(name.c_str(), L"", 10, 10, 0, 0, WS_POPUP, &window.ui, nullptr),
              nullptr);
  for (int i = 0; i < kAttachedWindowSlots; ++i)
    EXPECT_EQ(window.ui.AttachWindow(attached[i].handle), i + 1);
  EXPECT_EQ(window.ui.AttachWindow(attached[kAttachedWindowSlots].handle), 0);
  EXPECT_EQ(window.ui.attachedCount, kAttachedWindowSlots);
  attached[5].Destroy();
  EXPECT_EQ(window.ui.AttachWindow(attached[kAttachedWindowSlots].handle), 6);
  for (int i = kAttachedWindowSlots; i >= 0; --i) attached[i].Destroy();
  DrainEvents(window.ui);
}

TEST(UiWindowAttach, AttachedWindowsMoveAlong) {
  TestWindow window;
  UiWindow follower;
  std::wstring name = UniqueClassName(L"Follower");
  ASSERT_NE(
      follower.Create(name.c_str(), L"", 50, 50, 300, 200, WS_POPUP, &window.ui, window.ui.handle),
      nullptr);
  window.ui.AttachWindow(follower.handle);
  RECT before, ownBefore;
  GetWindowRect(follower.handle, &before);
  GetWindowRect(window.ui.handle, &ownBefore);
  SetWindowPos(window.ui.handle, nullptr, ownBefore.left + 25, ownBefore.top + 15, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::PositionChanging);
  RECT after;
  GetWindowRect(follower.handle, &after);
  EXPECT_EQ(after.left, before.left + 25);
  EXPECT_EQ(after.top, before.top + 15);
  follower.Destroy();
  DrainEvents(window.ui);
}

TEST(UiWindowDestroy, ReleasesEverythingAndResetsTheObject) {
  auto window = std::make_unique<TestWindow>();
  UiWindow& ui = window->ui;
  int label = ui.AddStatic(L"label", 10, 10, 50, 20);
  ui.newControlBackColour = RGB(1, 2, 3);
  int coloured = ui.AddStatic(L"coloured", 10, 40, 50, 20);
  ui.AddTooltip(label, L"tip");
  HFONT font = ui.controls[label].font;
  HBRUSH brush = ui.controls[coloured].brush;
  HWND labelWindow = ui.ControlHandle(label);
  HWND tooltip = ui.tooltip;
  HBRUSH background = ui.background.Brush();
  HDC memory = ui.background.MemoryDc();
  ASSERT_NE(font, nullptr);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(tooltip, nullptr);
  ui.Destroy();
  EXPECT_FALSE(IsWindow(labelWindow));
  EXPECT_FALSE(IsWindow(tooltip));
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(GetObjectType(background), 0u);
  EXPECT_EQ(GetObjectType(memory), 0u);
  EXPECT_EQ(ui.handle, nullptr);
  EXPECT_EQ(ui.controlCount, 0);
  EXPECT_EQ(ui.newControlBackColour, kTransparentBackground);
  EXPECT_EQ(ui.newControlTextColour, kSystemTextColour);
  EXPECT_NE(ui.controls, nullptr);  // storage stays until Dispose
  EXPECT_FALSE(ClassExists(window->className));
}

TEST(FileDrop, ThreePathsJoinedByLineBreaksWithTheControlUnderThePoint) {
  TestWindow window;
  int list = window.ui.AddListView(L"A\nB", 20, 20, 300, 150);
  window.ui.AddListRow(list, L"row");
  std::vector<std::wstring> paths = {L"C:\\one", L"C:\\two folder\\2", L"Z:\\tmp\\three.txt"};
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop(paths, POINT{100, 120}, true)), 0);
  ASSERT_TRUE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
  UiEvent drop = window.ui.event;
  EXPECT_EQ(drop.param1, list);
  EXPECT_STREQ(drop.text.CStr(), L"C:\\one\r\nC:\\two folder\\2\r\nZ:\\tmp\\three.txt");
  EXPECT_EQ(drop.param2, reinterpret_cast<intptr_t>(drop.text.buf)) << "the copy's own text";
  EXPECT_EQ(window.ui.dropPoint.x, 100);
  EXPECT_EQ(window.ui.dropPoint.y, 120);
}

TEST(FileDrop, ChildOfAControlReportsThatControl) {
  TestWindow window;
  int list = window.ui.AddListView(L"A\nB", 20, 20, 300, 150);
  // The point lies on the list's header, a child window that is not a control.
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({L"C:\\x"}, POINT{60, 25}, true)), 0);
  ASSERT_TRUE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
  EXPECT_EQ(window.ui.event.param1, list);
  // Outside every control: 0.
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({L"C:\\y"}, POINT{380, 280}, true)), 0);
  ASSERT_TRUE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
  EXPECT_EQ(window.ui.event.param1, 0);
  EXPECT_STREQ(window.ui.event.text.CStr(), L"C:\\y");
}

TEST(FileDrop, LongPathsAreKeptWhole) {
  TestWindow window;
  std::wstring longPath = L"C:\\" + std::wstring(3000, L'p');
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({longPath, L"C:\\b"}, POINT{5, 5}, true)), 0);
  ASSERT_TRUE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
  EXPECT_EQ(std::wstring(window.ui.event.text.CStr()), longPath + L"\r\nC:\\b");
}

TEST(FileDrop, DropOutsideTheClientAreaRaisesNothing) {
  TestWindow window;
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({L"C:\\x"}, POINT{5, 5}, false)), 0);
  EXPECT_FALSE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
}

TEST(UiWindowMessages, DragsWindowControlsReportClicksAndNeverStartADragWithoutAButton) {
  TestWindow window;
  int plain = window.ui.AddStatic(L"plain", 100, 10, 50, 20, WS_VISIBLE);
  window.ui.newControlFlags = LayoutFlags::DragsWindow;
  int header = window.ui.AddStatic(L"drag", 10, 10, 50, 20);
  SendMessageW(window.ui.handle, WM_COMMAND, MAKEWPARAM(header, STN_CLICKED),
               reinterpret_cast<LPARAM>(window.ui.ControlHandle(header)));
  EXPECT_EQ(TakeLastRaised(window.ui).code, header);
  SendMessageW(window.ui.handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 15));
  EXPECT_FALSE(window.ui.EventPending());
  // A press beside the dragging controls is an ordinary button press.
  SendMessageW(window.ui.handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(105, 15));
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::LeftButtonDown);
  EXPECT_EQ(window.ui.ControlFromHandle(window.ui.ControlHandle(plain)), plain);
}
