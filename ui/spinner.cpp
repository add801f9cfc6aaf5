#include "ui/spinner.h"

#include "ui/graphics_holders.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::Ok;

namespace {

constexpr float kSweepDegrees = 294;
constexpr float kStepDegrees = 4;
constexpr float kFirstStartDegrees = 280;
constexpr DWORD kHiddenPoll = 10;

}  // namespace

bool BusySpinner::Start(HWND control, int32_t size, uint32_t colour, int32_t speed) {
  if (thread_.Running() || !IsWindow(control)) return false;
  record_ = SpinnerRecord{control, size, colour, speed, thread_.StopEvent()};
  return thread_.Start(SpinnerThread, &record_);
}

void BusySpinner::Stop() { thread_.Stop(); }

DWORD WINAPI SpinnerThread(void* recordPointer) {
  const auto* record = static_cast<const SpinnerRecord*>(recordPointer);
  if (!record || record->size <= 0) return 0;
  const int size = record->size;
  HWND window = record->window;

  WindowDcHolder windowDc(window);
  if (!windowDc.Get()) return 0;
  GdiObjectHolder<HBITMAP> frame(CreateCompatibleBitmap(windowDc.Get(), size, size));
  MemoryDcOwner memoryDc(CreateCompatibleDC(windowDc.Get()));
  if (!memoryDc.Get() || !frame.Get()) return 0;
  // Declared after the bitmap and the context: the bitmap is given back
  // before either is deleted.
  SelectedObject frameIn(memoryDc.Get(), frame.Get());
  // What the control shows now is the background every frame starts from.
  BitBlt(memoryDc.Get(), 0, 0, size, size, windowDc.Get(), 0, 0, SRCCOPY);
  // The brush keeps a copy of the pixels, so every frame can paint over the bitmap.
  GdiObjectHolder<HBRUSH> background(CreatePatternBrush(frame.Get()));
  if (!background.Get()) return 0;

  GdipGraphicsHolder graphics;
  GdipPenHolder pen;
  const float width = static_cast<float>(size) / 5 - 1;
  if (gp::GdipCreateFromHDC(memoryDc.Get(), graphics.Out()) != Ok ||
      gp::GdipCreatePen1(record->colour, width, Gdiplus::UnitPixel, pen.Out()) != Ok) {
    return 0;
  }
  gp::GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeHighQuality);
  gp::GdipSetPixelOffsetMode(graphics.Get(), Gdiplus::PixelOffsetModeHalf);
  gp::GdipSetPenEndCap(pen.Get(), Gdiplus::LineCapTriangle);

  const float inset = width / 2 + 1;
  const float edge = static_cast<float>(size) - width - 2;
  const DWORD pause = record->speed >= 100 ? 0 : static_cast<DWORD>(100 - record->speed);
  const RECT all = {0, 0, size, size};
  float start = kFirstStartDegrees;

  auto drawFrame = [&]() {
    FillRect(memoryDc.Get(), &all, background.Get());
    gp::GdipDrawArc(graphics.Get(), pen.Get(), inset, inset, edge, edge, start, kSweepDegrees);
    gp::GdipFlush(graphics.Get(), Gdiplus::FlushIntentionSync);
    return BitBlt(windowDc.Get(), 0, 0, size, size, memoryDc.Get(), 0, 0, SRCCOPY) != FALSE;
  };

  // Every pause doubles as the wait for the stop request.
  auto stopped = [&](DWORD milliseconds) {
    if (!record->stop) {
      Sleep(milliseconds);
      return false;
    }
    return WaitForSingleObject(record->stop, milliseconds) == WAIT_OBJECT_0;
  };
  if (stopped(pause)) return 0;
  bool drawn = drawFrame();
  while (drawn) {
    start += kStepDegrees;
    if (start >= 360) start -= 360;
    while (!IsWindowVisible(window)) {
      if (!IsWindow(window) || stopped(kHiddenPoll)) return 0;
    }
    if (stopped(pause)) return 0;
    drawn = drawFrame();
  }
  return 0;
}
