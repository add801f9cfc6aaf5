#include "app/application.h"

#include <psapi.h>
#include <wtsapi32.h>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace {

constexpr DWORD kTokenAllAccess = 0xF01FF;
constexpr DWORD kPreviousStateSize = 148;  // 4 + 12 privileges of 12 bytes
constexpr DWORD kProgramPathLength = 1024;

const wchar_t* const kBackupPrivileges[] = {
    L"SeRestorePrivilege",
    L"SeTakeOwnershipPrivilege",
    L"SeDebugPrivilege",
    L"SeSecurityPrivilege",
    L"SeBackupPrivilege",
    L"SeImpersonatePrivilege",
    L"SeSystemProfilePrivilege",
    L"SeAssignPrimaryTokenPrivilege",
    L"SeTrustedCredManAccessPrivilege",
    L"SeTcbPrivilege",
    L"SeIncreaseQuotaPrivilege",
    L"SeShutdownPrivilege",
};
constexpr int kPrivilegeCount = sizeof(kBackupPrivileges) / sizeof(kBackupPrivileges[0]);

bool TokenBelongsTo(HANDLE token, PSID account) {
  BYTE buffer[1024];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) return false;
  return EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, account) != FALSE;
}

bool IsMinorVersion(DWORD major, DWORD minor) {
  OSVERSIONINFOEXW probe = {};
  probe.dwOSVersionInfoSize = sizeof(probe);
  probe.dwMajorVersion = major;
  probe.dwMinorVersion = minor;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_EQUAL);
  return VerifyVersionInfoW(&probe, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
}

bool IsMajorVersion(DWORD major, BYTE condition) {
  OSVERSIONINFOEXW probe = {};
  probe.dwOSVersionInfoSize = sizeof(probe);
  probe.dwMajorVersion = major;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, condition);
  return VerifyVersionInfoW(&probe, VER_MAJORVERSION, mask) != FALSE;
}

}  // namespace

double GetOsVersion() {
  HMODULE kernel = LoadLibraryW(L"Kernel32.dll");
  if (!kernel) return 10.0;
  using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOEXW*);
  auto getVersionEx = reinterpret_cast<GetVersionExFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetVersionExW")));
  double result = 10.0;
  if (getVersionEx) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);  // 284
    double v = 0.0;
    if (getVersionEx(&info)) v = info.dwMajorVersion + info.dwMinorVersion / 10.0;
    if (v > 0.0 && v <= 6.2) {
      result = v;
    } else {
      // Beyond 6.2 an unmanifested answer is capped, so the probes decide.
      double base = 0.0;
      DWORD major = 0;
      if (IsMajorVersion(10, VER_GREATER_EQUAL)) {
        result = 10.0;
      } else {
        if (IsMajorVersion(6, VER_EQUAL)) {
          base = 6.0;
          major = 6;
        } else if (IsMajorVersion(5, VER_EQUAL)) {
          base = 5.0;
          major = 5;
        }
        result = base;
        for (DWORD minor : {3u, 2u, 1u}) {
          if (base > 0.0 && IsMinorVersion(major, minor)) {
            result = base + minor / 10.0;
            break;
          }
        }
      }
    }
  }
  FreeLibrary(kernel);
  return result;
}

PrivilegeState EnableBackupPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenAllAccess, &token)) return nullptr;
  size_t listSize = sizeof(DWORD) + kPrivilegeCount * sizeof(LUID_AND_ATTRIBUTES);
  PrivilegeState wanted(static_cast<TOKEN_PRIVILEGES*>(calloc(1, listSize)));
  PrivilegeState previous(static_cast<TOKEN_PRIVILEGES*>(calloc(1, kPreviousStateSize)));
  if (!wanted || !previous) {
    CloseHandle(token);
    return nullptr;
  }
  // A name the system does not know is left out rather than failing the rest.
  DWORD count = 0;
  for (const wchar_t* name : kBackupPrivileges) {
    LUID luid;
    if (!LookupPrivilegeValueW(nullptr, name, &luid)) continue;
    wanted->Privileges[count].Luid = luid;
    wanted->Privileges[count].Attributes = SE_PRIVILEGE_ENABLED;
    ++count;
  }
  wanted->PrivilegeCount = count;
  DWORD returned = 0;
  BOOL adjusted = AdjustTokenPrivileges(token, FALSE, wanted.get(), kPreviousStateSize,
                                        previous.get(), &returned);
  CloseHandle(token);
  if (!adjusted) return nullptr;
  return previous;
}

