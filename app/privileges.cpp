#include "app/privileges.h"

#include "base/owner.h"
#include "base/sized_buffer.h"

namespace {

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
constexpr DWORD kPrivilegeCount = sizeof(kBackupPrivileges) / sizeof(kBackupPrivileges[0]);

}  // namespace

PrivilegeState EnableBackupPrivileges() {
  HandleHolder token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Out()))
    return {};
  std::vector<BYTE> wantedBuffer(sizeof(TOKEN_PRIVILEGES) +
                                 kPrivilegeCount * sizeof(LUID_AND_ATTRIBUTES));
  auto* wanted = reinterpret_cast<TOKEN_PRIVILEGES*>(wantedBuffer.data());
  DWORD count = 0;
  for (const wchar_t* name : kBackupPrivileges) {
    LUID luid;
    if (!LookupPrivilegeValueW(nullptr, name, &luid)) continue;
    wanted->Privileges[count].Luid = luid;
    wanted->Privileges[count].Attributes = SE_PRIVILEGE_ENABLED;
    ++count;
  }
  wanted->PrivilegeCount = count;
  // A previous-state buffer that is too small makes the call adjust nothing,
  // so it is sized from the call's own report.
  PrivilegeState previous;
  const bool adjusted =
      FillSizedBuffer(previous, sizeof(TOKEN_PRIVILEGES), [&](BYTE* data, size_t room) {
        DWORD needed = 0;
        if (AdjustTokenPrivileges(token.Get(), FALSE, wanted, static_cast<DWORD>(room),
                                  reinterpret_cast<TOKEN_PRIVILEGES*>(data), &needed))
          return needed ? size_t{needed} : room;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size_t{needed} : size_t{0};
      });
  if (!adjusted) previous.clear();
  return previous;
}
