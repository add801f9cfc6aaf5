#include "app/console/console_output.h"

#include <windows.h>

#include "base/wide_string.h"

void WriteConsoleLine(const wchar_t* text) { WriteStandardLine(STD_ERROR_HANDLE, text); }

void WriteStandardLine(DWORD which, const wchar_t* text) {
  HANDLE stream = GetStdHandle(which);
  if (!stream || stream == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    stream = GetStdHandle(which);
    if (!stream || stream == INVALID_HANDLE_VALUE) return;
  }
  WideString line;
  line.AssignConcat(text, L"\r\n");
  DWORD written = 0;
  if (GetFileType(stream) == FILE_TYPE_CHAR &&
      WriteConsoleW(stream, line.CStr(), static_cast<DWORD>(line.Length()), &written, nullptr))
    return;
  // Redirected: write UTF-8 so that any script's names survive.
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, line.CStr(), line.Length(), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  char* utf8 = static_cast<char*>(malloc(bytes));
  if (!utf8) return;
  WideCharToMultiByte(CP_UTF8, 0, line.CStr(), line.Length(), utf8, bytes, nullptr, nullptr);
  WriteFile(stream, utf8, static_cast<DWORD>(bytes), &written, nullptr);
  free(utf8);
}
