// A window's background: the brush that paints its client area and, once the
// window was given an image, that image painted into a bitmap held by a
// memory context, the brush then being a pattern of it. It owns everything it
// holds; a brush it cuts for a control lives until the next one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/graphics_holders.h"

enum class BackgroundMode : int32_t {
  SolidBrush = 0,    // the window's plain colour
  ImagePattern = 1,  // a pattern brush of the background image
};

class WindowBackground {
 public:
  WindowBackground() = default;
  ~WindowBackground() { Release(); }
  WindowBackground(const WindowBackground&) = delete;
  WindowBackground& operator=(const WindowBackground&) = delete;

  // A solid brush of the colour, and a memory context compatible with the
  // window (kept when there is one).
  void Prepare(HWND window, COLORREF colour);
  // Deletes everything, the bitmap once the context has given it back.
  void Release();
  // Makes the bitmap (owned from now on) the background image, with a pattern
  // brush of it. False, and nothing changed, when the brush cannot be made.
  bool TakeImage(HBITMAP image);
  // A brush showing the background under the area (client coordinates), its
  // origin at the area's corner; the window's brush when no piece can be cut.
  HBRUSH AreaBrush(HDC dc, const RECT& area);

  HBRUSH Brush() const { return brush_.Get(); }
  HDC MemoryDc() const { return memoryDc_.Get(); }
  HBITMAP Image() const { return image_.Get(); }
  HBRUSH LastAreaBrush() const { return areaBrush_.Get(); }
  BackgroundMode Mode() const { return mode_; }

 private:
  // Declared first, so that it outlives the context that holds it.
  GdiObjectHolder<HBITMAP> image_;
  MemoryDcOwner memoryDc_;
  // What the context held before the first image: put back before the
  // context is deleted, so that the image can be deleted after it.
  HGDIOBJ contextsOwnBitmap_ = nullptr;
  GdiObjectHolder<HBRUSH> brush_;
  GdiObjectHolder<HBRUSH> areaBrush_;
  BackgroundMode mode_ = BackgroundMode::SolidBrush;
};
