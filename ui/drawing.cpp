#include "ui/drawing.h"

#include <commctrl.h>

#include "ui/graphics_holders.h"
#include "ui/ui_window.h"

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

Gdiplus::GpBitmap* LoadImageResource(HMODULE module, int id, int width, int height) {
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
  if (width <= 0) width = static_cast<int>(ownWidth);
  if (height <= 0) height = static_cast<int>(ownHeight);
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

bool InvalidateInParent(HWND control) {
  HWND parent = GetParent(control);
  RECT area;
  if (!parent || !GetClientRect(control, &area)) return false;
  MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&area), 2);
  return InvalidateRect(parent, &area, TRUE) != FALSE;
}

bool ReplaceBitmapFromImage(HBITMAP* slot, Gdiplus::GpBitmap* image) {
  if (!slot) return false;
  if (*slot) DeleteObject(*slot);
  *slot = nullptr;
  if (!image) return true;
  if (gp::GdipCreateHBITMAPFromBitmap(image, slot, kKeepAlpha) == Ok) return true;
  *slot = nullptr;
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

HBITMAP FlattenOntoColour(HBITMAP image, COLORREF background) {
  BITMAP info{};
  if (!image || !GetObjectW(image, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
    return nullptr;
  GdiObjectHolder<HBITMAP> flat(CreateBlankDib(info.bmWidth, info.bmHeight));
  DIBSECTION section{};
  if (!flat.Get() || !GetObjectW(flat.Get(), sizeof section, &section)) return nullptr;
  BITMAPINFO format{};
  format.bmiHeader = section.dsBmih;
  format.bmiHeader.biHeight = -info.bmHeight;  // top-down, as the section
  HDC screen = GetDC(nullptr);
  const int lines =
      GetDIBits(screen, image, 0, info.bmHeight, section.dsBm.bmBits, &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != info.bmHeight) return nullptr;
  auto* pixel = static_cast<uint32_t*>(section.dsBm.bmBits);
  const size_t count = static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight);
  const uint32_t backdrop[3] = {GetBValue(background), GetGValue(background),
                                GetRValue(background)};
  for (size_t i = 0; i < count; ++i) {
    const uint32_t argb = pixel[i];
    const uint32_t coverLeft = 255 - (argb >> 24);
    uint32_t out = 0xFF000000;
    for (int channel = 0; channel < 3; ++channel) {
      const uint32_t own = (argb >> (8 * channel)) & 0xFF;
      const uint32_t mixed =
          std::min<uint32_t>(255, own + (backdrop[channel] * coverLeft + 127) / 255);
      out |= mixed << (8 * channel);
    }
    pixel[i] = out;
  }
  return flat.Take();
}

namespace {

// Background colour for window background bitmaps: the window class's own.
constexpr Gdiplus::ARGB kWindowBackground = 0x00FEFEFE;
constexpr int kClientCornerDiameter = 12;
constexpr uint32_t kFrameBlack = 0xFF000000;
constexpr uint32_t kFrameWhite = 0xFFFFFFFF;
constexpr uint32_t kFrameBand = 0xFFF0F0FF;
constexpr int kFrameEdge = 4;
constexpr int kFrameBandHeight = 40;

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
  HRGN handle = nullptr;
  if (gp::GdipGetRegionHRgn(region.Get(), graphics.Get(), &handle) != Ok || !handle) return false;
  // Once set, the region belongs to the system.
  if (SetWindowRgn(window, handle, FALSE)) return true;
  DeleteObject(handle);
  return false;
}

HWND PushButtonHandle(UiWindow& window, int index) {
  UiControl* control = window.Control(index);
  return control && control->kind == ControlKind::PushButton ? control->handle : nullptr;
}

}  // namespace

bool SetRoundedRegion(HWND window, int32_t width, int32_t height, int32_t diameter) {
  return SetRoundedRegionAt(window, 0, 0, width, height, diameter);
}

bool SetButtonImage(UiWindow& window, int index, int position, HBITMAP bitmap, int width,
                    int height) {
  HWND button = PushButtonHandle(window, index);
  if (!button) return false;
  GdiObjectHolder<HBITMAP> blank;
  if (!bitmap) {
    blank.Reset(CreateBlankDib(width, height));
    if (!blank.Get()) return false;
    bitmap = blank.Get();
  }

  // Every image goes through an image list: one set directly (BM_SETIMAGE)
  // loses its alpha channel on some systems (a black square under Wine). A
  // negative position, which asked for the direct route, is left-aligned.
  const UINT alignment = position < 0 ? BUTTON_IMAGELIST_ALIGN_LEFT : static_cast<UINT>(position);
  BUTTON_IMAGELIST current{};
  if (!SendMessageW(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&current))) return false;
  HIMAGELIST list = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 1, 1);
  if (!list) return false;
  if (ImageList_Add(list, bitmap, nullptr) < 0) {
    ImageList_Destroy(list);
    return false;
  }
  BUTTON_IMAGELIST next{};
  next.himl = list;
  next.uAlign = alignment;
  if (!SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&next))) {
    ImageList_Destroy(list);
    return false;
  }
  // Only now that the button holds the new list is the old one destroyed.
  if (current.himl && current.himl != list) ImageList_Destroy(current.himl);
  return true;
}

