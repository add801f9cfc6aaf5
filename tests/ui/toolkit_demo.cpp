// A window for looking at the toolkit, not shipped: every control kind, image
// buttons with their hover images, the main window's look, the dialog frame
// with the busy spinner, and then a message box (or, with the argument "menu",
// the list's context menu with its images). scripts/screenshot captures it.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cwchar>

#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/message_box.h"
#include "ui/spinner.h"
#include "ui/ui_window.h"

namespace gp = Gdiplus::DllExports;

namespace {

constexpr int kWidth = 650;
constexpr int kHeight = 525;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kHeading = RGB(0, 0, 160);
constexpr COLORREF kLink = RGB(160, 160, 255);

// The main window's background: a dark gradient with three white panels.
void PaintMainBackground(UiWindow& window) {
  static const PanelRect kPanels[] = {{10, 60, 630, 170}, {10, 245, 630, 130}, {10, 390, 630, 75}};
  SetPanelBackground(window, kWidth, kHeight, 0xFF000000, 0xFF505050, kPanels,
                     sizeof kPanels / sizeof kPanels[0]);
}

HBITMAP MenuImage(int id) {
  const int size = GetSystemMetrics(SM_CYMENUCHECK);
  GdipBitmapHolder image(LoadImageResource(nullptr, id, size, size));
  HBITMAP bitmap = nullptr;
  ReplaceBitmapFromImage(&bitmap, image.Get());
  return bitmap;
}

int ImageButtonOf(UiWindow& window, const wchar_t* text, int x, int y, int width, int height,
                  int imageId, int imageSize) {
  const int index = window.AddButton(text, x, y, width, height);
  SetButtonImageFromResource(window, index, -1, nullptr, imageId, imageSize, imageSize);
  return index;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput startup;
  Gdiplus::GdiplusStartup(&token, &startup, nullptr);
  const bool showMenu = commandLine && wcsstr(commandLine, L"menu");
  {
    UiWindow main;
    main.Create(L"HARBORLINE_DEMO", L"Toolkit demo", kWidth, kHeight, 5, 5, WS_POPUP, nullptr,
                nullptr);
    PaintMainBackground(main);

    // Header band.
    main.newControlFlags = LayoutFlags::DragsWindow;
    main.AddStatic(L"", 0, 0, kWidth, 60, WS_VISIBLE | WS_DISABLED);
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 48, 48, 0));
    main.AddIconImage(icon);
    DestroyIcon(icon);
    main.AddStatic(L"Harborline Backup", 80, 17, 280, 35);
    main.SetLastControlFontSize(18);
    main.SetControlTextColour(-1, kWhite);
    main.AddStatic(L"v1.3.4.0", 360, 27, 65, 15);
    main.SetControlTextColour(-1, kWhite);
    main.newControlFlags = LayoutFlags::None;
    main.AddImageButton(137, 138, 590);
    const int close = main.AddImageButton(139, 140, 620);
    main.SetImageButtonState(close, 1);  // shows the hover image
    main.AddStatic(L"Help", 460, 35, 45, 15);
    main.SetLastControlFontSize(9);
    main.SetControlTextColour(-1, kLink);
    main.AddStatic(L"Check for updates", 520, 35, 120, 15);
    main.SetLastControlFontSize(9);
    main.SetControlTextColour(-1, kLink);

