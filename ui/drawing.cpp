#include "ui/drawing.h"

#include "ui/graphics_holders.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

namespace {

// Background handed to GdipCreateHBITMAPFromBitmap for images with alpha:
// transparent black keeps the alpha channel in the bitmap.
constexpr Gdiplus::ARGB kKeepAlpha = 0;

// Appends the closed outline of a rounded rectangle: straight edges inset by
// half the diameter, a quarter arc at each corner.
bool AddRoundRectFigure(Gdiplus::GpPath* path, float x, float y, float w, float h, float d) {
  const float r = d / 2;
  GpStatus status = gp::GdipAddPathLine(path, x + r, y, x + w - r, y);
  if (d > 0 && status == Ok) status = gp::GdipAddPathArc(path, x + w - d, y, d, d, -90, 90);
  if (status == Ok) status = gp::GdipAddPathLine(path, x + w, y + r, x + w, y + h - r);
  if (d > 0 && status == Ok) status = gp::GdipAddPathArc(path, x + w - d, y + h - d, d, d, 0, 90);
  if (status == Ok) status = gp::GdipAddPathLine(path, x + w - r, y + h, x + r, y + h);
  if (d > 0 && status == Ok) status = gp::GdipAddPathArc(path, x, y + h - d, d, d, 90, 90);
  if (status == Ok) status = gp::GdipAddPathLine(path, x, y + h - r, x, y + r);
  if (d > 0 && status == Ok) status = gp::GdipAddPathArc(path, x, y, d, d, 180, 90);
  if (status == Ok) status = gp::GdipClosePathFigure(path);
  return status == Ok;
}

bool SetSmoothDrawing(Gdiplus::GpGraphics* graphics) {
  return gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeHighQuality) == Ok &&
         gp::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf) == Ok;
}

}  // namespace

Gdiplus::GpBitmap* LoadImageResource(HMODULE module, int32_t id, int32_t width, int32_t height) {
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), kImageResourceType);
  if (!info) return nullptr;
  DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = size ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return nullptr;

  // GDI+ decodes from a stream; the resource is copied into one that frees its
  // memory on its last release (GDI+ keeps its own reference while it needs it).
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
  GdipBitmapHolder decoded;
  ULARGE_INTEGER streamSize;
  streamSize.QuadPart = size;
  ULONG written = 0;
  LARGE_INTEGER start{};
  if (SUCCEEDED(stream->SetSize(streamSize)) && SUCCEEDED(stream->Write(data, size, &written)) &&
      written == size && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) {
    if (gp::GdipCreateBitmapFromStream(stream, decoded.Out()) != Ok) decoded.Reset();
  }
  stream->Release();
  if (!decoded.Get()) return nullptr;

  UINT ownWidth = 0, ownHeight = 0;
  if (gp::GdipGetImageWidth(decoded.Get(), &ownWidth) != Ok ||
      gp::GdipGetImageHeight(decoded.Get(), &ownHeight) != Ok) {
    return nullptr;
  }
  if (width <= 0) width = static_cast<int32_t>(ownWidth);
  if (height <= 0) height = static_cast<int32_t>(ownHeight);
  if (static_cast<UINT>(width) == ownWidth && static_cast<UINT>(height) == ownHeight) {
    return decoded.Take();
  }

  GdipBitmapHolder scaled;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr,
                                    scaled.Out()) != Ok ||
      !ScaleImageInto(decoded.Get(), scaled.Get(), width, height)) {
    return nullptr;
  }
  return scaled.Take();
}

bool ScaleImageInto(Gdiplus::GpImage* source, Gdiplus::GpImage* target, int32_t width,
                    int32_t height) {
  if (!source || !target) return false;
  GdipGraphicsHolder graphics;
  if (gp::GdipGetImageGraphicsContext(target, graphics.Out()) != Ok) return false;
  gp::GdipSetInterpolationMode(graphics.Get(), Gdiplus::InterpolationModeHighQualityBicubic);
  gp::GdipSetPixelOffsetMode(graphics.Get(), Gdiplus::PixelOffsetModeHalf);
  return gp::GdipDrawImageRectI(graphics.Get(), source, 0, 0, width, height) == Ok;
}

