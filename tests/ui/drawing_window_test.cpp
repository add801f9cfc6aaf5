// Drawing on real toolkit windows under Xvfb: the dialog frame, background
// images and the brushes cut from them, and images on push buttons.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

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
  BitmapPixels pixels(dialog.background.Image());
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
  EXPECT_EQ(dialog.background.Mode(), BackgroundMode::ImagePattern);
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
  BitmapPixels pixels(dialog.background.Image());
  ASSERT_EQ(pixels.width, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixels.Rgb(x, y), (x + y) % 2 ? kWhite : kBlack);
  }
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), -1, -1));
  EXPECT_EQ(BitmapPixels(dialog.background.Image()).width, 4) << "-1 takes the image's own size";
}

TEST_F(DialogWindows, SetBackgroundImage_ScalesToTheClientSizeForZero) {
  ImagePtr image(MakeImage(10, 10, 0xFF3366CC));
  ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 0, 0));
  BitmapPixels pixels(dialog.background.Image());
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
    HBITMAP previous = dialog.background.Image();
    HBRUSH previousBrush = dialog.background.Brush();
    ASSERT_TRUE(SetBackgroundImage(dialog, image.get(), 30 + i % 3, 30));
    EXPECT_EQ(GetObjectType(previous), 0u);
    EXPECT_EQ(GetObjectType(previousBrush), 0u);
    EXPECT_EQ(GetCurrentObject(dialog.background.MemoryDc(), OBJ_BITMAP), dialog.background.Image())
        << "the memory context holds the current background";
  }
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(DialogWindows, ControlBackgroundBrush_CutsTheBackgroundUnderTheControl) {
  const int label = dialog.AddStatic(L"label", 100, 230, 80, 20);
  ASSERT_GT(label, 0);
  HDC screen = GetDC(dialog.handle);
  EXPECT_EQ(ControlBackgroundBrush(dialog, label, screen), dialog.background.Brush())
      << "a solid background needs no cut";
  ASSERT_EQ(ApplyDialogSkin(main, dialog, 280), dialog.handle);

  HBRUSH brush = ControlBackgroundBrush(dialog, label, screen);
  ASSERT_TRUE(brush);
  EXPECT_NE(brush, dialog.background.Brush());
  // Painted from the control's corner, the brush shows the background there:
  // white body above y 236, the band below.
  GdiObjectHolder<HBITMAP> canvas(CreateCompatibleBitmap(screen, 80, 20));
  MemoryDcOwner paint(CreateCompatibleDC(screen));
  SelectedObject canvasIn(paint.Get(), canvas.Get());
  RECT all{0, 0, 80, 20};
  FillRect(paint.Get(), &all, brush);
  EXPECT_EQ(GetPixel(paint.Get(), 40, 2), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(paint.Get(), 40, 10), RGB(240, 240, 255));

  HBRUSH again = ControlBackgroundBrush(dialog, label, screen);
  EXPECT_EQ(GetObjectType(brush), 0u) << "each request replaces the previous brush";
  EXPECT_EQ(dialog.background.LastAreaBrush(), again);
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
  // The button's image list (none when it has none).
  BUTTON_IMAGELIST List() {
    BUTTON_IMAGELIST list{};
    SendMessageW(Button(), BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list));
    return list;
  }
  // The list's single image as 32-bit pixels.
  std::vector<uint32_t> ListImage(int& edge) {
    BUTTON_IMAGELIST list = List();
    IMAGEINFO info{};
    edge = 0;
    if (!list.himl || !ImageList_GetImageInfo(list.himl, 0, &info)) return {};
    BitmapPixels pixels(info.hbmImage);
    edge = info.rcImage.right - info.rcImage.left;
    std::vector<uint32_t> image;
    for (int y = info.rcImage.top; y < info.rcImage.bottom; ++y)
      for (int x = info.rcImage.left; x < info.rcImage.right; ++x) image.push_back(pixels.At(x, y));
    return image;
  }
  int button = 0;
};

// Pixels inside a button as the screen shows it (its frame left out) for
// which the test answers true.
template <typename Test>
int PixelsInside(HWND button, Test test) {
  RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT area;
  GetClientRect(button, &area);
  HDC dc = GetDC(button);
  int count = 0;
  for (int y = area.top + 3; y < area.bottom - 3; ++y)
    for (int x = area.left + 3; x < area.right - 3; ++x)
      if (test(GetPixel(dc, x, y))) ++count;
  ReleaseDC(button, dc);
  return count;
}

