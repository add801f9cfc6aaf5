// A permissive access list and owner that replace an item's own when a
// deletion is refused for lack of access.
#pragma once

#include <windows.h>

#include <cstdint>

inline constexpr DWORD kAccessListSize = 2048;
inline constexpr DWORD kIdentitySize = SECURITY_MAX_SID_SIZE;  // 68 bytes

// Modes of ApplyAccessList.
enum AccessMode : uint32_t {
  kAccessTree = 0x01,          // a folder and everything below it
  kAccessUnprotected = 0x02,   // the list inherits from the parent
  kAccessProtected = 0x04,     // the list does not inherit from the parent
  kAccessOwnerOnly = 0x08,     // leave the list alone
  kAccessKeepExplicit = 0x10,  // a tree reset keeps explicit entries below
};

// Inheritance flags of the entries that mark an entry as inherited or as
// applying below only; explicit entries stay in front of such entries.
inline constexpr BYTE kInheritedMarks = NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;

class AccessList {
 public:
  AccessList();
  AccessList(const AccessList&) = delete;
  AccessList& operator=(const AccessList&) = delete;

  ACL* Acl() { return reinterpret_cast<ACL*>(aclBuffer); }
  PSID Owner() { return hasOwner ? static_cast<PSID>(ownerBuffer) : nullptr; }

  alignas(8) BYTE aclBuffer[kAccessListSize];
  alignas(8) BYTE ownerBuffer[kIdentitySize];
  bool hasOwner = false;
  // The deletion fills the list only when an item actually refuses access.
  bool repairEntriesAdded = false;
  BYTE repairInheritance = 0;
};

// Appends (inheritance flags with an inherited mark) or inserts after the last
// explicit entry an entry that allows everything to identity.
bool AddAllowEntry(AccessList& list, PSID identity, BYTE inheritance);
bool AddWellKnownEntry(AccessList& list, WELL_KNOWN_SID_TYPE type, BYTE inheritance);
// Everyone and the system account get everything, and the administrators both
// everything and the ownership; done once per list.
bool AddRepairEntries(AccessList& list);
// Writes the list and owner to path (modes above); when that is refused and
// an owner is given, takes ownership first and tries once more. Links get the
// list themselves: nothing is written through a link to its target.
bool ApplyAccessList(AccessList& list, const wchar_t* path, uint32_t mode, PSID owner);
