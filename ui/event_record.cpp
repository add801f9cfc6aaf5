// The shared event record: raising events, the event pump and the scopes that
// loops and the program use around it.
#include <windows.h>

#include <utility>

#include "ui/ui_internal.h"

namespace {

// Hands out the oldest queued event as the record's current event.
bool DeliverQueued(UiWindow& record) {
  if (record.queuedEvents.empty()) return false;
  record.event = std::move(record.queuedEvents.front());
  record.queuedEvents.pop_front();
  return true;
}

}  // namespace

UiEvent& UiEvent::operator=(const UiEvent& other) {
  if (this == &other) return *this;
  code = other.code;
  window = other.window;
  message = other.message;
  param1 = other.param1;
  param2 = other.param2;
  source = other.source;
  point = other.point;
  if (other.text.buf) {
    text.Assign(other.text.buf);
  } else {
    text.Clear();
  }
  // A parameter that points at the event's own text points at the copy's.
  if (other.text.buf && other.param2 == reinterpret_cast<intptr_t>(other.text.buf))
    param2 = reinterpret_cast<intptr_t>(text.buf);
  return *this;
}

UiEvent* UiWindow::RaiseEvent(int32_t code, UINT message, HWND window, int32_t param1,
                              intptr_t param2, const wchar_t* eventText) {
  if (!events || code == 0 || muteDepth > 0) return nullptr;
  UiEvent& raised = events->queuedEvents.emplace_back();
  raised.code = code;
  raised.message = message;
  raised.window = window;
  raised.param1 = param1;
  raised.param2 = param2;
  raised.source = this;
  if (eventText) raised.text.Assign(eventText);
  return &raised;
}

int PumpEvent(UiWindow& record, PumpMode mode) {
  const bool wait = mode == PumpMode::Wait;
  if (DeliverQueued(record)) return wait ? 1 : record.event.code;
  record.event = UiEvent{};
  MSG& message = record.lastMessage;
  message = MSG{};

  BOOL fetched;
  if (wait) {
    fetched = GetMessageW(&message, nullptr, 0, 0);
    if (fetched == 0 || fetched == -1) {
      record.event.code = ToCode(UiEventCode::Quit);
      // The loop around this one must end as well.
      if (fetched == 0) PostQuitMessage(static_cast<int>(message.wParam));
      return 0;
    }
  } else {
    fetched = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
    if (!fetched) return 0;
    if (message.message == WM_QUIT) {
      record.event.code = ToCode(UiEventCode::Quit);
      PostQuitMessage(static_cast<int>(message.wParam));
      return record.event.code;
    }
  }

  if (message.message == WM_NULL) {
    AcknowledgeWake(message);
    return fetched;
  }
  if (!RouteDialogKey(record, message)) {
    bool taken = false;
    UiWindow* active = record.activeWindow;
    if (active && active->handle) {
      taken = (active->accelerators &&
               TranslateAcceleratorW(active->handle, active->accelerators, &message)) ||
              IsDialogMessageW(active->handle, &message);
    }
    if (!taken) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DeliverQueued(record);
  return wait ? fetched : record.event.code;
}

bool NextEvent(UiWindow& record, UiEvent& event) {
  const bool goOn = PumpEvent(record, PumpMode::Wait) != 0;
  event = record.event;
  return goOn;
}

void DrainQueue(UiWindow& record) {
  for (;;) {
    const int code = PumpEvent(record, PumpMode::Poll);
    if (code == 0 || code == UiEventCode::Quit) return;
  }
}

void DropQueuedMessages(HWND window) {
  // The filter takes the window's children along.
  MSG message;
  while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
  }
}

HeldCloses::HeldCloses(UiWindow& record) : record_(record) {}

HeldCloses::~HeldCloses() {
  // In front of whatever came in meanwhile, in the order they came.
  for (auto held = held_.rbegin(); held != held_.rend(); ++held)
    record_.queuedEvents.push_front(std::move(*held));
}

bool HeldCloses::Hold(const UiEvent& event, const UiWindow& own) {
  if (event.code != UiEventCode::Close || event.source == &own || !event.source) return false;
  held_.push_back(event);
  return true;
}

NewControlSettings::NewControlSettings(UiWindow& window)
    : window_(window),
      font_(window.newControlFont),
      flags_(window.newControlFlags),
      textColour_(window.newControlTextColour),
      backColour_(window.newControlBackColour),
      parent_(window.newControlParent) {}

NewControlSettings::~NewControlSettings() {
  window_.newControlFont = font_;
  window_.newControlFlags = flags_;
  window_.newControlTextColour = textColour_;
  window_.newControlBackColour = backColour_;
  window_.newControlParent = parent_;
}

NewControlSettings& NewControlSettings::Font(double size, int32_t weight, uint8_t style) {
  window_.SetFontForNewControls(size, weight, style);
  return *this;
}

NewControlSettings& NewControlSettings::Flags(LayoutFlags flags) {
  window_.newControlFlags = flags;
  return *this;
}

NewControlSettings& NewControlSettings::TextColour(int32_t colour) {
  window_.newControlTextColour = colour;
  return *this;
}

NewControlSettings& NewControlSettings::BackColour(int32_t colour) {
  window_.newControlBackColour = colour;
  return *this;
}

NewControlSettings& NewControlSettings::Parent(HWND parent) {
  window_.newControlParent = parent;
  return *this;
}
