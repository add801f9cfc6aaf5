// Images from the program's resources, conversions between GDI+ images and
// GDI bitmaps, and the images of push buttons.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_window.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::Ok;

namespace {

// Background handed to GdipCreateHBITMAPFromBitmap for images with alpha:
// transparent black keeps the alpha channel in the bitmap.
constexpr Gdiplus::ARGB kKeepAlpha = 0;

HWND PushButtonHandle(UiWindow& window, int index) {
  UiControl* control = window.Control(index);
  return control && control->kind == ControlKind::PushButton ? control->handle : nullptr;
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
    return decoded.Release();
  }

  GdipBitmapHolder scaled;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr,
                                    scaled.Out()) != Ok ||
      !ScaleImageInto(decoded.Get(), scaled.Get(), width, height)) {
    return nullptr;
  }
  return scaled.Release();
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
  return flat.Release();
}

namespace {

// A washed-out grey copy of a 32-bit image for the disabled state; null when
// the image cannot be read. Lightening towards the alpha value keeps
// premultiplied pixels valid.
HBITMAP CreateDisabledLook(HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!copy) return nullptr;
  HDC screen = GetDC(nullptr);
  const int lines =
      GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), bits, &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != height) {
    DeleteObject(copy);
    return nullptr;
  }
  uint32_t* pixel = static_cast<uint32_t*>(bits);
  for (int i = 0; i < width * height; ++i) {
    const uint32_t alpha = pixel[i] >> 24;
    const uint32_t red = (pixel[i] >> 16) & 0xFF, green = (pixel[i] >> 8) & 0xFF,
                   blue = pixel[i] & 0xFF;
    const uint32_t grey = std::min<uint32_t>(alpha, (red * 30 + green * 59 + blue * 11) / 100);
    const uint32_t light = grey + (alpha - grey) / 2;
    pixel[i] = (alpha << 24) | (light << 16) | (light << 8) | light;
  }
  return copy;
}

}  // namespace

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
  // One image per button state (normal, hot, pressed, disabled, defaulted,
  // stylus hot): with a single image a disabled button without text, such as
  // move up and move down, would look just as usable as an enabled one.
  GdiObjectHolder<HBITMAP> disabled(CreateDisabledLook(bitmap, width, height));
  ImageListHolder list(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 6, 0));
  if (!list.Valid()) return false;
  for (int state = 0; state < 6; ++state) {
    HBITMAP image = state == 3 && disabled.Get() ? disabled.Get() : bitmap;
    if (ImageList_Add(list.Get(), image, nullptr) < 0) return false;
  }
  BUTTON_IMAGELIST next{};
  next.himl = list.Get();
  next.uAlign = alignment;
  if (!SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&next))) return false;
  // The button holds the new list from now on; only now is the old one,
  // which the button held until this moment, destroyed.
  list.Release();
  ImageListHolder previous(current.himl != next.himl ? current.himl : nullptr);
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
