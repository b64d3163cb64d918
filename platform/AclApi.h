#pragma once
// Access-control routines: security attributes that let everyone open a
// handle, the (localised) name of the local users group, and granting a
// trustee rights on a folder so that everything below inherits them. The
// ADVAPI32 entry points are bound by name; a missing one counts as failure.
// Every routine returns false on failure and leaves the thread's last error.

#include <cstdint>
#include <string>

#include "platform/UniqueHandle.h"
#include "platform/Win.h"

// The access mask that opens a folder to ordinary users: read, write,
// execute, delete and synchronise, but not changing permissions or owner.
constexpr DWORD UsersModifyAccessMask = 0x001301FF;

// Process-wide attributes with inheritable handles and a null access list
// (everyone has full access); built on first call.
SECURITY_ATTRIBUTES* EveryoneSecurityAttributes();

// The account name of the local users group S-1-5-32-545 ("Users" on an
// English system, localised elsewhere); "Users" when the lookup fails. Cached.
std::wstring GetUsersGroupName();

// True when the volume of the path's drive root keeps access-control lists.
bool VolumeSupportsAcls(const std::wstring& path);

// The rights the path's access list gives the named trustee.
bool GetEffectiveRights(const std::wstring& path, const std::wstring& trusteeName, DWORD& mask);

// Grants the mask when the trustee's effective rights can be read and lack
// any of its bits.
void EnsureAccess(const std::wstring& path, const std::wstring& trusteeName, DWORD mask);

// Sets an inheritable entry for the trustee with the mask on the path
// (merged into its access list) and, for a folder, makes everything below
// inherit the new list.
bool GrantAccess(const std::wstring& path, const std::wstring& trusteeName, DWORD mask);

// The access list with an inheritable SET_ACCESS entry for the trustee
// merged into existing (which may be null); invalid on failure.
UniqueLocalBlock BuildGrantedAcl(PACL existing, const std::wstring& trusteeName, DWORD mask);
