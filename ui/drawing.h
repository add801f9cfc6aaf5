// The program's own look: decoded and scaled image resources, rounded rectangles
// and window regions, window background images and the brushes controls cut from
// them, images on push buttons and the standard dialog frame. Everything here
// runs on the user-interface thread; GDI+ must have been started.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "ui/gdiplus_api.h"

// The toolkit's drawing, in three units: image resources and button images
// (image_resources.cpp), shapes and the dialog frame (dialog_skin.cpp), the
// window background (window_background.cpp).

// Resource type of the PNG images, ids 137 to 152.
inline constexpr wchar_t kImageResourceType[] = L"IMAGE";

// Decodes a PNG resource of type "IMAGE" from the module (null: the program) and
// scales it to width x height; 0 keeps the image's own size in that direction.
// The caller disposes of the result (GdipDisposeImage); null when the resource
// is missing or cannot be decoded.
Gdiplus::GpBitmap* LoadImageResource(HMODULE module, int id, int width, int height);

// Draws the source over the target's area 0, 0, width, height, smoothly scaled.
bool ScaleImageInto(Gdiplus::GpImage* source, Gdiplus::GpImage* target, int32_t width,
                    int32_t height);

// Paints a rounded rectangle in an ARGB colour; each corner is a quarter arc of
// a diameter x diameter square, 0 gives square corners.
bool FillRoundRect(Gdiplus::GpImage* target, int32_t x, int32_t y, int32_t width, int32_t height,
                   uint32_t argb, int32_t diameter);

// Cuts the window to a rounded rectangle of width x height at its top-left.
bool SetRoundedRegion(HWND window, int32_t width, int32_t height, int32_t diameter);

// Centres the window on another (null: on the work area) without resizing or
// activating it.
bool CenterWindow(HWND window, HWND reference);

// Invalidates (with erasing) the part of the parent that lies under the control,
// so that a control painted over the parent's background repaints cleanly.
bool InvalidateInParent(HWND control);

// Deletes the bitmap in the slot and, given an image, fills the slot with a
// 32-bit bitmap made from it. False only when that conversion failed.
bool ReplaceBitmapFromImage(HBITMAP* slot, Gdiplus::GpBitmap* image);

// A 32-bit top-down DIB section of the size, every pixel black with alpha 1.
HBITMAP CreateBlankDib(int32_t width, int32_t height);

// A new opaque copy of a 32-bit image with premultiplied alpha, laid over a
// plain colour: for places that draw bitmaps without blending (menu check
// marks), where transparent pixels would otherwise show black. Null when the
// bitmap cannot be read.
HBITMAP FlattenOntoColour(HBITMAP image, COLORREF background);

class UiWindow;

// Width of the program's standard dialog frame.
inline constexpr int32_t kDialogSkinWidth = 450;

// Gives a push button (-1: the latest) an image, always through a button
// image list, which keeps the image's transparency everywhere: position 0 or
// more is the list's alignment, a negative position means left-aligned.
// Without a bitmap the button gets a blank image of the size. The caller keeps
// the bitmap it passes: the list holds a copy of its own, which lives until it
// is replaced or the button is removed.
bool SetButtonImage(UiWindow& window, int index, int position, HBITMAP bitmap, int width,
                    int height);
// The same with an image resource; a missing resource gives a blank image.
bool SetButtonImageFromResource(UiWindow& window, int index, int position, HMODULE module, int id,
                                int width, int height);
// Makes the image the window's background: painted once into a bitmap held by
// the window's memory context, then pattern-filled. width/height 0 take the
// client size, -1 the image's own. True when the background brush exists.
bool SetBackgroundImage(UiWindow& window, Gdiplus::GpImage* image, int width, int height);

// Cuts the window to its client area with rounded corners.
bool RoundClientRegion(UiWindow& window);

struct PanelRect {
  int32_t x, y, width, height;
};
// The program's window look: a left-to-right gradient with rounded white
// panels on it, made the window's background, and the window rounded.
bool SetPanelBackground(UiWindow& window, int32_t width, int32_t height, uint32_t leftColour,
                        uint32_t rightColour, const PanelRect* panels, size_t panelCount);

// Brush to paint a control's background with: the window's background brush,
// or a brush cut from the window's background image under the control (owned
// by the window, valid until the next request). None for an invalid index.
HBRUSH ControlBackgroundBrush(UiWindow& window, int controlIndex, HDC dc);

// Gives a dialog or message box the standard frame (width x height): a black
// rounded outline 4 pixels wide, white body, a light band 40 pixels high behind
// the buttons. Rounds its outline, centres it on the main window (the work area
// when that has no window) and lets it move along with the main window. The
// dialog's handle, or null when it has no window.
HWND ApplyDialogSkin(UiWindow& mainWindow, UiWindow& dialog, int height,
                     int width = kDialogSkinWidth);

// Makes dialog a pop-up of the main window with its events in the main
// window's record, and gives it the skin above; false when it cannot be made.
bool CreateSkinnedDialog(UiWindow& mainWindow, UiWindow& dialog, const wchar_t* className,
                         int height, int width = kDialogSkinWidth, const wchar_t* title = L"");
// Ends a dialog made so once its loop is over: the record forgets it as the
// active window, and it is destroyed.
void DisposeDialog(UiWindow& mainWindow, UiWindow& dialog);
