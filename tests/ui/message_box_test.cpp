// The program's message box on real windows under Xvfb. The box runs its own
// loop; each test answers it through a thread-local hook that acts once the box
// is complete (its first button takes the focus), with messages posted to it.
#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/support/bitmap_pixels.h"
#include "tests/support/shown_text.h"
#include "tests/support/window_harness.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kBoxClass[] = L"_WINDOW_MsgBoxClass";

struct ButtonSeen {
  HWND handle;
  RECT rect;  // in the box's client coordinates
  wchar_t text[16];
  LONG style;
};

// What the hook saw of the box when it came up.
struct BoxSeen {
  HWND box = nullptr;
  RECT client{};
  RECT window{};
  std::vector<ButtonSeen> buttons;
  RECT label{};
};

std::function<void(BoxSeen&)> gAct;
BoxSeen gSeen;
HHOOK gHook = nullptr;

BOOL CALLBACK CollectChild(HWND child, LPARAM box) {
  wchar_t kind[32] = {};
  GetClassNameW(child, kind, 32);
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, reinterpret_cast<HWND>(box), reinterpret_cast<POINT*>(&rect), 2);
  if (lstrcmpiW(kind, L"Button") == 0) {
    ButtonSeen seen{child, rect, {}, GetWindowLongW(child, GWL_STYLE)};
    GetWindowTextW(child, seen.text, 16);
    gSeen.buttons.push_back(seen);
  } else if (lstrcmpiW(kind, L"Static") == 0) {
    gSeen.label = rect;
  }
  return TRUE;
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  // The box gives its first button the focus once it is complete and shown.
  if (code == HCBT_SETFOCUS && gAct) {
    HWND window = GetParent(reinterpret_cast<HWND>(wParam));
    wchar_t kind[64] = {};
    GetClassNameW(window, kind, 64);
    if (lstrcmpW(kind, kBoxClass) == 0) {
      gSeen = BoxSeen{};
      gSeen.box = window;
      GetClientRect(window, &gSeen.client);
      GetWindowRect(window, &gSeen.window);
      EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(window));
      auto act = std::move(gAct);
      gAct = nullptr;
      act(gSeen);
    }
  }
  return CallNextHookEx(gHook, code, wParam, lParam);
}

void Click(const BoxSeen& seen, const wchar_t* text) {
  for (const ButtonSeen& button : seen.buttons) {
    if (ReadsAs(button.text, text)) PostMessageW(button.handle, BM_CLICK, 0, 0);
  }
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(owner.Create(L"HARBORLINE_BOX_OWNER", L"Owner", 600, 400, 50, 60, WS_POPUP, nullptr,
                             nullptr));
    ShowWindow(owner.handle, SW_SHOWNORMAL);
    UpdateWindow(owner.handle);
    gHook = SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(gHook);
  }
  void TearDown() override {
    UnhookWindowsHookEx(gHook);
    gAct = nullptr;
    owner.Dispose();
  }
  // Shows a box, answering it with the given action.
  int Ask(MessageBoxType type, int height, int width, std::function<void(BoxSeen&)> act) {
    gAct = std::move(act);
    return static_cast<int>(ShowMessageBox(owner,
                                           L"Do you want to create a sub-directory with the "
                                           L"same name as the source?",
                                           type, height, width));
  }
  UiWindow owner;
};

TEST_F(MessageBoxTest, EachButtonGivesItsAnswer) {
  EXPECT_EQ(Ask(MessageBoxType::Ok, 120, 0, [](BoxSeen& s) { Click(s, L"OK"); }), 1);
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0, [](BoxSeen& s) { Click(s, L"Yes"); }), 1);
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0, [](BoxSeen& s) { Click(s, L"No"); }), 0);
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"Yes"); }), 1);
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"No"); }), 0);
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"Cancel"); }), -1);
  EXPECT_FALSE(IsWindow(gSeen.box)) << "the box is gone after its answer";
}

TEST_F(MessageBoxTest, CommandFromAButtonAnswersLikeItsClick) {
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0,
                [](BoxSeen& s) {
                  const ButtonSeen& cancel = s.buttons.at(2);
                  PostMessageW(s.box, WM_COMMAND,
                               MAKEWPARAM(GetDlgCtrlID(cancel.handle), BN_CLICKED),
                               reinterpret_cast<LPARAM>(cancel.handle));
                }),
            -1);
}

