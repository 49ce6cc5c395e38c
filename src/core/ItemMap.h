// The items of the last collection, owned by their global IDs, with the items
// whose entries were taken out of the map (alive until the next run, since the
// host may still hold their texts), the folders of "PATH" read at the start of the
// run, and the lock that lets a second thread query and act while a collection
// runs. It is the item registry every location of the catalogue is lent.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Records.h"
#include "platform/Handles.h"

class CKivTestAccess;

namespace kiv {

class Catalogue;

class ItemMap final : public ItemRegistry {
public:
    // The catalogue answers which registry values its locations list.
    explicit ItemMap(const Catalogue& catalogue) : m_catalogue(catalogue) {}
    ~ItemMap() override;
    ItemMap(const ItemMap&) = delete;
    ItemMap& operator=(const ItemMap&) = delete;

    unsigned AddItem(CKivItem* item) override;
    void ForgetItem(unsigned id, const CKivItem* item) override;
    const std::vector<std::wstring>& EnvPaths() const override { return m_envPaths; }
    bool ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const override;

    // Guards the map, the locations' ID lists and every item reached through them.
    CriticalSection& Lock() { return m_lock; }
    // The item of an ID, or null; the caller holds the lock.
    CKivItem* Find(unsigned id) const;
    // Takes an item's entry out of the map; the item itself lives on until the next
    // run. An item the map cannot make room for keeps its entry.
    void Detach(unsigned id);
    // Destroys every item, those taken out of the map included.
    void DestroyAll();
    // Reads the folders of "PATH" for the run about to start.
    void ReadEnvPaths();

private:
    friend class ::CKivTestAccess;

    // Whether an item whose entry was removed from the map still holds the ID.
    bool HeldByDetached(unsigned id) const;
    // The highest ID any living item holds, or 0.
    unsigned HighestId() const;

    // Declared first, so it outlives everything it guards.
    CriticalSection m_lock;
    const Catalogue& m_catalogue;
    std::vector<std::wstring> m_envPaths;
    std::map<unsigned, std::unique_ptr<CKivItem>> m_map;
    // Items whose entries were removed from the map: alive until the next run.
    std::vector<std::unique_ptr<CKivItem>> m_detached;
};

}  // namespace kiv
