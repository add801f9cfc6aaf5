#include "system/install_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "system/registry_key.h"
#include "tests/support/foreign_window.h"
#include "tests/support/temp_tree.h"
#include "tests/support/window_harness.h"

namespace {

constexpr DWORD kBoundedWaitMs = 60000;

struct ControlLook {
  std::wstring text;
  RECT bounds;  // in the dialog's client area
  bool enabled;
  bool checked;
};

struct DialogLook {
  SIZE client{};
  std::vector<ControlLook> controls;  // in the order they were made
};

BOOL CALLBACK CollectControl(HWND child, LPARAM param) {
  auto* look = reinterpret_cast<std::pair<HWND, DialogLook*>*>(param);
  ControlLook control;
  wchar_t text[256] = {};
  GetWindowTextW(child, text, 256);
  control.text = text;
  GetWindowRect(child, &control.bounds);
  MapWindowPoints(nullptr, look->first, reinterpret_cast<POINT*>(&control.bounds), 2);
  control.enabled = IsWindowEnabled(child) != FALSE;
  control.checked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
  look->second->controls.push_back(control);
  return TRUE;
}

// Runs on a thread of its own while the dialog's loop runs on the test's:
// finds the dialog, then takes turns of looking and acting.
class DialogDriver {
 public:
  using Step = std::function<void(HWND dialog)>;

  DialogDriver(HWND owner, std::vector<Step> steps) : owner_(owner), steps_(std::move(steps)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~DialogDriver() { thread_.join(); }

  bool found = false;
  std::vector<DialogLook> looks;

  // Looks at the dialog once the events of earlier steps have been handled.
  static DialogLook Look(HWND dialog) {
    // A message sent to the dialog is handled only after the loop took the
    // events that the earlier steps raised.
    SendMessageW(dialog, WM_NULL, 0, 0);
    SendMessageW(dialog, WM_NULL, 0, 0);
    DialogLook look;
    RECT client;
    GetClientRect(dialog, &client);
    look.client = {client.right, client.bottom};
    std::pair<HWND, DialogLook*> param{dialog, &look};
    EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&param));
    return look;
  }
  static void Press(HWND dialog, const wchar_t* text) {
    HWND button = FindWindowExW(dialog, nullptr, L"Button", text);
    if (button) SendMessageW(button, BM_CLICK, 0, 0);
  }

 private:
  void Run() {
    HWND dialog = nullptr;
    found = WaitUntil(
        [&] {
          dialog = FindWindowExW(nullptr, nullptr, kInstallDialogClass, nullptr);
          while (dialog && GetWindow(dialog, GW_OWNER) != owner_)
            dialog = FindWindowExW(nullptr, dialog, kInstallDialogClass, nullptr);
          return dialog && IsWindowVisible(dialog);
        },
        kBoundedWaitMs);
    if (!found) {
      // Nothing to drive: end the loop the test is waiting in.
      PostMessageW(owner_, WM_CLOSE, 0, 0);
      return;
    }
    for (Step& step : steps_) step(dialog);
  }

  HWND owner_;
  std::vector<Step> steps_;
  std::thread thread_;
};

struct Expected {
  const wchar_t* text;
  RECT bounds;
};

// The layout table: text, x, y, width, height.
const Expected kLayout[] = {
    {L"Harborline Backup settings", {50, 20, 400, 40}},
    {L"&Install the application on this PC (recommended)", {20, 70, 350, 88}},
    {L"Create desktop shortcut for &unattended backup", {30, 100, 360, 118}},
    {L"Create &normal desktop shortcut to launch Harborline Backup", {30, 130, 400, 148}},
    {L"Create uninstall &entry, to completely remove Harborline Backup", {30, 160, 410, 178}},
    {L"Associate the application with .&hbak files", {20, 190, 400, 208}},
    {L"&OK", {230, 245, 310, 271}},
    {L"&Cancel", {340, 245, 420, 271}},
    {L"&Warn before a strict backup", {20, 249, 220, 267}},
};

class InstallDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(BuildInstallLayout(L"Ann", layout));
    // The dialog reads the installation as it is: this machine must have none.
    ASSERT_FALSE(Exists(layout.installedProgram.CStr()));
    ASSERT_FALSE(IsFileTypeRegisteredHere());
    minimize = main.ui.AddButton(L"_", 300, 5, 20, 20);
    close = main.ui.AddButton(L"x", 330, 5, 20, 20);
    context.programPath = L"C:\\Elsewhere\\Harborline.exe";
    context.defaultSettingsPath = L"C:\\Elsewhere\\Ann.hbak";
    context.consoleUserName = L"Ann";
    context.versionText = L"1.3.4.0";
    context.mainWindow = &main.ui;
    context.minimizeButtonId = minimize;
    context.closeButtonId = close;
  }

  static bool IsFileTypeRegisteredHere() {
    RegistryKey key;
    return key.OpenKey(L"HKCR\\.hbak", kKeyRead);
  }

  TestWindow main{640, 480};
  InstallLayout layout;
  InstallContext context;
  int minimize = 0;
  int close = 0;
};

}  // namespace

