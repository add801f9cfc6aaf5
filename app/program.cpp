#include "app/program.h"

#include "app/window/main_window.h"

int RunProgram(Application& app, const wchar_t* commandLine, int showCommand) {
  return RunMainWindow(app, GetModuleHandleW(nullptr), commandLine, showCommand);
}
