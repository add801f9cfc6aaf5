#include "tests/support/ui_script.h"

#include <map>

#include "tests/support/shown_text.h"

namespace {

constexpr UINT kTickMs = 10;
// About half a minute without progress: far beyond any step's real wait.
constexpr int kStallTicks = 3000;

// Frames between two ticks of one loop never differ by this much; a nested
// loop adds at least a dispatch and a loop of its own.
constexpr uintptr_t kSameLoopSlack = 256;

UiScript* g_running = nullptr;

std::map<UINT_PTR, UiScript*>& Scripts() {
  static std::map<UINT_PTR, UiScript*> scripts;
  return scripts;
}

struct ChildSearch {
  const wchar_t* text;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ChildSearch*>(context);
  if (search->className) {
    wchar_t kind[64] = {};
    GetClassNameW(child, kind, 64);
    if (lstrcmpiW(kind, search->className) != 0) return TRUE;
  }
  if (search->text && !ReadsAs(WindowText(child), search->text)) return TRUE;
  search->found = child;
  return FALSE;
}

struct TopSearch {
  const wchar_t* className;
  const wchar_t* childText;
  HWND found;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TopSearch*>(context);
  wchar_t kind[64] = {};
  GetClassNameW(window, kind, 64);
  if (lstrcmpW(kind, search->className) != 0 || !IsWindowVisible(window)) return TRUE;
  if (search->childText && !FindChild(window, search->childText)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

UiScript::UiScript(std::vector<UiStep> steps) : steps_(std::move(steps)) {
  timer_ = SetTimer(nullptr, 0, kTickMs, Tick);
  Scripts()[timer_] = this;
}

UiScript::~UiScript() {
  KillTimer(nullptr, timer_);
  Scripts().erase(timer_);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void CALLBACK UiScript::Tick(HWND, UINT, UINT_PTR id, DWORD) {
  auto found = Scripts().find(id);
  if (found != Scripts().end()) found->second->Advance();
}

void UiScript::Advance() {
  if (stalled_) {
    // Every loop that is still running gets its own quit.
    PostQuitMessage(0);
    return;
  }
  // A step may open a loop of its own (a click answered synchronously);
  // the ticks inside it must not run the same step again.
  if (running_ || finished()) return;
  // Ticks of the outermost loop are the shallowest on the stack: the first
  // tick runs there, and nested loops only go deeper.
  volatile char probe = 0;
  tickStack_ = reinterpret_cast<uintptr_t>(&probe);
  if (tickStack_ > outerStack_) outerStack_ = tickStack_;
  running_ = true;
  g_running = this;
  const bool acted = steps_[next_]();
  g_running = nullptr;
  running_ = false;
  if (acted) {
    ++next_;
    idleTicks_ = 0;
  } else if (++idleTicks_ > kStallTicks) {
    stalled_ = true;
    PostQuitMessage(0);
  }
}

bool AtOuterLoop() {
  return g_running && g_running->tickStack_ + kSameLoopSlack >= g_running->outerStack_;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(length + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(length);
  return text;
}

HWND FindChild(HWND parent, const wchar_t* text, const wchar_t* className) {
  ChildSearch search{text, className, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindShownWindow(const wchar_t* className, const wchar_t* childText) {
  TopSearch search{className, childText, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ClickChild(HWND parent, const wchar_t* text) {
  HWND child = FindChild(parent, text);
  if (!child) return false;
  PostMessageW(child, BM_CLICK, 0, 0);
  return true;
}
