#include "ui/drawing.h"

#include "ui/ui_window.h"

using namespace Gdiplus::DllExports;

bool InvalidateInParent(HWND control) {
  HWND parent = GetParent(control);
  RECT area;
  if (!parent || !GetClientRect(control, &area)) return false;
  MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&area), 2);
  return InvalidateRect(parent, &area, TRUE) != FALSE;
}

bool ReplaceBitmapFromImage(HBITMAP* slot, Gdiplus::GpBitmap* image) {
  if (*slot) DeleteObject(*slot);
  *slot = nullptr;
  if (!image) return true;
  HBITMAP made = nullptr;
  if (GdipCreateHBITMAPFromBitmap(image, &made, 0) != Gdiplus::Ok) return false;
  *slot = made;
  return true;
}

HBRUSH ControlBackgroundBrush(UiWindow& window, int controlIndex, HDC) {
  UiControl* control = window.Control(controlIndex);
  if (!control || !window.memoryDc) return nullptr;
  RECT area;
  if (window.backgroundMode == 0 || !control->handle || !GetWindowRect(control->handle, &area))
    return window.backgroundBrush;
  MapWindowPoints(nullptr, window.handle, reinterpret_cast<POINT*>(&area), 2);
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  HDC screen = GetDC(window.handle);
  HDC cut = CreateCompatibleDC(screen);
  HBITMAP piece = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(window.handle, screen);
  HBRUSH made = nullptr;
  if (cut && piece) {
    HGDIOBJ first = SelectObject(cut, piece);
    // The pattern brush is aligned with the window's client area; shifting the
    // origin copies exactly the part of the background under the control.
    SetBrushOrgEx(cut, -area.left, -area.top, nullptr);
    HGDIOBJ oldBrush = SelectObject(cut, window.backgroundBrush);
    PatBlt(cut, 0, 0, width, height, PATCOPY);
    SelectObject(cut, oldBrush);
    SelectObject(cut, first);
    made = CreatePatternBrush(piece);
  }
  if (piece) DeleteObject(piece);
  if (cut) DeleteDC(cut);
  if (!made) return window.backgroundBrush;
  if (window.controlAreaBrush) DeleteObject(window.controlAreaBrush);
  window.controlAreaBrush = made;
  return made;
}