    // Folder pairs.
    const int list =
        main.AddListView(L"  Backup source folder\n  Destination folder", 15, 65, 620, 130);
    HICON rowIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(3), IMAGE_ICON, 16, 16, 0));
    main.SetListIcon(list, rowIcon);
    const wchar_t* rows[][2] = {{L"C:\\Users\\ada\\Documents", L"E:\\Backup\\Documents"},
                                {L"C:\\Users\\ada\\Pictures", L"E:\\Backup\\Pictures"},
                                {L"D:\\Projects", L"\\\\harbor\\share\\Projects"}};
    for (auto& row : rows) {
      const int at = main.AddListRow(list, row[0]);
      LVITEMW item{};
      item.iSubItem = 1;
      item.pszText = const_cast<wchar_t*>(row[1]);
      main.SendToControl(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
      main.SetRowChecked(list, at, at != 1);
    }
    main.SendToControl(list, LVM_SETCOLUMNWIDTH, 0, 300);
    main.SendToControl(list, LVM_SETCOLUMNWIDTH, 1, 300);
    LVITEMW selected{};
    selected.stateMask = selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    main.SendToControl(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected));

    main.SetFontForNewControls(9, 400, 1);
    ImageButtonOf(main, L"", 39, 199, 28, 28, 151, 18);
    ImageButtonOf(main, L"", 77, 199, 28, 28, 152, 18);
    ImageButtonOf(main, L"   Add folder pair", 135, 199, 150, 28, 141, 18);
    ImageButtonOf(main, L"   Edit selected", 305, 199, 150, 28, 143, 18);
    ImageButtonOf(main, L"   Remove selected", 475, 199, 150, 28, 142, 18);

    // Mode and options.
    main.AddStatic(L"Backup mode", 100, 250, 200, 18);
    main.SetLastControlFontSize(10);
    main.SetControlTextColour(-1, kHeading);
    main.SetFontForNewControls(9, 800, 1);
    const int common =
        main.AddRadioButton(L"Common backup. Copy from source to destination.", 270, 380);
    main.AddRadioButton(L"Strict backup. Also delete what the source lacks.", 295, 380);
    main.AddRadioButton(L"Sync mode. Copy newest files in both directions.", 320, 380);
    main.SetControlState(common, kStateCheck);
    main.SetFontForNewControls(9, 400, 1);
    main.AddComboBox(L"Do nothing\nClose the program\nShut down", 430, 268, 190, 25);
    const int edit = main.AddEdit(345);
    main.SetControlBounds(edit, 430, 305, 190, 22);
    main.SetControlText(edit, L"E:\\Backup");

    main.AddStatic(L"Backup options", 100, 395, 200, 18);
    main.SetLastControlFontSize(10);
    main.SetControlTextColour(-1, kHeading);
    main.SetFontForNewControls(9, 800, 1);
    const int update = main.AddCheckBox(L"Use update method (faster).", 30, 415, 260);
    main.SetControlState(update, kStateCheck);
    main.AddCheckBox(L"Skip copying hidden files.", 30, 440, 200);
    const int progress = main.AddProgressBar(300, 442, 180, 16, 100, 0);
    main.SendToControl(progress, PBM_SETPOS, 60, 0);
    ImageButtonOf(main, L"  Settings", 500, 425, 110, 26, 150, 16);

    // Bottom row.
    main.newControlFlags = LayoutFlags::KeepsOwnBackground;
    ImageButtonOf(main, L"   Open", 40, 480, 100, 32, 146, 20);
    ImageButtonOf(main, L"   Save", 170, 480, 100, 32, 144, 20);
    ImageButtonOf(main, L"   Save as...", 300, 480, 100, 32, 147, 20);
    main.SetFontForNewControls(12, 800, 1);
    ImageButtonOf(main, L" Start backup", 460, 476, 160, 40, 145, 32);
    main.newControlFlags = LayoutFlags::None;

    // Context menu of the list, with images.
    main.AttachPopupMenu(list);
    HBITMAP menuImages[] = {MenuImage(141), MenuImage(143), MenuImage(142), MenuImage(146)};
    main.AddMenuItem(list, L"Add folder pair", 0, 0, menuImages[0]);
    main.AddMenuItem(list, L"Edit selected", 1, 0, menuImages[1]);
    main.AddMenuItem(list, L"Remove selected", 2, 0, menuImages[2]);
    main.AddMenuItem(list, L"", 3, 0x08, nullptr);
    main.AddMenuItem(list, L"Open source folder", 4, 0, menuImages[3]);
    main.AddMenuItem(list, L"Open destination folder", 5, 0, menuImages[3]);

    ShowWindow(main.handle, SW_SHOWNORMAL);
    UpdateWindow(main.handle);

    // A dialog in the standard frame, with the spinner and the run buttons.
    UiWindow dialog;
    dialog.Create(L"HARBORLINE_DEMO_DIALOG", L"", kDialogSkinWidth, 200, -1, -1, WS_POPUP, &main,
                  main.handle);
    ApplyDialogSkin(main, dialog, 200);
    SetWindowPos(dialog.handle, nullptr, 5, 545, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const int picture = dialog.AddBitmapImage(nullptr);
    dialog.SetFontForNewControls(9, 800, 1);
    dialog.AddStatic(L"Copying D:\\Projects\\harbor\\chart.png", 75, 20, 360, 18);
    dialog.SetFontForNewControls(9, 400, 1);
    dialog.AddStatic(L"1,204 of 3,310 files, 2.1 GB of 5.6 GB", 75, 42, 360, 18);
    ImageButtonOf(dialog, L"  Pause", 40, 163, 110, 26, 148, 16);
    ImageButtonOf(dialog, L"  Resume", 170, 163, 110, 26, 145, 16);
    ImageButtonOf(dialog, L"  Cancel", 300, 163, 110, 26, 149, 16);
    ShowWindow(dialog.handle, SW_SHOWNORMAL);
    UpdateWindow(dialog.handle);
    BusySpinner spinner;
    spinner.Start(dialog.ControlHandle(picture), 48, 0xFF000000, 80);

    if (showMenu) {
      POINT at{200, 130};
      ClientToScreen(main.handle, &at);
      SetForegroundWindow(main.handle);
      TrackPopupMenu(main.Control(list)->menu, TPM_LEFTALIGN, at.x, at.y, 0, main.handle, nullptr);
    } else {
      // The box centres on its owner; this one stands to the right of the dialog.
      UiWindow place;
      place.Create(L"HARBORLINE_DEMO_PLACE", L"", 400, 200, 470, 540, WS_POPUP, &main, main.handle);
      ShowMessageBox(place,
                     L"Do you want to create a sub-directory with the same name as the "
                     L"source?",
                     MessageBoxType::YesNoCancel, 130, 0);
      place.Dispose();
    }
    spinner.Stop();
    dialog.Dispose();
    main.Dispose();
    for (HBITMAP image : menuImages) DeleteObject(image);
    DestroyIcon(rowIcon);
  }
  Gdiplus::GdiplusShutdown(token);
  CoUninitialize();
  return 0;
}
