// Drawing on real toolkit windows under Xvfb: the dialog frame, background
// images and the brushes cut from them, and images on push buttons.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/bitmap_pixels.h"
#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_window.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBand = 0xF0F0FF;

// A main window and a dialog on its event record, as the program makes them.
class DialogWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(main.Create(L"HARBORLINE_DRAW_MAIN", L"Main", 650, 525, 20, 20, WS_POPUP, nullptr,
                            nullptr));
    ASSERT_TRUE(dialog.Create(L"HARBORLINE_DRAW_DIALOG", L"", 450, 280, -1, -1, WS_POPUP, &main,
                              main.handle));
  }
  void TearDown() override {
    dialog.Dispose();
    main.Dispose();
  }
  UiWindow main;
  UiWindow dialog;
};

TEST_F(DialogWindows, ApplyDialogSkin_PaintsFrameBodyAndFooterBand) {
  ASSERT_EQ(ApplyDialogSkin(main, dialog, 280), dialog.handle);
  BitmapPixels pixels(dialog.backgroundBitmap);
  ASSERT_EQ(pixels.width, 450);
  ASSERT_EQ(pixels.height, 280);
  // The 4-pixel black frame on every side.
  for (int edge = 0; edge < 4; ++edge) {
    EXPECT_EQ(pixels.Rgb(edge, 140), kBlack) << edge;
    EXPECT_EQ(pixels.Rgb(449 - edge, 140), kBlack) << edge;
    EXPECT_EQ(pixels.Rgb(225, edge), kBlack) << edge;
    EXPECT_EQ(pixels.Rgb(225, 279 - edge), kBlack) << edge;
  }
  // White body from the fifth pixel on, then the band whose top edge is at
  // height - 44.
  EXPECT_EQ(pixels.Rgb(4, 140), kWhite);
  EXPECT_EQ(pixels.Rgb(445, 140), kWhite);
  EXPECT_EQ(pixels.Rgb(225, 4), kWhite);
  EXPECT_EQ(pixels.Rgb(5, 5 + 4), kWhite);
  EXPECT_EQ(pixels.Rgb(225, 100), kWhite);
  EXPECT_EQ(pixels.Rgb(225, 235), kWhite);
  EXPECT_EQ(pixels.Rgb(225, 236), kBand);
  EXPECT_EQ(pixels.Rgb(10, 250), kBand);
  EXPECT_EQ(pixels.Rgb(439, 275), kBand);
  EXPECT_EQ(dialog.backgroundMode, 1);
}

TEST_F(DialogWindows, ApplyDialogSkin_RoundsCentresAndAttachesTheDialog) {
  ASSERT_EQ(ApplyDialogSkin(main, dialog, 280), dialog.handle);
  GdiObjectHolder<HRGN> region(CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(GetWindowRgn(dialog.handle, region.Get()), ERROR);
  EXPECT_FALSE(PtInRegion(region.Get(), 0, 0));
  EXPECT_TRUE(PtInRegion(region.Get(), 225, 140));

  RECT outer, inner;
  GetWindowRect(main.handle, &outer);
  GetWindowRect(dialog.handle, &inner);
  EXPECT_EQ(inner.left, outer.left + (outer.right - outer.left) / 2 - 225);
  EXPECT_EQ(inner.top, outer.top + (outer.bottom - outer.top) / 2 - 140);

  bool attached = false;
  for (HWND window : main.attachedWindows) attached |= window == dialog.handle;
  EXPECT_TRUE(attached);
}

TEST(ApplyDialogSkin, FailsForADialogWithoutWindow) {
  UiWindow main, dialog;
  EXPECT_EQ(ApplyDialogSkin(main, dialog, 200), nullptr);
}

// A 4 x 4 checkerboard: any smoothing would show in its pixels.
ImagePtr Checkerboard() {
  ImagePtr image(MakeImage(4, 4, 0xFF000000));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      if ((x + y) % 2) Gdiplus::DllExports::GdipBitmapSetPixel(image.get(), x, y, 0xFFFFFFFF);
    }
  }
  return image;
}

