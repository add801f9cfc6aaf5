// Image buttons made from the program's image resources; apart from the rest
// of the image buttons so that only programs with such resources decode them.
#include "ui/drawing.h"
#include "ui/ui_internal.h"

int UiWindow::AddImageButton(int normalImageId, int hotImageId, int x) {
  Gdiplus::GpBitmap* normal =
      LoadImageResource(nullptr, normalImageId, kImageButtonEdge, kImageButtonEdge);
  Gdiplus::GpBitmap* hot =
      LoadImageResource(nullptr, hotImageId, kImageButtonEdge, kImageButtonEdge);
  int index = AddImageButton(normal, hot, x);
  if (normal) Gdiplus::DllExports::GdipDisposeImage(normal);
  if (hot) Gdiplus::DllExports::GdipDisposeImage(hot);
  return index;
}
