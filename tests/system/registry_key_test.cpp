#include "system/registry_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/registry_sandbox.h"

namespace {

struct RootCase {
  const wchar_t* name;
  HKEY key;
};

const RootCase kRoots[] = {
    {L"HKLM", HKEY_LOCAL_MACHINE},  {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", HKEY_CURRENT_USER},   {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", HKEY_CLASSES_ROOT},   {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKU", HKEY_USERS},           {L"HKEY_USERS", HKEY_USERS},
    {L"HKCC", HKEY_CURRENT_CONFIG}, {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

struct ViewCase {
  const wchar_t* suffix;
  REGSAM flag;
};

const ViewCase kViews[] = {{L"", 0}, {L"64", KEY_WOW64_64KEY}, {L"32", KEY_WOW64_32KEY}};

std::vector<BYTE> RawValue(HKEY key, const wchar_t* name, DWORD* type) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<BYTE> data(size);
  if (size && RegQueryValueExW(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS)
    return {};
  return data;
}

std::vector<BYTE> BytesOf(const wchar_t* text, size_t units) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
  return std::vector<BYTE>(bytes, bytes + units * sizeof(wchar_t));
}

DWORD SubkeyCount(HKEY root) {
  DWORD count = 0;
  RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  return count;
}

}  // namespace

TEST(ParseRootKey, EveryRootNameInEveryViewForm) {
  for (const RootCase& root : kRoots) {
    for (const ViewCase& view : kViews) {
      std::wstring text = std::wstring(root.name) + view.suffix + L"\\Software\\Sub";
      WideString path(text.c_str());
      REGSAM access = KEY_READ;
      EXPECT_EQ(ParseRootKey(path, access), root.key) << text;
      EXPECT_STREQ(path.CStr(), L"Software\\Sub") << text;
      EXPECT_EQ(access, KEY_READ | view.flag) << text;

      // Without a backslash the root itself is named.
      std::wstring bare = std::wstring(root.name) + view.suffix;
      WideString rootOnly(bare.c_str());
      access = 0;
      EXPECT_EQ(ParseRootKey(rootOnly, access), root.key) << bare;
      EXPECT_STREQ(rootOnly.CStr(), L"") << bare;
      EXPECT_EQ(access, view.flag) << bare;
    }
  }
}

TEST(ParseRootKey, IgnoresCaseOfRootAndKeepsSubkeyAsWritten) {
  WideString path(L"hkey_Local_machine64\\Software\\MiXed");
  REGSAM access = 0;
  EXPECT_EQ(ParseRootKey(path, access), HKEY_LOCAL_MACHINE);
  EXPECT_STREQ(path.CStr(), L"Software\\MiXed");
  EXPECT_EQ(access, static_cast<REGSAM>(KEY_WOW64_64KEY));
}

TEST(ParseRootKey, UnknownRootsLeavePathAndMaskUnchanged) {
  const wchar_t* const kBad[] = {L"HKXX\\Software", L"Software\\Classes",
                                 L"HK\\Software",   L"HKLM65\\Software",
                                 L"64\\Software",   L"HKLMX",
                                 L"\\HKLM"};
  for (const wchar_t* bad : kBad) {
    WideString path(bad);
    REGSAM access = KEY_READ;
    EXPECT_EQ(ParseRootKey(path, access), nullptr) << bad;
    EXPECT_STREQ(path.CStr(), bad);
    EXPECT_EQ(access, static_cast<REGSAM>(KEY_READ));
  }
  WideString empty(L"");
  REGSAM access = 7;
  EXPECT_EQ(ParseRootKey(empty, access), nullptr);
  EXPECT_EQ(access, 7u);
}

TEST(ParseRootKey, SeesTheSeparatorOnlyAfterTheThirdCharacter) {
  // The longest root with a suffix ends at character 21; its backslash is seen.
  WideString longest(L"HKEY_CURRENT_CONFIG64\\System");
  REGSAM access = 0;
  EXPECT_EQ(ParseRootKey(longest, access), HKEY_CURRENT_CONFIG);
  EXPECT_STREQ(longest.CStr(), L"System");
}

TEST_F(RegistrySandbox, ShortLongAndLowerCaseNamesOpenTheSameKey) {
  RegistryKey writer;
  ASSERT_TRUE(writer.CreateAndSetDefault(Path(L"HKCU", L"Same").c_str(), REG_SZ, L"one key"));
  for (const wchar_t* root : {L"HKEY_CURRENT_USER", L"hkcu", L"HKCU64"}) {
    RegistryKey reader;
    ASSERT_TRUE(reader.OpenKey(Path(root, L"Same").c_str(), kKeyRead)) << root;
    WideString text;
    EXPECT_TRUE(reader.ReadDefaultText(text));
    EXPECT_STREQ(text.CStr(), L"one key");
  }
}

TEST_F(RegistrySandbox, OpenOrCreateMakesMissingKeysAndPlainOpenDoesNot) {
  RegistryKey key;
  EXPECT_FALSE(key.OpenKey(Path(L"HKCU", L"a\\b").c_str(), kKeyRead));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_TRUE(key.OpenKey(Path(L"HKCU", L"a\\b").c_str(), kOpenOrCreate));
  EXPECT_TRUE(key.SetValue(L"named", REG_SZ, L"x"));
  EXPECT_TRUE(key.OpenKey(Path(L"HKCU", L"a\\b").c_str(), kKeyRead));
  EXPECT_EQ(OpenKeyHandle(L"HKXX\\Software", kOpenOrCreate), nullptr);
  HKEY root = OpenKeyHandle(L"HKCU", kKeyRead);
  EXPECT_NE(root, nullptr);
  if (root) RegCloseKey(root);
}

TEST_F(RegistrySandbox, ThirtyTwoBitViewLandsInTheRedirectedBranch) {
  // HKLM\SOFTWARE is split by view; the test key is removed by the sandbox.
  std::wstring relative = L"SOFTWARE\\" + MachineKeyName();
  RegistryKey key;
  ASSERT_TRUE(key.CreateAndSetDefault((L"HKLM32\\" + relative).c_str(), REG_SZ, L"32-bit view"));
  key.CloseKey();
  WideString text;
  ASSERT_TRUE(key.OpenKey(L"HKLM64\\SOFTWARE\\Wow6432Node", kKeyRead));
  ASSERT_TRUE(
      key.OpenKey((L"HKLM64\\SOFTWARE\\Wow6432Node\\" + MachineKeyName()).c_str(), kKeyRead));
  EXPECT_TRUE(key.ReadDefaultText(text));
  EXPECT_STREQ(text.CStr(), L"32-bit view");
  EXPECT_FALSE(key.OpenKey((L"HKLM64\\" + relative).c_str(), kKeyRead));
  EXPECT_TRUE(key.DeleteTree((L"HKLM32\\" + relative).c_str()));
  EXPECT_FALSE(
      key.OpenKey((L"HKLM64\\SOFTWARE\\Wow6432Node\\" + MachineKeyName()).c_str(), kKeyRead));
}

TEST_F(RegistrySandbox, TextValuesRoundTripWithTheirTerminators) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(Path(L"HKCU", L"values").c_str(), kOpenOrCreate));
  struct Case {
    DWORD type;
    const wchar_t* written;
    std::vector<BYTE> stored;
    const wchar_t* read;
  };
  const Case kCases[] = {
      {REG_SZ, L"plain text", BytesOf(L"plain text", 11), L"plain text"},
      {REG_SZ, L"", BytesOf(L"", 1), L""},
      {REG_EXPAND_SZ, L"%ProgramFiles%\\x", BytesOf(L"%ProgramFiles%\\x", 17),
       L"%ProgramFiles%\\x"},
      {REG_MULTI_SZ, L"a\nb", BytesOf(L"a\0b\0", 5), L"a\nb"},
      {REG_MULTI_SZ, L"first line\nsecond\nthird", BytesOf(L"first line\0second\0third\0", 25),
       L"first line\nsecond\nthird"},
      {REG_MULTI_SZ, L"", BytesOf(L"\0", 2), L""},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(key.SetValue(nullptr, c.type, c.written)) << c.written;
    DWORD type = 0;
    EXPECT_EQ(RawValue(key.Handle(), nullptr, &type), c.stored) << c.written;
    EXPECT_EQ(type, c.type);
    WideString text;
    EXPECT_TRUE(key.ReadDefaultText(text)) << c.written;
    EXPECT_STREQ(text.CStr(), c.read);
  }
}

