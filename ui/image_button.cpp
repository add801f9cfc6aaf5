// Image buttons: static controls that show one of four state images and
// report clicks like push buttons.
#include <windows.h>

#include <commctrl.h>

#include <new>

#include "ui/drawing.h"
#include "ui/ui_internal.h"

namespace {

constexpr int kImageButtonY = 4;
// Names the toolkit window of an image button, for the Return key in PumpEvent.
constexpr wchar_t kOwnerProperty[] = L"HarborlineImageButtonOwner";

ImageButtonImages* RecordOf(UiWindow& window, int index, UiControl** control = nullptr) {
  UiControl* slot = window.Control(index);
  if (!slot || slot->kind != ControlKind::ImageButton || !slot->kindData.imageButton)
    return nullptr;
  if (control) *control = slot;
  return slot->kindData.imageButton;
}

bool Holds(const HBITMAP* images, int count, HBITMAP bitmap) {
  for (int i = 0; i < count; ++i)
    if (images[i] == bitmap) return true;
  return false;
}

// Shows a bitmap on the control. What the control hands back is either one of
// the bitmaps the toolkit keeps (kept) or the control's own copy (deleted).
void Show(HWND control, HBITMAP bitmap, const HBITMAP* kept, int keptCount) {
  SwapControlImage(control, STM_SETIMAGE, IMAGE_BITMAP, bitmap,
                   [&](HANDLE back) { return Holds(kept, keptCount, static_cast<HBITMAP>(back)); });
  InvalidateInParent(control);
}

}  // namespace

LRESULT CALLBACK ImageButtonProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR owner) {
  UiWindow& window = *reinterpret_cast<UiWindow*>(owner);
  int index = static_cast<int>(id);
  switch (message) {
    case WM_SETFOCUS:
      if (IsWindowEnabled(control)) RequestImageButtonState(window, index, kImageFocused, false);
      break;
    case WM_KILLFOCUS:
      if (IsWindowEnabled(control)) RequestImageButtonState(window, index, kImageNormal, true);
      break;
    case WM_MOUSELEAVE:
      if (window.hoveredControl == index) {
        if (IsWindowEnabled(control)) RequestImageButtonState(window, index, kImageNormal, false);
        window.hoveredControl = 0;
      }
      break;
    case WM_ENABLE:
      // Forced: a disabled button never keeps its focused look.
      RequestImageButtonState(window, index, wParam ? kImageNormal : kImageDisabled, true);
      break;
    case WM_NCDESTROY:
      RemovePropW(control, kOwnerProperty);
      RemoveWindowSubclass(control, ImageButtonProc, id);
      break;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

UiWindow* ImageButtonOwner(HWND control) {
  if (!control) return nullptr;
  return static_cast<UiWindow*>(GetPropW(control, kOwnerProperty));
}

bool RequestImageButtonState(UiWindow& window, int index, int state, bool focusLeaving) {
  UiControl* control = nullptr;
  ImageButtonImages* record = RecordOf(window, index, &control);
  if (!record || state < kImageNormal || state > kImageDisabled) return false;
  if (!record->images[state])
    state = (state == kImageFocused && record->images[kImageHot]) ? kImageHot : kImageNormal;
  if (state == record->state) return true;
  // The focused look stays while the button has the focus, whatever the pointer does.
  if (state < kImageDisabled && record->state == kImageFocused && !focusLeaving &&
      GetFocus() == control->handle)
    return false;
  record->state = state;
  Show(control->handle, record->images[state], record->images, 4);
  return true;
}

bool UiWindow::SetImageButtonState(int index, int state) {
  return RequestImageButtonState(*this, index, state, false);
}

bool UiWindow::SetImageButtonImages(int index, Gdiplus::GpBitmap* normal, Gdiplus::GpBitmap* hot) {
  UiControl* control = nullptr;
  ImageButtonImages* record = RecordOf(*this, index, &control);
  if (!record) return false;
  HBITMAP fresh[2] = {};
  bool converted = ReplaceBitmapFromImage(&fresh[0], normal);
  converted = ReplaceBitmapFromImage(&fresh[1], hot) && converted;
  // The old images may still be on screen: the new one goes up before they go.
  ImageButtonImages old = *record;
  record->images[kImageNormal] = fresh[0];
  record->images[kImageHot] = fresh[1];
  record->images[kImageFocused] = nullptr;
  record->images[kImageDisabled] = nullptr;
  record->state = kImageNormal;
  HBITMAP all[8] = {fresh[0], fresh[1], nullptr, nullptr};
  for (int i = 0; i < 4; ++i) all[4 + i] = old.images[i];
  Show(control->handle, fresh[0], all, 8);
  for (HBITMAP image : old.images)
    if (image) DeleteObject(image);
  return converted;
}

bool UiWindow::SetImageButtonStateImage(int index, int state, Gdiplus::GpBitmap* image) {
  UiControl* control = nullptr;
  ImageButtonImages* record = RecordOf(*this, index, &control);
  if (!record || state < kImageNormal || state > kImageDisabled) return false;
  HBITMAP fresh = nullptr;
  bool converted = ReplaceBitmapFromImage(&fresh, image);
  HBITMAP old = record->images[state];
  record->images[state] = fresh;
  if (record->state == state) {
    HBITMAP all[5] = {record->images[0], record->images[1], record->images[2], record->images[3],
                      old};
    Show(control->handle, fresh, all, 5);
  }
  if (old) DeleteObject(old);
  return converted;
}

int UiWindow::AddImageButton(Gdiplus::GpBitmap* normal, Gdiplus::GpBitmap* hot, int x) {
  int index = CreateChildControl(*this, ControlKind::ImageButton, 0, L"Static", nullptr,
                                 WS_VISIBLE | SS_BITMAP | SS_REALSIZECONTROL | SS_NOTIFY, x,
                                 kImageButtonY, kImageButtonEdge, kImageButtonEdge);
  if (!index) return 0;
  auto* record = new (std::nothrow) ImageButtonImages();
  if (!record) {
    RemoveControl(index);
    return 0;
  }
  UiControl& control = controls[index];
  control.kindData.imageButton = record;
  control.cursor = LoadCursorW(nullptr, IDC_HAND);
  SetPropW(control.handle, kOwnerProperty, this);
  SetWindowSubclass(control.handle, ImageButtonProc, static_cast<UINT_PTR>(index),
                    reinterpret_cast<DWORD_PTR>(this));
  SetImageButtonImages(index, normal, hot);
  return index;
}
