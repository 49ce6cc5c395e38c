// The catalogue: the categories of "kivdata.dat" and, in each, the locations with
// their handler and location types. Each location is given its handler and the
// item registry that will own its items.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/KivHandler.h"
#include "core/Records.h"
#include "core/UserLocations.h"
#include "kiv.h"

class CKivTestAccess;

namespace kiv {

class XmlNode;

using HandlerSet = std::map<EKivHandlerType, std::unique_ptr<CKivHandler>>;

class Catalogue {
public:
    // The handlers and the registry are the facade's and outlive the catalogue's locations.
    Catalogue(const HandlerSet& handlers, ItemRegistry& registry) : m_handlers(handlers), m_registry(registry) {}
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // path := "kivdata.dat" beside the host's executable; false (and a log line
    // saying why) when there is no such file.
    static bool Locate(wchar_t (&path)[MAX_PATH]);
    // Adds the categories of a catalogue file. The machine's other users are read
    // from the profile list the first time: each per-user location is followed by
    // one copy for each of them.
    void Read(const wchar_t* path);

    const std::vector<std::unique_ptr<Category>>& Categories() const { return m_categories; }
    // The machine's users other than the one running the host.
    const std::vector<std::unique_ptr<UserProfile>>& Users() const { return m_users; }
    // The location at a position, or null; sets the thread's last error to say which.
    Location* LocationAt(unsigned c, unsigned l) const;
    // Whether a registry location lists the named value of the key (see ItemRegistry).
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const;

    Category& AddCategory(const std::wstring& name, int icon);
    // A location of the catalogue, with its handler and the registry as its owner.
    Location& AddLocation(Category& category, const std::wstring& path, const std::wstring& value, unsigned type,
                          EKivHandlerType handlerType, unsigned char wow64);
    // Users go after the locations that point at them.
    void Clear() {
        m_categories.clear();
        m_users.clear();
        m_usersRead = false;
    }

private:
    friend class ::CKivTestAccess;

    void ReadCategory(const XmlNode& cat);
    void ReadUsers();
    // The other users' copies of a location of the catalogue, after it.
    void AddUserCopies(Category& category, const Location* sameAs, const std::wstring& cataloguePath,
                       const std::wstring& value, unsigned type, EKivHandlerType handlerType,
                       const LocationOptions& options);
    CKivHandler* HandlerOf(EKivHandlerType type) const;

    const HandlerSet& m_handlers;
    ItemRegistry& m_registry;
    // Declared first: the locations point at their users, and a user unloads the
    // hives the module loaded when it goes.
    std::vector<std::unique_ptr<UserProfile>> m_users;
    bool m_usersRead = false;
    std::vector<std::unique_ptr<Category>> m_categories;
};

}  // namespace kiv