bool FillRoundRect(Gdiplus::GpImage* target, int32_t x, int32_t y, int32_t width, int32_t height,
                   uint32_t argb, int32_t diameter) {
  if (!target) return false;
  GdipGraphicsHolder graphics;
  GdipPathHolder path;
  GdipPenHolder pen;
  GdipSolidFillHolder brush;
  if (gp::GdipGetImageGraphicsContext(target, graphics.Out()) != Ok ||
      !SetSmoothDrawing(graphics.Get()) ||
      gp::GdipCreatePath(Gdiplus::FillModeAlternate, path.Out()) != Ok ||
      !AddRoundRectFigure(path.Get(), static_cast<float>(x), static_cast<float>(y),
                          static_cast<float>(width), static_cast<float>(height),
                          static_cast<float>(diameter)) ||
      gp::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitPixel, pen.Out()) != Ok ||
      gp::GdipCreateSolidFill(argb, brush.Out()) != Ok) {
    return false;
  }
  // The outline first, so that the anti-aliased edge is as solid as the fill.
  gp::GdipDrawPath(graphics.Get(), pen.Get(), path.Get());
  return gp::GdipFillPath(graphics.Get(), brush.Get(), path.Get()) == Ok;
}

bool SetRoundedRegion(HWND window, int32_t width, int32_t height, int32_t diameter) {
  GdipPathHolder path;
  GdipRegionHolder region;
  GdipGraphicsHolder graphics;
  if (!IsWindow(window) || gp::GdipCreatePath(Gdiplus::FillModeAlternate, path.Out()) != Ok ||
      !AddRoundRectFigure(path.Get(), 0, 0, static_cast<float>(width), static_cast<float>(height),
                          static_cast<float>(diameter)) ||
      gp::GdipCreateRegionPath(path.Get(), region.Out()) != Ok ||
      gp::GdipCreateFromHWND(window, graphics.Out()) != Ok || !SetSmoothDrawing(graphics.Get())) {
    return false;
  }
  HRGN handle = nullptr;
  if (gp::GdipGetRegionHRgn(region.Get(), graphics.Get(), &handle) != Ok || !handle) return false;
  // Once set, the region belongs to the system.
  if (SetWindowRgn(window, handle, FALSE)) return true;
  DeleteObject(handle);
  return false;
}

bool CenterWindow(HWND window, HWND reference) {
  RECT own, around;
  if (!GetWindowRect(window, &own)) return false;
  if (reference) {
    if (!GetWindowRect(reference, &around)) return false;
  } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0)) {
    return false;
  }
  const int left = around.left + (around.right - around.left) / 2 - (own.right - own.left) / 2;
  const int top = around.top + (around.bottom - around.top) / 2 - (own.bottom - own.top) / 2;
  return SetWindowPos(window, nullptr, left, top, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOREDRAW) != FALSE;
}

BOOL InvalidateInParent(HWND control) {
  HWND parent = GetParent(control);
  RECT area;
  if (!parent || !GetClientRect(control, &area)) return FALSE;
  MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&area), 2);
  return InvalidateRect(parent, &area, TRUE);
}

bool ReplaceBitmapFromImage(HBITMAP& slot, Gdiplus::GpBitmap* image) {
  if (slot) DeleteObject(slot);
  slot = nullptr;
  if (!image) return true;
  if (gp::GdipCreateHBITMAPFromBitmap(image, &slot, kKeepAlpha) == Ok) return true;
  slot = nullptr;
  return false;
}

HBITMAP CreateBlankDib(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  // Alpha 1 rather than 0: nearly invisible, yet not read as "no alpha channel"
  // by the controls that decide from the alpha bytes whether to blend.
  uint32_t* pixel = static_cast<uint32_t*>(bits);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < count; ++i) pixel[i] = 0x01000000;
  return bitmap;
}
