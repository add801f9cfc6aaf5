// Drawing primitives against the program's real image resources and real
// windows under Xvfb.
#include "ui/drawing.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/bitmap_pixels.h"
#include "ui/graphics_holders.h"

namespace {

// A plain top-level window for the region and position tests.
struct PlainWindow {
  HWND handle;
  PlainWindow(int x, int y, int width, int height)
      : handle(CreateWindowExW(0, L"Static", L"", WS_POPUP, x, y, width, height, nullptr, nullptr,
                               nullptr, nullptr)) {}
  ~PlainWindow() { DestroyWindow(handle); }
};

constexpr int32_t kFirstImage = 137;
constexpr int32_t kLastImage = 152;

int32_t StoredEdge(int32_t id) {
  if (id == 145) return 48;
  if (id == 151 || id == 152) return 24;
  return 32;
}

TEST(LoadImageResource, GivesEveryImageAtItsStoredSizeWhenAskedForZero) {
  for (int32_t id = kFirstImage; id <= kLastImage; ++id) {
    SCOPED_TRACE(id);
    ImagePtr image(LoadImageResource(nullptr, id, 0, 0));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(ImageWidth(image.get()), StoredEdge(id));
    EXPECT_EQ(ImageHeight(image.get()), StoredEdge(id));
  }
}

TEST(LoadImageResource, KeepsTransparencyExceptOnTheOpaqueCloseButton) {
  for (int32_t id = kFirstImage; id <= kLastImage; ++id) {
    SCOPED_TRACE(id);
    ImagePtr image(LoadImageResource(nullptr, id, 0, 0));
    ASSERT_NE(image, nullptr);
    Gdiplus::PixelFormat format = 0;
    Gdiplus::DllExports::GdipGetImagePixelFormat(image.get(), &format);
    if (id == 139) {
      EXPECT_FALSE(format & PixelFormatAlpha);
      EXPECT_EQ(ImagePixel(image.get(), 0, 0), 0xFF4D4D4Du);  // the header's grey
    } else {
      EXPECT_TRUE(format & PixelFormatAlpha);
      EXPECT_EQ(ImagePixel(image.get(), 0, 0) >> 24, 0u);
      int opaque = 0;
      for (int32_t x = 0; x < StoredEdge(id); ++x) {
        opaque += (ImagePixel(image.get(), x, StoredEdge(id) / 2 + 1) >> 24) == 0xFF;
      }
      EXPECT_GE(opaque, 3) << "every image is drawn across its middle";
    }
  }
}

TEST(LoadImageResource, ScalesToTheRequestedSize) {
  ImagePtr moveUp(LoadImageResource(nullptr, 151, 18, 18));
  ASSERT_NE(moveUp, nullptr);
  EXPECT_EQ(ImageWidth(moveUp.get()), 18);
  EXPECT_EQ(ImageHeight(moveUp.get()), 18);
  Gdiplus::PixelFormat format = 0;
  Gdiplus::DllExports::GdipGetImagePixelFormat(moveUp.get(), &format);
  EXPECT_EQ(format, PixelFormat32bppARGB);

  ImagePtr start(LoadImageResource(nullptr, 145, 16, 16));
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(ImageWidth(start.get()), 16);

  ImagePtr wide(LoadImageResource(nullptr, 141, 20, 0));  // 0 keeps that direction's own size
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(ImageWidth(wide.get()), 20);
  EXPECT_EQ(ImageHeight(wide.get()), 32);
}

TEST(LoadImageResource, UnknownIdOrOtherTypeGivesNone) {
  EXPECT_EQ(LoadImageResource(nullptr, 999, 0, 0), nullptr);
  EXPECT_EQ(LoadImageResource(nullptr, 136, 20, 20), nullptr);
  EXPECT_EQ(LoadImageResource(nullptr, 1, 0, 0), nullptr) << "icon 1 is no IMAGE resource";
}

TEST(ScaleImageInto, FillsTheTargetAreaWithTheSource) {
  ImagePtr source(MakeImage(4, 4, 0xFFFF0000));
  ImagePtr target(MakeImage(16, 16, 0));
  ASSERT_TRUE(ScaleImageInto(source.get(), target.get(), 8, 8));
  EXPECT_EQ(ImagePixel(target.get(), 4, 4), 0xFFFF0000u);
  EXPECT_EQ(ImagePixel(target.get(), 12, 12), 0u) << "nothing beyond width x height";
  EXPECT_FALSE(ScaleImageInto(nullptr, target.get(), 8, 8));
}

TEST(FillRoundRect, DiameterZeroFillsAPlainRectangle) {
  ImagePtr image(MakeImage(20, 20, 0));
  ASSERT_TRUE(FillRoundRect(image.get(), 2, 3, 10, 12, 0xFF0000FF, 0));
  for (auto [x, y] : {std::pair{2, 3}, {11, 3}, {2, 14}, {11, 14}, {6, 8}}) {
    EXPECT_EQ(ImagePixel(image.get(), x, y), 0xFF0000FFu) << x << "," << y;
  }
  EXPECT_EQ(ImagePixel(image.get(), 0, 0), 0u);
  EXPECT_EQ(ImagePixel(image.get(), 14, 17), 0u);
}

TEST(FillRoundRect, StaysWithinItsAreaOnEverySide) {
  for (int32_t diameter : {0, 4, 12}) {
    SCOPED_TRACE(diameter);
    ImagePtr image(MakeImage(40, 40, 0));
    ASSERT_TRUE(FillRoundRect(image.get(), 4, 6, 30, 26, 0xFFFFFFFF, diameter));
    EXPECT_EQ(ImagePixel(image.get(), 3, 19), 0u);
    EXPECT_EQ(ImagePixel(image.get(), 4, 19), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(image.get(), 33, 19), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(image.get(), 34, 19), 0u);
    EXPECT_EQ(ImagePixel(image.get(), 19, 5), 0u);
    EXPECT_EQ(ImagePixel(image.get(), 19, 6), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(image.get(), 19, 31), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(image.get(), 19, 32), 0u);
  }
}

TEST(FillRoundRect, DiameterRoundsTheCornersOnly) {
  ImagePtr image(MakeImage(20, 20, 0));
  ASSERT_TRUE(FillRoundRect(image.get(), 0, 0, 20, 20, 0xFF00FF00, 12));
  EXPECT_LT(ImagePixel(image.get(), 0, 0) >> 24, 0x40u) << "the corner is cut away";
  EXPECT_EQ(ImagePixel(image.get(), 10, 0), 0xFF00FF00u) << "the edge between the arcs is solid";
  EXPECT_EQ(ImagePixel(image.get(), 10, 10), 0xFF00FF00u);
}

TEST(SetRoundedRegion, CutsTheCornersOfTheWindow) {
  PlainWindow window(10, 10, 120, 80);
  ASSERT_TRUE(window.handle);
  ASSERT_TRUE(SetRoundedRegion(window.handle, 120, 80, 12));
  GdiObjectHolder<HRGN> region(CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(GetWindowRgn(window.handle, region.Get()), ERROR);
  EXPECT_FALSE(PtInRegion(region.Get(), 0, 0));
  EXPECT_FALSE(PtInRegion(region.Get(), 119, 79));
  EXPECT_TRUE(PtInRegion(region.Get(), 60, 0));
  EXPECT_TRUE(PtInRegion(region.Get(), 60, 40));
  EXPECT_TRUE(PtInRegion(region.Get(), 0, 40));
  EXPECT_FALSE(SetRoundedRegion(nullptr, 120, 80, 12));
}

TEST(CenterWindow, CentresOnTheWorkAreaWithoutAReference) {
  PlainWindow window(0, 0, 201, 101);
  ASSERT_TRUE(CenterWindow(window.handle, nullptr));
  RECT work, own;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(window.handle, &own);
  EXPECT_EQ(own.left, work.left + (work.right - work.left) / 2 - 201 / 2);
  EXPECT_EQ(own.top, work.top + (work.bottom - work.top) / 2 - 101 / 2);
  EXPECT_EQ(own.right - own.left, 201) << "the size stays";
}

TEST(CenterWindow, CentresOnTheReferenceWindow) {
  PlainWindow reference(100, 50, 400, 300);
  PlainWindow window(0, 0, 100, 60);
  ASSERT_TRUE(CenterWindow(window.handle, reference.handle));
  RECT own;
  GetWindowRect(window.handle, &own);
  EXPECT_EQ(own.left, 100 + 200 - 50);
  EXPECT_EQ(own.top, 50 + 150 - 30);
}

TEST(CenterWindow, LeavesTheActiveWindowAlone) {
  PlainWindow active(0, 0, 100, 60);
  PlainWindow window(300, 300, 100, 60);
  ShowWindow(window.handle, SW_SHOWNOACTIVATE);
  ShowWindow(active.handle, SW_SHOW);
  SetForegroundWindow(active.handle);
  ASSERT_EQ(GetActiveWindow(), active.handle);
  ASSERT_TRUE(CenterWindow(window.handle, nullptr));
  EXPECT_EQ(GetActiveWindow(), active.handle) << "centring never activates the window";
}

TEST(InvalidateInParent, InvalidatesTheControlsAreaOfTheParent) {
  PlainWindow parent(0, 0, 200, 150);
  ShowWindow(parent.handle, SW_SHOWNOACTIVATE);
  HWND child = CreateWindowExW(0, L"Static", L"x", WS_CHILD | WS_VISIBLE, 30, 40, 50, 20,
                               parent.handle, nullptr, nullptr, nullptr);
  ASSERT_TRUE(child);
  ValidateRect(parent.handle, nullptr);
  ASSERT_TRUE(InvalidateInParent(child));
  RECT dirty;
  ASSERT_TRUE(GetUpdateRect(parent.handle, &dirty, FALSE));
  EXPECT_EQ(dirty.left, 30);
  EXPECT_EQ(dirty.top, 40);
  EXPECT_EQ(dirty.right, 80);
  EXPECT_EQ(dirty.bottom, 60);
}

TEST(ReplaceBitmapFromImage, DeletesThePreviousBitmapAndKeepsAlpha) {
  ImagePtr image(MakeImage(6, 5, 0x80FFFFFF));
  HBITMAP slot = CreateBlankDib(3, 3);
  HBITMAP previous = slot;
  ASSERT_TRUE(ReplaceBitmapFromImage(&slot, image.get()));
  EXPECT_EQ(GetObjectType(previous), 0u) << "the previous bitmap is deleted";
  BitmapPixels pixels(slot);
  ASSERT_EQ(pixels.width, 6);
  EXPECT_EQ(pixels.height, 5);
  EXPECT_EQ(pixels.At(2, 2) >> 24, 0x80u);

  previous = slot;
  ASSERT_TRUE(ReplaceBitmapFromImage(&slot, nullptr));
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(GetObjectType(previous), 0u);
}

TEST(CreateBlankDib, MakesATopDownDibOfAlmostTransparentBlack) {
  GdiObjectHolder<HBITMAP> dib(CreateBlankDib(5, 3));
  ASSERT_TRUE(dib.Get());
  DIBSECTION section{};
  ASSERT_EQ(GetObjectW(dib.Get(), sizeof section, &section), static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBmih.biBitCount, 32);
  EXPECT_EQ(section.dsBmih.biWidth, 5);
  EXPECT_EQ(section.dsBm.bmHeight, 3);
  const uint32_t* bits = static_cast<const uint32_t*>(section.dsBm.bmBits);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(bits[i], 0x01000000u);
  EXPECT_EQ(CreateBlankDib(0, 3), nullptr);
}

}  // namespace
