#include "system/installer.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/handle_holder.h"
#include "system/file_type.h"
#include "system/process_control.h"
#include "system/process_launch.h"
#include "system/registry_key.h"
#include "system/uninstaller.h"
#include "tests/support/child_process.h"
#include "tests/support/foreign_window.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr DWORD kBoundedWaitMs = 60000;
const wchar_t kUserFileExts[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.hbak";

std::wstring Text(WideString& text) { return text.CStr() ? text.CStr() : L""; }

struct Shortcut {
  std::wstring target, arguments, icon;
  int iconIndex = -1;
};

Shortcut ReadShortcut(const std::wstring& path) {
  Shortcut shortcut;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return shortcut;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
    wchar_t text[4096] = {};
    if (SUCCEEDED(link->GetPath(text, 4096, nullptr, SLGP_RAWPATH))) shortcut.target = text;
    text[0] = 0;
    if (SUCCEEDED(link->GetArguments(text, 4096))) shortcut.arguments = text;
    text[0] = 0;
    int index = -1;
    if (SUCCEEDED(link->GetIconLocation(text, 4096, &index))) {
      shortcut.icon = text;
      shortcut.iconIndex = index;
    }
  }
  if (file) file->Release();
  link->Release();
  return shortcut;
}

struct Value {
  std::wstring name;
  DWORD type;
  std::wstring data;
};

// Every value of a key, in the order the registry keeps them.
std::vector<Value> ValuesOf(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  std::vector<Value> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    BYTE data[8192] = {};
    DWORD size = sizeof(data) - 2;
    DWORD type = 0;
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    values.push_back({name, type, reinterpret_cast<wchar_t*>(data)});
  }
  RegCloseKey(key);
  return values;
}

bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring DefaultOf(HKEY root, const std::wstring& subkey, DWORD* type = nullptr) {
  for (const Value& value : ValuesOf(root, subkey, KEY_WOW64_64KEY)) {
    if (!value.name.empty()) continue;
    if (type) *type = value.type;
    return value.data;
  }
  return L"<none>";
}

