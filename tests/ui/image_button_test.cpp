#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/support/bitmap_pixels.h"
#include "tests/support/window_harness.h"
#include "ui/ui_window.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGrey = 0xFF808080;

// Decoded images for the four states, disposed with the fixture.
class ImageButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    // The real pointer stays away: over a button it would make it hot.
    MovePointerTo(POINT{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1});
    normal_ = MakeImage(20, 20, kRed);
    hot_ = MakeImage(20, 20, kGreen);
    focused_ = MakeImage(20, 20, kBlue);
    disabled_ = MakeImage(20, 20, kGrey);
    ASSERT_TRUE(normal_ && hot_ && focused_ && disabled_);
  }
  void TearDown() override {
    for (Gdiplus::GpBitmap* image : {normal_, hot_, focused_, disabled_}) DisposeImage(image);
  }

  // The state the button shows, read from its pixels on screen: each state's
  // image has a colour of its own. -1 for anything else.
  int State(int index) {
    HWND control = window_.ui.ControlHandle(index);
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(control);
    const COLORREF shown = GetPixel(dc, 10, 10);
    ReleaseDC(control, dc);
    const struct {
      uint32_t argb;
      int state;
    } looks[] = {
        {kRed, kImageNormal}, {kGreen, kImageHot}, {kBlue, kImageFocused}, {kGrey, kImageDisabled}};
    for (const auto& look : looks) {
      const uint32_t rgb = look.argb;
      if (shown == RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF)) return look.state;
    }
    return -1;
  }
  HBITMAP Shown(int index) {
    return reinterpret_cast<HBITMAP>(
        SendMessageW(window_.ui.ControlHandle(index), STM_GETIMAGE, IMAGE_BITMAP, 0));
  }
  void PointAt(HWND over) {
    SendMessageW(window_.ui.handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }

  TestWindow window_{650, 300};
  Gdiplus::GpBitmap* normal_ = nullptr;
  Gdiplus::GpBitmap* hot_ = nullptr;
  Gdiplus::GpBitmap* focused_ = nullptr;
  Gdiplus::GpBitmap* disabled_ = nullptr;
};

}  // namespace

TEST_F(ImageButtonTest, CreatedAtTheTopWithHandCursorShowingTheNormalImage) {
  int button = window_.ui.AddImageButton(normal_, hot_, 590);
  ASSERT_NE(button, 0);
  const UiControl& control = window_.ui.controls[button];
  EXPECT_EQ(control.kind, ControlKind::ImageButton);
  EXPECT_EQ(control.x, 590);
  EXPECT_EQ(control.y, 4);
  EXPECT_EQ(control.width, 20);
  EXPECT_EQ(control.cursor, LoadCursorW(nullptr, IDC_HAND));
  LONG style = GetWindowLongW(control.handle, GWL_STYLE);
  EXPECT_EQ(style & SS_TYPEMASK, SS_BITMAP);
  EXPECT_TRUE(style & SS_NOTIFY);
  EXPECT_EQ(State(button), kImageNormal);
  ASSERT_NE(control.kindData.imageButton->images[kImageNormal], nullptr);
  ASSERT_NE(control.kindData.imageButton->images[kImageHot], nullptr);
  EXPECT_EQ(control.kindData.imageButton->images[kImageFocused], nullptr);
  EXPECT_NE(Shown(button), nullptr);
}

TEST_F(ImageButtonTest, HoverShowsTheHotImageAndLeavingRestoresTheNormalOne) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  int label = ui.AddStatic(L"label", 100, 100, 50, 20);
  PointAt(ui.ControlHandle(button));
  EXPECT_EQ(State(button), kImageHot);
  EXPECT_EQ(ui.hoveredControl, button);
  UiEvent hover = TakeLastRaised(ui);
  EXPECT_EQ(hover.code, UiEventCode::Hover);
  EXPECT_EQ(hover.param1, button);
  PointAt(ui.ControlHandle(label));
  EXPECT_EQ(State(button), kImageNormal);
  PointAt(ui.ControlHandle(button));
  SendMessageW(ui.handle, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(State(button), kImageNormal);
  EXPECT_EQ(ui.hoveredControl, 0);
}

TEST_F(ImageButtonTest, FocusedLookStaysWhileThePointerPassesAndGoesWithTheFocus) {
  UiWindow& ui = window_.ui;
  ASSERT_TRUE(window_.Activate());
  int button = ui.AddImageButton(normal_, hot_, 10);
  int other = ui.AddButton(L"other", 100, 100, 80, 25);
  ASSERT_TRUE(ui.SetImageButtonStateImage(button, kImageFocused, focused_));
  ui.SetControlState(button, kStateFocus);
  ASSERT_EQ(GetFocus(), ui.ControlHandle(button));
  EXPECT_EQ(State(button), kImageFocused);
  PointAt(ui.ControlHandle(button));
  EXPECT_EQ(State(button), kImageFocused);
  PointAt(ui.handle);
  EXPECT_EQ(State(button), kImageFocused);
  ui.SetControlState(other, kStateFocus);
  EXPECT_EQ(State(button), kImageNormal);
  DrainEvents(ui);
}