TEST_F(MessageBoxTest, ReturnAnswersTheFirstButton) {
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0,
                [](BoxSeen& s) {
                  HWND yes = s.buttons.at(0).handle;
                  PostMessageW(yes, WM_KEYDOWN, VK_RETURN, 0x001C0001);
                  PostMessageW(yes, WM_KEYUP, VK_RETURN, 0xC01C0001);
                }),
            1);
}

TEST_F(MessageBoxTest, EscapeAnswersCancelNoOrOkAndNeverYes) {
  // Typed keys, as a user types them: the first button ("Yes") has the focus.
  auto escape = [](BoxSeen&) { PressKey(VK_ESCAPE); };
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, escape), -1) << "Save changes: Cancel";
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0, escape), 0) << "uninstall question: No";
  EXPECT_EQ(Ask(MessageBoxType::Ok, 120, 0, escape), 1) << "a notice: OK";
}

TEST_F(MessageBoxTest, ReturnAnswersTheButtonThatHasTheFocus) {
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen&) { PressKey(VK_RETURN); }), 1);
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0,
                [](BoxSeen&) {
                  PressKey(VK_TAB);
                  PressKey(VK_RETURN);
                }),
            0);
}

TEST_F(MessageBoxTest, ClosingTheOwnerNeitherAnswersNorIsUsedUp) {
  // The owner's Close comes first; the box goes on to the user's answer and
  // leaves the Close for the owner's loop.
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0,
                [&](BoxSeen& s) {
                  PostMessageW(owner.handle, kPrivateCloseMessage, 0, 0);
                  Click(s, L"Yes");
                }),
            1);
  ASSERT_TRUE(owner.EventPending());
  EXPECT_TRUE(IsCloseOf(owner.queuedEvents.front(), owner));
}

TEST_F(MessageBoxTest, ClosingTheBoxAnswersCancelWhereThereIsOneElseNo) {
  EXPECT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0,
                [](BoxSeen& s) { PostMessageW(s.box, WM_CLOSE, 0, 0); }),
            -1);
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0,
                [](BoxSeen& s) { PostMessageW(s.box, WM_CLOSE, 0, 0); }),
            0);
  EXPECT_EQ(Ask(MessageBoxType::Ok, 120, 0,
                [](BoxSeen& s) { PostMessageW(s.box, WM_SYSCOMMAND, SC_CLOSE, 0); }),
            0);
}

TEST_F(MessageBoxTest, QuitEndsTheBoxWith50AndStaysForTheLoopOutside) {
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0, [](BoxSeen&) { PostQuitMessage(0); }), 50);
  // The loop that called the box must end as well, after the events that
  // came before the quit.
  int answer = 1;
  for (int guard = 0; guard < 1000 && answer != 0; ++guard)
    answer = PumpEvent(owner, PumpMode::Wait);
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(owner.event.code, UiEventCode::Quit);
  MSG quit;
  while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

TEST_F(MessageBoxTest, ClicksOnTheOwnerDoNotAnswer) {
  const int ownerButton = owner.AddButton(L"Owner's", 10, 10, 80, 25);
  EXPECT_EQ(Ask(MessageBoxType::YesNo, 130, 0,
                [&](BoxSeen& s) {
                  PostMessageW(owner.ControlHandle(ownerButton), BM_CLICK, 0, 0);
                  Click(s, L"No");
                }),
            0);
}

