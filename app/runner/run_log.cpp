#include "app/runner/run_log.h"

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

// Another run may be appending its report this very moment: the log opened
// without sharing is the lock, held for a few milliseconds by each run.
constexpr int kOpenAttempts = 150;
constexpr DWORD kOpenRetryMs = 20;

HANDLE OpenLogAlone(const wchar_t* path) {
  for (int attempt = 0;; ++attempt) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        attempt + 1 >= kOpenAttempts)
      return INVALID_HANDLE_VALUE;
    Sleep(kOpenRetryMs);
  }
}

bool SeekTo(HANDLE file, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

bool ReadAt(HANDLE file, uint64_t offset, size_t count, std::string& bytes) {
  bytes.assign(count, '\0');
  if (!SeekTo(file, offset)) return false;
  size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(count - done), &got, nullptr) ||
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

// The newest whole runs of the log that fit in room bytes: only that tail is
// read, however large the file has grown. A run is whole when its heading
// starts a line.
bool KeptRuns(HANDLE file, uint64_t runsStart, uint64_t runsLength, size_t room,
              std::string& kept) {
  kept.clear();
  if (room == 0 || runsLength == 0) return true;
  const uint64_t tailStart = runsLength > room ? runsLength - room : 0;
  // One byte before the tail tells whether the tail starts a line.
  const uint64_t readFrom = tailStart > 0 ? tailStart - 1 : 0;
  std::string tail;
  if (!ReadAt(file, runsStart + readFrom, static_cast<size_t>(runsLength - readFrom), tail))
    return false;
  const std::string heading = Utf8(kRunHeading);
  const size_t first = tailStart > 0 ? 1 : 0;
  for (size_t at = tail.find(heading, first); at != std::string::npos;
       at = tail.find(heading, at + 1)) {
    if (at == 0 || tail[at - 1] == '\n') {
      kept = tail.substr(at);
      return true;
    }
  }
  return true;
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
  HandleHolder log(OpenLogAlone(logPath));
  if (!log.Valid()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(log.Get(), &size)) return false;
  const uint64_t length = static_cast<uint64_t>(size.QuadPart);
  std::string head;
  const bool marked =
      length >= kUtf8MarkLength && ReadAt(log.Get(), 0, kUtf8MarkLength, head) && head == kUtf8Mark;
  const uint64_t runsStart = marked ? kUtf8MarkLength : 0;
  const uint64_t runsLength = length - runsStart;

  if (length == 0 || kUtf8MarkLength + runsLength + run.size() <= limit) {
    // The usual case: the report goes at the end, or nowhere.
    const std::string added = length == 0 ? kUtf8Mark + run : run;
    if (SeekTo(log.Get(), length) && WriteAll(log.Get(), added)) return true;
    SeekTo(log.Get(), length);
    SetEndOfFile(log.Get());
    return false;
  }
  // Over the limit (by any amount): the oldest runs go. What is written is
  // shorter than what was there, so it never needs room the disk lacks.
  const size_t room =
      limit > kUtf8MarkLength + run.size() ? limit - kUtf8MarkLength - run.size() : 0;
  std::string kept;
  if (!KeptRuns(log.Get(), runsStart, runsLength, room, kept)) return false;
  return SeekTo(log.Get(), 0) && WriteAll(log.Get(), kUtf8Mark + kept + run) &&
         SetEndOfFile(log.Get()) != FALSE;
}
