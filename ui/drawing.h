// Drawing primitives the window toolkit calls: background brushes for
// controls, invalidation in the parent and GDI bitmaps from decoded images.
#pragma once

#include <windows.h>

#include "ui/gdiplus_api.h"

class UiWindow;

// Invalidates (with erasing) the control's area in its parent.
bool InvalidateInParent(HWND control);

// Deletes the bitmap in the slot and empties it; with an image, fills the slot
// with a new GDI bitmap of it (transparent background). False when the
// conversion failed.
bool ReplaceBitmapFromImage(HBITMAP* slot, Gdiplus::GpBitmap* image);

// Brush to paint a control's background with: the window's background brush,
// or a brush cut from the window's background image under the control (owned
// by the window, valid until the next request). None for an invalid index.
HBRUSH ControlBackgroundBrush(UiWindow& window, int controlIndex, HDC dc);

// Decodes an image resource of type "IMAGE" (module null: the program) and
// scales it to width x height (0 keeps the image's own). The caller disposes
// of the result; null when the resource is missing or cannot be decoded.
Gdiplus::GpBitmap* LoadImageResource(HMODULE module, int id, int width, int height);
