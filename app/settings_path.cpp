#include "app/settings_path.h"

#include "app/application.h"

void BuildDefaultSettingsPath(Application& app) {
  app.defaultSettingsPath.Assign(app.programPath.CStr());
  // Find is 1-based and Truncate 0-based: cutting at the backslash's
  // position keeps the backslash.
  const int32_t separator = app.defaultSettingsPath.Find(L"\\", true, -1, 1, 0);
  app.defaultSettingsPath.Truncate(separator);
  app.defaultSettingsPath.Append(app.consoleUserName.CStr(), L".hbak");
}