// Every test installs into the prefix's own program-files and desktop folders
// and the machine's registry, and leaves them as it found them. The tests of
// this executable never run beside another test.
class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_TRUE(BuildInstallLayout(L"Ann", layout));
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(
        SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
    // A desktop linked into the machine's home folder is not the prefix's own.
    DWORD attributes = GetFileAttributesW(desktop);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_FALSE(attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        << "the test prefix's desktop must be a folder of its own (scripts/wine-prefix)";
    RemoveEverything();
    // The uninstaller's temporary copy goes below the test's own tree.
    SetEnvironmentVariableW(L"TMP", tree.Root().c_str());
    SetEnvironmentVariableW(L"TEMP", tree.Root().c_str());
    SetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", nullptr);

    program = tree.Path(L"app\\Harborline Backup.exe");
    tree.MakeFolder(L"app");
    ASSERT_TRUE(
        CopyFileW(SiblingProgramPath(L"process_probe.exe").c_str(), program.c_str(), FALSE));
    settings = tree.Path(L"app\\Ann.hbak");
    tree.WriteFile(L"app\\Ann.hbak", "[Settings]\r\n");
    context.programPath = program.c_str();
    context.defaultSettingsPath = settings.c_str();
    context.consoleUserName = L"Ann";
    context.versionText = L"1.3.4.0";
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", nullptr);
    RemoveEverything();
    CoUninitialize();
  }

  // Stops what this test started from the install folder, then removes every
  // piece an installation may have left.
  void RemoveEverything() {
    for (DWORD id : ProcessesRunning(Text(layout.installedProgram))) KillProcess(id);
    RemoveTree(Text(layout.installFolder));
    DeleteFileW(layout.unattendedShortcut.CStr());
    DeleteFileW(layout.normalShortcut.CStr());
    RemoveTestKey(HKEY_LOCAL_MACHINE,
                  L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harborline Backup", 0);
    for (const wchar_t* name : {L".hbak", L"HarborlineFile"}) {
      RemoveTestKey(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Classes\\") + name,
                    KEY_WOW64_64KEY);
      RemoveTestKey(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + name, 0);
    }
    RemoveTestKey(HKEY_CURRENT_USER, kUserFileExts, 0);
  }

  InstallChoices All() {
    InstallChoices all;
    all.install = all.unattendedShortcut = all.normalShortcut = all.uninstallEntry =
        all.association = true;
    return all;
  }

  // Waits for a record the probe writes, whoever started it.
  std::string WaitForRecord(const std::wstring& path) {
    WaitUntil([&] { return IsFile(path); }, kBoundedWaitMs);
    return ReadWholeFile(path);
  }

  // Installs the program itself; its installed copy, handed a job file that
  // does not exist, ends at once.
  void InstallTheProgram() {
    harborline = SiblingProgramPath(L"harborline.exe");
    context.programPath = harborline.c_str();
    ASSERT_TRUE(ApplyInstallation(
        context, All(), (L"/Quiet " + Quoted(tree.Path(L"missing.hbak"))).c_str(), SW_HIDE));
    ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  }

  // Runs the installed program with the arguments, which hands over to the
  // temporary copy; answers its question with Yes. The closing box, or null;
  // the second stage's id goes to stage.
  HWND UninstallConfirmed(const wchar_t* arguments, DWORD& stage, std::wstring& question) {
    std::wstring installed = Text(layout.installedProgram);
    if (RunProcess((Quoted(installed) + arguments).c_str(), nullptr, SW_SHOWNORMAL, kWaitForExit) !=
        0)
      return nullptr;
    std::wstring copy = tree.Path(L"Harborline Uninstall\\Harborline Uninst.exe");
    HWND box = WaitForWindowWithButton(copy, L"Yes", kBoundedWaitMs, &stage);
    if (!box) return nullptr;
    question = StaticTexts(box);
    PressButton(box, L"Yes");
    bool closing = WaitUntil([&] { return (box = FindWindowWithButton(stage, L"OK")) != nullptr; },
                             kBoundedWaitMs);
    return closing ? box : nullptr;
  }

  bool WaitUntilInstalledCopiesEnd() {
    return WaitUntil([&] { return ProcessesRunning(Text(layout.installedProgram)).empty(); },
                     kBoundedWaitMs);
  }

  TempTree tree;
  InstallLayout layout;
  InstallContext context;
  std::wstring program;
  std::wstring settings;
  std::wstring harborline;
};

}  // namespace

TEST_F(InstallerTest, NothingInstalledShowsEveryBoxClear) {
  InstallChoices state = ReadInstallState(layout);
  EXPECT_FALSE(state.install);
  EXPECT_FALSE(state.unattendedShortcut);
  EXPECT_FALSE(state.normalShortcut);
  EXPECT_FALSE(state.uninstallEntry);
  EXPECT_FALSE(state.association);
}

