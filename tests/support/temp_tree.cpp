#include "tests/support/temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

void MakeFolders(const std::wstring& path) {
  std::wstring longPath = LongForm(path);
  for (size_t at = longPath.find(L'\\', 7); at != std::wstring::npos;
       at = longPath.find(L'\\', at + 1))
    CreateDirectoryW(longPath.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(longPath.c_str(), nullptr);
}

}  // namespace

std::wstring LongForm(const std::wstring& path) {
  if (path.rfind(L"\\\\", 0) == 0) return path;
  return L"\\\\?\\" + path;
}

std::wstring DeepRelativePath(const std::wstring& stem, const std::wstring& tail, int levels,
                              const std::wstring& leaf) {
  std::wstring path;
  for (int i = 0; i < levels; ++i) path += stem + std::to_wstring(i) + tail + L"\\";
  return path + leaf;
}

TempTree::TempTree() {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  std::wstring base = temp;
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  root_ = base + L"\\hltest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
  MakeFolders(root_);
}

TempTree::~TempTree() { RemoveTree(root_); }

std::wstring TempTree::Path(const std::wstring& relative) const { return root_ + L"\\" + relative; }

void TempTree::MakeFolder(const std::wstring& relative) const { MakeFolders(Path(relative)); }

void TempTree::WriteFile(const std::wstring& relative, const std::string& content) const {
  std::wstring path = Path(relative);
  size_t slash = path.rfind(L'\\');
  MakeFolders(path.substr(0, slash));
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create test file";
  DWORD written = 0;
  ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, content.size());
}

