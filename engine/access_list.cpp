#include "engine/access_list.h"

#include <aclapi.h>

#include <cstring>

#include "base/wide_string.h"
#include "engine/handle_holder.h"

namespace {

constexpr DWORD kGenericAll = 0x10000000;

bool IsRecognisedEntryType(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      return true;
    default:
      return false;
  }
}

// Where a new explicit entry goes: right after the last explicit entry.
DWORD ExplicitInsertIndex(ACL* acl) {
  DWORD index = 0;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(acl, i, &raw)) break;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(raw);
    if (IsRecognisedEntryType(header->AceType) && !(header->AceFlags & kInheritedMarks))
      index = i + 1;
  }
  return index;
}

// Some platforms' AddAce appends whatever index it is given, so the entry is
// placed by hand: the entries of a list lie back to back after its header.
bool InsertEntry(ACL* acl, DWORD index, const void* entry, DWORD entryLength) {
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return false;
  if (size.AclBytesFree < entryLength || index > acl->AceCount) return false;
  BYTE* start = reinterpret_cast<BYTE*>(acl);
  BYTE* at = start + size.AclBytesInUse;
  if (index < acl->AceCount) {
    void* raw = nullptr;
    if (!GetAce(acl, index, &raw)) return false;
    at = static_cast<BYTE*>(raw);
  }
  memmove(at + entryLength, at, static_cast<size_t>(start + size.AclBytesInUse - at));
  memcpy(at, entry, entryLength);
  ++acl->AceCount;
  return IsValidAcl(acl) != FALSE;
}

SECURITY_INFORMATION InformationFor(uint32_t mode, PSID owner) {
  SECURITY_INFORMATION information = 0;
  if (!(mode & kAccessOwnerOnly)) information |= DACL_SECURITY_INFORMATION;
  if (owner) information |= OWNER_SECURITY_INFORMATION;
  if (mode & kAccessProtected)
    information |= PROTECTED_DACL_SECURITY_INFORMATION;
  else if (mode & kAccessUnprotected)
    information |= UNPROTECTED_DACL_SECURITY_INFORMATION;
  return information;
}

// A link is given the list through a handle on the link itself: the named
// calls would open, and so change, whatever the link points at.
bool ApplyToLink(const wchar_t* path, SECURITY_INFORMATION information, PSID owner, ACL* acl) {
  DWORD access = 0;
  if (information & DACL_SECURITY_INFORMATION) access |= WRITE_DAC;
  if (information & OWNER_SECURITY_INFORMATION) access |= WRITE_OWNER;
  HandleHolder link(CreateFileW(
      path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link.Valid()) return false;
  return SetSecurityInfo(link.Get(), SE_FILE_OBJECT, information, owner, nullptr, acl, nullptr) ==
         ERROR_SUCCESS;
}

bool ApplyOnce(WideString& path, uint32_t mode, SECURITY_INFORMATION information, PSID owner,
               ACL* acl, DWORD attributes) {
  bool isLink =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (isLink) return ApplyToLink(path.CStr(), information, owner, acl);
  bool tree = (mode & kAccessTree) && attributes != INVALID_FILE_ATTRIBUTES &&
              (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (tree)
    return TreeResetNamedSecurityInfoW(path.CStr(), SE_FILE_OBJECT, information, owner, nullptr,
                                       acl, nullptr, (mode & kAccessKeepExplicit) ? TRUE : FALSE,
                                       nullptr, ProgressInvokeNever, nullptr) == ERROR_SUCCESS;
  return SetNamedSecurityInfoW(path.CStr(), SE_FILE_OBJECT, information, owner, nullptr, acl,
                               nullptr) == ERROR_SUCCESS;
}

}  // namespace

AccessList::AccessList() {
  InitializeAcl(Acl(), kAccessListSize, ACL_REVISION);
  memset(ownerBuffer, 0, sizeof(ownerBuffer));
}

bool AddAllowEntry(AccessList& list, PSID identity, BYTE inheritance) {
  if (!identity || !IsValidSid(identity)) return false;
  DWORD identityLength = GetLengthSid(identity);
  // Header and mask, then the identity in place of the entry's last word.
  alignas(8) BYTE entryBuffer[sizeof(ACCESS_ALLOWED_ACE) + kIdentitySize];
  DWORD entryLength = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + identityLength;
  if (entryLength > sizeof(entryBuffer)) return false;
  ACCESS_ALLOWED_ACE* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entryBuffer);
  entry->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
  entry->Header.AceFlags = inheritance;
  entry->Header.AceSize = static_cast<WORD>(entryLength);
  entry->Mask = kGenericAll;
  if (!CopySid(identityLength, &entry->SidStart, identity)) return false;
  ACL* acl = list.Acl();
  DWORD index = (inheritance & kInheritedMarks) ? acl->AceCount : ExplicitInsertIndex(acl);
  return InsertEntry(acl, index, entry, entryLength);
}

bool AddWellKnownEntry(AccessList& list, WELL_KNOWN_SID_TYPE type, BYTE inheritance) {
  alignas(8) BYTE identity[kIdentitySize];
  DWORD size = sizeof(identity);
  if (!CreateWellKnownSid(type, nullptr, identity, &size)) return false;
  return AddAllowEntry(list, identity, inheritance);
}

bool AddRepairEntries(AccessList& list) {
  if (list.repairEntriesAdded) return true;
  BYTE inheritance = list.repairInheritance;
  if (!AddWellKnownEntry(list, WinWorldSid, inheritance) ||
      !AddWellKnownEntry(list, WinLocalSystemSid, inheritance))
    return false;
  DWORD size = sizeof(list.ownerBuffer);
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, list.ownerBuffer, &size))
    return false;
  list.hasOwner = true;
  if (!AddAllowEntry(list, list.ownerBuffer, inheritance)) return false;
  list.repairEntriesAdded = true;
  return true;
}

bool ApplyAccessList(AccessList& list, const wchar_t* path, uint32_t mode, PSID owner) {
  WideString target(path);  // the named calls want a writable text
  if (!target.ok) return false;
  DWORD attributes = GetFileAttributesW(target.CStr());
  ACL* acl = (mode & kAccessOwnerOnly) ? nullptr : list.Acl();
  SECURITY_INFORMATION information = InformationFor(mode, owner);
  if (ApplyOnce(target, mode, information, owner, acl, attributes)) return true;
  if (!owner || (mode & kAccessOwnerOnly)) return false;
  // Without the ownership the list cannot be written: take it, then retry.
  if (!ApplyOnce(target, 0, OWNER_SECURITY_INFORMATION, owner, nullptr, attributes)) return false;
  return ApplyOnce(target, mode, information, owner, acl, attributes);
}
