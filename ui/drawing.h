// The program's own look: decoded and scaled image resources, rounded rectangles
// and window regions, window background images and the brushes controls cut from
// them, images on push buttons and the standard dialog frame. Everything here
// runs on the user-interface thread; GDI+ must have been started.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/gdiplus_api.h"

// Resource type of the PNG images, ids 137 to 152.
inline constexpr wchar_t kImageResourceType[] = L"IMAGE";

// Decodes a PNG resource of type "IMAGE" from the module (null: the program) and
// scales it to width x height; 0 keeps the image's own size in that direction.
// The caller disposes of the result (GdipDisposeImage); null when the resource
// is missing or cannot be decoded.
Gdiplus::GpBitmap* LoadImageResource(HMODULE module, int32_t id, int32_t width, int32_t height);

// Draws the source over the target's area 0, 0, width, height, smoothly scaled.
bool ScaleImageInto(Gdiplus::GpImage* source, Gdiplus::GpImage* target, int32_t width,
                    int32_t height);

// Paints a rounded rectangle in an ARGB colour; each corner is a quarter arc of
// a diameter x diameter square, 0 gives square corners.
bool FillRoundRect(Gdiplus::GpImage* target, int32_t x, int32_t y, int32_t width, int32_t height,
                   uint32_t argb, int32_t diameter);

// Cuts the window to a rounded rectangle of width x height at its top-left.
bool SetRoundedRegion(HWND window, int32_t width, int32_t height, int32_t diameter);

// Centres the window on another (null: on the work area) without resizing it.
bool CenterWindow(HWND window, HWND reference);

// Invalidates (with erasing) the part of the parent that lies under the control,
// so that a control painted over the parent's background repaints cleanly.
BOOL InvalidateInParent(HWND control);

// Deletes the bitmap in the slot and, given an image, fills the slot with a
// 32-bit bitmap made from it. False only when that conversion failed.
bool ReplaceBitmapFromImage(HBITMAP& slot, Gdiplus::GpBitmap* image);

// A 32-bit top-down DIB section of the size, every pixel black with alpha 1.
HBITMAP CreateBlankDib(int32_t width, int32_t height);
