#include "tests/support/bitmap_pixels.h"

namespace gp = Gdiplus::DllExports;

BitmapPixels::BitmapPixels(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = info.bmWidth;
  format.bmiHeader.biHeight = -info.bmHeight;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  HDC screen = GetDC(nullptr);
  int lines = GetDIBits(screen, bitmap, 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != info.bmHeight) return;
  width = info.bmWidth;
  height = info.bmHeight;
  argb = std::move(pixels);
}

uint32_t ImagePixel(Gdiplus::GpBitmap* image, int32_t x, int32_t y) {
  Gdiplus::ARGB colour = 0;
  gp::GdipBitmapGetPixel(image, x, y, &colour);
  return colour;
}

int32_t ImageWidth(Gdiplus::GpImage* image) {
  UINT width = 0;
  gp::GdipGetImageWidth(image, &width);
  return static_cast<int32_t>(width);
}

int32_t ImageHeight(Gdiplus::GpImage* image) {
  UINT height = 0;
  gp::GdipGetImageHeight(image, &height);
  return static_cast<int32_t>(height);
}

Gdiplus::GpBitmap* MakeImage(int32_t width, int32_t height, uint32_t argb) {
  Gdiplus::GpBitmap* image = nullptr;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &image) !=
      Gdiplus::Ok) {
    return nullptr;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  if (gp::GdipGetImageGraphicsContext(image, &graphics) == Gdiplus::Ok) {
    gp::GdipGraphicsClear(graphics, argb);
    gp::GdipDeleteGraphics(graphics);
  }
  return image;
}

void DisposeImage(Gdiplus::GpBitmap* image) {
  if (image) gp::GdipDisposeImage(image);
}

int32_t GdiObjectCount() {
  SetLastError(0);
  DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return static_cast<int32_t>(count);
  // Wine does not count (GetGuiResources is a stub there), but its handle
  // table takes a bare slot number as a handle to whatever lives in the slot,
  // so the live objects can be counted slot by slot.
  if (GetObjectType(GetStockObject(WHITE_BRUSH)) == 0) return -1;
  int32_t live = 0;
  for (uintptr_t slot = 1; slot < 0x10000; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
  return live > 0 ? live : -1;
}
