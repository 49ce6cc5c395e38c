// The registry hives of the machine's other users. Windows keeps a logged-on
// user's hive under HKEY_USERS\<SID> (and the user's classes under
// <SID>_Classes); the hive of a user who is not logged on lies in the profile
// folder ("NTUSER.DAT", the classes in "UsrClass.dat") and is read by loading it
// under a name below HKEY_USERS, which needs the backup and restore privileges.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Status.h"

namespace kiv {

// A profile of the machine's profile list: the account's SID as text and its
// profile folder (environment strings expanded).
struct MachineProfile {
    std::wstring sid;
    std::wstring folder;
};

// The SID of the account the process runs as, as text; empty when the token
// cannot be read.
std::wstring RunningUserSid();

// The profiles of the list other than the running user's and the service
// accounts' (which never log on to a desktop, so nothing of theirs starts), in the
// list's order. Entries whose name is no SID (a ".bak" copy Windows keeps of a
// broken profile) or that name no folder are left out.
std::vector<MachineProfile> OtherUserProfiles();

// The account of a SID as "DOMAIN\name", or the SID text when it cannot be looked
// up (a deleted account, a domain out of reach).
std::wstring AccountNameOf(const std::wstring& sid);

// Whether a hive is loaded below HKEY_USERS under that name (read rights only).
bool HiveLoaded(const std::wstring& name);

// A hive file the module loaded below HKEY_USERS; unloaded when its owner goes,
// on every path. A hive Windows loaded is never held by one.
class LoadedHive {
public:
    LoadedHive() = default;
    ~LoadedHive() { Unload(); }
    LoadedHive(const LoadedHive&) = delete;
    LoadedHive& operator=(const LoadedHive&) = delete;

    // Loads the file under the name, with the backup and restore privileges
    // enabled for the call only. ERROR_PRIVILEGE_NOT_HELD when the process cannot
    // enable them; a file in use (its user logged on meanwhile) answers
    // ERROR_SHARING_VIOLATION.
    Status Load(const std::wstring& name, const std::wstring& file);
    // Unloads the hive when this owner loaded one, leaving the thread's last error
    // as it was. A failure is logged; a hive still loaded then stays owned, for the
    // next call (or the owner's end) to unload.
    void Unload() noexcept;
    bool Loaded() const { return !m_name.empty(); }

private:
    std::wstring m_name;
};

}  // namespace kiv