TEST_F(DialogWindows, SetBackgroundImage_UsesAnImageOfTheRightSizeUnscaled) {
  ImagePtr image = Checkerboard();
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 4, 4));
  BitmapPixels pixels(dialog.backgroundBitmap);
  ASSERT_EQ(pixels.width, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixels.Rgb(x, y), (x + y) % 2 ? kWhite : kBlack);
  }
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), -1, -1));
  EXPECT_EQ(BitmapPixels(dialog.backgroundBitmap).width, 4) << "-1 takes the image's own size";
}

TEST_F(DialogWindows, SetBackgroundImage_ScalesToTheClientSizeForZero) {
  ImagePtr image(MakeImage(10, 10, 0xFF3366CC));
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 0, 0));
  BitmapPixels pixels(dialog.backgroundBitmap);
  EXPECT_EQ(pixels.width, 450);
  EXPECT_EQ(pixels.height, 280);
  EXPECT_EQ(pixels.Rgb(200, 100), 0x3366CCu);
  EXPECT_FALSE(SetBackgroundImage(dialog, nullptr, 0, 0));
}

TEST_F(DialogWindows, SetBackgroundImage_ReplacesWithoutLeaking) {
  ImagePtr image(MakeImage(20, 20, 0xFF808080));
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 30, 30));
  const int32_t before = GdiObjectCount();
  for (int i = 0; i < 40; ++i) {
    HBITMAP previous = dialog.backgroundBitmap;
    HBRUSH previousBrush = dialog.backgroundBrush;
    ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 30 + i % 3, 30));
    EXPECT_EQ(GetObjectType(previous), 0u);
    EXPECT_EQ(GetObjectType(previousBrush), 0u);
    EXPECT_EQ(GetCurrentObject(dialog.memoryDc, OBJ_BITMAP), dialog.backgroundBitmap)
        << "the memory context holds the current background";
  }
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(DialogWindows, ControlBackgroundBrush_CutsTheBackgroundUnderTheControl) {
  const int label = dialog.AddStatic(L"label", 100, 230, 80, 20);
  ASSERT_GT(label, 0);
  HDC screen = GetDC(dialog.handle);
  EXPECT_EQ(ControlBackgroundBrush(dialog, label, screen), dialog.backgroundBrush)
      << "a solid background needs no cut";
  ASSERT_EQ(ApplyDialogSkin(main, dialog, 280), dialog.handle);

  HBRUSH brush = ControlBackgroundBrush(dialog, label, screen);
  ASSERT_TRUE(brush);
  EXPECT_NE(brush, dialog.backgroundBrush);
  // Painted from the control's corner, the brush shows the background there:
  // white body above y 236, the band below.
  GdiObjectHolder<HBITMAP> canvas(CreateCompatibleBitmap(screen, 80, 20));
  MemoryDcHolder paint(screen);
  paint.Select(canvas.Get());
  RECT all{0, 0, 80, 20};
  FillRect(paint.Get(), &all, brush);
  EXPECT_EQ(GetPixel(paint.Get(), 40, 2), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(paint.Get(), 40, 10), RGB(240, 240, 255));

  HBRUSH again = ControlBackgroundBrush(dialog, label, screen);
  EXPECT_EQ(GetObjectType(brush), 0u) << "each request replaces the previous brush";
  EXPECT_EQ(dialog.controlAreaBrush, again);
  EXPECT_EQ(ControlBackgroundBrush(dialog, 99, screen), nullptr);
  ReleaseDC(dialog.handle, screen);
}

