#include "tests/support/temp_tree.h"

#include <gtest/gtest.h>

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
  SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(longPath.c_str());
    return;
  }
  // Links are removed as links, never entered.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((longPath + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
      } while (FindNextFileW(search, &entry));
      FindClose(search);
    }
  }
  RemoveDirectoryW(longPath.c_str());
}
