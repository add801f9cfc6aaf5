#include "app/application.h"

#include "app/console_user.h"
#include "app/file_name_chars.h"
#include "app/os_version.h"
#include "app/privileges.h"
#include "app/settings_path.h"
#include "base/module_path.h"

Application::Application() {
  osVersion = GetOsVersion();
  EnableBackupPrivileges();  // what is not granted simply stays off
  programPath = ModulePath();
  // Only the name is needed at start; the token goes at once.
  GetConsoleUserName(consoleUserName);
  StripInvalidFileNameChars(consoleUserName);
  BuildDefaultSettingsPath(*this);
}
