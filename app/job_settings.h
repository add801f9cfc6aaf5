// What the application shell keeps in the user's default settings file: the
// folders last confirmed in the folder pair dialog and the strict warning's
// "Dont ask again".
#pragma once

#include "base/wide_string.h"

class Application;

void ReadFolderHistory(Application& app, WideString& lastSource, WideString& lastDestination);
void WriteFolderHistory(Application& app, const wchar_t* source, const wchar_t* destination);
bool IsStrictWarningSkipped(Application& app);
void RememberSkipStrictWarning(Application& app);
