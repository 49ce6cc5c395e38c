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
    // Adds the categories of a catalogue file.
    void Read(const wchar_t* path);

    const std::vector<std::unique_ptr<Category>>& Categories() const { return m_categories; }
    // The location at a position, or null; sets the thread's last error to say which.
    Location* LocationAt(unsigned c, unsigned l) const;
    // Whether a registry location lists the named value of the key (see ItemRegistry).
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const;

    Category& AddCategory(const std::wstring& name, int icon);
    // A location of the catalogue, with its handler and the registry as its owner.
    Location& AddLocation(Category& category, const std::wstring& path, const std::wstring& value, unsigned type,
                          EKivHandlerType handlerType, unsigned char wow64);
    void Clear() { m_categories.clear(); }

private:
    friend class ::CKivTestAccess;

    void ReadCategory(const XmlNode& cat);
    CKivHandler* HandlerOf(EKivHandlerType type) const;

    const HandlerSet& m_handlers;
    ItemRegistry& m_registry;
    std::vector<std::unique_ptr<Category>> m_categories;
};

}  // namespace kiv
