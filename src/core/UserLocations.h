// The machine's other users. Every per-user location of the catalogue (below
// HKEY_CURRENT_USER, or a folder below the user's profile) is read for each
// profile of the machine as well: each other user's copy is a location of its own,
// placed after the running user's, that reads the user's hive or folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Status.h"
#include "platform/UserHives.h"

class Location;

namespace kiv {

// One other user of the machine and the hives the module reads of it. A hive
// Windows has loaded (the user is logged on) is read where it is; otherwise the
// profile's hive files are loaded under names of the module's own for a
// collection or an action and unloaded after, so the module never keeps a user's
// hive file open longer than it reads it (a user whose hive file another process
// holds open cannot log on). The caller holds the item map's lock.
class UserProfile {
public:
    explicit UserProfile(const MachineProfile& profile);
    UserProfile(const UserProfile&) = delete;
    UserProfile& operator=(const UserProfile&) = delete;

    const std::wstring& Sid() const { return m_sid; }
    // The account name the hosts show (the SID text when it cannot be looked up).
    const std::wstring& Name() const { return m_name; }
    const std::wstring& Folder() const { return m_folder; }
    // The name below HKEY_USERS the user's hive is read under now; empty while it
    // is not readable.
    std::wstring Mount() const { return m_readable && m_hiveError == ERROR_SUCCESS ? m_mount : std::wstring(); }
    // The same for the user's classes hive; empty as well for a profile without one.
    std::wstring ClassesMount() const {
        return m_readable && m_classesError == ERROR_SUCCESS ? m_classesMount : std::wstring();
    }
    bool Readable() const { return m_readable; }
    // Whether one of the user's locations can be read now: a folder always, a
    // registry location while its hive is readable. A profile without a classes
    // hive file has no classes of its own to read, which is no failure.
    bool Reads(const Location& location) const;

    void AddLocation(Location* location) { m_locations.push_back(location); }
    // Makes both hives readable, each where Windows keeps it or loaded from the
    // profile folder, points the user's registry locations at them and records in
    // each why its hive could not be read.
    void MakeReadable();
    // Unloads the hives the module loaded; those Windows loaded stay.
    void Release();

private:
    // A profile without a classes hive file has no classes of its own: not an error.
    bool ClassesAbsent() const { return m_classesError == ERROR_FILE_NOT_FOUND; }

    DWORD MakeHiveReadable(const std::wstring& windowsName, const std::wstring& ownName, const std::wstring& file,
                           LoadedHive& hive, std::wstring& mount);

    std::wstring m_sid;
    std::wstring m_name;
    std::wstring m_folder;
    std::vector<Location*> m_locations;
    LoadedHive m_hive;
    LoadedHive m_classes;
    std::wstring m_mount;
    std::wstring m_classesMount;
    DWORD m_hiveError = ERROR_SUCCESS;
    DWORD m_classesError = ERROR_SUCCESS;
    bool m_readable = false;
};

// Whether a location of the catalogue (its path as written there) is a per-user
// one, and if so its path for another user: below HKEY_USERS\<SID> (or
// <SID>_Classes for the user's classes), or below the user's profile folder for a
// folder that lies below %USERPROFILE%, %APPDATA% or %LOCALAPPDATA% (as a profile
// lays them out by default). hivePath is the path below the hive.
bool UserCopyPath(const std::wstring& cataloguePath, unsigned type, const UserProfile& user, std::wstring& path,
                  std::wstring& hivePath, bool& classes);

// An entry's text as its location's user reads it: in another user's copy of a
// location, %USERPROFILE%, %APPDATA% and %LOCALAPPDATA% name that user's folders
// (as a profile lays them out), which the running user's environment would turn
// into the running user's. Any other text is returned as it is.
std::wstring InUsersFolders(const Location* location, const std::wstring& text);

// Makes the hives of an action's user readable for the action: an entry of
// another user is changed in that user's hive, and the library's markers go there
// too. Hives the action made readable are unloaded when it ends, unless kept (a
// go-to into a registry location, whose registry editor opens the key after the
// call returns: they stay until the next collection or the end of the facade; a
// folder's go-to keeps none). The caller holds the item map's lock.
class ActionHives {
public:
    ActionHives(const Location* location, bool keep);
    ~ActionHives();
    ActionHives(const ActionHives&) = delete;
    ActionHives& operator=(const ActionHives&) = delete;

    // ERROR_SUCCESS, or why the location's hive cannot be read.
    Status Ready() const { return m_ready; }

private:
    UserProfile* m_user = nullptr;
    bool m_release = false;
    Status m_ready = Status::Ok();
};

}  // namespace kiv
