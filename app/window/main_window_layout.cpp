// The main window's look: the gradient background with its three panels and
// every control in its place, with its font, colour and tooltip.
#include <windows.h>

#include <commctrl.h>

#include "app/application.h"
#include "app/install/shell_links.h"
#include "app/window/main_window.h"
#include "app/window/main_window_state.h"
#include "ui/drawing.h"
#include "ui/graphics_holders.h"
#include "ui/ui_window.h"

namespace gp = Gdiplus::DllExports;

namespace {

constexpr wchar_t kClassName[] = L"HARBORLINE_CLASS";
constexpr wchar_t kTitle[] = L"Harborline Backup";
constexpr int kWidth = 650;
constexpr int kHeight = 553;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kHeadingBlue = RGB(0, 0, 160);
constexpr COLORREF kLinkBlue = RGB(160, 160, 255);
constexpr COLORREF kJobNameGrey = RGB(210, 210, 210);
constexpr int kProgramIcon = 1;
constexpr int kRowIcon = 3;

enum ImageId {
  kAddImage = 141,
  kRemoveImage = 142,
  kEditImage = 143,
  kSaveImage = 144,
  kStartImage = 145,
  kOpenImage = 146,
  kSaveAsImage = 147,
  kSettingsImage = 150,
  kMoveUpImage = 151,
  kMoveDownImage = 152,
};

constexpr wchar_t kColumnTitles[] =
    L"  Backup source folder\n  Destination folder\n  Item ID\n  FTP encrypted info";
constexpr int kColumnWidths[] = {300, 300, 0, 0};

// A dark gradient from left to right with three white panels: the list, the
// modes and the options. Painted once; later painting only blits it.
void PaintBackground(UiWindow& window) {
  static const PanelRect kPanels[] = {{10, 60, 630, 170}, {10, 245, 630, 130}, {10, 390, 630, 103}};
  SetPanelBackground(window, kWidth, kHeight, 0xFF000000, 0xFF505050, kPanels,
                     sizeof kPanels / sizeof kPanels[0]);
}

HICON LoadProgramIcon(HINSTANCE instance, int id, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HCURSOR HandCursor() { return LoadCursorW(nullptr, IDC_HAND); }

class Builder {
 public:
  Builder(MainWindow& main, HINSTANCE instance)
      : main_(main), w_(main.window), instance_(instance) {
    // Through a left-aligned image list on every version: an image set
    // directly on the button loses its transparency under Wine.
    imagePosition_ = 0;
  }

  void Header() {
    Application& app = main_.app;
    w_.newControlFlags = LayoutFlags::DragsWindow;
    w_.AddStatic(L"", 0, 0, kWidth, 60, WS_VISIBLE | WS_DISABLED);
    HICON icon = LoadProgramIcon(instance_, kProgramIcon, 48);
    w_.AddIconImage(icon);  // the control keeps a copy
    if (icon) DestroyIcon(icon);
    // Leaves the band's last line to the job's name.
    w_.AddStatic(kTitle, 80, 17, 280, 28);
    w_.SetLastControlFontSize(18);
    w_.SetControlTextColour(-1, kWhite);
    WideString version = GetVersionText();
    version.Prepend(L"v");
    w_.AddStatic(version.CStr(), 360, 27, 65, 15);
    w_.SetControlTextColour(-1, kWhite);
    // A file name may hold "&", which is no mnemonic here.
    main_.ids.jobName =
        w_.AddStatic(L"", 80, 45, 370, 14, WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS);
    w_.SetLastControlFontSize(8);
    w_.SetControlTextColour(-1, kJobNameGrey);
    w_.newControlFlags = LayoutFlags::None;

    app.minimizeButtonId = w_.AddImageButton(137, 138, 590);
    w_.AddTooltip(-1, L"Minimize");
    app.closeButtonId = w_.AddImageButton(139, 140, 620);
    w_.AddTooltip(-1, L"Close");
    app.helpLinkId =
        Link(L"Help", 460, 45, L"This link takes to the application's online help page");
    app.updateLinkId = Link(L"Check for updates", 520, 120,
                            L"Check if a newer version of the application is available");
  }

  void PairList() {
    MainWindowControls& ids = main_.ids;
    ids.list = w_.AddListView(kColumnTitles, 15, 65, 620, 130);
    for (int column = 0; column < 4; ++column)
      w_.SendToControl(ids.list, LVM_SETCOLUMNWIDTH, column, kColumnWidths[column]);
    HICON rowIcon = LoadProgramIcon(instance_, kRowIcon, 16);
    w_.SetListIcon(ids.list, rowIcon);
    if (rowIcon) DestroyIcon(rowIcon);

    ids.moveUp = ImageButton(L"", 39, 199, 28, 28, kMoveUpImage, 18,
                             L"Move the selected folder pair up (Alt+Up)");
    // Every push button, check box and radio button of the program shows the
    // hand: the cursor belongs to the platform's button class.
    SetClassLongPtrW(w_.ControlHandle(ids.moveUp), GCLP_HCURSOR,
                     reinterpret_cast<LONG_PTR>(HandCursor()));
    ids.moveDown = ImageButton(L"", 77, 199, 28, 28, kMoveDownImage, 18,
                               L"Move the selected folder pair down (Alt+Down)");
    ids.add = ImageButton(L"   A&dd folder pair", 135, 199, 150, 28, kAddImage, 18,
                          L"Add a source / destination folder pair to the list");
    ids.edit = ImageButton(L"   &Edit selected", 305, 199, 150, 28, kEditImage, 18,
                           L"Edit the selected source and destination folders");
    ids.remove = ImageButton(L"   &Remove selected", 475, 199, 150, 28, kRemoveImage, 18,
                             L"Remove the selected source and destination folder from the list");
    // Set by the selection rules at the first look at the selection.
    for (int button : {ids.moveUp, ids.moveDown, ids.edit, ids.remove})
      w_.SetControlState(button, kStateDisable);
  }

  void ModesAndOptions() {
    MainWindowControls& ids = main_.ids;
    Heading(L"Backup mode", 250);
    Heading(L"Backup options", 395);
    w_.SetFontForNewControls(9, 800, 1);
    w_.newControlTextColour = kBlack;
    ids.modes.common = Radio(
        L"&Common backup. Copy files from source to destination, overwriting existing files.", 270,
        500,
        L"This mode makes a regular backup.\r\nCheck \"Use update method\" to copy only files "
        L"modified since the last backup.");
    ids.modes.strict = Radio(
        L"S&trict backup. Additionally delete destination files, not existing on source.", 295, 500,
        L"This mode creates a backup containing exactly the same files as the source.\r\nIf files "
        L"or folders were deleted in the source, they are deleted in the destination as "
        L"well.\r\nPlease use care when selecting the folders in this mode.");
    ids.modes.restore = Radio(
        L"Restore &mode. Copy files from destination to source, overwriting source files.", 320,
        500,
        L"This is your life saver mode.\r\nIf your files get lost or corrupted, switch to this "
        L"mode to recover them.");
    ids.modes.sync = Radio(
        L"S&ync mode. Copy newest files from source to destination, and from destination to "
        L"source.",
        345, 550,
        L"In synchronization mode, modified/created files are copied in both directions:\r\nFrom "
        L"source to destination, and from destination to source.");
    ids.options.updateMethod = Check(
        L"Use &update method (faster). Overwrite only outdated files in the destination.", 30, 415,
        460,
        L"When this option is selected, only files created/modified since the last backup are "
        L"copied.\r\nUseful to quickly update an existing backup.");
    ids.options.skipSystem =
        Check(L"Ski&p copying system files.", 30, 440, 180,
              L"Whether to skip copying files with SYSTEM attributes (recommended).");
    ids.options.skipHidden =
        Check(L"Skip copying &hidden files.", 280, 440, 180,
              L"Whether to skip copying files with HIDDEN attributes (recommended).");
    w_.newControlTextColour = -1;
    w_.AddStatic(L"Exclude:", 30, 468, 60, 18);
    w_.SetControlTextColour(-1, kBlack);
    w_.SetFontForNewControls(9, 400, 1);
    ids.exclude = w_.AddEdit(465);
    w_.SetControlBounds(ids.exclude, 95, 465, 390, 21);
    w_.AddTooltip(ids.exclude,
                  L"Items to leave out, separated by \";\": *.tmp; ~$*; Thumbs.db; "
                  L"node_modules\\; Projects\\*\\bin\\\r\nA pattern ending in \"\\\" "
                  L"matches folders only; one holding a \"\\\" matches the path below the "
                  L"pair's folder.");
    // Beside the modes: what the chosen mode would do, and what it may not.
    w_.SetFontForNewControls(9, 800, 1);
    ids.preview = w_.AddButton(L"Pre&view", 535, 262, 90, 26);
    w_.AddTooltip(ids.preview,
                  L"Show what a backup of the checked folder pairs would copy, replace and "
                  L"delete in this mode, changing nothing.");
    ids.safetyNet = w_.AddButton(L"Sa&fety net...", 535, 294, 90, 26);
    w_.AddTooltip(ids.safetyNet,
                  L"Keep replaced and deleted files for some days, and ask before strict mode "
                  L"deletes much of a backup.");
  }

  void FileButtons() {
    MainWindowControls& ids = main_.ids;
    w_.SetFontForNewControls(9, 800, 1);
    ids.settings = ImageButton(L"  Sett&ings", 500, 425, 110, 26, kSettingsImage, 16, nullptr);
    ids.schedule = w_.AddButton(L"Schedu&le...", 500, 461, 110, 26);
    w_.AddTooltip(ids.schedule,
                  L"Run this job by itself: every day, on chosen days or at log-on (Windows "
                  L"Task Scheduler).");
    w_.newControlFlags = LayoutFlags::KeepsOwnBackground;
    ids.open = ImageButton(L"   &Open", 40, 508, 100, 32, kOpenImage, 20,
                           L"Load a previously saved Harborline Backup file.");
    ids.save = ImageButton(L"   &Save", 170, 508, 100, 32, kSaveImage, 20,
                           L"Save the backup settings in the currently loaded Harborline Backup "
                           L"file.");
    ids.saveAs = ImageButton(L"   Save &as...", 300, 508, 100, 32, kSaveAsImage, 20,
                             L"Save the backup settings to a custom Harborline Backup file, so you "
                             L"can load them later.");
    w_.SetFontForNewControls(12, 800, 1);
    ids.start = ImageButton(L" Start &backup", 460, 504, 160, 40, kStartImage, 32,
                            L"Start backing up / restoring the selected folders.");
    w_.newControlFlags = LayoutFlags::None;
    w_.SetFontForNewControls(9, 400, 1);
  }

  void ContextMenu() {
    MainWindowControls& ids = main_.ids;
    const int size = GetSystemMetrics(SM_CYMENUCHECK);
    const int images[4] = {kOpenImage, kAddImage, kEditImage, kRemoveImage};
    for (int i = 0; i < 4; ++i) {
      GdipBitmapHolder image(LoadImageResource(nullptr, images[i], size, size));
      ReplaceBitmapFromImage(&main_.menuImages[i], image.Get());
    }
    w_.AttachPopupMenu(ids.list);
    ids.menuOpenSource = w_.AddMenuItem(ids.list, L"Open source folder", 0, 0, main_.menuImages[0]);
    w_.SetControlState(ids.menuOpenSource, kStateFocus);  // the default item, shown bold
    ids.menuOpenDestination =
        w_.AddMenuItem(ids.list, L"Open destination folder", 1, 0, main_.menuImages[0]);
    w_.AddMenuItem(ids.list, L"", 2, kMenuSeparator, nullptr);
    // Made before the row commands and inserted ahead of them, so that it
    // ends up last in the menu while "Remove selected" stays the last
    // command made (the highest command number of the menu).
    w_.AddMenuItem(ids.list, L"", 3, kMenuSeparator, nullptr);
    ids.menuPreview =
        w_.AddMenuItem(ids.list, L"Preview the backup of checked pairs", 4, 0, nullptr);
    ids.menuAdd = w_.AddMenuItem(ids.list, L"Add folder pair", 3, 0, main_.menuImages[1]);
    ids.menuEdit = w_.AddMenuItem(ids.list, L"Edit selected", 4, 0, main_.menuImages[2]);
    ids.menuRemove = w_.AddMenuItem(ids.list, L"Remove selected", 5, 0, main_.menuImages[3]);
  }

 private:
  int Link(const wchar_t* text, int x, int width, const wchar_t* tip) {
    const int link = w_.AddStatic(text, x, 35, width, 15);
    w_.SetLastControlFontSize(9);
    w_.SetControlTextColour(link, kLinkBlue);
    w_.SetControlCursor(link, HandCursor());
    w_.AddTooltip(link, tip);
    return link;
  }

  void Heading(const wchar_t* text, int y) {
    w_.AddStatic(text, 100, y, 450, 18);
    w_.SetLastControlFontSize(10);
    w_.SetControlTextColour(-1, kHeadingBlue);
  }

  int ImageButton(const wchar_t* text, int x, int y, int width, int height, int image,
                  int imageSize, const wchar_t* tip) {
    const int button = w_.AddButton(text, x, y, width, height);
    SetButtonImageFromResource(w_, button, imagePosition_, nullptr, image, imageSize, imageSize);
    if (tip) w_.AddTooltip(button, tip);
    return button;
  }

  int Radio(const wchar_t* text, int y, int width, const wchar_t* tip) {
    const int radio = w_.AddRadioButton(text, y, width);
    w_.AddTooltip(radio, tip);
    return radio;
  }

  int Check(const wchar_t* text, int x, int y, int width, const wchar_t* tip) {
    const int box = w_.AddCheckBox(text, x, y, width);
    w_.AddTooltip(box, tip);
    return box;
  }

  MainWindow& main_;
  UiWindow& w_;
  HINSTANCE instance_;
  int imagePosition_;
};

}  // namespace

bool BuildMainWindow(MainWindow& main, HINSTANCE instance) {
  UiWindow& window = main.window;
  if (!window.Create(kClassName, kTitle, kWidth, kHeight, -1, -1, kDefaultStyle, nullptr, nullptr))
    return false;
  PaintBackground(window);
  Builder builder(main, instance);
  builder.Header();
  builder.PairList();
  builder.ModesAndOptions();
  builder.FileButtons();
  builder.ContextMenu();
  return true;
}
