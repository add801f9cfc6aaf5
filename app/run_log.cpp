#include "app/run_log.h"

#include <windows.h>

#include "base/wide_string.h"
#include "engine/handle_holder.h"

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkLength = 3;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string out(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
  return out;
}

bool ReadWhole(const wchar_t* path, std::string& content) {
  content.clear();
  HandleHolder file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * static_cast<LONGLONG>(kRunLogLimit))
    return false;
  content.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < content.size()) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), content.data() + done, static_cast<DWORD>(content.size() - done),
                  &got, nullptr) ||
        got == 0)
      return false;
    done += got;
  }
  return true;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}

// The existing runs without the oldest ones, so that they and the new run
// fit the limit together; the mark is not part of either.
std::string KeptRuns(const std::string& runs, size_t room) {
  if (runs.size() <= room) return runs;
  const std::string heading = Utf8(kRunHeading);
  size_t cut = runs.size() - room;
  // The first run that begins at or after the cut, at the start of a line.
  for (size_t at = runs.find(heading, cut); at != std::string::npos;
       at = runs.find(heading, at + 1)) {
    if (at == 0 || runs[at - 1] == '\n') return runs.substr(at);
  }
  return std::string();
}

// Writes the whole file anew beside the old one and puts it in its place, so
// that a failure leaves the old log as it was.
bool Rewrite(const wchar_t* path, const std::string& content) {
  std::wstring scratch = std::wstring(path) + L".new";
  {
    HandleHolder file(CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    if (!WriteAll(file.Get(), content)) {
      file.Close();
      DeleteFileW(scratch.c_str());
      return false;
    }
  }
  if (MoveFileExW(scratch.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(scratch.c_str());
  return false;
}

}  // namespace

std::wstring RunLogPath(const wchar_t* defaultSettingsPath) {
  std::wstring path(defaultSettingsPath ? defaultSettingsPath : L"");
  constexpr size_t kExtension = 5;  // ".hbak"
  if (path.size() >= kExtension && EqualsNoCase(path.c_str() + path.size() - kExtension, L".hbak"))
    path.resize(path.size() - kExtension);
  return path + L".log";
}

bool AppendToRunLog(const wchar_t* logPath, const std::wstring& report, size_t limit) {
  const std::string run = Utf8(report);
  std::string existing;
  if (!ReadWhole(logPath, existing)) return false;
  if (existing.compare(0, kUtf8MarkLength, kUtf8Mark) == 0) existing.erase(0, kUtf8MarkLength);
  const size_t room =
      limit > kUtf8MarkLength + run.size() ? limit - kUtf8MarkLength - run.size() : 0;
  return Rewrite(logPath, kUtf8Mark + KeptRuns(existing, room) + run);
}
