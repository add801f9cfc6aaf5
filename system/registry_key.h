// The program's only way into the registry. A key is named by one text: root
// name, optional view suffix ("64" or "32"), backslash, subkey path, as in
// "HKLM64\SOFTWARE\Classes\.hbak". Every operation answers plain success or
// failure.
#pragma once

#include <windows.h>

#include "base/wide_string.h"

// Access masks the callers use. kOpenOrCreate asks OpenKeyHandle to create
// the key when it is missing, with read and write access.
inline constexpr REGSAM kKeyRead = KEY_READ;
inline constexpr REGSAM kKeySetValue = KEY_SET_VALUE;
inline constexpr REGSAM kOpenOrCreate = 0xFFFFFFFF;

// On success the path keeps only the subkey path (empty when it had no
// backslash) and the view flag of a suffix is added to access; on failure both
// stay as they were.
HKEY ParseRootKey(WideString& path, REGSAM& access);
// An open key, owned by the caller, or null.
HKEY OpenKeyHandle(const wchar_t* path, REGSAM access);

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { CloseKey(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Handle() const { return key_; }
  bool IsOpen() const;

  bool OpenKey(const wchar_t* path, REGSAM access);
  void CloseKey();
  // The unnamed value as text: REG_SZ and REG_EXPAND_SZ as stored (not
  // expanded), REG_MULTI_SZ with its strings joined by line feeds. Any other
  // type fails and leaves the text empty.
  bool ReadDefaultText(WideString& text);
  // Writes one value into the held key (name null or empty: the unnamed
  // value). Text types take a wide text; REG_MULTI_SZ a text whose line feeds
  // separate the strings; REG_DWORD and REG_QWORD their number.
  bool SetValue(const wchar_t* name, DWORD type, const void* data);
  // Creates or opens the key only to write its unnamed value; keeps it open.
  bool CreateAndSetDefault(const wchar_t* path, DWORD type, const void* data);
  // Deletes the key with all its subkeys, within the path's registry view.
  // A root, and a path with an empty last name, are refused before anything
  // is opened. Afterwards the holder keeps the key's parent open.
  bool DeleteTree(const wchar_t* path);

 private:
  bool DeleteBelow(WideString& path, REGSAM view);

  HKEY key_ = nullptr;
};
