// The records of the catalogue (categories and their locations) and of a
// collection run (items).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "iteminfo/FileFacts.h"
#include "kiv.h"

class CKivHandler;
class CKivItem;
namespace kiv {
class UserProfile;
}

// How the base go-to shows an item: its registry key or value in the registry
// editor, or its location's folder in Explorer. Other kinds have no go-to.
enum class GotoKind : unsigned { RegistryKey = 0, RegistryValue = 1, Explorer = 2, None = 3 };

namespace kiv {

// What a location's owner lends it for a collection run: the item map that owns
// the items and hands out their global IDs, and the folders of "PATH" read at the
// start of the run. The item map implements it; records never reach their owner
// any other way.
class ItemRegistry {
public:
    virtual ~ItemRegistry() = default;
    // Takes the item over, gives it the next global ID and lists the ID with the
    // item's location, all under the map's lock. 0 when the map cannot grow.
    virtual unsigned AddItem(CKivItem* item) = 0;
    // Forgets a destroyed item: its entry (only while the entry is still this item)
    // and its ID in its location's list.
    virtual void ForgetItem(unsigned id, const CKivItem* item) = 0;
    virtual const std::vector<std::wstring>& EnvPaths() const = 0;
    // Whether a registry location of the catalogue lists the named value of the key
    // (root and path below it): a value location naming it, or a run-key location
    // over the whole key.
    virtual bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const = 0;
};

}  // namespace kiv

// What a catalogue may add to a location for places whose entries do not have the
// shape their kind reads by default. Every member empty (or 0) reads the location
// as a catalogue without them does.
struct LocationOptions {
    // "depth": the entries are values of the subkeys this many levels below the key
    // (run values), not of the key itself.
    unsigned depth = 0;
    // "entryvalue": the value that holds an entry's command ("@" the default value,
    // "sub\name" a value of a subkey of the entry); several are tried in order.
    std::vector<std::wstring> entryValues;
    // "classvalue": the value of an entry subkey that names its class when the
    // subkey's own name is none ("@" the default value).
    std::wstring classValue;
    // "progid": the entry subkeys are named by program identifiers of their class.
    bool progId = false;
    // "alsoin": a subkey is an entry only while a key of its name stands there too
    // (root prefix included).
    std::wstring alsoIn;
    // "skip": value names that are not entries.
    std::vector<std::wstring> skip;
    // "folder": where a bare file name is looked for (environment strings expanded).
    std::wstring folder;
    // "refkey" and "refvalue": the entries of a list name keys ("*" in refkey stands
    // for the entry); the file is refvalue of that key.
    std::wstring refKey;
    std::wstring refValue;
    // "listsep": "," reads a list at commas only, each element whole.
    std::wstring listSeparator;
    // "files": the names that count in a folder, patterns with * and ? split at ";".
    std::wstring files;
    // "profiles": a folder location's path lies below each user's profile folder.
    bool profiles = false;
};

// One place from which Windows starts programs, read by one handler.
class Location {
public:
    enum Type : unsigned { RegistryKey = 0, RegistryValue = 1, Folder = 2 };

    // handler and registry come from the location's owner; a location without a
    // handler (an unknown handler type) is never read.
    Location(const std::wstring& path, const std::wstring& value, unsigned type, EKivHandlerType handlerType,
             unsigned char wow64, CKivHandler* handler = nullptr, kiv::ItemRegistry* registry = nullptr);

    void RemoveItemId(unsigned id);
    void ClearItemIds() { m_itemIds.clear(); }
    // The folders of "PATH" of the current run (none for a location without owner).
    const std::vector<std::wstring>& EnvPaths() const;
    // Asked of the catalogue this location belongs to; false without one.
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const;
    // Whether a run-value location takes this value of its own key for an entry: not
    // when its entries lie deeper, when it leaves the value out, or when it names
    // other values as its entries.
    bool ListsOwnValue(const std::wstring& name) const;

    std::wstring m_path;
    std::wstring m_value;
    std::wstring m_fullPath;
    HKEY m_root;
    unsigned m_type;
    unsigned char m_wow64;
    std::vector<unsigned> m_itemIds;
    EKivHandlerType m_handlerType;
    CKivHandler* m_handler;
    kiv::ItemRegistry* m_registry;
    LocationOptions m_options;
    // Another user's copy of a per-user location (null for the running user's and
    // the machine's locations): whose it is, the running user's location it copies,
    // and for a registry copy its path below the user's hive (m_path is that path
    // below the name the hive is read under, m_fullPath the same below the SID).
    kiv::UserProfile* m_user = nullptr;
    const Location* m_sameAs = nullptr;
    std::wstring m_hivePath;
    bool m_classesHive = false;
    // Why the last collection could not read the location (its user's hive could
    // not be loaded); ERROR_SUCCESS when it was read.
    DWORD m_readError = ERROR_SUCCESS;
};

// A group of locations for the host's display; owns its locations.
class Category {
public:
    Category(const std::wstring& name, int icon);
    Category(const Category&) = delete;
    Category& operator=(const Category&) = delete;

    std::wstring m_name;
    int m_icon;
    std::vector<std::unique_ptr<Location>> m_locations;
};

// One entry found in a location during a collection run. Made by a handler; on
// construction (during a collection, once its file has been read) it hands itself
// to its location's item registry, which owns it from then on and alone destroys it.
class CKivItem {
public:
    CKivItem(const std::wstring& title, const std::wstring& fileText, Location* location, GotoKind gotoKind,
             unsigned win32, unsigned enabled, unsigned removed);
    ~CKivItem();
    CKivItem(const CKivItem&) = delete;
    CKivItem& operator=(const CKivItem&) = delete;

    // Describes the item's file at its new place after an action moved it. The
    // texts and the icon handed out before stay valid until the item goes.
    void RefillFacts(const std::wstring& path);

    std::wstring m_title;
    KivFileFacts m_file;
    std::vector<std::wstring> m_regNames;
    // The subkey below the location's key that holds the entry, for a location whose
    // entries lie deeper (empty: the location's key itself). Its own marker subkey
    // keeps the entry while it is disabled.
    std::wstring m_entryKey;
    unsigned m_win32;
    unsigned m_enabled;
    unsigned m_removed;
    GotoKind m_gotoKind;
    // Windows' own startup switch of the entry is off (Task Manager or the Settings
    // app disabled it): the entry does not start, wherever it stands.
    unsigned m_startupSwitchOff = 0;
    // A service run inside a shared host process: the library the host loads for it
    // (empty for any other item), and its MD5, read on the first query that asks.
    std::wstring m_serviceDll;
    std::wstring m_serviceDllMd5;
    bool m_serviceDllHashed = false;
    unsigned m_globalId;
    Location* m_location;
    CKivHandler* m_handler;

private:
    // Facts of places the file has left, kept for the pointers the host still holds.
    std::vector<std::unique_ptr<KivFileFacts>> m_superseded;
};
