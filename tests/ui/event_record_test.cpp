// The shared event record: events queue instead of overwriting each other,
// loops own their copies, only a destroyed window's messages and events go,
// a quit reaches every loop, the wake-up ticker never floods a queue.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/pending_messages.h"
#include "tests/support/window_harness.h"
#include "ui/ui_window.h"
#include "ui/wake_ticker.h"

namespace {

std::vector<int32_t> Codes(const std::vector<UiEvent>& events) {
  std::vector<int32_t> codes;
  for (const UiEvent& event : events) codes.push_back(event.code);
  return codes;
}

bool Contains(const std::vector<int32_t>& codes, int32_t code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Every event that pumping brings, with its source, until the queue is empty.
std::vector<UiEvent> PumpEveryEvent(UiWindow& record) {
  std::vector<UiEvent> events;
  for (int guard = 0; guard < 10000; ++guard) {
    MSG peek;
    if (!record.EventPending() && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
    if (PumpEvent(record, PumpMode::Poll) != 0) events.push_back(record.event);
  }
  return events;
}

int ListWithRows(UiWindow& window, int rows) {
  const int list = window.AddListView(L"A\nB", 10, 10, 300, 150);
  for (int row = 0; row < rows; ++row) window.AddListRow(list, std::to_wstring(row).c_str());
  return list;
}

}  // namespace

TEST(EventQueue, AClickOnAnotherRowReportsTheDeselectionToo) {
  TestWindow window;
  ASSERT_TRUE(window.Activate());
  const int list = ListWithRows(window.ui, 3);
  window.ui.SelectRow(list, 0);
  DrainEvents(window.ui);
  RECT row{};
  row.left = LVIR_LABEL;
  window.ui.SendToControl(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
  POINT middle{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
  ClientToScreen(window.ui.ControlHandle(list), &middle);
  ClickAt(middle);
  std::vector<UiEvent> seen;
  ASSERT_TRUE(PumpUntil(window.ui, [&] {
    if (window.ui.event.code) seen.push_back(window.ui.event);
    window.ui.event.code = 0;
    return !seen.empty() && seen.back().code == UiEventCode::ItemSelected;
  }));
  std::vector<int32_t> codes = Codes(seen);
  auto deselected = std::find(codes.begin(), codes.end(), ToCode(UiEventCode::ItemDeselected));
  ASSERT_NE(deselected, codes.end()) << "the row that lost the selection is reported";
  EXPECT_EQ(seen[deselected - codes.begin()].param2, 0);
  EXPECT_EQ(seen.back().param2, 2);
  EXPECT_EQ(window.ui.SelectedRow(list), 2);
}

TEST(EventQueue, ACallDuringHandlingNeverOverwritesTheLoopsEvent) {
  TestWindow window;
  const int list = ListWithRows(window.ui, 1);
  const int button = window.ui.AddButton(L"Go", 10, 200, 80, 25);
  DrainEvents(window.ui);
  PostMessageW(window.ui.ControlHandle(button), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntilEventFrom(window.ui, window.ui, button));
  UiEvent event = window.ui.event;  // the loop's own copy
  // The handler changes the list; the event it handles stays what it was.
  window.ui.SetRowChecked(list, 0, true);
  EXPECT_TRUE(event.IsCommand(window.ui, button));
  ASSERT_TRUE(NextEvent(window.ui, event));
  EXPECT_EQ(event.code, UiEventCode::ItemChecked) << "the change comes next, not instead";
}

TEST(EventQueue, MutedChangesRaiseNothingAndTheMuteEnds) {
  TestWindow window;
  const int list = ListWithRows(window.ui, 2);
  DrainEvents(window.ui);
  {
    UiEventMute mute(window.ui);
    window.ui.SetRowChecked(list, 0, true);
    window.ui.SelectRow(list, 1);
    window.ui.SetRowChecked(list, 1, true);
  }
  EXPECT_FALSE(window.ui.EventPending()) << "loading a job is no change by the user";
  window.ui.SetRowChecked(list, 0, false);
  EXPECT_EQ(TakeLastRaised(window.ui).code, UiEventCode::ItemUnchecked);
}

TEST(EventQueue, QueuedEventsSurviveAnotherWindowsCreationAndDestruction) {
  TestWindow window;
  const int start = window.ui.AddButton(L"Start backup", 10, 10, 120, 30);
  window.ui.activeWindow = &window.ui;
  DrainEvents(window.ui);
  PostMessageW(window.ui.ControlHandle(start), BM_CLICK, 0, 0);
  PostMessageW(window.ui.handle, WM_CLOSE, 0, 0);
  {
    UiWindow dialog;
    std::wstring name = UniqueClassName(L"Passing");
    ASSERT_TRUE(dialog.Create(name.c_str(), L"", 200, 100, kCentred, kCentred, WS_POPUP, &window.ui,
                              window.ui.handle));
    EXPECT_EQ(window.ui.activeWindow, &window.ui) << "creation leaves the record alone";
    dialog.AddEdit(10);
    const int button = dialog.AddButton(L"OK", 10, 40, 80, 25);
    // What belongs to the dialog goes with it: its queued event, its messages.
    dialog.RaiseEvent(UiEventCode::Moved, WM_MOVE, dialog.handle, 0, 0);
    PostMessageW(dialog.ControlHandle(button), BM_CLICK, 0, 0);
    EXPECT_TRUE(dialog.RemoveControl(button));
    dialog.Dispose();
  }
  std::vector<UiEvent> seen = PumpEveryEvent(window.ui);
  std::vector<int32_t> codes = Codes(seen);
  EXPECT_TRUE(Contains(codes, start)) << "the click on Start backup is still there";
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(),
                          [&](const UiEvent& event) { return IsCloseOf(event, window.ui); }));
  EXPECT_FALSE(Contains(codes, ToCode(UiEventCode::Moved)));
}

TEST(EventQueue, AnotherPumpDispatchingTheQueueLosesNoEvent) {
  // The engine's pump runs on the window thread during long deletions.
  TestWindow window;
  const int start = window.ui.AddButton(L"Start backup", 10, 10, 120, 30);
  DrainEvents(window.ui);
  PostMessageW(window.ui.ControlHandle(start), BM_CLICK, 0, 0);
  PostMessageW(window.ui.handle, WM_CLOSE, 0, 0);
  PostMessageW(window.ui.handle, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_TRUE(PumpMessages());
  MSG key;
  EXPECT_TRUE(PeekMessageW(&key, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE))
      << "keys stay for the loop that owns the window, which knows what Escape means";
  std::vector<int32_t> codes = Codes(PumpEveryEvent(window.ui));
  EXPECT_TRUE(Contains(codes, start));
  EXPECT_TRUE(Contains(codes, ToCode(UiEventCode::Close)));
}

TEST(EventQueue, AQuitInANestedLoopEndsTheLoopOutsideToo) {
  TestWindow window;
  DrainEvents(window.ui);
  PostQuitMessage(4);
  UiEvent event;
  int nestedRounds = 0;
  while (NextEvent(window.ui, event) && nestedRounds < 1000) ++nestedRounds;
  EXPECT_EQ(event.code, UiEventCode::Quit);
  bool outerGoesOn = true;
  for (int guard = 0; guard < 1000 && outerGoesOn; ++guard)
    outerGoesOn = NextEvent(window.ui, event);
  EXPECT_FALSE(outerGoesOn) << "the outer loop would otherwise wait forever";
  MSG quit;
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 4u) << "the exit code travels along";
  ForgetQuit();
}

TEST(EventQueue, AnEventCopyOwnsItsText) {
  TestWindow window;
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({L"C:\\first"}, POINT{5, 5}, true)), 0);
  UiEvent first;
  ASSERT_TRUE(NextEvent(window.ui, first));
  ASSERT_EQ(first.code, UiEventCode::FilesDropped);
  PostMessageW(window.ui.handle, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeFileDrop({L"C:\\second"}, POINT{5, 5}, true)), 0);
  ASSERT_TRUE(PumpUntilEvent(window.ui, UiEventCode::FilesDropped));
  EXPECT_STREQ(first.Text(), L"C:\\first") << "the next drop does not touch it";
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(first.param2), L"C:\\first");
}