HANDLE GetConsoleUserName(wchar_t* name) {
  name[0] = 0;
  DWORD session = WTSGetActiveConsoleSessionId();
  if (session == 0xFFFFFFFF) return nullptr;
  LPWSTR queried = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &queried,
                                   &bytes) ||
      !queried)
    return nullptr;
  // A longer name is cut to the buffer: the settings file name stays valid and
  // only users sharing the first 128 characters would share a file.
  lstrcpynW(name, queried, kConsoleUserNameLength + 1);
  WTSFreeMemory(queried);
  if (!name[0]) return nullptr;

  BYTE sid[256];
  DWORD sidSize = sizeof(sid);
  wchar_t domain[260];
  DWORD domainSize = 260;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, name, sid, &sidSize, domain, &domainSize, &use)) return nullptr;

  DWORD ownSession = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) && ownSession == session) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      if (TokenBelongsTo(token, sid)) return token;
      CloseHandle(token);
    }
  }
  DWORD processes[1024];
  DWORD listed = 0;
  if (!EnumProcesses(processes, sizeof(processes), &listed)) return nullptr;
  for (DWORD i = 0; i < listed / sizeof(DWORD); ++i) {
    DWORD processSession = 0;
    if (!ProcessIdToSessionId(processes[i], &processSession) || processSession != session) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processes[i]);
    if (!process) continue;
    HANDLE token = nullptr;
    bool found = false;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
      found = TokenBelongsTo(token, sid);
      if (!found) CloseHandle(token);
    }
    CloseHandle(process);
    if (found) return token;
  }
  return nullptr;
}

int StripInvalidFileNameChars(WideString& text) {
  int32_t n = text.Length();
  if (n == 0) return 0;
  static const wchar_t kPattern[] = L"\\\\|/|:|\\*|\\?|\"|<|>|\\|";
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* pattern = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED,
                                      0, &errorCode, &errorOffset, nullptr);
  if (!pattern) return 0;
  pcre2_match_data* match = pcre2_match_data_create_from_pattern(pattern, nullptr);
  int removed = 0;
  if (match) {
    PCRE2_SIZE capacity = static_cast<PCRE2_SIZE>(n) * 2 + 2;
    for (;;) {
      WideString output;
      wchar_t* out = output.AssignN(static_cast<int32_t>(capacity), nullptr);
      if (!out) break;
      PCRE2_SIZE outLength = capacity;
      int rc = pcre2_substitute(pattern, reinterpret_cast<PCRE2_SPTR>(text.CStr()),
                                static_cast<PCRE2_SIZE>(n), 0, PCRE2_SUBSTITUTE_GLOBAL, match,
                                nullptr, reinterpret_cast<PCRE2_SPTR>(L""), 0,
                                reinterpret_cast<PCRE2_UCHAR*>(out), &outLength);
      if (rc == PCRE2_ERROR_NOMEMORY && capacity < (static_cast<PCRE2_SIZE>(1) << 30)) {
        capacity *= 2;
        continue;
      }
      if (rc > 0) {
        out[outLength] = 0;
        removed = n - static_cast<int32_t>(outLength);
        text = std::move(output);
      }
      break;
    }
    pcre2_match_data_free(match);
  }
  pcre2_code_free(pattern);
  return removed;
}

void BuildDefaultSettingsPath(Application& app) {
  app.defaultSettingsPath.Assign(app.programPath.CStr());
  int32_t separator = app.defaultSettingsPath.Find(L"\\", true, -1, 1, 0);
  app.defaultSettingsPath.Truncate(separator);  // keeps the backslash
  app.defaultSettingsPath.Append(app.consoleUserName.CStr(), L".hbak");
}

Application::Application() {
  osVersion = GetOsVersion();
  EnableBackupPrivileges();  // what is not granted simply stays off
  wchar_t* path = programPath.AssignN(kProgramPathLength, nullptr);
  if (path) GetModuleFileNameW(nullptr, path, kProgramPathLength);
  wchar_t* name = consoleUserName.AssignN(kConsoleUserNameLength, nullptr);
  if (name) {
    HANDLE token = GetConsoleUserName(name);
    if (token) CloseHandle(token);
  }
  StripInvalidFileNameChars(consoleUserName);
  BuildDefaultSettingsPath(*this);
}
