#include "tests/support/window_harness.h"

#include <shlobj.h>

#include <cstring>

#include "ui/gdiplus_api.h"

using namespace Gdiplus::DllExports;

std::wstring UniqueClassName(const wchar_t* stem) {
  static int serial = 0;
  return std::wstring(L"HarborlineTest_") + stem + L"_" + std::to_wstring(GetCurrentProcessId()) +
         L"_" + std::to_wstring(++serial);
}

TestWindow::TestWindow(int width, int height) : className(UniqueClassName(L"Window")) {
  ui.Create(className.c_str(), L"Test window", width, height, 20, 20, WS_POPUP, nullptr, nullptr);
  // Not activated: Wine hands activated windows to the (absent) window
  // manager and then waits two seconds for it whenever they are hidden.
  ShowWindow(ui.handle, SW_SHOWNOACTIVATE);
  UpdateWindow(ui.handle);
  DrainEvents(ui);
}

bool TestWindow::Activate() {
  SetForegroundWindow(ui.handle);
  DrainEvents(ui);
  return GetForegroundWindow() == ui.handle;
}

void DrainEvents(UiWindow& record) {
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
    PumpEvent(record, 1);
  }
  record.eventPending = false;
}

bool PumpUntilEvent(UiWindow& record, int32_t code) {
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (PumpEvent(record, 1) == code && code != 0) return true;
  }
  return false;
}

std::vector<int32_t> PumpAllEvents(UiWindow& record) {
  std::vector<int32_t> codes;
  for (int guard = 0; guard < 100000; ++guard) {
    MSG peek;
    if (!record.eventPending && !PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) break;
    int32_t code = PumpEvent(record, 1);
    if (code) codes.push_back(code);
  }
  return codes;
}

HGLOBAL MakeFileDrop(const std::vector<std::wstring>& paths, POINT clientPoint, bool inClient) {
  size_t units = 1;  // the final empty string
  for (const std::wstring& path : paths) units += path.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * 2);
  if (!memory) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->pt = clientPoint;
  header->fNC = !inClient;
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(header + 1);
  for (const std::wstring& path : paths) {
    memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    text += path.size() + 1;
  }
  *text = 0;
  GlobalUnlock(memory);
  return memory;
}

int GdiObjectCount() {
  SetLastError(0);
  DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return static_cast<int>(count);
  // Wine does not count (GetGuiResources is a stub there), but its handle
  // table takes a bare slot number as a handle to whatever lives in the slot,
  // so the live objects can be counted slot by slot.
  if (GetObjectType(GetStockObject(WHITE_BRUSH)) == 0) return -1;
  int live = 0;
  for (uintptr_t slot = 1; slot < 0x10000; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
  return live > 0 ? live : -1;
}

Gdiplus::GpBitmap* MakeSolidImage(int width, int height, uint32_t argb) {
  Gdiplus::GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &image) !=
      Gdiplus::Ok)
    return nullptr;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) GdipBitmapSetPixel(image, x, y, argb);
  return image;
}

void DisposeImage(Gdiplus::GpBitmap* image) {
  if (image) GdipDisposeImage(image);
}
