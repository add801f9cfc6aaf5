// Owners for the GDI, GDI+ and window-system objects that the toolkit makes
// and must release on every path out of a function: one-line aliases of the
// owner template, plus the two scopes that are not a single release call.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "base/owner.h"
#include "ui/gdiplus_api.h"

using GdipGraphicsHolder = Owner<Gdiplus::GpGraphics*, Gdiplus::DllExports::GdipDeleteGraphics>;
using GdipPathHolder = Owner<Gdiplus::GpPath*, Gdiplus::DllExports::GdipDeletePath>;
using GdipPenHolder = Owner<Gdiplus::GpPen*, Gdiplus::DllExports::GdipDeletePen>;
using GdipSolidFillHolder = Owner<Gdiplus::GpSolidFill*, Gdiplus::DllExports::GdipDeleteBrush>;
using GdipRegionHolder = Owner<Gdiplus::GpRegion*, Gdiplus::DllExports::GdipDeleteRegion>;
using GdipBitmapHolder = Owner<Gdiplus::GpBitmap*, Gdiplus::DllExports::GdipDisposeImage>;

// A GDI object (bitmap, brush, region, font) deleted with DeleteObject.
template <typename H>
using GdiObjectHolder = Owner<H, DeleteObject>;
using MemoryDcOwner = Owner<HDC, DeleteDC>;
using IconHolder = Owner<HICON, DestroyIcon>;
using MenuHolder = Owner<HMENU, DestroyMenu>;
using ImageListHolder = Owner<HIMAGELIST, ImageList_Destroy>;
using AcceleratorHolder = Owner<HACCEL, DestroyAcceleratorTable>;

// Selects a GDI object into a device context and puts the previous one back
// at the end of the scope, so that the object can be deleted afterwards (a
// bitmap still selected somewhere cannot). Declare it after the owners of the
// context and of the object, so that it ends first.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (dc_ && previous_) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window's device context from GetDC; ReleaseDC needs the window as well.
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