TEST_F(DialogWindows, RoundClientRegion_CutsTheClientAreaOfAFramedWindow) {
  UiWindow framed;
  ASSERT_TRUE(framed.Create(L"HARBORLINE_DRAW_FRAMED", L"Framed", 300, 200, 40, 40, kDefaultStyle,
                            &main, nullptr));
  ASSERT_TRUE(RoundClientRegion(framed));
  RECT frame;
  GetWindowRect(framed.handle, &frame);
  POINT origin{0, 0};
  ClientToScreen(framed.handle, &origin);
  const int dx = origin.x - frame.left, dy = origin.y - frame.top;
  GdiObjectHolder<HRGN> region(CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(GetWindowRgn(framed.handle, region.Get()), ERROR);
  EXPECT_TRUE(PtInRegion(region.Get(), dx + 150, dy + 100));
  EXPECT_FALSE(PtInRegion(region.Get(), dx, dy)) << "the client corner is rounded";
  EXPECT_TRUE(PtInRegion(region.Get(), dx + 150, dy)) << "the top edge is the client's";
  EXPECT_FALSE(dy > 0 && PtInRegion(region.Get(), dx + 150, dy - 1)) << "the caption is cut";
  EXPECT_EQ(framed.referenceWidth, 300);
  EXPECT_EQ(framed.referenceHeight, 200);
  framed.Dispose();
}

// Push buttons and their images.
class ButtonImages : public DialogWindows {
 protected:
  void SetUp() override {
    DialogWindows::SetUp();
    button = dialog.AddButton(L"   Add folder pair", 20, 20, 150, 28);
    ASSERT_GT(button, 0);
  }
  HWND Button() { return dialog.ControlHandle(button); }
  HBITMAP Shown() {
    return reinterpret_cast<HBITMAP>(SendMessageW(Button(), BM_GETIMAGE, IMAGE_BITMAP, 0));
  }
  int button = 0;
};

// GDI objects the platform's own button loses when BM_SETIMAGE replaces one
// image with another and the caller deletes the image handed back: 0 on
// Windows; Wine's button keeps a private copy of each image and drops it
// without deleting it on replacement (it frees only the last one, when the
// button is destroyed). Measured by hand, outside the code under test.
int32_t PlatformLossPerDirectReplacement(HWND parent) {
  HWND button =
      CreateWindowExW(0, L"Button", L"", WS_CHILD, 0, 0, 40, 20, parent, nullptr, nullptr, nullptr);
  auto replace = [button] {
    HBITMAP old = reinterpret_cast<HBITMAP>(SendMessageW(
        button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(CreateBlankDib(8, 8))));
    if (old) DeleteObject(old);
  };
  replace();
  const int32_t before = GdiObjectCount();
  for (int i = 0; i < 10; ++i) replace();
  const int32_t loss = (GdiObjectCount() - before) / 10;
  DeleteObject(reinterpret_cast<HBITMAP>(SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0)));
  DestroyWindow(button);
  return loss;
}

TEST_F(ButtonImages, DirectImageIsTheButtonsOwnCopy) {
  HBITMAP mine = CreateBlankDib(18, 18);
  ASSERT_TRUE(SetButtonImage(dialog, button, -1, mine, 18, 18));
  HBITMAP shown = Shown();
  ASSERT_TRUE(shown);
  EXPECT_NE(shown, mine);
  DeleteObject(mine);  // the caller keeps and deletes what it passed
  ASSERT_NE(GetObjectType(shown), 0u) << "the button never shows a deleted bitmap";
  BitmapPixels pixels(shown);
  EXPECT_EQ(pixels.width, 18);
  EXPECT_EQ(pixels.At(9, 9), 0x01000000u);
}

TEST_F(ButtonImages, ResourceImageStaysAliveOnTheButton) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, -1, -1, nullptr, 141, 18, 18));
  HBITMAP shown = Shown();
  ASSERT_TRUE(shown);
  ASSERT_NE(GetObjectType(shown), 0u) << "the button never shows a deleted bitmap";
  BitmapPixels pixels(shown);
  ASSERT_EQ(pixels.width, 18);
  EXPECT_EQ(pixels.At(9, 9) >> 24, 0xFFu) << "the middle of the image is opaque";
  EXPECT_EQ(pixels.At(0, 0) >> 24, 0u) << "its corner transparent";
}

TEST_F(ButtonImages, MissingResourceOrNoBitmapGivesABlankImage) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 999, 16, 16));
  BitmapPixels pixels(Shown());
  ASSERT_EQ(pixels.width, 16);
  EXPECT_EQ(pixels.At(3, 3), 0x01000000u);
  ASSERT_TRUE(SetButtonImage(dialog, button, -1, nullptr, 12, 12));
  EXPECT_EQ(BitmapPixels(Shown()).width, 12);
}

TEST_F(ButtonImages, ImageListPositionUsesALeftAlignedList) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 146, 20, 20));
  BUTTON_IMAGELIST list{};
  ASSERT_TRUE(SendMessageW(Button(), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)));
  ASSERT_TRUE(list.himl);
  EXPECT_EQ(list.uAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_LEFT));
  EXPECT_EQ(ImageList_GetImageCount(list.himl), 1);
  int width = 0, height = 0;
  ImageList_GetIconSize(list.himl, &width, &height);
  EXPECT_EQ(width, 20);
  EXPECT_EQ(height, 20);
}