TEST_F(RegistrySandbox, NumbersAndEmptyValuesStoreTheirOwnSize) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(Path(L"HKCU", L"numbers").c_str(), kOpenOrCreate));
  DWORD dword = 0x12345678;
  ULONGLONG qword = 0x0102030405060708ULL;
  ASSERT_TRUE(key.SetValue(L"d", REG_DWORD, &dword));
  ASSERT_TRUE(key.SetValue(L"q", REG_QWORD, &qword));
  ASSERT_TRUE(key.SetValue(L"none", REG_NONE, nullptr));
  DWORD type = 0;
  std::vector<BYTE> d = RawValue(key.Handle(), L"d", &type);
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(*reinterpret_cast<DWORD*>(d.data()), dword);
  std::vector<BYTE> q = RawValue(key.Handle(), L"q", &type);
  ASSERT_EQ(q.size(), 8u);
  EXPECT_EQ(*reinterpret_cast<ULONGLONG*>(q.data()), qword);
  EXPECT_TRUE(RawValue(key.Handle(), L"none", &type).empty());
  EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));

  // A number as the unnamed value is not text.
  ASSERT_TRUE(key.SetValue(nullptr, REG_DWORD, &dword));
  WideString text(L"left over");
  EXPECT_FALSE(key.ReadDefaultText(text));
  EXPECT_STREQ(text.CStr(), L"");
}