TEST(WakeTicker, PostsOnlyWhenItsLastWakeUpWasTakenAndStopsWhenAsked) {
  TestWindow window;
  DrainEvents(window.ui);
  WakeTicker ticker;
  ASSERT_TRUE(ticker.Start(window.ui.handle));
  // A window thread that reads nothing for a while finds one wake-up, not
  // one per 20 ms.
  Sleep(300);
  int wakeUps = 0;
  MSG message;
  while (PeekMessageW(&message, window.ui.handle, WM_NULL, WM_NULL, PM_REMOVE)) {
    ++wakeUps;
    DispatchMessageW(&message);  // as another pump would: still taken
  }
  EXPECT_EQ(wakeUps, 1);
  // Taken, so the next one comes; this time through PumpEvent.
  EXPECT_TRUE(PumpUntil(window.ui, [&] { return window.ui.lastMessage.message == WM_NULL; }));
  window.ui.lastMessage = MSG{};
  EXPECT_TRUE(PumpUntil(window.ui, [&] { return window.ui.lastMessage.message == WM_NULL; }));
  ticker.Stop();
  EXPECT_FALSE(ticker.Running());
  while (PeekMessageW(&message, window.ui.handle, WM_NULL, WM_NULL, PM_REMOVE)) {
  }
  Sleep(100);
  EXPECT_FALSE(PeekMessageW(&message, window.ui.handle, WM_NULL, WM_NULL, PM_NOREMOVE))
      << "a stopped ticker posts nothing";
}