std::string Utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got) content.append(chunk, got);
  CloseHandle(file);
  return content;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
  DWORD a = GetFileAttributesW(LongForm(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
  DWORD a = GetFileAttributesW(LongForm(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& path) {
  std::wstring longPath = LongForm(path);
  DWORD attributes = GetFileAttributesW(longPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  // Links are removed as links, never entered, and their targets keep their
  // attributes.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // Wine cannot remove a host link to a folder; the host can.
    if (!RemoveDirectoryW(longPath.c_str())) RemoveHostLink(path);
    return;
  }
  SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(longPath.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((longPath + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(longPath.c_str());
}

void TempTree::WriteFileOfSize(const std::wstring& relative, uint64_t size, uint32_t seed) const {
  std::wstring path = Path(relative);
  MakeFolders(path.substr(0, path.rfind(L'\\')));
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create test file";
  std::vector<uint32_t> chunk(1 << 18);  // 1 MiB of words
  uint32_t state = seed * 2654435761u + 1;
  uint64_t left = size;
  bool ok = true;
  while (left && ok) {
    for (uint32_t& word : chunk) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      word = state;
    }
    DWORD piece = static_cast<DWORD>(left < chunk.size() * 4 ? left : chunk.size() * 4);
    DWORD written = 0;
    ok = ::WriteFile(file, chunk.data(), piece, &written, nullptr) && written == piece;
    left -= piece;
  }
  CloseHandle(file);
  ASSERT_TRUE(ok) << "cannot write test file";
}

namespace {

int64_t Value(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

FILETIME Time(int64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) >> 32);
  return time;
}

HANDLE OpenForAttributes(const std::wstring& path, DWORD access) {
  return CreateFileW(LongForm(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

uint64_t HashOf(const std::wstring& path) {
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint64_t hash = 1469598103934665603ull;
  std::vector<unsigned char> chunk(1 << 20);
  DWORD got = 0;
  while (ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got)
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ chunk[i]) * 1099511628211ull;
  CloseHandle(file);
  return hash;
}

void Describe(const std::wstring& root, const std::wstring& relative, bool withAttributes,
              std::vector<std::wstring>& lines) {
  std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((LongForm(folder) + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring item = relative.empty() ? name : relative + L"\\" + name;
    DWORD attributes = entry.dwFileAttributes;
    std::wstring line = item;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      line += L" link";
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      line += L" dir";
    else
      line +=
          L" file " +
          std::to_wstring((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow) +
          L" " + std::to_wstring(HashOf(root + L"\\" + item));
    if (withAttributes) {
      if (attributes & FILE_ATTRIBUTE_READONLY) line += L" R";
      if (attributes & FILE_ATTRIBUTE_HIDDEN) line += L" H";
      if (attributes & FILE_ATTRIBUTE_SYSTEM) line += L" S";
    }
    lines.push_back(line);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      Describe(root, item, withAttributes, lines);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

}  // namespace

ItemTimes TimesOf(const std::wstring& path) {
  ItemTimes times;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(LongForm(path).c_str(), GetFileExInfoStandard, &data)) {
    times.creation = Value(data.ftCreationTime);
    times.lastAccess = Value(data.ftLastAccessTime);
    times.lastWrite = Value(data.ftLastWriteTime);
  }
  return times;
}

bool SetTimes(const std::wstring& path, const ItemTimes& times) {
  HANDLE item = OpenForAttributes(path, FILE_WRITE_ATTRIBUTES);
  if (item == INVALID_HANDLE_VALUE) return false;
  FILETIME creation = Time(times.creation);
  FILETIME access = Time(times.lastAccess);
  FILETIME write = Time(times.lastWrite);
  BOOL ok = SetFileTime(item, times.creation ? &creation : nullptr,
                        times.lastAccess ? &access : nullptr, times.lastWrite ? &write : nullptr);
  CloseHandle(item);
  return ok != FALSE;
}

bool SetWriteTime(const std::wstring& path, int64_t lastWrite) {
  ItemTimes times;
  times.lastWrite = lastWrite;
  return SetTimes(path, times);
}

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(LongForm(path).c_str()); }

bool SetAttributes(const std::wstring& path, DWORD attributes) {
  return SetFileAttributesW(LongForm(path).c_str(), attributes) != FALSE;
}

uint64_t FileIdOf(const std::wstring& path) {
  HANDLE item = OpenForAttributes(path, 0);
  if (item == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  uint64_t id = 0;
  if (GetFileInformationByHandle(item, &information))
    id = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  CloseHandle(item);
  return id;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((LongForm(folder) + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring DescribeTree(const std::wstring& root, bool withAttributes) {
  std::vector<std::wstring> lines;
  Describe(root, L"", withAttributes, lines);
  std::sort(lines.begin(), lines.end());
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\n";
  return text;
}

bool PlatformKeepsCreationTimes(const TempTree& tree) {
  tree.WriteFile(L"creation-probe", "probe");
  std::wstring path = tree.Path(L"creation-probe");
  ItemTimes times = TimesOf(path);
  times.creation = times.lastWrite - 12345670000LL;
  bool kept = SetTimes(path, times) && TimesOf(path).creation == times.creation;
  DeleteFileW(LongForm(path).c_str());
  return kept;
}

bool PlatformCreatesSymbolicLinks(const TempTree& tree) {
  using CreateLinkFn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
  auto createLink = reinterpret_cast<CreateLinkFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
  if (!createLink) return false;
  std::wstring target = tree.Path(L"link-probe-target");
  std::wstring link = tree.Path(L"link-probe");
  tree.WriteFile(L"link-probe-target", "probe");
  createLink(link.c_str(), target.c_str(), 0);
  bool made = (AttributesOf(link) & FILE_ATTRIBUTE_REPARSE_POINT) && Exists(link);
  DeleteFileW(LongForm(link).c_str());
  DeleteFileW(LongForm(target).c_str());
  return made;
}

namespace {

using ToUnixFn = char*(CDECL*)(LPCWSTR);
using ToDosFn = WCHAR*(CDECL*)(LPCSTR);

ToUnixFn HostNameMapper() {
  return reinterpret_cast<ToUnixFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

}  // namespace

std::wstring HostName(const std::wstring& path) {
  std::wstring name;
  ToUnixFn toUnix = HostNameMapper();
  char* mapped = toUnix ? toUnix(path.c_str()) : nullptr;
  if (!mapped) return name;
  // Host names are UTF-8.
  int units = MultiByteToWideChar(CP_UTF8, 0, mapped, -1, nullptr, 0);
  if (units > 0) {
    name.resize(units);
    MultiByteToWideChar(CP_UTF8, 0, mapped, -1, name.data(), units);
    name.pop_back();
  }
  HeapFree(GetProcessHeap(), 0, mapped);
  return name;
}

// Wine hands out no waitable handle for a host program: done decides.
std::string RunHostProgram(const char* program, const std::wstring& arguments,
                           const std::function<bool()>& done, unsigned long timeoutMs) {
  auto toDos = reinterpret_cast<ToDosFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!toDos || !HostNameMapper()) return "host programs can only be run under Wine";
  WCHAR* dosProgram = toDos(program);
  if (!dosProgram) return "the host program cannot be found";
  std::wstring commandLine = L"host-program " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(dosProgram, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &process);
  HeapFree(GetProcessHeap(), 0, dosProgram);
  if (!started) return "the host program cannot be started";
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  WaitForSingleObject(process.hProcess, timeoutMs);
  while (!done() && GetTickCount64() < deadline) Sleep(5);
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  return done() ? "" : "the host program did not do its job";
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::string MakeHostFolderLink(const std::wstring& linkPath, const std::wstring& targetPath) {
  std::wstring link = HostName(linkPath);
  std::wstring target = HostName(targetPath);
  if (link.empty() || target.empty()) return "host links can only be made under Wine";
  return RunHostProgram("/bin/ln", L"-s " + Quoted(target) + L" " + Quoted(link), [&] {
    DWORD attributes = AttributesOf(linkPath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  });
}

std::string MakeHostFileLink(const std::wstring& linkPath, const std::wstring& targetPath) {
  std::wstring link = HostName(linkPath);
  std::wstring target = HostName(targetPath);
  if (link.empty() || target.empty()) return "host links can only be made under Wine";
  return RunHostProgram("/bin/ln", L"-s " + Quoted(target) + L" " + Quoted(link),
                        [&] { return Exists(linkPath); });
}

std::string RenameOnHost(const std::wstring& path, const std::wstring& newPath) {
  std::wstring from = HostName(path);
  std::wstring to = HostName(newPath);
  if (from.empty() || to.empty()) return "host names exist only under Wine";
  size_t separator = newPath.rfind(L'\\');
  std::wstring newName = newPath.substr(separator + 1);
  std::wstring folder = newPath.substr(0, separator);
  // Wine maps the new name case-insensitively onto the existing twin; the
  // host name is made from the folder's mapping and the exact new name.
  std::wstring hostFolder = HostName(folder);
  to = hostFolder + L"/" + newName;
  return RunHostProgram("/bin/mv", Quoted(from) + L" " + Quoted(to), [&] {
    std::vector<std::wstring> names = NamesIn(folder);
    return std::find(names.begin(), names.end(), newName) != names.end();
  });
}

bool RemoveHostLink(const std::wstring& linkPath) {
  // Mapped through its folder: the mapping of the link itself would resolve it.
  size_t separator = linkPath.rfind(L'\\');
  if (separator == std::wstring::npos) return false;
  std::wstring folder = HostName(linkPath.substr(0, separator));
  if (folder.empty()) return false;
  std::wstring link = folder + L"/" + linkPath.substr(separator + 1);
  return RunHostProgram("/bin/rm", L"-f " + Quoted(link),
                        [&] { return AttributesOf(linkPath) == INVALID_FILE_ATTRIBUTES; })
      .empty();
}

// How long a Wine process may answer from its table of drive roots.
constexpr DWORD kDriveTableLifeMs = 1200;

MappedDrive::MappedDrive(const std::wstring& folder, const std::wstring& currentFolder) {
  wchar_t prefix[1024];
  DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
  std::wstring target = HostName(folder);
  if (length == 0 || length >= 1024 || target.empty()) {
    whyNot_ = "drive letters can only be mapped under Wine with WINEPREFIX set";
    return;
  }
  // A file only this mapping can show proves that the letter is ours: a test
  // running beside this one may have taken the same letter a moment earlier.
  std::wstring marker = L"hl-drive-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount64());
  HANDLE file = CreateFileW(LongForm(folder + L"\\" + marker).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    whyNot_ = "cannot write into the folder to map";
    return;
  }
  CloseHandle(file);
  for (wchar_t letter = L'M'; letter <= L'Y' && !letter_; ++letter) {
    std::wstring root = std::wstring(1, letter) + L":\\";
    if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    std::wstring link =
        std::wstring(prefix) + L"/dosdevices/" + static_cast<wchar_t>(letter - L'A' + L'a') + L":";
    std::string failed = RunHostProgram(
        "/bin/ln", L"-sn " + Quoted(target) + L" " + Quoted(link),
        [&] { return GetFileAttributesW((root + marker).c_str()) != INVALID_FILE_ATTRIBUTES; });
    if (failed.empty()) {
      letter_ = letter;
      linkName_ = link;
    }
  }
  DeleteFileW(LongForm(folder + L"\\" + marker).c_str());
  if (!letter_) {
    whyNot_ = "no drive letter could be mapped";
    return;
  }
  wchar_t current[MAX_PATH * 4];
  DWORD currentLength = GetCurrentDirectoryW(MAX_PATH * 4, current);
  if (currentLength > 0 && currentLength < MAX_PATH * 4) previousFolder_ = current;
  if (!SetCurrentDirectoryW((Root() + currentFolder).c_str())) whyNot_ = "cannot enter the drive";
}

MappedDrive::~MappedDrive() {
  if (!previousFolder_.empty()) SetCurrentDirectoryW(previousFolder_.c_str());
  if (!letter_) return;
  std::wstring root = Root();
  RunHostProgram("/bin/rm", L"-f " + Quoted(linkName_),
                 [&] { return GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES; });
  // Every Wine process keeps its own table of the drive roots' file ids for
  // up to a second. Deleted now, the folder's id goes to the next folder
  // made on this disk, perhaps by a test running beside this one, whose
  // final paths would then come back on this letter, stale in its table: its
  // engine then calls its items links and keeps them. Deleted only once every
  // table has been read again, the id names nothing any table holds.
  Sleep(kDriveTableLifeMs);
}
