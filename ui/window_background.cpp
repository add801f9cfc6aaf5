// The window background: an image painted once into a bitmap, the brushes
// that paint the window and its controls from it.
#include "ui/window_background.h"

#include <utility>

#include "ui/drawing.h"
#include "ui/ui_window.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::Ok;

namespace {

// Background colour for window background bitmaps: the window class's own.
constexpr Gdiplus::ARGB kWindowBackground = 0x00FEFEFE;

int ImageEdge(Gdiplus::GpImage* image, bool horizontal) {
  UINT edge = 0;
  if (horizontal) {
    gp::GdipGetImageWidth(image, &edge);
  } else {
    gp::GdipGetImageHeight(image, &edge);
  }
  return static_cast<int>(edge);
}

}  // namespace

bool InvalidateInParent(HWND control) {
  HWND parent = GetParent(control);
  RECT area;
  if (!parent || !GetClientRect(control, &area)) return false;
  MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&area), 2);
  return InvalidateRect(parent, &area, TRUE) != FALSE;
}

bool SetBackgroundImage(UiWindow& window, Gdiplus::GpImage* image, int width, int height) {
  if (!image || !window.background.MemoryDc()) return false;
  if (width == 0 || height == 0) {
    RECT client{};
    GetClientRect(window.handle, &client);
    if (width == 0) width = client.right - client.left;
    if (height == 0) height = client.bottom - client.top;
  }
  const int ownWidth = ImageEdge(image, true), ownHeight = ImageEdge(image, false);
  if (width < 0) width = ownWidth;
  if (height < 0) height = ownHeight;
  if (width <= 0 || height <= 0) return false;

  GdipBitmapHolder scaled;
  Gdiplus::GpImage* source = image;
  if (width != ownWidth || height != ownHeight) {
    if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr,
                                      scaled.Out()) != Ok ||
        !ScaleImageInto(image, scaled.Get(), width, height)) {
      return false;
    }
    source = scaled.Get();
  }
  HBITMAP fresh = nullptr;
  if (gp::GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(source), &fresh,
                                      kWindowBackground) != Ok) {
    return false;
  }
  return window.background.TakeImage(fresh);
}

HBRUSH ControlBackgroundBrush(UiWindow& window, int controlIndex, HDC dc) {
  UiControl* control = window.Control(controlIndex);
  WindowBackground& background = window.background;
  if (!control || !background.MemoryDc()) return nullptr;
  RECT area;
  if (background.Mode() == BackgroundMode::SolidBrush || !control->handle ||
      !GetWindowRect(control->handle, &area)) {
    return background.Brush();
  }
  MapWindowPoints(nullptr, window.handle, reinterpret_cast<POINT*>(&area), 2);
  return background.AreaBrush(dc ? dc : background.MemoryDc(), area);
}

void WindowBackground::Prepare(HWND window, COLORREF colour) {
  brush_.Reset(CreateSolidBrush(colour));
  if (memoryDc_.Valid()) return;
  WindowDcHolder screen(window);
  memoryDc_.Reset(CreateCompatibleDC(screen.Get()));
}

void WindowBackground::Release() {
  if (memoryDc_.Valid() && contextsOwnBitmap_) SelectObject(memoryDc_.Get(), contextsOwnBitmap_);
  contextsOwnBitmap_ = nullptr;
  memoryDc_.Close();
  image_.Close();
  brush_.Close();
  areaBrush_.Close();
  mode_ = BackgroundMode::SolidBrush;
}

bool WindowBackground::TakeImage(HBITMAP image) {
  GdiObjectHolder<HBITMAP> fresh(image);
  HBRUSH pattern = CreatePatternBrush(image);
  if (!pattern) return false;
  brush_.Reset(pattern);
  // The old image is still selected into the context; it is deleted only once
  // the new one has taken its place there.
  HGDIOBJ out = SelectObject(memoryDc_.Get(), image);
  if (!contextsOwnBitmap_ && out != image_.Get()) contextsOwnBitmap_ = out;
  image_ = std::move(fresh);
  mode_ = BackgroundMode::ImagePattern;
  return true;
}

HBRUSH WindowBackground::AreaBrush(HDC dc, const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return Brush();
  // The part of the background under the area, as a brush of its own whose
  // origin is the area's corner.
  GdiObjectHolder<HBITMAP> piece(CreateCompatibleBitmap(dc, width, height));
  MemoryDcOwner cut(CreateCompatibleDC(dc));
  if (!cut.Get() || !piece.Get()) return Brush();
  {
    SelectedObject pieceIn(cut.Get(), piece.Get());
    SelectedObject brushIn(cut.Get(), Brush());
    SetBrushOrgEx(cut.Get(), -area.left, -area.top, nullptr);
    PatBlt(cut.Get(), 0, 0, width, height, PATCOPY);
  }
  HBRUSH brush = CreatePatternBrush(piece.Get());
  if (!brush) return Brush();
  areaBrush_.Reset(brush);
  return brush;
}

bool SetPanelBackground(UiWindow& window, int32_t width, int32_t height, uint32_t leftColour,
                        uint32_t rightColour, const PanelRect* panels, size_t panelCount) {
  GdipBitmapHolder canvas;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr,
                                    canvas.Out()) != Gdiplus::Ok) {
    return false;
  }
  {
    GdipGraphicsHolder graphics;
    gp::GdipGetImageGraphicsContext(canvas.Get(), graphics.Out());
    Gdiplus::GpLineGradient* gradient = nullptr;
    Gdiplus::Point from{0, 0}, to{width, 0};
    if (gp::GdipCreateLineBrushI(&from, &to, leftColour, rightColour, Gdiplus::WrapModeTile,
                                 &gradient) == Gdiplus::Ok) {
      gp::GdipFillRectangleI(graphics.Get(), gradient, 0, 0, width, height);
      gp::GdipDeleteBrush(gradient);
    }
  }
  for (size_t i = 0; i < panelCount; ++i)
    FillRoundRect(canvas.Get(), panels[i].x, panels[i].y, panels[i].width, panels[i].height,
                  0xFFFFFFFF, 4);
  const bool painted = SetBackgroundImage(window, canvas.Get(), width, height);
  RoundClientRegion(window);
  return painted;
}
