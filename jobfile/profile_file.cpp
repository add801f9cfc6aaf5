#include "jobfile/profile_file.h"

#include "jobfile/profile_edits.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

constexpr DWORD kFirstValueBuffer = 256;
constexpr DWORD kFirstSectionBuffer = 0x8000;
// Far beyond any real settings file; a read that still does not fit is a
// failure, not a value cut short.
constexpr DWORD kLargestBuffer = 0x4000000;

constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf16BeMark[] = {0xFE, 0xFF};
constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

bool StartsWith(const std::string& bytes, const unsigned char* mark, size_t length) {
  return bytes.size() >= length &&
         bytes.compare(0, length, reinterpret_cast<const char*>(mark), length) == 0;
}

bool ReadFileBytes(const wchar_t* path, std::string& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < kLargestBuffer;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
          read == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

bool WriteNewFile(const wchar_t* path, const void* data, DWORD size, DWORD disposition) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
  ok = CloseHandle(file) && ok;
  return ok;
}

bool FitsCodePage(const wchar_t* text) {
  if (!text || !*text) return true;
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr,
                                 &usedDefault);
  return size > 0 && !usedDefault;
}

}  // namespace

WideString FullSettingsPath(const wchar_t* path) {
  WideString full;
  full.ok = false;
  if (!path || !*path) return full;
  DWORD size = MAX_PATH;
  for (;;) {
    wchar_t* buffer = full.AssignN(static_cast<int32_t>(size), nullptr);
    if (!buffer) return full;
    DWORD needed = GetFullPathNameW(path, size, buffer, nullptr);
    if (needed == 0) {
      full.ok = false;
      return full;
    }
    if (needed < size) {
      full.len = static_cast<int32_t>(needed);
      full.ok = true;
      return full;
    }
    size = needed + 1;
  }
}

WideString ReadProfileText(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                           const wchar_t* fallback) {
  WideString value;
  for (DWORD size = kFirstValueBuffer; size <= kLargestBuffer; size *= 2) {
    wchar_t* buffer = value.AssignN(static_cast<int32_t>(size), nullptr);
    if (!buffer) break;
    DWORD length = GetPrivateProfileStringW(section, key, fallback, buffer, size, path);
    // A value that filled the buffer may have been cut: read again with more room.
    if (length + 1 < size) {
      buffer[length] = 0;
      value.len = static_cast<int32_t>(length);
      value.ok = true;
      return value;
    }
  }
  value.Clear();
  value.ok = false;
  return value;
}

bool ReadProfileSection(const wchar_t* path, const wchar_t* section, std::vector<wchar_t>& lines) {
  for (DWORD size = kFirstSectionBuffer; size <= kLargestBuffer; size *= 2) {
    lines.assign(size, 0);
    DWORD length = GetPrivateProfileSectionW(section, lines.data(), size, path);
    // The platform answers size - 2 when it had to cut the section.
    if (length + 2 < size) {
      lines.resize(length + 2);
      lines[length] = 0;
      lines[length + 1] = 0;
      return true;
    }
  }
  lines.assign(2, 0);
  return false;
}

bool WriteProfileText(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                      const wchar_t* value) {
  ProfileEdit edit;
  edit.section = section;
  edit.key = key;
  if (value)
    edit.value = value;
  else
    edit.kind = ProfileEdit::Kind::RemoveKey;
  return ApplyProfileEdits(path, {edit});
}

bool MakeFileHoldText(const wchar_t* path, const std::vector<const wchar_t*>& texts) {
  bool fits = true;
  for (const wchar_t* text : texts) fits = fits && FitsCodePage(text);
  if (fits) return true;
  std::string bytes;
  if (!ReadFileBytes(path, bytes)) return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
  if (StartsWith(bytes, kUtf16LeMark, 2) || StartsWith(bytes, kUtf16BeMark, 2) ||
      StartsWith(bytes, kUtf8Mark, 3))
    return true;
  std::wstring text;
  if (!bytes.empty()) {
    int units =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (units <= 0) return false;
    text.resize(static_cast<size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        units);
  }
  std::string converted(reinterpret_cast<const char*>(kUtf16LeMark), 2);
  converted.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  // The converted copy replaces the file only once it is complete.
  std::wstring scratch = std::wstring(path) + L".converting";
  if (!WriteNewFile(scratch.c_str(), converted.data(), static_cast<DWORD>(converted.size()),
                    CREATE_ALWAYS))
    return false;
  if (MoveFileExW(scratch.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(scratch.c_str());
  return false;
}

uint32_t ReadUnsignedNumber(const wchar_t* text) {
  uint64_t value = 0;
  for (; text && *text >= L'0' && *text <= L'9'; ++text) {
    value = value * 10 + static_cast<uint64_t>(*text - L'0');
    if (value > UINT32_MAX) return UINT32_MAX;
  }
  return static_cast<uint32_t>(value);
}

int64_t ReadSignedNumber(const wchar_t* text) {
  if (!text) return 0;
  while (*text == L' ' || *text == L'\t') ++text;
  bool negative = *text == L'-';
  if (*text == L'-' || *text == L'+') ++text;
  int64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    if (value > (INT64_MAX - 9) / 10) {
      value = INT64_MAX;
      break;
    }
    value = value * 10 + (*text - L'0');
  }
  return negative ? -value : value;
}
