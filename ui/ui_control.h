// One slot of a window's control table. A control is known by its index in
// the table, which is also its window identifier, its menu command number and
// the positive event code its window reports when it is activated.
#pragma once

#include <windows.h>

#include <cstdint>

enum class ControlKind : int32_t {
  None = 0,
  StaticText = 1,
  PushButton = 2,
  CheckBox = 3,
  RadioButton = 4,
  ComboBox = 5,
  Edit = 6,
  ListView = 7,
  ProgressBar = 8,
  IconImage = 9,
  BitmapImage = 10,
  ImageButton = 11,
  SubMenu = 12,
  MenuItem = 13,
};

// Per-control layout bits, copied from the window's flags for new controls.
enum class LayoutFlags : uint32_t {
  None = 0,
  // The window leaves the control's rectangle out when it paints its background.
  KeepsOwnBackground = 0x400,
  // Pressing or activating the control moves the whole window, like its caption.
  DragsWindow = 0x1000,
};
constexpr LayoutFlags operator|(LayoutFlags a, LayoutFlags b) {
  return static_cast<LayoutFlags>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr LayoutFlags operator&(LayoutFlags a, LayoutFlags b) {
  return static_cast<LayoutFlags>(static_cast<uint32_t>(a) & static_cast<uint32_t>(b));
}
constexpr LayoutFlags operator~(LayoutFlags a) {
  return static_cast<LayoutFlags>(~static_cast<uint32_t>(a));
}
constexpr bool HasFlag(LayoutFlags flags, LayoutFlags flag) {
  return (flags & flag) != LayoutFlags::None;
}

// States of an image button, also the slots of its image record.
enum ImageButtonState : int32_t {
  kImageNormal = 0,
  kImageHot = 1,
  kImageFocused = 2,
  kImageDisabled = 3,
};

// The state images of an image button. The record owns its four bitmaps. The
// static control may show its own copy of a bitmap (it makes one of bitmaps
// with an alpha channel); whatever it hands back that is not one of these four
// is that copy and is deleted by the toolkit.
struct ImageButtonImages {
  int32_t state = kImageNormal;
  HBITMAP images[4] = {};
};

// List-view option bit kept in the control's kind data.
inline constexpr uintptr_t kListSortsOnHeaderClick = 0x01;

// Image ownership per kind, so that nothing a control shows is ever deleted
// while it shows it:
// - IconImage: the icon in kind data is the control's own copy.
// - BitmapImage: the bitmap in kind data is the control's own copy.
// - ImageButton: the record in kind data owns the state bitmaps.
// - PushButton: the bitmap set with BM_SETIMAGE and the image list set with
//   BCM_SETIMAGELIST belong to the button; whoever replaces them deletes what
//   the button hands back, and removing the button deletes both.
struct UiControl {
  ControlKind kind;
  HWND handle;    // null for menu entries
  HMENU menu;     // SubMenu: its own submenu; MenuItem: the menu holding it; else an attached popup
  int32_t index;  // 0 marks a free slot
  HBRUSH brush;   // solid brush of the background colour, owned
  HFONT font;     // owned
  HCURSOR cursor;  // shown over the control, not owned
  int32_t textColour;
  int32_t backColour;  // colour reference, kTransparentBackground or kHollowBackground
  int32_t x, y, width, height;
  int32_t referenceWidth, referenceHeight;  // parent client size the geometry refers to
  LayoutFlags flags;
  union {
    ImageButtonImages* imageButton;
    HICON icon;
    HBITMAP bitmap;
    uintptr_t listOptions;
  } kindData;
};