bool SetButtonImageFromResource(UiWindow& window, int index, int position, HMODULE module, int id,
                                int width, int height) {
  GdipBitmapHolder image(LoadImageResource(module, id, width, height));
  GdiObjectHolder<HBITMAP> bitmap;
  if (image.Get()) {
    HBITMAP converted = nullptr;
    if (gp::GdipCreateHBITMAPFromBitmap(image.Get(), &converted, kKeepAlpha) == Ok) {
      bitmap.Reset(converted);
    }
  }
  return SetButtonImage(window, index, position, bitmap.Get(), width, height);
}

bool SetBackgroundImage(UiWindow& window, Gdiplus::GpImage* image, int width, int height) {
  if (!image || !window.memoryDc) return false;
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
  HBRUSH brush = CreatePatternBrush(fresh);
  if (!brush) {
    DeleteObject(fresh);
    return false;
  }
  if (window.backgroundBrush) DeleteObject(window.backgroundBrush);
  window.backgroundBrush = brush;

  // The old background bitmap is still selected into the memory context; it is
  // deleted only once the new one has taken its place there.
  HBITMAP previous = window.backgroundBitmap;
  HGDIOBJ out = SelectObject(window.memoryDc, fresh);
  window.backgroundBitmap = fresh;
  if (!window.memoryDcFirstBitmap && out != previous) {
    window.memoryDcFirstBitmap = static_cast<HBITMAP>(out);
  }
  if (previous && previous != fresh) DeleteObject(previous);
  window.backgroundMode = 1;
  return true;
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

HBRUSH ControlBackgroundBrush(UiWindow& window, int controlIndex, HDC dc) {
  UiControl* control = window.Control(controlIndex);
  if (!control || !window.memoryDc) return nullptr;
  if (!dc) dc = window.memoryDc;
  RECT area;
  if (window.backgroundMode == 0 || !control->handle || !GetWindowRect(control->handle, &area)) {
    return window.backgroundBrush;
  }
  MapWindowPoints(nullptr, window.handle, reinterpret_cast<POINT*>(&area), 2);
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return window.backgroundBrush;

  // The part of the background under the control, as a brush of its own whose
  // origin is the control's corner.
  // Declared before the context, so that the context gives the bitmap back
  // before the bitmap is deleted: a bitmap still selected cannot be deleted.
  GdiObjectHolder<HBITMAP> piece(CreateCompatibleBitmap(dc, width, height));
  MemoryDcHolder cut(dc);
  if (!cut.Get() || !piece.Get()) return window.backgroundBrush;
  cut.Select(piece.Get());
  SetBrushOrgEx(cut.Get(), -area.left, -area.top, nullptr);
  HGDIOBJ oldBrush = SelectObject(cut.Get(), window.backgroundBrush);
  PatBlt(cut.Get(), 0, 0, width, height, PATCOPY);
  SelectObject(cut.Get(), oldBrush);
  HBRUSH brush = CreatePatternBrush(piece.Get());
  if (!brush) return window.backgroundBrush;
  if (window.controlAreaBrush) DeleteObject(window.controlAreaBrush);
  window.controlAreaBrush = brush;
  return brush;
}

namespace {

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
  return painted ? frame.Take() : nullptr;
}

}  // namespace

HWND ApplyDialogSkin(UiWindow& mainWindow, UiWindow& dialog, int height, int width) {
  if (!dialog.handle) return nullptr;
  GdipBitmapHolder frame(PaintDialogFrame(width, height));
  if (frame.Get()) SetBackgroundImage(dialog, frame.Get(), width, height);
  SetRoundedRegion(dialog.handle, width, height, kClientCornerDiameter);
  CenterWindow(dialog.handle, mainWindow.handle);
  if (mainWindow.handle) mainWindow.AttachWindow(dialog.handle);
  return dialog.handle;
}
