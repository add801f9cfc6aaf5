// Reading pixels back from GDI bitmaps and GDI+ images in drawing tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ui/gdiplus_api.h"

// The bitmap's pixels as top-down 32-bit BGRA words (0xAARRGGBB), empty when the
// bitmap cannot be read.
struct BitmapPixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;

  explicit BitmapPixels(HBITMAP bitmap);
  uint32_t At(int32_t x, int32_t y) const { return argb[static_cast<size_t>(y) * width + x]; }
  uint32_t Rgb(int32_t x, int32_t y) const { return At(x, y) & 0xFFFFFF; }
};

uint32_t ImagePixel(Gdiplus::GpBitmap* image, int32_t x, int32_t y);
int32_t ImageWidth(Gdiplus::GpImage* image);
int32_t ImageHeight(Gdiplus::GpImage* image);
// A new 32-bit ARGB image filled with one colour; the caller disposes of it
// (DisposeImage).
Gdiplus::GpBitmap* MakeImage(int32_t width, int32_t height, uint32_t argb);
void DisposeImage(Gdiplus::GpBitmap* image);
struct ImageDisposer {
  void operator()(Gdiplus::GpBitmap* image) const { DisposeImage(image); }
};
// Owns an image in a test; unlike the toolkit's holder it can be returned.
using ImagePtr = std::unique_ptr<Gdiplus::GpBitmap, ImageDisposer>;
// Live GDI objects of this process, or -1 when the platform does not count them.
int32_t GdiObjectCount();
