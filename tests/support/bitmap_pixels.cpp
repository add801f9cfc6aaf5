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

int32_t GdiObjectCount() {
  DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count) return static_cast<int32_t>(count);
  // Where the count is not reported (Wine), measure the free room of the handle
  // table instead: fill it with small brushes until creation fails, then free
  // them. Objects in use = a fixed bound minus the free room.
  constexpr int32_t kBound = 1 << 20;
  std::vector<HBRUSH> probes;
  probes.reserve(70000);
  while (static_cast<int32_t>(probes.size()) < kBound) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    if (!brush) break;
    probes.push_back(brush);
  }
  for (HBRUSH brush : probes) DeleteObject(brush);
  return kBound - static_cast<int32_t>(probes.size());
}