// A transparent image corner that lost its alpha channel shows black.
int BlackPixelsInside(HWND button) {
  return PixelsInside(button, [](COLORREF c) { return c == RGB(0, 0, 0); });
}

// Pixels whose colour channels differ clearly: a greyed image has none.
int ColouredPixelsInside(HWND button) {
  return PixelsInside(button, [](COLORREF c) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    return std::max({r, g, b}) - std::min({r, g, b}) > 24;
  });
}

TEST_F(ButtonImages, ImagesKeepTheirTransparencyOnScreen) {
  // Without text, so that nothing inside the frame is black by design.
  const int plain = dialog.AddButton(L"", 20, 60, 60, 44);
  ShowWindow(dialog.handle, SW_SHOWNOACTIVATE);
  ASSERT_TRUE(SetButtonImageFromResource(dialog, plain, -1, nullptr, 145, 32, 32));
  EXPECT_EQ(BlackPixelsInside(dialog.ControlHandle(plain)), 0);
  // What the direct route shows here: the corners of the round image black.
  GdipBitmapHolder image(LoadImageResource(nullptr, 145, 32, 32));
  HBITMAP direct = nullptr;
  ASSERT_TRUE(ReplaceBitmapFromImage(&direct, image.Get()));
  const int other = dialog.AddButton(L"", 100, 60, 60, 44, WS_VISIBLE | BS_BITMAP);
  SendMessageW(dialog.ControlHandle(other), BM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(direct));
  const int directBlack = BlackPixelsInside(dialog.ControlHandle(other));
  // Reported, not asserted: whether the direct route drops the alpha channel
  // is the platform's business (under Wine 8 it does).
  std::printf("black pixels inside a button with the image set directly: %d\n", directBlack);
  dialog.RemoveControl(other);
  DeleteObject(direct);
}

TEST_F(ButtonImages, ADisabledButtonShowsItsImageGreyed) {
  // Move up's image, on a button without text: only the image tells a user
  // whether it can be pressed.
  const int plain = dialog.AddButton(L"", 20, 60, 40, 30);
  ShowWindow(dialog.handle, SW_SHOWNOACTIVATE);
  ASSERT_TRUE(SetButtonImageFromResource(dialog, plain, -1, nullptr, 151, 18, 18));
  EXPECT_GT(ColouredPixelsInside(dialog.ControlHandle(plain)), 20) << "enabled: in colour";
  EnableWindow(dialog.ControlHandle(plain), FALSE);
  EXPECT_EQ(ColouredPixelsInside(dialog.ControlHandle(plain)), 0) << "disabled: grey";
  EXPECT_EQ(BlackPixelsInside(dialog.ControlHandle(plain)), 0) << "and still transparent";
}

TEST_F(ButtonImages, EveryPositionGoesThroughAnImageList) {
  struct Case {
    int position;
    UINT alignment;
  } cases[] = {{-1, BUTTON_IMAGELIST_ALIGN_LEFT},
               {0, BUTTON_IMAGELIST_ALIGN_LEFT},
               {BUTTON_IMAGELIST_ALIGN_RIGHT, BUTTON_IMAGELIST_ALIGN_RIGHT}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, c.position, nullptr, 146, 20, 20));
    BUTTON_IMAGELIST list = List();
    ASSERT_TRUE(list.himl) << c.position;
    EXPECT_EQ(list.uAlign, c.alignment) << c.position;
    EXPECT_EQ(ImageList_GetImageCount(list.himl), 6) << "one image per button state";
    int width = 0, height = 0;
    ImageList_GetIconSize(list.himl, &width, &height);
    EXPECT_EQ(width, 20);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(SendMessageW(Button(), BM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "nothing set directly";
  }
}

TEST_F(ButtonImages, ResourceImageKeepsItsAlphaInTheList) {
  HBITMAP mine = nullptr;
  GdipBitmapHolder image(LoadImageResource(nullptr, 141, 18, 18));
  ASSERT_TRUE(ReplaceBitmapFromImage(&mine, image.Get()));
  ASSERT_TRUE(SetButtonImage(dialog, button, -1, mine, 18, 18));
  DeleteObject(mine);  // the caller keeps and deletes what it passed
  int edge = 0;
  std::vector<uint32_t> pixels = ListImage(edge);
  ASSERT_EQ(edge, 18);
  EXPECT_EQ(pixels[9 * 18 + 9] >> 24, 0xFFu) << "the middle of the image is opaque";
  EXPECT_EQ(pixels[0] >> 24, 0u) << "its corner transparent";
}

