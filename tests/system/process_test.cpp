#include <gtest/gtest.h>

#include <string>

#include "engine/handle_holder.h"
#include "system/process_command_line.h"
#include "system/process_control.h"
#include "system/process_launch.h"
#include "system/registry_key.h"
#include "tests/support/child_process.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/temp_tree.h"

namespace {

constexpr DWORD kBoundedWaitMs = 60000;

std::wstring Probe() { return SiblingProgramPath(L"process_probe.exe"); }

std::wstring Text(WideString& text) { return text.CStr() ? text.CStr() : L""; }

// Waits for a process that a test started by id; the record it writes is
// complete once it has ended.
bool WaitForId(DWORD id) {
  if (id == 0) return false;
  HandleHolder process(OpenProcess(SYNCHRONIZE, FALSE, id));
  // Already gone: it ended before it could be opened.
  if (!process.Valid()) return true;
  return WaitForSingleObject(process.Get(), kBoundedWaitMs) == WAIT_OBJECT_0;
}

// Deletes a registry key whatever the test's outcome.
struct KeyRemover {
  HKEY root;
  std::wstring subkey;
  ~KeyRemover() { RemoveTestKey(root, subkey, KEY_WOW64_64KEY); }
};

class ProcessTest : public ::testing::Test {
 protected:
  // A copy of the probe at a path with blanks in folder and file name.
  std::wstring ProbeWithBlanks() {
    tree.MakeFolder(L"Program Folder");
    std::wstring path = tree.Path(L"Program Folder\\Probe Copy.exe");
    EXPECT_TRUE(CopyFileW(Probe().c_str(), path.c_str(), FALSE));
    return path;
  }
  std::string Record() { return ReadWholeFile(tree.Path(L"record.txt")); }

  TempTree tree;
};

}  // namespace

TEST_F(ProcessTest, UnquotedProgramPathWithBlanksStartsInItsFolderWithItsArguments) {
  std::wstring program = ProbeWithBlanks();
  std::wstring record = tree.Path(L"record.txt");
  DWORD id = LaunchCommandLine((program + L" record " + record + L" /Uninstall").c_str(), SW_HIDE);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(WaitForId(id));
  EXPECT_EQ(Record(), Utf8(L"cmd=" + Quoted(program) + L" record " + record + L" /Uninstall\ncwd=" +
                           tree.Path(L"Program Folder") + L"\n"));
}

TEST_F(ProcessTest, QuotedProgramPathWithBlanksKeepsTheArgumentText) {
  std::wstring program = ProbeWithBlanks();
  std::wstring record = tree.Path(L"record.txt");
  WideString line((Quoted(program) + L" record " + record + L" /Uninstall").c_str());
  WideString found, folder;
  ASSERT_TRUE(SplitCommandLine(line, found, folder));
  EXPECT_EQ(Text(found), Quoted(program));
  EXPECT_EQ(Text(folder), tree.Path(L"Program Folder"));
  EXPECT_EQ(Text(line), Quoted(program) + L" record " + record + L" /Uninstall");
  ASSERT_TRUE(WaitForId(LaunchCommandLine(line.CStr(), SW_HIDE)));
  EXPECT_NE(Record().find(" /Uninstall\ncwd="), std::string::npos) << Record();
}

TEST_F(ProcessTest, ComSpecLinesStartTheCommandProcessorWithTheRest) {
  WideString comSpec(L"%ComSpec%");
  ASSERT_TRUE(ExpandEnvironment(comSpec));
  ASSERT_TRUE(IsFile(Text(comSpec))) << Text(comSpec);

  WideString line(L"%ComSpec% /c exit 7");
  WideString program, folder;
  ASSERT_TRUE(SplitCommandLine(line, program, folder));
  EXPECT_EQ(Text(line), Text(comSpec) + L" /c exit 7");
  EXPECT_EQ(RunProcess(line.CStr(), folder.CStr(), SW_HIDE, kWaitForExit), 7);

  // As the self-deleting uninstaller uses it: a quoted path with blanks last.
  std::wstring target = tree.Path(L"file with blanks.txt");
  tree.WriteFile(L"file with blanks.txt", "x");
  DWORD id = LaunchCommandLine((L"%ComSpec% /c del /f /q " + Quoted(target)).c_str(), SW_HIDE);
  ASSERT_TRUE(WaitForId(id));
  EXPECT_FALSE(Exists(target));
}

