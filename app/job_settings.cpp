#include "app/job_settings.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "app/application.h"

namespace {

// Reads a key whole: the buffer grows until the value fits.
WideString ReadKey(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                   const wchar_t* fallback) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    DWORD got = GetPrivateProfileStringW(section, key, fallback, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), path);
    if (got + 1 < buffer.size() || buffer.size() >= (1u << 20)) break;
    buffer.resize(buffer.size() * 4);
  }
  return WideString(buffer.data());
}

}  // namespace

void ReadFolderHistory(Application& app, WideString& lastSource, WideString& lastDestination) {
  const wchar_t* path = app.defaultSettingsPath.CStr();
  lastSource = ReadKey(path, L"History", L"LastSrcFolder", L"");
  lastDestination = ReadKey(path, L"History", L"LastDstFolder", L"");
}

void WriteFolderHistory(Application& app, const wchar_t* source, const wchar_t* destination) {
  const wchar_t* path = app.defaultSettingsPath.CStr();
  WritePrivateProfileStringW(L"History", L"LastSrcFolder", source, path);
  WritePrivateProfileStringW(L"History", L"LastDstFolder", destination, path);
}

bool IsStrictWarningSkipped(Application& app) {
  WideString value =
      ReadKey(app.defaultSettingsPath.CStr(), L"Settings", L"SkipStrictWarning", L"0");
  return value.Length() > 0 && wcstol(value.CStr(), nullptr, 10) > 0;
}

void RememberSkipStrictWarning(Application& app) {
  WritePrivateProfileStringW(L"Settings", L"SkipStrictWarning", L"1",
                             app.defaultSettingsPath.CStr());
}
