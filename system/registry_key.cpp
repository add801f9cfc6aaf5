#include "system/registry_key.h"

#include <cwchar>
#include <string>

namespace {

struct RootName {
  const wchar_t* shortName;
  const wchar_t* longName;
  HKEY key;
};

const RootName kRootNames[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKU", L"HKEY_USERS", HKEY_USERS},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

constexpr REGSAM kView64 = KEY_WOW64_64KEY;
constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kViewFlags = kView64 | kView32;
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

// The root name with its view suffix ends at the first backslash among the
// characters 4 to 23: the shortest root is three characters long and the
// longest, "HKEY_CURRENT_CONFIG" with a suffix, 21.
constexpr int32_t kRootSearchStart = 4;
constexpr int32_t kRootSearchWindow = 20;

// The longest key name the registry allows, and its terminator.
constexpr DWORD kKeyNameLength = 256;

bool IsHeldKey(HKEY key) {
  return key != nullptr && key != static_cast<HKEY>(INVALID_HANDLE_VALUE);
}

// The subkey of a path and its view flag; null for an unknown root.
HKEY SplitPath(const wchar_t* path, WideString& subkey, REGSAM& view) {
  subkey.Assign(path);
  view = 0;
  HKEY root = ParseRootKey(subkey, view);
  view &= kViewFlags;
  return root;
}

// Bytes of a text stored with its terminator.
DWORD TextBytes(const wchar_t* text) {
  size_t units = wcslen(text) + 1;
  return units > MAXDWORD / sizeof(wchar_t) ? 0 : static_cast<DWORD>(units * sizeof(wchar_t));
}

}  // namespace

HKEY ParseRootKey(WideString& path, REGSAM& access) {
  int32_t n = path.Length();
  if (n == 0) return nullptr;
  int32_t slash = path.Find(L"\\", true, 1, kRootSearchStart, kRootSearchWindow);
  std::wstring root(path.CStr(), slash ? slash - 1 : n);
  REGSAM view = 0;
  if (root.size() >= 2) {
    std::wstring suffix = root.substr(root.size() - 2);
    if (suffix == L"64") view = kView64;
    if (suffix == L"32") view = kView32;
    if (view) root.resize(root.size() - 2);
  }
  for (const RootName& name : kRootNames) {
    if (!EqualsNoCase(root.c_str(), name.shortName) && !EqualsNoCase(root.c_str(), name.longName))
      continue;
    if (slash)
      path.DropLeft(slash);
    else
      path.Assign(L"");
    access |= view;
    return name.key;
  }
  return nullptr;
}

HKEY OpenKeyHandle(const wchar_t* path, REGSAM access) {
  WideString subkey;
  REGSAM view = 0;
  HKEY root = SplitPath(path, subkey, view);
  if (!root) return nullptr;
  HKEY key = nullptr;
  LSTATUS status;
  if (access == kOpenOrCreate) {
    status = RegCreateKeyExW(root, subkey.CStr(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             kReadWrite | view, nullptr, &key, nullptr);
  } else {
    status = RegOpenKeyExW(root, subkey.Length() ? subkey.CStr() : nullptr, 0, access | view, &key);
  }
  return status == ERROR_SUCCESS ? key : nullptr;
}

bool RegistryKey::IsOpen() const { return IsHeldKey(key_); }

bool RegistryKey::OpenKey(const wchar_t* path, REGSAM access) {
  CloseKey();
  key_ = OpenKeyHandle(path, access);
  return IsOpen();
}

void RegistryKey::CloseKey() {
  if (IsHeldKey(key_)) RegCloseKey(key_);
  key_ = nullptr;
}

bool RegistryKey::ReadDefaultText(WideString& text) {
  text.Assign(L"");
  if (!IsOpen()) return false;
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key_, nullptr, nullptr, &type, nullptr, &size);
  // The value may grow between the two calls: ask again with its new size.
  for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
    // Two spare characters terminate a stored text that lacks its terminator
    // or, for a list, its double terminator.
    DWORD units = size / sizeof(wchar_t) + 1 + 2;
    if (units > INT32_MAX / 2) return false;
    wchar_t* buffer = text.AssignN(static_cast<int32_t>(units), nullptr);
    if (!buffer) return false;
    for (DWORD i = 0; i <= units; ++i) buffer[i] = 0;
    DWORD room = (units - 2) * sizeof(wchar_t);
    status =
        RegQueryValueExW(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &room);
    if (status == ERROR_MORE_DATA) {
      size = room;
      status = ERROR_SUCCESS;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) break;
    if (type == REG_MULTI_SZ) {
      DWORD stored = room / sizeof(wchar_t);
      for (DWORD i = 0; i + 1 < stored; ++i)
        if (buffer[i] == 0 && buffer[i + 1] != 0) buffer[i] = L'\n';
    }
    text.len = 0;  // recounted up to the first terminator
    text.ok = true;
    return true;
  }
  text.Assign(L"");
  return false;
}