TEST_F(MessageBoxTest, DefaultWidthPlacesYesAndNo) {
  Ask(MessageBoxType::YesNo, 130, 0, [](BoxSeen& s) { Click(s, L"No"); });
  EXPECT_EQ(gSeen.client.right, 360) << "a width below 160 means 360";
  EXPECT_EQ(gSeen.client.bottom, 130);
  ASSERT_EQ(gSeen.buttons.size(), 2u);
  EXPECT_EQ(gSeen.buttons[0].rect.left, 66);
  EXPECT_EQ(gSeen.buttons[1].rect.left, 212);
  for (const ButtonSeen& button : gSeen.buttons) {
    EXPECT_EQ(button.rect.top, 130 - 37);
    EXPECT_EQ(button.rect.right - button.rect.left, 80);
    EXPECT_EQ(button.rect.bottom - button.rect.top, 25);
  }
  EXPECT_EQ(gSeen.label.left, 20);
  EXPECT_EQ(gSeen.label.top, 20);
  EXPECT_EQ(gSeen.label.right, 340);
  EXPECT_EQ(gSeen.label.bottom, 20 + 130 - 65);
  EXPECT_EQ(gSeen.buttons[0].style & BS_TYPEMASK, BS_DEFPUSHBUTTON) << "the first is the default";
  EXPECT_EQ(gSeen.buttons[1].style & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(MessageBoxTest, PositionsForThreeButtonsAndAWiderBox) {
  Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"Cancel"); });
  ASSERT_EQ(gSeen.buttons.size(), 3u);
  EXPECT_EQ(gSeen.buttons[0].rect.left, 30);
  EXPECT_EQ(gSeen.buttons[1].rect.left, 140);
  EXPECT_EQ(gSeen.buttons[2].rect.left, 250);

  Ask(MessageBoxType::YesNo, 130, 400, [](BoxSeen& s) { Click(s, L"Yes"); });
  EXPECT_EQ(gSeen.client.right, 400) << "400 is kept";
  ASSERT_EQ(gSeen.buttons.size(), 2u);
  EXPECT_EQ(gSeen.buttons[0].rect.left, 80);
  EXPECT_EQ(gSeen.buttons[1].rect.left, 240);

  Ask(MessageBoxType::Ok, 120, 0, [](BoxSeen& s) { Click(s, L"OK"); });
  ASSERT_EQ(gSeen.buttons.size(), 1u);
  EXPECT_EQ(gSeen.buttons[0].rect.left, 360 - 135);
}

TEST_F(MessageBoxTest, BoxIsCentredOnItsOwnerAndMovesWithIt) {
  RECT ownerRect;
  GetWindowRect(owner.handle, &ownerRect);
  RECT moved{};
  Ask(MessageBoxType::Ok, 120, 0, [&](BoxSeen& s) {
    SetWindowPos(owner.handle, nullptr, ownerRect.left + 30, ownerRect.top + 20, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(s.box, &moved);
    Click(s, L"OK");
  });
  EXPECT_EQ(gSeen.window.left, ownerRect.left + (ownerRect.right - ownerRect.left) / 2 - 180);
  EXPECT_EQ(gSeen.window.top, ownerRect.top + (ownerRect.bottom - ownerRect.top) / 2 - 60);
  EXPECT_EQ(moved.left, gSeen.window.left + 30);
  EXPECT_EQ(moved.top, gSeen.window.top + 20);
}

TEST_F(MessageBoxTest, RestoresAMinimisedOwner) {
  ShowWindow(owner.handle, SW_MINIMIZE);
  Ask(MessageBoxType::Ok, 120, 0, [](BoxSeen& s) { Click(s, L"OK"); });
  EXPECT_FALSE(IsIconic(owner.handle));
}

TEST_F(MessageBoxTest, OwnerWithoutWindowStillGetsAnAnswer) {
  // Before the program's first window exists (the uninstaller's question).
  UiWindow unborn;
  gAct = [](BoxSeen& s) { Click(s, L"Yes"); };
  EXPECT_EQ(ShowMessageBox(unborn, L"Are you sure you want to uninstall Harborline Backup?",
                           MessageBoxType::YesNo, 130, 0),
            MessageBoxAnswer::Yes);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(gSeen.window.left, work.left + (work.right - work.left) / 2 - 180);
}

TEST_F(MessageBoxTest, RepeatedBoxesLeaveNoGdiObjectsBehind) {
  Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"No"); });
  const int32_t before = GdiObjectCount();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Ask(MessageBoxType::YesNoCancel, 150, 0, [](BoxSeen& s) { Click(s, L"No"); }), 0);
  }
  EXPECT_EQ(GdiObjectCount(), before);
}

}  // namespace