TEST_F(RegistrySandbox, StoredTextsWithoutTerminatorsReadBackWhole) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenKey(Path(L"HKCU", L"raw").c_str(), kOpenOrCreate));
  const wchar_t kUnterminated[] = L"abc";
  ASSERT_EQ(RegSetValueExW(key.Handle(), nullptr, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(kUnterminated), 3 * sizeof(wchar_t)),
            ERROR_SUCCESS);
  WideString text;
  EXPECT_TRUE(key.ReadDefaultText(text));
  EXPECT_STREQ(text.CStr(), L"abc");

  const wchar_t kList[] = L"x\0yz";  // no double terminator at all
  ASSERT_EQ(RegSetValueExW(key.Handle(), nullptr, 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(kList), 4 * sizeof(wchar_t)),
            ERROR_SUCCESS);
  EXPECT_TRUE(key.ReadDefaultText(text));
  EXPECT_STREQ(text.CStr(), L"x\nyz");
  EXPECT_EQ(text.Length(), 4);
}

TEST_F(RegistrySandbox, WritesNeedAnOpenKey) {
  RegistryKey key;
  EXPECT_FALSE(key.SetValue(nullptr, REG_SZ, L"nowhere"));
  WideString text(L"x");
  EXPECT_FALSE(key.ReadDefaultText(text));
  EXPECT_STREQ(text.CStr(), L"");
  EXPECT_FALSE(key.CreateAndSetDefault(L"HKXX\\Software", REG_SZ, L"x"));
}

TEST_F(RegistrySandbox, DeleteTreeRemovesNestedKeysAndNothingBeside) {
  RegistryKey key;
  for (const wchar_t* sub :
       {L"tree\\a\\deep\\deeper", L"tree\\a\\other", L"tree\\b", L"tree\\c\\x", L"tree-sibling"})
    ASSERT_TRUE(key.CreateAndSetDefault(Path(L"HKCU", sub).c_str(), REG_SZ, L"v")) << sub;
  EXPECT_TRUE(key.DeleteTree(Path(L"HKCU", L"tree").c_str()));
  EXPECT_FALSE(key.OpenKey(Path(L"HKCU", L"tree").c_str(), kKeyRead));
  EXPECT_TRUE(key.OpenKey(Path(L"HKCU", L"tree-sibling").c_str(), kKeyRead));
  // A key that is not there is not deleted.
  EXPECT_FALSE(key.DeleteTree(Path(L"HKCU", L"tree").c_str()));
}

TEST_F(RegistrySandbox, DeleteTreeRefusesEmptyLeavesBeforeOpeningAnything) {
  RegistryKey key;
  ASSERT_TRUE(key.CreateAndSetDefault(Path(L"HKCU", L"keep\\child").c_str(), REG_SZ, L"v"));
  // A trailing backslash names no leaf: refusing it after emptying the key
  // would already have lost its subkeys.
  EXPECT_FALSE(key.DeleteTree((Path(L"HKCU", L"keep") + L"\\").c_str()));
  EXPECT_FALSE(key.DeleteTree((Path(L"HKCU", L"keep") + L"\\\\").c_str()));
  EXPECT_TRUE(key.OpenKey(Path(L"HKCU", L"keep\\child").c_str(), kKeyRead));
  EXPECT_FALSE(key.DeleteTree(nullptr));
  EXPECT_FALSE(key.DeleteTree(L""));
}

TEST_F(RegistrySandbox, DeleteTreeOnABareRootDeletesNothing) {
  RegistryKey key;
  std::wstring sentinel = L"HKCR\\" + MachineKeyName();
  ASSERT_TRUE(key.CreateAndSetDefault((sentinel + L"\\child").c_str(), REG_SZ, L"v"));
  DWORD before = SubkeyCount(HKEY_CLASSES_ROOT);
  for (const wchar_t* root : {L"HKCR", L"HKCR\\", L"HKEY_CLASSES_ROOT64", L"HKCR32\\"})
    EXPECT_FALSE(key.DeleteTree(root)) << root;
  EXPECT_EQ(SubkeyCount(HKEY_CLASSES_ROOT), before);
  EXPECT_TRUE(key.OpenKey((sentinel + L"\\child").c_str(), kKeyRead));
  EXPECT_TRUE(key.DeleteTree(sentinel.c_str()));
}
