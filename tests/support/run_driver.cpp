#include "tests/support/run_driver.h"

#include <vector>

#include "tests/support/shown_text.h"

namespace {

constexpr wchar_t kProgressClass[] = L"Harborline_MsgBox";
constexpr wchar_t kMessageBoxClass[] = L"_WINDOW_MsgBoxClass";
constexpr DWORD kPoll = 10;

// Polls until the check answers true or the bound passes.
template <typename Check>
bool WaitUntil(Check check) {
  const ULONGLONG deadline = GetTickCount64() + kDriverWait;
  while (!check()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(kPoll);
  }
  return true;
}

std::wstring WindowText(HWND window) {
  if (!window) return std::wstring();
  // Sent with a bound: the window's thread may be busy for a moment.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kDriverWait, &length))
    return std::wstring();
  std::vector<wchar_t> text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_NORMAL, kDriverWait, &got);
  return std::wstring(text.data());
}

std::function<void(HWND)>* g_shownAction = nullptr;

}  // namespace

RunDriver::RunDriver(BackupJob& backupJob) : job(backupJob) {
  held_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  released_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  finished_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  job.progressObserver = Observe;
  job.observerContext = this;
}

RunDriver::~RunDriver() {
  SetEvent(finished_.Get());
  Join();
  job.progressObserver = nullptr;
  job.observerContext = nullptr;
}

void RunDriver::HoldWhen(Condition condition) { holds_.push_back(std::move(condition)); }

void RunDriver::Start(Script script) {
  script_ = std::thread([this, script]() { script(*this); });
}

void RunDriver::Join() {
  if (script_.joinable()) script_.join();
  SetEvent(finished_.Get());  // a script that ended early holds nothing
}

void RunDriver::Observe(void* context, BackupJob& job) {
  RunDriver& driver = *static_cast<RunDriver*>(context);
  size_t hold = driver.nextHold_.load();
  if (hold >= driver.holds_.size() || !driver.holds_[hold](job)) return;
  // Several workers of the copy pass may meet the point at once: one holds.
  if (!driver.nextHold_.compare_exchange_strong(hold, hold + 1)) return;
  driver.worker_.Reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
  SetEvent(driver.held_.Get());
  HANDLE either[] = {driver.released_.Get(), driver.finished_.Get()};
  WaitForMultipleObjects(2, either, FALSE, kDriverWait);
}

bool RunDriver::WaitHeld() {
  if (WaitForSingleObject(held_.Get(), kDriverWait) == WAIT_OBJECT_0) return true;
  Note(L"the worker never reached the point to hold it at");
  return false;
}

void RunDriver::Release() { SetEvent(released_.Get()); }

void RunDriver::Note(const std::wstring& problem) { problems += problem + L"\n"; }

HWND RunDriver::WaitForWindow() {
  if (!WaitUntil([this]() {
        window = FindWindowW(kProgressClass, nullptr);
        return window && IsWindowVisible(window);
      })) {
    Note(L"no progress window appeared");
    window = nullptr;
  }
  return window;
}

HWND RunDriver::Control(int index) { return window ? GetDlgItem(window, index) : nullptr; }

std::wstring RunDriver::Text(int index) { return WindowText(Control(index)); }

bool RunDriver::WaitForText(int index, const std::wstring& text) {
  if (WaitUntil([&]() { return ReadsAs(Text(index), text); })) return true;
  Note(L"control " + std::to_wstring(index) + L" never read \"" + text + L"\" (it reads \"" +
       Text(index) + L"\")");
  return false;
}

void RunDriver::Click(int index) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(index, BN_CLICKED),
               reinterpret_cast<LPARAM>(Control(index)));
}

HWND RunDriver::WaitForQuestion() {
  HWND box = nullptr;
  if (!WaitUntil([&]() {
        box = FindWindowW(kMessageBoxClass, nullptr);
        return box && IsWindowVisible(box);
      })) {
    Note(L"no question was asked");
    return nullptr;
  }
  // The box's text is its first control, Yes and No follow.
  question = WindowText(GetDlgItem(box, 1));
  return box;
}

bool RunDriver::WaitForWorkerEnd() {
  if (worker_.Valid() && WaitForSingleObject(worker_.Get(), kDriverWait) == WAIT_OBJECT_0)
    return true;
  Note(L"the worker did not end");
  return false;
}

bool RunDriver::Answer(bool yes) {
  HWND box = WaitForQuestion();
  if (!box) return false;
  const int button = yes ? 2 : 3;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  return true;
}

bool RunDriver::WaitForCancelFlag() {
  if (WaitUntil([this]() { return job.cancelRequested.load() != 0; })) return true;
  Note(L"the cancel flag was never set");
  return false;
}

ProgressWindowShown::ProgressWindowShown(std::function<void(HWND)> action) {
  g_shownAction = new std::function<void(HWND)>(std::move(action));
  hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, Hook, nullptr, GetCurrentThreadId());
}

ProgressWindowShown::~ProgressWindowShown() {
  if (hook_) UnhookWindowsHookEx(hook_);
  delete g_shownAction;
  g_shownAction = nullptr;
}

LRESULT CALLBACK ProgressWindowShown::Hook(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && g_shownAction) {
    wchar_t name[64] = {};
    GetClassNameW(call->hwnd, name, 64);
    if (wcscmp(name, kProgressClass) == 0) (*g_shownAction)(call->hwnd);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