TEST_F(ImageButtonTest, MissingStateImagesFallBack) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  // Focused without its own image: the hot image.
  EXPECT_TRUE(ui.SetImageButtonState(button, kImageFocused));
  EXPECT_EQ(State(button), kImageHot);
  // Disabled without its own image: the normal image.
  EXPECT_TRUE(ui.SetImageButtonState(button, kImageDisabled));
  EXPECT_EQ(State(button), kImageNormal);
  EXPECT_FALSE(ui.SetImageButtonState(button, 4));
  int bare = ui.AddImageButton(normal_, nullptr, 40);
  EXPECT_TRUE(ui.SetImageButtonState(bare, kImageFocused));
  EXPECT_EQ(State(bare), kImageNormal);
}

TEST_F(ImageButtonTest, LeavingTheWindowStraightFromTheButtonEndsTheHoverLook) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  RECT area;
  GetWindowRect(ui.ControlHandle(button), &area);
  MovePointerTo(POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2});
  ASSERT_TRUE(PumpUntil(ui, [&] { return State(button) == kImageHot; }));
  // Straight out of the window: the window itself hears nothing more.
  MovePointerTo(POINT{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1});
  EXPECT_TRUE(PumpUntil(ui, [&] { return State(button) == kImageNormal; }));
  EXPECT_EQ(ui.hoveredControl, 0);
}

TEST_F(ImageButtonTest, DisablingShowsTheDisabledImageAndRefusesHover) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  ui.SetImageButtonStateImage(button, kImageDisabled, disabled_);
  ui.SetControlState(button, kStateDisable);
  EXPECT_EQ(State(button), kImageDisabled);
  PointAt(ui.ControlHandle(button));
  EXPECT_EQ(State(button), kImageDisabled);
  ui.SetControlState(button, kStateEnable);
  EXPECT_EQ(State(button), kImageNormal);
}

TEST_F(ImageButtonTest, ClickAndReturnKeyReportTheButton) {
  UiWindow& ui = window_.ui;
  ASSERT_TRUE(window_.Activate());
  int button = ui.AddImageButton(normal_, hot_, 10);
  SendMessageW(ui.handle, WM_COMMAND, MAKEWPARAM(button, STN_CLICKED),
               reinterpret_cast<LPARAM>(ui.ControlHandle(button)));
  EXPECT_EQ(TakeLastRaised(ui).code, button);
  EXPECT_EQ(GetFocus(), ui.ControlHandle(button));
  DrainEvents(ui);
  PostMessageW(ui.ControlHandle(button), WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_EQ(PumpEvent(ui, PumpMode::Poll), button);
  DrainEvents(ui);
}

TEST_F(ImageButtonTest, ShownBitmapStaysAliveAndReplacedOnesAreDeleted) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  ImageButtonImages& record = *ui.controls[button].kindData.imageButton;
  HBITMAP oldNormal = record.images[kImageNormal];
  HBITMAP oldHot = record.images[kImageHot];
  PointAt(ui.ControlHandle(button));
  ASSERT_TRUE(ui.SetImageButtonImages(button, hot_, normal_));
  EXPECT_EQ(GetObjectType(oldNormal), 0u);
  EXPECT_EQ(GetObjectType(oldHot), 0u);
  // Back to the normal state, which now shows the green image.
  EXPECT_EQ(State(button), kImageHot);
  HBITMAP shown = Shown(button);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(GetObjectType(shown), static_cast<DWORD>(OBJ_BITMAP));
  ASSERT_TRUE(ui.SetImageButtonStateImage(button, kImageNormal, focused_));
  EXPECT_EQ(GetObjectType(Shown(button)), static_cast<DWORD>(OBJ_BITMAP));
  HBITMAP last = record.images[kImageNormal];
  ui.RemoveControl(button);
  EXPECT_EQ(GetObjectType(last), 0u);
}

TEST(GdiObjectCount, CountsObjectsAsTheyAreMadeAndDeleted) {
  int before = GdiObjectCount();
  if (before < 0) GTEST_SKIP() << "no way to count GDI objects here";
  HBRUSH brushes[10];
  for (HBRUSH& brush : brushes) brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(GdiObjectCount(), before + 10);
  for (HBRUSH brush : brushes) DeleteObject(brush);
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(ImageButtonTest, ReplacingImagesRepeatedlyLeaksNoGdiObjects) {
  UiWindow& ui = window_.ui;
  int button = ui.AddImageButton(normal_, hot_, 10);
  auto cycle = [&] {
    for (int i = 0; i < 50; ++i) {
      ui.SetImageButtonImages(button, i % 2 ? normal_ : hot_, focused_);
      ui.SetImageButtonStateImage(button, kImageDisabled, disabled_);
      ui.SetImageButtonState(button, kImageHot);
      ui.SetImageButtonState(button, kImageDisabled);
      ui.SetImageButtonState(button, kImageNormal);
    }
  };
  cycle();
  int before = GdiObjectCount();
  if (before < 0) GTEST_SKIP() << "GetGuiResources does not count GDI objects here";
  cycle();
  EXPECT_EQ(GdiObjectCount(), before);
  for (int i = 0; i < 20; ++i) ui.RemoveControl(ui.AddImageButton(normal_, hot_, 10));
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(ImageButtonTest, RemovedPushButtonTakesItsImageAlong) {
  UiWindow& ui = window_.ui;
  int button = ui.AddButton(L"   Save", 10, 10, 100, 32);
  HWND handle = ui.ControlHandle(button);
  HDC screen = GetDC(nullptr);
  HBITMAP shown = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  SendMessageW(handle, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown));
  ui.RemoveControl(button);
  EXPECT_EQ(GetObjectType(shown), 0u);
}