bool RegistryKey::SetValue(const wchar_t* name, DWORD type, const void* data) {
  if (!IsOpen()) return false;
  DWORD bytes = 0;
  WideString list;
  const BYTE* stored = static_cast<const BYTE*>(data);
  if (data) {
    switch (type) {
      case REG_SZ:
      case REG_EXPAND_SZ:
      case REG_LINK:
        bytes = TextBytes(static_cast<const wchar_t*>(data));
        if (!bytes) return false;
        break;
      case REG_DWORD:
      case REG_DWORD_BIG_ENDIAN:
        bytes = 4;
        break;
      case REG_QWORD:
        bytes = 8;
        break;
      case REG_MULTI_SZ: {
        // Line feeds separate the strings; the list ends with two terminators.
        size_t length = wcslen(static_cast<const wchar_t*>(data));
        if (length > INT32_MAX / 2) return false;
        int32_t n = static_cast<int32_t>(length);
        wchar_t* buffer = list.AssignN(n + 1, static_cast<const wchar_t*>(data));
        if (!buffer) return false;
        for (int32_t i = 0; i < n; ++i)
          if (buffer[i] == L'\n') buffer[i] = 0;
        buffer[n] = 0;
        buffer[n + 1] = 0;
        bytes = static_cast<DWORD>(n) * 2 + 4;
        stored = reinterpret_cast<const BYTE*>(buffer);
        break;
      }
      default:
        break;
    }
  }
  return RegSetValueExW(key_, name && name[0] ? name : nullptr, 0, type, bytes ? stored : nullptr,
                        bytes) == ERROR_SUCCESS;
}

bool RegistryKey::CreateAndSetDefault(const wchar_t* path, DWORD type, const void* data) {
  CloseKey();
  WideString subkey;
  REGSAM view = 0;
  HKEY root = SplitPath(path, subkey, view);
  if (!root) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, subkey.CStr(), 0, nullptr, REG_OPTION_NON_VOLATILE, kKeySetValue | view,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  key_ = key;
  return SetValue(nullptr, type, data);
}

bool RegistryKey::DeleteTree(const wchar_t* path) {
  CloseKey();
  WideString subkey;
  REGSAM view = 0;
  if (!path || !SplitPath(path, subkey, view)) return false;
  // A root, or a path ending in a backslash, would name everything below the
  // root: refused before a single subkey is touched.
  if (subkey.Length() == 0 || subkey.CStr()[subkey.Length() - 1] == L'\\') return false;
  WideString full(path);
  return DeleteBelow(full, view);
}

bool RegistryKey::DeleteBelow(WideString& path, REGSAM view) {
  if (OpenKey(path.CStr(), kKeyRead)) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      subkeys = 0;
    // Downward, so that the indices still to come stay valid while subkeys go.
    for (DWORD index = subkeys; index-- > 0;) {
      wchar_t name[kKeyNameLength];
      DWORD nameLength = kKeyNameLength;
      // Each deletion below ends with this holder open on this key again.
      if (RegEnumKeyExW(key_, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
              ERROR_SUCCESS ||
          nameLength == 0)
        continue;
      WideString child;
      child.AssignConcat(path.CStr(), L"\\", name);
      DeleteBelow(child, view);
    }
  }
  int32_t slash = path.Find(L"\\", true, -1, 1, 0);
  if (slash <= 1 || slash == path.Length()) return false;
  WideString parent;
  parent.Substring(path.CStr(), 1, slash - 1);
  if (!OpenKey(parent.CStr(), kKeyRead)) return false;
  return RegDeleteKeyExW(key_, path.CStr() + slash, view, 0) == ERROR_SUCCESS;
}