TEST_F(ProcessTest, BareNamesAreFoundOnTheSearchPath) {
  WideString name(L"notepad.exe");
  ASSERT_TRUE(FindProgramFile(name));
  EXPECT_TRUE(IsFile(Text(name))) << Text(name);
  EXPECT_NE(Text(name).find(L"\\"), std::wstring::npos);

  WideString line(L"notepad /x y");
  WideString program, folder;
  ASSERT_TRUE(SplitCommandLine(line, program, folder));
  EXPECT_EQ(Text(line), Text(name) + L" /x y");
  WideString missing(L"no-such-program-anywhere.exe");
  EXPECT_FALSE(FindProgramFile(missing));
  EXPECT_EQ(Text(missing), L"no-such-program-anywhere.exe");
}

TEST_F(ProcessTest, NamesRegisteredOnlyUnderAppPathsAreFoundThroughTheRegistry) {
  std::wstring name = L"harborline-probe-" + std::to_wstring(GetCurrentProcessId());
  std::wstring program = ProbeWithBlanks();
  KeyRemover remover{HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + L".exe"};
  RegistryKey key;
  ASSERT_TRUE(key.CreateAndSetDefault(
      (L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + L".exe").c_str(),
      REG_SZ, Quoted(program).c_str()));
  key.CloseKey();

  WideString bare(name.c_str());
  ASSERT_TRUE(FindProgramFile(bare));
  EXPECT_EQ(Text(bare), program);

  // The arguments behind the registered name survive the lookup.
  std::wstring record = tree.Path(L"record.txt");
  WideString line((name + L" record " + record).c_str());
  WideString found, folder;
  ASSERT_TRUE(SplitCommandLine(line, found, folder));
  EXPECT_EQ(Text(line), Quoted(program) + L" record " + record);
  ASSERT_TRUE(WaitForId(LaunchCommandLine((name + L" record " + record).c_str(), SW_HIDE)));
  EXPECT_EQ(Record().rfind(Utf8(L"cmd=" + Quoted(program) + L" record "), 0), 0u) << Record();
}

TEST_F(ProcessTest, CandidatesWithAFolderAreCompletedOnlyWithoutAnExtension) {
  tree.WriteFile(L"prog.cfg.exe", "not run");
  tree.WriteFile(L"tool.com", "not run");
  tree.MakeFolder(L"app");
  tree.WriteFile(L"app.exe", "not run");
  struct Case {
    std::wstring candidate;
    bool found;
    std::wstring program;
  };
  const Case kCases[] = {
      {tree.Path(L"prog.cfg"), false, L""},
      {tree.Path(L"tool"), true, tree.Path(L"tool.com")},
      // A folder of the program's name is not the program.
      {tree.Path(L"app"), true, tree.Path(L"app.exe")},
      {tree.Path(L"missing"), false, L""},
  };
  for (const Case& c : kCases) {
    WideString line((c.candidate + L" /a").c_str());
    WideString program, folder;
    bool found =
        ResolveCommandProgram(line, program, folder, static_cast<int32_t>(c.candidate.size()));
    EXPECT_EQ(found, c.found) << Utf8(c.candidate);
    if (!found) continue;
    EXPECT_EQ(Text(program), c.program);
    EXPECT_EQ(Text(line), c.program + L" /a");
    EXPECT_EQ(Text(folder), tree.Root());
  }
}

TEST_F(ProcessTest, RunProcessAnswersExitCodesAndFailures) {
  std::wstring probe = Quoted(Probe());
  EXPECT_EQ(RunProcess((probe + L" exit 42").c_str(), nullptr, SW_HIDE, kWaitForExit), 42);
  EXPECT_EQ(RunProcess((probe + L" exit 0").c_str(), tree.Root().c_str(), SW_HIDE, kWaitForExit),
            0);
  std::wstring missing = Quoted(tree.Path(L"missing.exe"));
  EXPECT_EQ(RunProcess(missing.c_str(), nullptr, SW_HIDE, kWaitForExit), kStartFailed);
  EXPECT_EQ(RunProcess(missing.c_str(), nullptr, SW_HIDE, 0), 0);
  EXPECT_EQ(RunProcess(L"", nullptr, SW_HIDE, kWaitForExit), kStartFailed);
  // Beyond the platform's limit the start fails instead of running a cut line.
  std::wstring tooLong = probe + L" exit 5 " + std::wstring(40000, L'x');
  EXPECT_EQ(RunProcess(tooLong.c_str(), nullptr, SW_HIDE, kWaitForExit), kStartFailed);

  int64_t id = RunProcess((probe + L" exit 0").c_str(), nullptr, SW_HIDE, kNoFsRedirection);
  EXPECT_GT(id, 0);
  EXPECT_TRUE(WaitForId(static_cast<DWORD>(id)));
}

