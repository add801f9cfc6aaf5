#include "ui/wake_ticker.h"

#include <algorithm>
#include <vector>

#include "ui/ui_internal.h"

namespace {

constexpr DWORD kWakeInterval = 20;

// The tickers started from this thread. A wake-up names its ticker by
// address; it is only believed while that ticker still runs, so a wake-up
// that outlived its ticker in the queue touches nothing.
thread_local std::vector<WakeTicker*> t_runningTickers;

}  // namespace

WakeTicker::~WakeTicker() { Stop(); }

bool WakeTicker::Start(HWND window) {
  if (thread_.Running() || !IsWindow(window)) return false;
  window_ = window;
  posted_.store(false);
  if (!thread_.Start(Run, this)) return false;
  t_runningTickers.push_back(this);
  return true;
}

void WakeTicker::Stop() {
  if (!thread_.Running()) return;
  thread_.Stop();
  std::erase(t_runningTickers, this);
}

DWORD WINAPI WakeTicker::Run(void* selfPointer) {
  auto& self = *static_cast<WakeTicker*>(selfPointer);
  while (WaitForSingleObject(self.thread_.StopEvent(), kWakeInterval) == WAIT_TIMEOUT) {
    if (!IsWindow(self.window_)) break;
    if (self.posted_.exchange(true)) continue;
    if (!PostMessageW(self.window_, WM_NULL, kWakeTickerMark, reinterpret_cast<LPARAM>(&self)))
      self.posted_.store(false);
  }
  return 0;
}

void AcknowledgeWake(const MSG& message) {
  if (message.message != WM_NULL || message.wParam != kWakeTickerMark) return;
  auto* ticker = reinterpret_cast<WakeTicker*>(message.lParam);
  if (std::find(t_runningTickers.begin(), t_runningTickers.end(), ticker) != t_runningTickers.end())
    ticker->Acknowledge();
}