TEST_F(InstallDialogTest, OpensAsLaidOutWithTheDependentBoxesFollowingInstall) {
  std::vector<DialogLook> looks;
  bool result = true;
  {
    DialogDriver driver(main.ui.handle, {[&](HWND d) { looks.push_back(DialogDriver::Look(d)); },
                                         [&](HWND d) {
                                           DialogDriver::Press(d, kLayout[1].text);
                                           looks.push_back(DialogDriver::Look(d));
                                         },
                                         [&](HWND d) {
                                           DialogDriver::Press(d, kLayout[3].text);
                                           DialogDriver::Press(d, kLayout[1].text);
                                           looks.push_back(DialogDriver::Look(d));
                                         },
                                         [&](HWND d) {
                                           PostMessageW(
                                               FindWindowExW(d, nullptr, L"Button", L"&Cancel"),
                                               BM_CLICK, 0, 0);
                                         }});
    result = RunInstallDialog(context, L"", SW_SHOWNORMAL);
    ASSERT_TRUE(driver.found);
  }
  EXPECT_FALSE(result);
  ASSERT_EQ(looks.size(), 3u);

  const DialogLook& first = looks[0];
  EXPECT_EQ(first.client.cx, 450);
  EXPECT_EQ(first.client.cy, 280);
  ASSERT_EQ(first.controls.size(), std::size(kLayout));
  for (size_t i = 0; i < first.controls.size(); ++i) {
    const ControlLook& control = first.controls[i];
    EXPECT_EQ(control.text, kLayout[i].text);
    EXPECT_EQ(control.bounds.left, kLayout[i].bounds.left) << i;
    EXPECT_EQ(control.bounds.top, kLayout[i].bounds.top) << i;
    EXPECT_EQ(control.bounds.right, kLayout[i].bounds.right) << i;
    EXPECT_EQ(control.bounds.bottom, kLayout[i].bounds.bottom) << i;
  }
  // Nothing installed: Install clear, the three indented boxes clear and
  // greyed, the association clear.
  for (int box = 1; box <= 5; ++box) EXPECT_FALSE(first.controls[box].checked) << box;
  EXPECT_TRUE(first.controls[8].checked) << "the strict-mode warning is on";
  EXPECT_TRUE(first.controls[1].enabled);
  for (int box = 2; box <= 4; ++box) EXPECT_FALSE(first.controls[box].enabled) << box;
  EXPECT_TRUE(first.controls[5].enabled);

  // Checking Install checks and enables the three.
  for (int box = 1; box <= 4; ++box) {
    EXPECT_TRUE(looks[1].controls[box].checked) << box;
    EXPECT_TRUE(looks[1].controls[box].enabled) << box;
  }
  EXPECT_FALSE(looks[1].controls[5].checked);
  // Clearing it clears and greys them again, whatever they were.
  for (int box = 2; box <= 4; ++box) {
    EXPECT_FALSE(looks[2].controls[box].checked) << box;
    EXPECT_FALSE(looks[2].controls[box].enabled) << box;
  }
  // Cancel changed nothing.
  EXPECT_FALSE(Exists(layout.installFolder.CStr()));
  EXPECT_FALSE(IsFileTypeRegisteredHere());
}

TEST_F(InstallDialogTest, TheMainWindowsCloseButtonEndsTheDialogAndTheProgram) {
  bool result = false;
  {
    DialogDriver driver(
        main.ui.handle,
        {[&](HWND) { PostMessageW(main.ui.ControlHandle(minimize), BM_CLICK, 0, 0); },
         [&](HWND d) {
           DialogDriver::Look(d);
           PostMessageW(main.ui.ControlHandle(close), BM_CLICK, 0, 0);
         }});
    result = RunInstallDialog(context, L"", SW_SHOWNORMAL);
    ASSERT_TRUE(driver.found);
  }
  EXPECT_TRUE(result);
  EXPECT_TRUE(IsIconic(main.ui.handle));
  EXPECT_FALSE(Exists(layout.installFolder.CStr()));
}

TEST_F(InstallDialogTest, UnattendedRunsNeverOpenIt) {
  context.runMode = 1;
  EXPECT_FALSE(RunInstallDialog(context, L"", SW_SHOWNORMAL));
  EXPECT_EQ(FindWindowExW(nullptr, nullptr, kInstallDialogClass, nullptr), nullptr);
}
