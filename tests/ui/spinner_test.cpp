// The busy indicator on a real picture control under Xvfb.
#include "ui/spinner.h"

#include <gtest/gtest.h>

namespace {

// Waits for a condition that another thread brings about, up to a bound.
template <typename Condition>
bool WaitFor(Condition condition, DWORD boundMs = 5000) {
  const ULONGLONG end = GetTickCount64() + boundMs;
  while (!condition()) {
    if (GetTickCount64() > end) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
  return true;
}

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

struct PictureWindows {
  HWND owner;
  HWND picture;
};

// A shown pop-up holding a white 48 x 48 picture control; the caller
// destroys both.
PictureWindows MakePicture() {
  HWND owner = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  HWND picture = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_WHITERECT, 10, 10,
                                 48, 48, owner, nullptr, nullptr, nullptr);
  return {owner, picture};
}

bool ArcShows(HWND picture) {
  // The arc runs along a ring 5 to 14 pixels inside the edge; some point of
  // that ring turns dark within a few frames.
  return PixelOf(picture, 24, 8) == RGB(0, 0, 0) || PixelOf(picture, 40, 24) == RGB(0, 0, 0);
}

TEST(SpinnerThread, DrawsOnItsControlAndEndsWhenTheControlIsDestroyed) {
  auto [owner, picture] = MakePicture();
  ASSERT_TRUE(picture);
  UpdateWindow(owner);
  ASSERT_EQ(PixelOf(picture, 24, 4), RGB(255, 255, 255));

  SpinnerRecord record{picture, 48, 0xFF000000, 80, nullptr};
  HANDLE thread = CreateThread(nullptr, 0, SpinnerThread, &record, 0, nullptr);
  ASSERT_TRUE(thread);
  EXPECT_TRUE(WaitFor([&] { return ArcShows(picture); }));
  EXPECT_EQ(PixelOf(picture, 24, 24), RGB(255, 255, 255)) << "the middle keeps the background";

  DestroyWindow(picture);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(thread);
  DestroyWindow(owner);
}

TEST(BusySpinner, StopEndsAndJoinsTheThreadWhileTheControlStillExists) {
  auto [owner, picture] = MakePicture();
  ASSERT_TRUE(picture);
  UpdateWindow(owner);
  BusySpinner spinner;
  ASSERT_TRUE(spinner.Start(picture, 48, 0xFF000000, 80));
  EXPECT_FALSE(spinner.Start(picture, 48, 0xFF000000, 80)) << "one thread per spinner";
  EXPECT_TRUE(WaitFor([&] { return ArcShows(picture); }));
  spinner.Stop();
  EXPECT_FALSE(spinner.Running());
  // Joined: nothing draws any more, so a repainted control stays white.
  InvalidateRect(picture, nullptr, TRUE);
  UpdateWindow(picture);
  EXPECT_EQ(PixelOf(picture, 24, 8), RGB(255, 255, 255));
  EXPECT_EQ(PixelOf(picture, 40, 24), RGB(255, 255, 255));
  DestroyWindow(owner);
}

TEST(BusySpinner, AHiddenSpinnerWaitsAndStillStopsAtOnce) {
  auto [owner, picture] = MakePicture();
  ASSERT_TRUE(picture);
  {
    BusySpinner spinner;
    ASSERT_TRUE(spinner.Start(picture, 48, 0xFF000000, 100));
    ShowWindow(owner, SW_HIDE);
    EXPECT_TRUE(spinner.Running()) << "a hidden spinner waits instead of ending";
  }  // the destructor stops and joins it before the window goes
  DestroyWindow(owner);
}

}  // namespace
