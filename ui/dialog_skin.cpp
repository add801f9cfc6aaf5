// The program's shapes: rounded rectangles and window regions, centring, and
// the standard dialog frame drawn from them.
#include <windows.h>

#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_window.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

namespace {

constexpr int kClientCornerDiameter = 12;
constexpr uint32_t kFrameBlack = 0xFF000000;
constexpr uint32_t kFrameWhite = 0xFFFFFFFF;
constexpr uint32_t kFrameBand = 0xFFF0F0FF;
constexpr int kFrameEdge = 4;
constexpr int kFrameBandHeight = 40;

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

bool SetRoundedRegionAt(HWND window, int x, int y, int width, int height, int diameter) {
  GdipPathHolder path;
  GdipRegionHolder region;
  GdipGraphicsHolder graphics;
  if (!IsWindow(window) || gp::GdipCreatePath(Gdiplus::FillModeAlternate, path.Out()) != Ok ||
      !AddRoundRectFigure(path.Get(), static_cast<float>(x), static_cast<float>(y),
                          static_cast<float>(width), static_cast<float>(height),
                          static_cast<float>(diameter)) ||
      gp::GdipCreateRegionPath(path.Get(), region.Out()) != Ok ||
      gp::GdipCreateFromHWND(window, graphics.Out()) != Ok || !SetSmoothDrawing(graphics.Get())) {
    return false;
  }
  GdiObjectHolder<HRGN> handle;
  if (gp::GdipGetRegionHRgn(region.Get(), graphics.Get(), handle.Out()) != Ok || !handle.Valid())
    return false;
  if (!SetWindowRgn(window, handle.Get(), FALSE)) return false;
  // Once set, the region belongs to the system.
  handle.Release();
  return true;
}

Gdiplus::GpBitmap* PaintDialogFrame(int width, int height) {
  GdipBitmapHolder frame;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr,
                                    frame.Out()) != Ok) {
    return nullptr;
  }
  const bool painted =
      FillRoundRect(frame.Get(), 0, 0, width, height, kFrameBlack, 4) &&
      FillRoundRect(frame.Get(), kFrameEdge, kFrameEdge, width - 2 * kFrameEdge,
                    height - 2 * kFrameEdge, kFrameWhite, 4) &&
      FillRoundRect(frame.Get(), kFrameEdge, height - kFrameEdge - kFrameBandHeight,
                    width - 2 * kFrameEdge, kFrameBandHeight, kFrameBand, 0);
  return painted ? frame.Release() : nullptr;
}

}  // namespace

bool FillRoundRect(Gdiplus::GpImage* target, int32_t x, int32_t y, int32_t width, int32_t height,
                   uint32_t argb, int32_t diameter) {
  if (!target) return false;
  const float fx = static_cast<float>(x), fy = static_cast<float>(y);
  const float fw = static_cast<float>(width), fh = static_cast<float>(height);
  const float fd = static_cast<float>(diameter);
  GdipGraphicsHolder graphics;
  GdipPathHolder area, outline;
  GdipPenHolder pen;
  GdipSolidFillHolder brush;
  // The 1-pixel outline runs half a pixel inside the area, clipped to it, so
  // that it makes the anti-aliased edge as solid as the fill without reaching
  // past the area on any rasteriser: a frame painted around a panel keeps its
  // exact width on every side.
  if (gp::GdipGetImageGraphicsContext(target, graphics.Out()) != Ok ||
      !SetSmoothDrawing(graphics.Get()) ||
      gp::GdipCreatePath(Gdiplus::FillModeAlternate, area.Out()) != Ok ||
      !AddRoundRectFigure(area.Get(), fx, fy, fw, fh, fd) ||
      gp::GdipCreatePath(Gdiplus::FillModeAlternate, outline.Out()) != Ok ||
      !AddRoundRectFigure(outline.Get(), fx + 0.5f, fy + 0.5f, fw - 1, fh - 1,
                          fd > 1 ? fd - 1 : 0) ||
      gp::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitPixel, pen.Out()) != Ok ||
      gp::GdipCreateSolidFill(argb, brush.Out()) != Ok) {
    return false;
  }
  if (gp::GdipSetClipPath(graphics.Get(), area.Get(), Gdiplus::CombineModeReplace) == Ok) {
    gp::GdipDrawPath(graphics.Get(), pen.Get(), outline.Get());
    gp::GdipResetClip(graphics.Get());
  }
  return gp::GdipFillPath(graphics.Get(), brush.Get(), area.Get()) == Ok;
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
  // Without SWP_NOACTIVATE a move also activates the window: centring a dialog
  // while the user works in another window would take the keyboard from it.
  return SetWindowPos(window, nullptr, left, top, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOREDRAW |
                          SWP_NOACTIVATE) != FALSE;
}

bool SetRoundedRegion(HWND window, int32_t width, int32_t height, int32_t diameter) {
  return SetRoundedRegionAt(window, 0, 0, width, height, diameter);
}

bool RoundClientRegion(UiWindow& window) {
  RECT client, frame;
  POINT origin{0, 0};
  if (!GetClientRect(window.handle, &client) || !GetWindowRect(window.handle, &frame) ||
      !ClientToScreen(window.handle, &origin)) {
    return false;
  }
  const int width = client.right - client.left, height = client.bottom - client.top;
  if (!SetRoundedRegionAt(window.handle, origin.x - frame.left, origin.y - frame.top, width, height,
                          kClientCornerDiameter)) {
    return false;
  }
  window.referenceWidth = width;
  window.referenceHeight = height;
  return true;
}

HWND ApplyDialogSkin(UiWindow& mainWindow, UiWindow& dialog, int height, int width) {
  if (!dialog.handle) return nullptr;
  GdipBitmapHolder frame(PaintDialogFrame(width, height));
  if (frame.Get()) SetBackgroundImage(dialog, frame.Get(), width, height);
  SetRoundedRegion(dialog.handle, width, height, kClientCornerDiameter);
  CenterWindow(dialog.handle, mainWindow.handle);
  if (mainWindow.handle) mainWindow.AttachWindow(dialog.handle);
  return dialog.handle;
}

bool CreateSkinnedDialog(UiWindow& mainWindow, UiWindow& dialog, const wchar_t* className,
                         int height, int width, const wchar_t* title) {
  if (!dialog.Create(className, title, width, height, kCentred, kCentred, WS_POPUP,
                     mainWindow.events, mainWindow.handle))
    return false;
  ApplyDialogSkin(mainWindow, dialog, height, width);
  return true;
}

void DisposeDialog(UiWindow& mainWindow, UiWindow& dialog) {
  if (mainWindow.events && mainWindow.events->activeWindow == &dialog)
    mainWindow.events->activeWindow = nullptr;
  dialog.Dispose();
}
