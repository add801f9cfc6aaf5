// Owners for the GDI and GDI+ objects that drawing code makes and must release on
// every path out of a function.
#pragma once

#include <windows.h>

#include "ui/gdiplus_api.h"

// One GDI+ object released with the flat interface's own release call.
template <typename T, auto Release>
class GdipHolder {
 public:
  GdipHolder() = default;
  explicit GdipHolder(T* object) : object_(object) {}
  ~GdipHolder() { Reset(); }
  GdipHolder(const GdipHolder&) = delete;
  GdipHolder& operator=(const GdipHolder&) = delete;

  T* Get() const { return object_; }
  // For the flat calls that create into a pointer; releases what was held.
  T** Out() {
    Reset();
    return &object_;
  }
  T* Take() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  void Reset() {
    if (object_) Release(object_);
    object_ = nullptr;
  }

 private:
  T* object_ = nullptr;
};

using GdipGraphicsHolder = GdipHolder<Gdiplus::GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>;
using GdipPathHolder = GdipHolder<Gdiplus::GpPath, Gdiplus::DllExports::GdipDeletePath>;
using GdipPenHolder = GdipHolder<Gdiplus::GpPen, Gdiplus::DllExports::GdipDeletePen>;
using GdipSolidFillHolder = GdipHolder<Gdiplus::GpSolidFill, Gdiplus::DllExports::GdipDeleteBrush>;
using GdipRegionHolder = GdipHolder<Gdiplus::GpRegion, Gdiplus::DllExports::GdipDeleteRegion>;
using GdipBitmapHolder = GdipHolder<Gdiplus::GpBitmap, Gdiplus::DllExports::GdipDisposeImage>;

// A GDI object (bitmap, brush, region, font) deleted with DeleteObject.
template <typename H>
class GdiObjectHolder {
 public:
  GdiObjectHolder() = default;
  explicit GdiObjectHolder(H object) : object_(object) {}
  ~GdiObjectHolder() { Reset(); }
  GdiObjectHolder(const GdiObjectHolder&) = delete;
  GdiObjectHolder& operator=(const GdiObjectHolder&) = delete;

  H Get() const { return object_; }
  H Take() {
    H object = object_;
    object_ = nullptr;
    return object;
  }
  void Reset(H object = nullptr) {
    if (object_) DeleteObject(object_);
    object_ = object;
  }

 private:
  H object_ = nullptr;
};

// A memory device context; whatever was selected out of it at creation is put
// back before it is deleted, so the objects selected in stay deletable.
class MemoryDcHolder {
 public:
  explicit MemoryDcHolder(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDcHolder() {
    if (!dc_) return;
    if (firstBitmap_) SelectObject(dc_, firstBitmap_);
    DeleteDC(dc_);
  }
  MemoryDcHolder(const MemoryDcHolder&) = delete;
  MemoryDcHolder& operator=(const MemoryDcHolder&) = delete;

  HDC Get() const { return dc_; }
  void Select(HBITMAP bitmap) {
    HGDIOBJ previous = SelectObject(dc_, bitmap);
    if (!firstBitmap_) firstBitmap_ = previous;
  }

 private:
  HDC dc_;
  HGDIOBJ firstBitmap_ = nullptr;
};

// A window's device context from GetDC.
class WindowDcHolder {
 public:
  explicit WindowDcHolder(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDcHolder() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDcHolder(const WindowDcHolder&) = delete;
  WindowDcHolder& operator=(const WindowDcHolder&) = delete;

  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};
