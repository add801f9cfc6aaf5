#include <windows.h>

#include "tests/support/registry_sandbox.h"

namespace {

const wchar_t kTestBranch[] = L"Software\\Harborline Tests";

}  // namespace

void RemoveTestKey(HKEY root, const std::wstring& subkey, REGSAM view) {
  if (subkey.empty() || subkey.back() == L'\\') return;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | KEY_WRITE | DELETE | view, &key) !=
      ERROR_SUCCESS)
    return;
  RegDeleteTreeW(key, nullptr);
  RegCloseKey(key);
  size_t slash = subkey.rfind(L'\\');
  HKEY parent = root;
  bool ownParent = false;
  if (slash != std::wstring::npos && RegOpenKeyExW(root, subkey.substr(0, slash).c_str(), 0,
                                                   KEY_READ | view, &parent) == ERROR_SUCCESS)
    ownParent = true;
  RegDeleteKeyExW(parent, subkey.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), view,
                  0);
  if (ownParent) RegCloseKey(parent);
}

void RegistrySandbox::SetUp() {
  static int counter = 0;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = info ? info->name() : "test";
  name_ = L"Harborline Test " + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter) + L"-" + std::wstring(test.begin(), test.end());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestBranch) + L"\\" + name_).c_str(),
                            0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void RegistrySandbox::TearDown() {
  RemoveTestKey(HKEY_CURRENT_USER, std::wstring(kTestBranch) + L"\\" + name_, 0);
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    RemoveTestKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\" + name_, view);
    RemoveTestKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + name_, view);
  }
}

std::wstring RegistrySandbox::Path(const wchar_t* root, const wchar_t* relative) const {
  std::wstring path = std::wstring(root) + L"\\" + kTestBranch + L"\\" + name_;
  if (relative && relative[0]) path += std::wstring(L"\\") + relative;
  return path;
}