TEST_F(ProcessTest, WaitingForAProgramKeepsTheWindowsOfTheThreadServed) {
  static int handled = 0;
  handled = 0;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++handled;
    return DefWindowProcW(window, message, wParam, lParam);
  };
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"HarborlineProcessTestWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_APP, 0, 0);
  EXPECT_EQ(RunProcess((Quoted(Probe()) + L" exit 1").c_str(), nullptr, SW_HIDE, kWaitForExit), 1);
  EXPECT_EQ(handled, 1);
  PostMessageW(window, WM_APP, 0, 0);
  EXPECT_TRUE(PumpMessages());
  EXPECT_EQ(handled, 2);
  EXPECT_FALSE(PumpMessages());
  DestroyWindow(window);
  PumpMessages();
}

TEST_F(ProcessTest, ShellOpenStartsProgramsAndAnswersZeroForMissingTargets) {
  DWORD id = ShellOpen(Probe().c_str());
  EXPECT_GT(id, 1u);
  EXPECT_TRUE(WaitForId(id));
  EXPECT_EQ(ShellOpen(tree.Path(L"missing.hbak").c_str()), 0u);
  EXPECT_EQ(ShellOpen(L""), 0u);
}

TEST(ProcessImagePath, NativeFormsBecomeWin32Paths) {
  wchar_t windows[MAX_PATH];
  UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_GT(length, 0u);
  struct Case {
    const wchar_t* in;
    std::wstring out;
  };
  const Case kCases[] = {
      {L"\\SystemRoot\\System32\\smss.exe",
       std::wstring(windows, length) + L"\\System32\\smss.exe"},
      {L"\\systemroot\\x.exe", std::wstring(windows, length) + L"\\x.exe"},
      {L"\\??\\C:\\x.exe", L"C:\\x.exe"},
      {L"\\??\\c:\\Program Files\\y.exe", L"c:\\Program Files\\y.exe"},
      {L"C:\\plain\\z.exe", L"C:\\plain\\z.exe"},
      {L"\\\\server\\share\\w.exe", L"\\\\server\\share\\w.exe"},
      {L"\\SystemRootless\\v.exe", L"\\SystemRootless\\v.exe"},
  };
  for (const Case& c : kCases) {
    WideString path(c.in);
    NormalizeImagePath(path);
    EXPECT_EQ(Text(path), c.out) << Utf8(c.in);
  }
}

TEST_F(ProcessTest, ImagePathsOfThisAndAStartedProcess) {
  wchar_t self[4096];
  DWORD length = GetModuleFileNameW(nullptr, self, 4096);
  WideString path;
  ASSERT_TRUE(GetProcessImagePath(GetCurrentProcessId(), path));
  EXPECT_TRUE(EqualsNoCase(path.CStr(), std::wstring(self, length).c_str())) << Utf8(Text(path));

  std::wstring program = ProbeWithBlanks();
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"HarborlineProbeImage");
  HandleHolder readyHolder(ready);
  HandleHolder child(StartProcess((Quoted(program) + L" stubborn HarborlineProbeImage").c_str(),
                                  nullptr, SW_HIDE, 0));
  ASSERT_TRUE(child.Valid());
  ASSERT_EQ(WaitForSingleObject(ready, kBoundedWaitMs), WAIT_OBJECT_0);
  EXPECT_TRUE(GetProcessImagePath(GetProcessId(child.Get()), path));
  EXPECT_TRUE(EqualsNoCase(path.CStr(), program.c_str())) << Utf8(Text(path));
  EXPECT_TRUE(KillProcess(GetProcessId(child.Get())));
}

TEST_F(ProcessTest, KillProcessStopsAChildThatIgnoresItsWindow) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"HarborlineProbeStubborn");
  HandleHolder readyHolder(ready);
  HandleHolder child(StartProcess((Quoted(Probe()) + L" stubborn HarborlineProbeStubborn").c_str(),
                                  nullptr, SW_HIDE, 0));
  ASSERT_TRUE(child.Valid());
  ASSERT_EQ(WaitForSingleObject(ready, kBoundedWaitMs), WAIT_OBJECT_0);
  HWND window = FindWindowW(L"HarborlineProcessProbe", nullptr);
  ASSERT_NE(window, nullptr);
  SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  EXPECT_EQ(WaitForSingleObject(child.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_TRUE(KillProcess(GetProcessId(child.Get())));
  EXPECT_EQ(WaitForSingleObject(child.Get(), 0), WAIT_OBJECT_0);
  // The id stays reserved while the handle is held: it names an ended process.
  EXPECT_TRUE(KillProcess(GetProcessId(child.Get())));
}

TEST(KillProcess, NeverStopsTheCallerOrTheSystem) {
  EXPECT_FALSE(KillProcess(GetCurrentProcessId()));
  EXPECT_FALSE(KillProcess(4));
}