TEST_F(InstallerTest, FreshInstallWritesEveryPieceAndHandsOverWithTheSameArguments) {
  // Program and settings together weigh 1,500,000 bytes: 1464 whole KiB.
  uint64_t programSize = ReadWholeFile(program).size();
  tree.WriteFileOfSize(L"app\\Ann.hbak", 1500000 - programSize, 7);
  std::wstring record = tree.Path(L"handover.txt");
  ASSERT_TRUE(ApplyInstallation(context, All(), (L"record " + record + L" /Passive").c_str(),
                                SW_SHOWNORMAL));

  std::wstring installed = Text(layout.installedProgram);
  std::wstring folder = Text(layout.installFolder);
  EXPECT_EQ(WaitForRecord(record), Utf8(L"cmd=\"" + installed + L"\" record " + record +
                                        L" /Passive\ncwd=" + folder + L"\n"));
  EXPECT_TRUE(WaitUntilInstalledCopiesEnd());
  EXPECT_EQ(ReadWholeFile(installed), ReadWholeFile(program));
  EXPECT_EQ(ReadWholeFile(Text(layout.installedSettings)), ReadWholeFile(settings));

  Shortcut unattended = ReadShortcut(Text(layout.unattendedShortcut));
  EXPECT_TRUE(EqualsNoCase(unattended.target.c_str(), installed.c_str()))
      << Utf8(unattended.target);
  EXPECT_EQ(unattended.arguments, L" /Passive");
  EXPECT_TRUE(EqualsNoCase(unattended.icon.c_str(), installed.c_str()));
  EXPECT_EQ(unattended.iconIndex, 0);
  Shortcut normal = ReadShortcut(Text(layout.normalShortcut));
  EXPECT_TRUE(EqualsNoCase(normal.target.c_str(), installed.c_str())) << Utf8(normal.target);
  EXPECT_EQ(normal.arguments, L"");
  EXPECT_TRUE(EqualsNoCase(normal.icon.c_str(), installed.c_str()));

  std::vector<Value> entry =
      ValuesOf(HKEY_LOCAL_MACHINE,
               L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harborline Backup");
  const std::vector<std::pair<std::wstring, std::wstring>> kExpected = {
      {L"DisplayName", L"Harborline Backup"},
      {L"DisplayVersion", L"1.3.4.0"},
      {L"InstallLocation", folder},
      {L"UninstallString", L"\"" + installed + L"\" /Uninstall /Quiet"},
      {L"DisplayIcon", installed},
      {L"EstimatedSize", L"1464"},
      {L"Publisher", kPublisher},
  };
  // The values are written in this order; this registry lists them by name,
  // so only the set is compared.
  ASSERT_EQ(entry.size(), kExpected.size());
  for (const auto& [name, data] : kExpected) {
    auto value =
        std::find_if(entry.begin(), entry.end(), [&](const Value& v) { return v.name == name; });
    ASSERT_NE(value, entry.end()) << Utf8(name);
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << Utf8(name);
    EXPECT_EQ(value->data, data) << Utf8(name);
  }

  DWORD type = 0;
  EXPECT_EQ(DefaultOf(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.hbak", &type), L"HarborlineFile");
  EXPECT_EQ(DefaultOf(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\HarborlineFile"),
            L"Harborline settings file");
  EXPECT_EQ(DefaultOf(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Classes\\HarborlineFile\\Shell\\Open\\command", &type),
            L"\"" + installed + L"\" \"%1\"");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\HarborlineFile\\DefaultIcon",
                         KEY_WOW64_64KEY));
  std::vector<Value> progids =
      ValuesOf(HKEY_CURRENT_USER, std::wstring(kUserFileExts) + L"\\OpenWithProgids");
  ASSERT_EQ(progids.size(), 1u);
  EXPECT_EQ(progids[0].name, L"HarborlineFile");
  EXPECT_EQ(progids[0].type, static_cast<DWORD>(REG_NONE));
  std::vector<Value> choice =
      ValuesOf(HKEY_CURRENT_USER, std::wstring(kUserFileExts) + L"\\UserChoice");
  ASSERT_EQ(choice.size(), 1u);
  EXPECT_EQ(choice[0].name, L"Progid");
  EXPECT_EQ(choice[0].data, L"HarborlineFile");

  InstallChoices state = ReadInstallState(layout);
  EXPECT_TRUE(state.install && state.unattendedShortcut && state.normalShortcut &&
              state.uninstallEntry && state.association);
  DeleteFileW(layout.unattendedShortcut.CStr());
  state = ReadInstallState(layout);
  EXPECT_TRUE(state.install);
  EXPECT_FALSE(state.unattendedShortcut);
  EXPECT_TRUE(state.normalShortcut);
}

TEST_F(InstallerTest, OpeningAJobFileStartsTheInstalledCopyWithThatFile) {
  ASSERT_TRUE(ApplyInstallation(context, All(), L"exit 0", SW_HIDE));
  ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  std::wstring job = tree.Path(L"jobs\\Photos backup.hbak");
  tree.WriteFile(L"jobs\\Photos backup.hbak", "[Settings]\r\n");
  std::wstring record = tree.Path(L"opened.txt");
  SetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", record.c_str());
  DWORD id = ShellOpen(job.c_str());
  EXPECT_GT(id, 1u);
  std::string opened = WaitForRecord(record);
  EXPECT_EQ(
      opened.rfind(Utf8(L"cmd=\"" + Text(layout.installedProgram) + L"\" \"" + job + L"\"\n"), 0),
      0u)
      << opened;
}

TEST_F(InstallerTest, InstalledSettingsAreKeptAndTheInstalledCopyDoesNotHandOverAgain) {
  ASSERT_TRUE(ApplyInstallation(context, All(), L"exit 0", SW_HIDE));
  ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  tree.WriteFile(L"mine.hbak", "the user's own job");
  ASSERT_TRUE(CopyFileW(tree.Path(L"mine.hbak").c_str(), layout.installedSettings.CStr(), FALSE));
  tree.WriteFile(L"app\\Ann.hbak", "a newer default");
  ASSERT_TRUE(ApplyInstallation(context, All(), L"exit 0", SW_HIDE));
  ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  EXPECT_EQ(ReadWholeFile(Text(layout.installedSettings)), "the user's own job");

  // The installed copy rewrites the chosen items and keeps running.
  std::wstring installed = Text(layout.installedProgram);
  context.programPath = installed.c_str();
  DeleteFileW(layout.normalShortcut.CStr());
  std::wstring record = tree.Path(L"again.txt");
  EXPECT_FALSE(ApplyInstallation(context, All(), (L"record " + record).c_str(), SW_HIDE));
  EXPECT_TRUE(IsFile(Text(layout.normalShortcut)));
  EXPECT_TRUE(ProcessesRunning(installed).empty());
  EXPECT_FALSE(IsFile(record));
}

TEST_F(InstallerTest, ClearingInstallElsewhereStopsRunningCopiesAndRemovesTheInstallation) {
  ASSERT_TRUE(ApplyInstallation(context, All(), L"exit 0", SW_HIDE));
  ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"HarborlineInstalledCopy");
  HandleHolder readyHolder(ready);
  HandleHolder running(StartProcess(
      (L"\"" + Text(layout.installedProgram) + L"\" stubborn HarborlineInstalledCopy").c_str(),
      nullptr, SW_HIDE, 0));
  ASSERT_TRUE(running.Valid());
  ASSERT_EQ(WaitForSingleObject(ready, kBoundedWaitMs), WAIT_OBJECT_0);

  InstallChoices keepAssociation;
  keepAssociation.association = true;
  EXPECT_FALSE(ApplyInstallation(context, keepAssociation, L"", SW_HIDE));
  EXPECT_EQ(WaitForSingleObject(running.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(NamesIn(Text(layout.installFolder)), std::vector<std::wstring>{L"Ann.hbak"});
  EXPECT_FALSE(Exists(Text(layout.unattendedShortcut)));
  EXPECT_FALSE(Exists(Text(layout.normalShortcut)));
  EXPECT_FALSE(
      KeyExists(HKEY_LOCAL_MACHINE,
                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harborline Backup"));
  // The file type now opens the copy that is running.
  EXPECT_EQ(
      DefaultOf(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\HarborlineFile\\Shell\\Open\\command"),
      L"\"" + program + L"\" \"%1\"");

  InstallChoices nothing;
  EXPECT_FALSE(ApplyInstallation(context, nothing, L"", SW_HIDE));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".hbak"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"HarborlineFile"));
  EXPECT_FALSE(IsFileTypeRegistered());
}

TEST_F(InstallerTest, OpenCommandsWithVariablesAreStoredExpandable) {
  RegistryKey key;
  ASSERT_TRUE(key.CreateAndSetDefault(L"HKCU\\Software\\Classes\\.hbak", REG_SZ, L"Other"));
  key.CloseKey();
  DWORD type = 0;
  ASSERT_TRUE(RegisterFileType(L"\"%ProgramFiles%\\Harborline Backup\\Harborline.exe\" \"%1\""));
  EXPECT_EQ(DefaultOf(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Classes\\HarborlineFile\\Shell\\Open\\command", &type),
            L"\"%ProgramFiles%\\Harborline Backup\\Harborline.exe\" \"%1\"");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  // The user's own override would hide the machine's file type.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\.hbak"));
  EXPECT_TRUE(IsFileTypeRegistered());

  ASSERT_TRUE(RegisterFileType(L"\"C:\\Tools\\Harborline.exe\" \"%1\""));
  DefaultOf(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\HarborlineFile\\Shell\\Open\\command", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_FALSE(RegisterFileType(nullptr));
}

TEST_F(InstallerTest, TheUninstallerStartsOnlyItsOwnCheckedCopy) {
  // Programs planted where a guessing start would find them.
  tree.MakeFolder(L"Harborline Uninstall");
  ASSERT_TRUE(CopyFileW(SiblingProgramPath(L"process_probe.exe").c_str(),
                        tree.Path(L"Harborline.exe").c_str(), FALSE));
  tree.WriteFile(L"Harborline Uninstall\\planted.exe", "planted");
  tree.WriteFile(L"Harborline Uninstall\\Harborline Uninst.exe", "planted");
  std::wstring record = tree.Path(L"second stage.txt");
  SetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", record.c_str());

  ASSERT_EQ(StartSecondStage(program.c_str()), SecondStageStart::kStarted);
  std::wstring copy = tree.Path(L"Harborline Uninstall\\Harborline Uninst.exe");
  std::string started = WaitForRecord(record);
  EXPECT_EQ(started, Utf8(L"cmd=\"" + copy + L"\" /Uninstall\ncwd=" + tree.Root() + L"\n"));
  EXPECT_EQ(ReadWholeFile(copy), ReadWholeFile(program));
  EXPECT_EQ(NamesIn(tree.Path(L"Harborline Uninstall")),
            std::vector<std::wstring>{L"Harborline Uninst.exe"});
  WideString folder, path;
  ASSERT_TRUE(TemporaryUninstallerPath(folder, path));
  EXPECT_EQ(Text(path), copy);
}

TEST_F(InstallerTest, TheUninstallerStopsWhenItsFolderCannotBeMadeAfresh) {
  tree.WriteFile(L"Harborline Uninstall\\held.exe", "held by someone");
  HandleHolder held(CreateFileW(tree.Path(L"Harborline Uninstall\\held.exe").c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.Valid());
  std::wstring record = tree.Path(L"second stage.txt");
  SetEnvironmentVariableW(L"HARBORLINE_PROBE_RECORD", record.c_str());
  EXPECT_EQ(StartSecondStage(program.c_str()), SecondStageStart::kNotStarted);
  EXPECT_FALSE(Exists(tree.Path(L"Harborline Uninstall\\Harborline Uninst.exe")));
  EXPECT_FALSE(Exists(record));
}

TEST_F(InstallerTest, RemovingTheInstallationReportsAFolderThatStays) {
  ASSERT_TRUE(ApplyInstallation(context, All(), L"exit 0", SW_HIDE));
  ASSERT_TRUE(WaitUntilInstalledCopiesEnd());
  {
    HandleHolder held(CreateFileW(layout.installedProgram.CStr(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    EXPECT_TRUE(RemoveInstallation(layout).incomplete);
    EXPECT_TRUE(Exists(Text(layout.installedProgram)));
  }
  EXPECT_FALSE(Exists(Text(layout.normalShortcut)));
  EXPECT_FALSE(IsFileTypeRegistered());
  InstallRemoval removal = RemoveInstallation(layout);
  EXPECT_FALSE(removal.incomplete);
  EXPECT_TRUE(removal.usersFilesKept);
  EXPECT_EQ(NamesIn(Text(layout.installFolder)), std::vector<std::wstring>{L"Ann.hbak"});
}

TEST_F(InstallerTest, TheProgramInstallsOpensJobFilesAndUninstallsItself) {
  InstallTheProgram();
  std::wstring installed = Text(layout.installedProgram);
  EXPECT_EQ(ReadWholeFile(installed), ReadWholeFile(harborline));

  // A job file opened through the shell starts the installed program.
  std::wstring job = tree.Path(L"Photos.hbak");
  tree.WriteFile(L"Photos.hbak", "[Settings]\r\n");
  DWORD opened = ShellOpen(job.c_str());
  ASSERT_GT(opened, 1u);
  WideString image;
  EXPECT_TRUE(GetProcessImagePath(opened, image));
  EXPECT_TRUE(EqualsNoCase(image.CStr(), installed.c_str())) << Utf8(Text(image));
  EXPECT_TRUE(KillProcess(opened));

  // The uninstall entry's command: the installed program hands over to its
  // temporary copy and ends.
  DWORD stage = 0;
  std::wstring question;
  HWND box = UninstallConfirmed(L" /Uninstall /Quiet", stage, question);
  ASSERT_NE(box, nullptr);
  HandleHolder secondStage(OpenProcess(SYNCHRONIZE, FALSE, stage));
  EXPECT_EQ(question, L"Are you sure you want to uninstall Harborline Backup?");
  // The user's default settings file is a job file of theirs: it stays, and
  // the message says where.
  EXPECT_EQ(StaticTexts(box),
            L"Harborline Backup was uninstalled.\r\n\r\nYour job files and run "
            L"logs were kept in:\r\n" +
                Text(layout.installFolder));
  EXPECT_EQ(NamesIn(Text(layout.installFolder)), std::vector<std::wstring>{L"Ann.hbak"});
  EXPECT_FALSE(Exists(Text(layout.unattendedShortcut)));
  EXPECT_FALSE(Exists(Text(layout.normalShortcut)));
  EXPECT_FALSE(
      KeyExists(HKEY_LOCAL_MACHINE,
                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Harborline Backup"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".hbak"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"HarborlineFile"));
  // The user's own Explorer entries stay.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::wstring(kUserFileExts) + L"\\UserChoice"));
  ASSERT_TRUE(PressButton(box, L"OK"));
  EXPECT_EQ(WaitForSingleObject(secondStage.Get(), kBoundedWaitMs), WAIT_OBJECT_0);
  // The command processor removes the copy and its folder after the end.
  EXPECT_TRUE(
      WaitUntil([&] { return !Exists(tree.Path(L"Harborline Uninstall")); }, kBoundedWaitMs));
}

TEST_F(InstallerTest, TheUninstallerSaysSoWhenTheInstallFolderStays) {
  InstallTheProgram();
  // A file in use keeps the install folder.
  HandleHolder held(CreateFileW(layout.installedProgram.CStr(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.Valid());
  DWORD stage = 0;
  std::wstring question;
  HWND box = UninstallConfirmed(L" /Uninstall", stage, question);
  ASSERT_NE(box, nullptr);
  HandleHolder secondStage(OpenProcess(SYNCHRONIZE, FALSE, stage));
  EXPECT_EQ(StaticTexts(box),
            L"Harborline Backup could not be uninstalled completely.\r\n\r\nSome of its files are "
            L"in use or protected.");
  EXPECT_TRUE(Exists(Text(layout.installedProgram)));
  ASSERT_TRUE(PressButton(box, L"OK"));
  EXPECT_EQ(WaitForSingleObject(secondStage.Get(), kBoundedWaitMs), WAIT_OBJECT_0);
}

// Removing an installation deletes only the program's own items, each where
// it lies: a link inside the install folder never takes its target with it,
// and the users' job files and run logs stay with the folders that hold them.
// Under Wine only host links can be made; they cannot go as links, so they
// stay too and the removal says it is incomplete.
TEST_F(InstallerTest, RemovalDeletesOnlyTheProgramsOwnItemsInPlace) {
  tree.MakeFolder(L"drive\\Desktop");
  MappedDrive drive(tree.Path(L"drive"));
  ASSERT_TRUE(drive.Ready()) << drive.WhyNot();
  InstallLayout mapped;
  ASSERT_TRUE(BuildInstallLayoutFrom((drive.Drive() + L"\\Programs").c_str(),
                                     (drive.Drive() + L"\\Desktop").c_str(), L"Ann", mapped));
  const std::wstring installed = tree.Path(L"drive\\Programs\\Harborline Backup");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\Harborline.exe", "program");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\Ann.hbak", "[Folders]\r\n");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\Ann.log", "runs");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\Photos.HBAK", "[Folders]\r\n");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\parts\\old.dll", "old");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\jobs\\Music.hbak", "[Folders]\r\n");
  tree.WriteFile(L"drive\\Programs\\Harborline Backup\\jobs\\notes.txt", "n");
  tree.WriteFile(L"drive\\outside\\precious.dat", "precious");
  tree.WriteFile(L"drive\\outside\\folder\\kept.dat", "kept");
  const std::string fileLink =
      MakeHostFileLink(installed + L"\\linked.dat", tree.Path(L"drive\\outside\\precious.dat"));
  const std::string folderLink =
      MakeHostFolderLink(installed + L"\\linkdir", tree.Path(L"drive\\outside\\folder"));
  ASSERT_EQ(fileLink, "");
  ASSERT_EQ(folderLink, "");

  InstallRemoval removal = RemoveInstallation(mapped);
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\outside\\precious.dat")), "precious");
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\outside\\folder\\kept.dat")), "kept");
  EXPECT_EQ(NamesIn(installed), (std::vector<std::wstring>{L"Ann.hbak", L"Ann.log", L"Photos.HBAK",
                                                           L"jobs", L"linkdir", L"linked.dat"}));
  EXPECT_EQ(NamesIn(installed + L"\\jobs"), std::vector<std::wstring>{L"Music.hbak"});
  EXPECT_TRUE(removal.usersFilesKept);
  EXPECT_TRUE(removal.incomplete) << "the host links could not go as links";
  RemoveHostLink(installed + L"\\linkdir");
  RemoveHostLink(installed + L"\\linked.dat");
}

namespace {

PROCESS_INFORMATION StartStubborn(const std::wstring& program, const wchar_t* event) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  std::wstring line = Quoted(program) + L" stubborn " + event;
  CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &started);
  HandleHolder ready(OpenEventW(SYNCHRONIZE, FALSE, event));
  WaitForSingleObject(ready.Get(), kBoundedWaitMs);
  return started;
}

PROCESS_INFORMATION g_checked, g_other;
std::wstring g_otherProgram;

DWORD WINAPI Idle(void*) { return 0; }

// Between check and stop the checked process ends and its id goes to a
// process of another program. Wine gives freed ids out again in the order
// they were freed once its table is full: the thread id of the ended process
// goes first, its own id next, unless a handle still holds the process.
// Short-lived threads take ids until the thread id comes round.
void ReplaceCheckedProcess(DWORD id) {
  TerminateProcess(g_checked.hProcess, 0);
  WaitForSingleObject(g_checked.hProcess, kBoundedWaitMs);
  CloseHandle(g_checked.hProcess);
  WaitUntil([&] { return !HandleHolder(OpenProcess(SYNCHRONIZE, FALSE, id)).Valid(); }, 2000);
  // While a handle holds the process its thread id stays taken too: a tid
  // seen twice means the whole round of freed ids went by.
  HandleHolder marker;
  std::set<DWORD> seen;
  for (int i = 0; i < 40000; ++i) {
    DWORD tid = 0;
    HandleHolder thread(CreateThread(nullptr, 0, Idle, nullptr, CREATE_SUSPENDED, &tid));
    if (tid == g_checked.dwThreadId) {
      marker.Reset(thread.Release());
      break;
    }
    if (!seen.insert(tid).second) break;
    ResumeThread(thread.Get());
    WaitForSingleObject(thread.Get(), kBoundedWaitMs);
  }
  g_other = StartStubborn(g_otherProgram, L"HarborlineOtherProgram");
  if (marker.Valid()) {
    ResumeThread(marker.Get());
    WaitForSingleObject(marker.Get(), kBoundedWaitMs);
  }
}

}  // namespace

// What is stopped is the process whose program was checked, never one that
// got its id meanwhile.
TEST_F(InstallerTest, StoppingRunningCopiesNeverStopsAProcessThatWasNotChecked) {
  const std::wstring installed = tree.Path(L"installed.exe");
  g_otherProgram = tree.Path(L"other.exe");
  for (const std::wstring& copy : {installed, g_otherProgram})
    ASSERT_TRUE(CopyFileW(SiblingProgramPath(L"process_probe.exe").c_str(), copy.c_str(), FALSE));
  HandleHolder ready(CreateEventW(nullptr, TRUE, FALSE, L"HarborlineCheckedCopy"));
  HandleHolder otherReady(CreateEventW(nullptr, TRUE, FALSE, L"HarborlineOtherProgram"));
  g_checked = StartStubborn(installed, L"HarborlineCheckedCopy");
  CloseHandle(g_checked.hThread);
  SetBeforeStopHook(ReplaceCheckedProcess);
  StopRunningCopies(installed.c_str());
  SetBeforeStopHook(nullptr);
  HandleHolder other(g_other.hProcess), otherThread(g_other.hThread);
  ASSERT_EQ(WaitForSingleObject(otherReady.Get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(other.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "another program's process was stopped";
  TerminateProcess(other.Get(), 0);
}

// "/Uninstall" that cannot go ahead says why and ends with a failure: while
// an earlier one's question is open, and with a link where its temporary
// folder goes (which it neither follows nor removes).
TEST_F(InstallerTest, AnUninstallThatCannotGoAheadSaysWhyAndFails) {
  tree.WriteFile(L"drive\\tmp\\placeholder", "");
  tree.WriteFile(L"drive\\elsewhere\\precious.dat", "precious");
  MappedDrive drive(tree.Path(L"drive"));
  ASSERT_TRUE(drive.Ready()) << drive.WhyNot();
  const std::wstring temporary = drive.Drive() + L"\\tmp";
  SetEnvironmentVariableW(L"TMP", temporary.c_str());
  SetEnvironmentVariableW(L"TEMP", temporary.c_str());
  harborline = SiblingProgramPath(L"harborline.exe");
  const std::wstring command = Quoted(harborline) + L" /Uninstall";
  const std::wstring copy = tree.Path(L"drive\\tmp\\Harborline Uninstall\\Harborline Uninst.exe");
  WideString folder, copyPath;
  ASSERT_TRUE(TemporaryUninstallerPath(folder, copyPath));

  // Runs "/Uninstall" and answers its box; the box's text and the exit code.
  auto refused = [&](std::wstring& text) -> DWORD {
    HandleHolder second(StartProcess(command.c_str(), nullptr, SW_SHOWNORMAL, 0));
    if (!second.Valid()) return 0;
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindWindowWithButton(GetProcessId(second.Get()), L"OK")); },
              kBoundedWaitMs);
    if (!box) return 0;
    text = StaticTexts(box);
    PressButton(box, L"OK");
    DWORD code = 0;
    if (WaitForSingleObject(second.Get(), kBoundedWaitMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(second.Get(), &code))
      return 0;
    return code;
  };

  // The first one asks; a second one meanwhile cannot go ahead.
  ASSERT_EQ(RunProcess(command.c_str(), nullptr, SW_SHOWNORMAL, kWaitForExit), 0);
  DWORD stage = 0;
  HWND question = WaitForWindowWithButton(Text(copyPath), L"No", kBoundedWaitMs, &stage);
  ASSERT_NE(question, nullptr);
  HandleHolder firstStage(OpenProcess(SYNCHRONIZE, FALSE, stage));
  std::wstring text;
  EXPECT_EQ(refused(text), 4u);
  EXPECT_EQ(text,
            L"Harborline Backup is already being uninstalled.\r\n\r\nAnswer the "
            L"uninstaller's open question first. Nothing was removed.");
  EXPECT_TRUE(IsFile(copy)) << "the waiting uninstaller keeps its copy";
  ASSERT_TRUE(PressButton(question, L"No"));
  ASSERT_EQ(WaitForSingleObject(firstStage.Get(), kBoundedWaitMs), WAIT_OBJECT_0);

  // A link in place of the folder.
  RemoveTree(tree.Path(L"drive\\tmp\\Harborline Uninstall"));
  ASSERT_EQ(MakeHostFolderLink(tree.Path(L"drive\\tmp\\Harborline Uninstall"),
                               tree.Path(L"drive\\elsewhere")),
            "");
  EXPECT_EQ(refused(text), 4u);
  EXPECT_EQ(text,
            L"Harborline Backup was not uninstalled: in place of the uninstaller's temporary "
            L"folder there is a link, which it neither follows nor removes:\r\n" +
                Text(folder));
  EXPECT_EQ(NamesIn(tree.Path(L"drive\\elsewhere")), std::vector<std::wstring>{L"precious.dat"});
  EXPECT_EQ(ReadWholeFile(tree.Path(L"drive\\elsewhere\\precious.dat")), "precious");
  RemoveHostLink(tree.Path(L"drive\\tmp\\Harborline Uninstall"));
}
