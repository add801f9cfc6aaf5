#include "app/console_user.h"

#include <windows.h>

#include <psapi.h>
#include <wtsapi32.h>

#include <vector>

#include "base/sized_buffer.h"

namespace {

using WtsText = Owner<LPWSTR, WTSFreeMemory>;

constexpr DWORD kNoSession = 0xFFFFFFFF;
constexpr size_t kFirstSidSize = SECURITY_MAX_SID_SIZE;
constexpr size_t kFirstNameLength = 64;
constexpr size_t kFirstProcessCount = 256;

// The account's security identifier, or empty.
std::vector<BYTE> AccountSid(const wchar_t* account) {
  std::vector<BYTE> sid;
  std::vector<wchar_t> domain(kFirstNameLength);
  SID_NAME_USE use;
  const bool found = FillSizedBuffer(sid, kFirstSidSize, [&](BYTE* data, size_t room) {
    DWORD sidSize = static_cast<DWORD>(room);
    DWORD domainSize = static_cast<DWORD>(domain.size());
    if (LookupAccountNameW(nullptr, account, data, &sidSize, domain.data(), &domainSize, &use))
      return room;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return size_t{0};
    // Both sizes are reported; the domain buffer grows here, and one more
    // round is asked for even when only the domain was too small.
    if (domainSize > domain.size()) domain.resize(domainSize);
    return sidSize > room ? size_t{sidSize} : room + 1;
  });
  if (!found) sid.clear();
  return sid;
}

bool TokenBelongsTo(HANDLE token, PSID account) {
  std::vector<BYTE> user;
  const bool read =
      FillSizedBuffer(user, sizeof(TOKEN_USER) + kFirstSidSize, [token](BYTE* data, size_t room) {
        DWORD needed = 0;
        if (GetTokenInformation(token, TokenUser, data, static_cast<DWORD>(room), &needed))
          return room;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size_t{needed} : size_t{0};
      });
  return read && EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, account) != FALSE;
}

// A token of the process that belongs to the account, or no handle.
HandleHolder TokenOfProcess(HANDLE process, PSID account) {
  HandleHolder token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.Out()) || !TokenBelongsTo(token.Get(), account))
    token.Reset();
  return token;
}

std::vector<DWORD> ProcessIds() {
  std::vector<DWORD> ids;
  DWORD listedBytes = 0;
  const bool listed = FillSizedBuffer(ids, kFirstProcessCount, [&](DWORD* data, size_t room) {
    const auto bytes = static_cast<DWORD>(room * sizeof(DWORD));
    if (!EnumProcesses(data, bytes, &listedBytes)) return size_t{0};
    // A full buffer may have left processes out.
    return listedBytes < bytes ? room : room * 2;
  });
  if (!listed) return {};
  ids.resize(listedBytes / sizeof(DWORD));
  return ids;
}

}  // namespace

HandleHolder GetConsoleUserName(WideString& name) {
  name.Assign(L"");
  const DWORD session = WTSGetActiveConsoleSessionId();
  if (session == kNoSession) return {};
  WtsText queried;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, queried.Out(),
                                   &bytes) ||
      !queried.Get() || !queried.Get()[0])
    return {};
  name.Assign(queried.Get());

  std::vector<BYTE> sid = AccountSid(name.CStr());
  if (sid.empty()) return {};

  DWORD ownSession = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) && ownSession == session) {
    HandleHolder own = TokenOfProcess(GetCurrentProcess(), sid.data());
    if (own.Valid()) return own;
  }
  for (DWORD id : ProcessIds()) {
    DWORD processSession = 0;
    if (!ProcessIdToSessionId(id, &processSession) || processSession != session) continue;
    HandleHolder process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
    if (!process.Valid()) continue;
    HandleHolder token = TokenOfProcess(process.Get(), sid.data());
    if (token.Valid()) return token;
  }
  return {};
}