TEST_F(ButtonImages, OnlyPushButtonsTakeImages) {
  const int label = dialog.AddStatic(L"label", 20, 60, 80, 20);
  EXPECT_FALSE(SetButtonImage(dialog, label, -1, nullptr, 16, 16));
  EXPECT_FALSE(SetButtonImageFromResource(dialog, 77, -1, nullptr, 141, 16, 16));
}

TEST_F(ButtonImages, ReplacingImagesRepeatedlyKeepsGdiObjectsFlat) {
  const int32_t platformLoss = PlatformLossPerDirectReplacement(dialog.handle);
  // One round of every kind of replacement first, so that lazily made objects
  // (fonts, caches of the controls) exist before counting.
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141, 18, 18));
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 142, 18, 18));
  const int32_t before = GdiObjectCount();
  constexpr int kRounds = 60;
  for (int round = 0; round < kRounds; ++round) {
    HBITMAP previous = Shown();
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141 + round % 12, 18, 18));
    ASSERT_NE(GetObjectType(Shown()), 0u);
    EXPECT_EQ(GetObjectType(previous), 0u) << "the replaced image is deleted";
    HBITMAP mine = CreateBlankDib(18, 18);
    ASSERT_TRUE(SetButtonImage(dialog, button, -1, mine, 18, 18));
    DeleteObject(mine);
    ASSERT_NE(GetObjectType(Shown()), 0u);
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 143, 18, 18));
    ASSERT_TRUE(SetButtonImage(dialog, button, -1, nullptr, 18, 18));
  }
  // Three direct replacements a round; image lists are replaced without loss.
  EXPECT_EQ(GdiObjectCount() - before, kRounds * 3 * platformLoss);
}

TEST_F(ButtonImages, ReplacingImageListsKeepsGdiObjectsExactlyFlat) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 142, 18, 18));
  const int32_t before = GdiObjectCount();
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 141 + round % 12, 18, 18));
    ASSERT_TRUE(SetButtonImage(dialog, button, 0, nullptr, 16, 16));
  }
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(ButtonImages, RemovingOrDestroyingButtonsReleasesTheirImages) {
  // Removal takes the shown image back with one direct replacement (by none).
  const int32_t platformLoss = PlatformLossPerDirectReplacement(dialog.handle);
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141, 18, 18));
  const int32_t before = GdiObjectCount();
  for (int round = 0; round < 20; ++round) {
    const int extra = dialog.AddButton(L"   Save", 20, 60, 100, 32);
    ASSERT_TRUE(SetButtonImageFromResource(dialog, extra, -1, nullptr, 144, 20, 20));
    ASSERT_TRUE(SetButtonImageFromResource(dialog, extra, 0, nullptr, 144, 20, 20));
    ASSERT_TRUE(dialog.RemoveControl(extra));
  }
  EXPECT_EQ(GdiObjectCount() - before, 20 * platformLoss);

  // A whole window destroyed with its buttons leaves nothing behind either
  // (after a first window of the kind, which leaves the platform's caches).
  UiWindow other;
  other.Create(L"HARBORLINE_DRAW_OTHER", L"", 200, 100, 0, 0, WS_POPUP, &main, main.handle);
  other.Destroy();
  const int32_t beforeWindows = GdiObjectCount();
  for (int round = 0; round < 10; ++round) {
    ASSERT_TRUE(
        other.Create(L"HARBORLINE_DRAW_OTHER", L"", 200, 100, 0, 0, WS_POPUP, &main, main.handle));
    const int first = other.AddButton(L"a", 0, 0, 50, 20);
    const int second = other.AddButton(L"b", 0, 30, 50, 20);
    SetButtonImageFromResource(other, first, -1, nullptr, 145, 16, 16);
    SetButtonImageFromResource(other, second, 0, nullptr, 148, 16, 16);
    other.Destroy();
  }
  other.Dispose();
  EXPECT_EQ(GdiObjectCount() - beforeWindows, 10 * platformLoss);
}

}  // namespace