TEST_F(ButtonImages, MissingResourceOrNoBitmapGivesABlankImage) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 999, 16, 16));
  int edge = 0;
  std::vector<uint32_t> pixels = ListImage(edge);
  ASSERT_EQ(edge, 16);
  EXPECT_EQ(pixels[3 * 16 + 3] >> 24, 1u) << "nearly invisible";
  ASSERT_TRUE(SetButtonImage(dialog, button, -1, nullptr, 12, 12));
  ListImage(edge);
  EXPECT_EQ(edge, 12);
}

TEST_F(ButtonImages, OnlyPushButtonsTakeImages) {
  const int label = dialog.AddStatic(L"label", 20, 60, 80, 20);
  EXPECT_FALSE(SetButtonImage(dialog, label, -1, nullptr, 16, 16));
  EXPECT_FALSE(SetButtonImageFromResource(dialog, 77, -1, nullptr, 141, 16, 16));
}

TEST_F(ButtonImages, ReplacingImagesRepeatedlyKeepsGdiObjectsFlat) {
  // One round first, so that lazily made objects (fonts, caches of the
  // controls) exist before counting.
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141, 18, 18));
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 142, 18, 18));
  const int32_t before = GdiObjectCount();
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141 + round % 12, 18, 18));
    HBITMAP mine = CreateBlankDib(18, 18);
    ASSERT_TRUE(SetButtonImage(dialog, button, -1, mine, 18, 18));
    DeleteObject(mine);
    ASSERT_TRUE(SetButtonImageFromResource(dialog, button, 0, nullptr, 143, 18, 18));
    ASSERT_TRUE(SetButtonImage(dialog, button, 0, nullptr, 16, 16));
  }
  EXPECT_EQ(GdiObjectCount(), before);
}

TEST_F(ButtonImages, RemovingOrDestroyingButtonsReleasesTheirImages) {
  ASSERT_TRUE(SetButtonImageFromResource(dialog, button, -1, nullptr, 141, 18, 18));
  const int extraBefore = dialog.AddButton(L"   Save", 20, 60, 100, 32);
  ASSERT_TRUE(SetButtonImageFromResource(dialog, extraBefore, -1, nullptr, 144, 20, 20));
  ASSERT_TRUE(dialog.RemoveControl(extraBefore));
  const int32_t before = GdiObjectCount();
  for (int round = 0; round < 20; ++round) {
    const int extra = dialog.AddButton(L"   Save", 20, 60, 100, 32);
    ASSERT_TRUE(SetButtonImageFromResource(dialog, extra, -1, nullptr, 144, 20, 20));
    ASSERT_TRUE(SetButtonImageFromResource(dialog, extra, 0, nullptr, 144, 20, 20));
    ASSERT_TRUE(dialog.RemoveControl(extra));
  }
  EXPECT_EQ(GdiObjectCount(), before);

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
  EXPECT_EQ(GdiObjectCount(), beforeWindows);
}

}  // namespace

TEST(MenuImages, TransparentPixelsTakeTheMenusColourNotBlack) {
  GdipBitmapHolder image(LoadImageResource(nullptr, 141, 16, 16));
  HBITMAP source = nullptr;
  ASSERT_TRUE(ReplaceBitmapFromImage(&source, image.Get()));
  const COLORREF menu = RGB(240, 230, 220);
  HBITMAP flat = FlattenOntoColour(source, menu);
  ASSERT_TRUE(flat);
  BitmapPixels before(source), after(flat);
  ASSERT_EQ(after.width, 16);
  EXPECT_EQ(before.At(0, 0) >> 24, 0u) << "the image's corner is transparent";
  EXPECT_EQ(after.Rgb(0, 0), 0xF0E6DCu) << "and shows the menu's colour";
  EXPECT_EQ(after.Rgb(8, 8), before.Rgb(8, 8)) << "opaque pixels stay as they are";
  DeleteObject(flat);
  DeleteObject(source);
}
