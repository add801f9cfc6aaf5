// The installer and the uninstaller, called with what they need to know of
// the running program.
#include "app/application.h"
#include "app/install/shell_links.h"
#include "system/install_dialog.h"
#include "system/uninstaller.h"

namespace {

InstallContext ContextOf(Application& app) {
  static WideString version = GetVersionText();
  InstallContext context;
  context.runMode = app.runMode;
  context.programPath = app.programPath.CStr();
  context.defaultSettingsPath = app.defaultSettingsPath.CStr();
  context.consoleUserName = app.consoleUserName.CStr() ? app.consoleUserName.CStr() : L"";
  context.versionText = version.CStr();
  context.mainWindow = &app.mainWindow;
  context.minimizeButtonId = app.minimizeButtonId;
  context.closeButtonId = app.closeButtonId;
  context.beforeHandOver = app.confirmLeave;
  context.exitCode = &app.exitCode;
  return context;
}

}  // namespace

bool Application::RunInstallDialog(const wchar_t* commandLine, int showCommand) {
  return ::RunInstallDialog(ContextOf(*this), commandLine, showCommand);
}

bool Application::RunUninstall() { return ::RunUninstall(ContextOf(*this)); }
