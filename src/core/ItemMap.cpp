#include "core/ItemMap.h"

#include <algorithm>

#include "core/Catalogue.h"
#include "core/Guard.h"
#include "platform/Environment.h"
#include "platform/Text.h"

namespace kiv {

namespace {

// Room for one more element, growing by half again or more, so that filling a list
// one by one stays linear.
template <typename Vector>
void MakeRoomForOne(Vector& vector) {
    if (vector.size() == vector.capacity()) vector.reserve(vector.size() < 8 ? 8 : vector.size() * 2);
}

}  // namespace

ItemMap::~ItemMap() { DestroyAll(); }

void ItemMap::DestroyAll() {
    CriticalSectionLock lock(m_lock);
    // In ascending ID order. Each entry leaves the map before its item is
    // destroyed, so the item's destructor has only its location's list to update.
    while (!m_map.empty()) {
        std::unique_ptr<CKivItem> item = std::move(m_map.begin()->second);
        m_map.erase(m_map.begin());
    }
    m_detached.clear();
}

void ItemMap::ReadEnvPaths() {
    // Read whole, however long, so no folder of a long PATH is missed.
    SplitTokens(ReadPathVariable(), L";", m_envPaths);
}

bool ItemMap::ListsRegistryValue(HKEY root, const std::wstring& path, const std::wstring& value) const {
    return m_catalogue.ListsRegistryValue(root, path, value);
}

CKivItem* ItemMap::Find(unsigned id) const {
    auto it = m_map.find(id);
    return it == m_map.end() ? nullptr : it->second.get();
}

unsigned ItemMap::AddItem(CKivItem* item) {
    if (!item) return 0;
    CriticalSectionLock lock(m_lock);
    // An item already registered keeps its ID.
    if (item->m_globalId != 0) {
        auto it = m_map.find(item->m_globalId);
        if (it != m_map.end() && it->second.get() == item) return item->m_globalId;
    }
    // Dense IDs from 1 in every normal run; an ID still held by a living item (one
    // whose entry was removed from the map included) is never handed out again.
    unsigned id = static_cast<unsigned>(m_map.size()) + 1;
    if (m_map.count(id) != 0 || HeldByDetached(id)) id = HighestId() + 1;
    Location* location = item->m_location;
    // Room for everything first: once the map owns the item, nothing may fail.
    const bool room = Guarded(false, [&] {
        if (location) MakeRoomForOne(location->m_itemIds);
        m_map.emplace(id, nullptr);
        return true;
    });
    if (!room) return 0;
    // An item whose entry was removed earlier comes back: the map alone owns it
    // again, and its location lists it by its new ID only.
    auto detached = std::find_if(m_detached.begin(), m_detached.end(),
                                 [item](const std::unique_ptr<CKivItem>& owned) { return owned.get() == item; });
    if (detached != m_detached.end()) {
        detached->release();
        m_detached.erase(detached);
        if (location) location->RemoveItemId(item->m_globalId);
    }
    m_map[id].reset(item);
    item->m_globalId = id;
    if (location) location->m_itemIds.push_back(id);
    return id;
}

bool ItemMap::HeldByDetached(unsigned id) const {
    return std::any_of(m_detached.begin(), m_detached.end(),
                       [id](const std::unique_ptr<CKivItem>& item) { return item->m_globalId == id; });
}

unsigned ItemMap::HighestId() const {
    unsigned highest = m_map.empty() ? 0 : m_map.rbegin()->first;
    for (const std::unique_ptr<CKivItem>& item : m_detached) highest = std::max(highest, item->m_globalId);
    return highest;
}

void ItemMap::ForgetItem(unsigned id, const CKivItem* item) {
    CriticalSectionLock lock(m_lock);
    auto it = m_map.find(id);
    // The item is being destroyed by someone else: the map lets go without a second delete.
    if (it != m_map.end() && it->second.get() == item) {
        it->second.release();
        m_map.erase(it);
    }
    if (item && item->m_location) item->m_location->RemoveItemId(id);
}

void ItemMap::Detach(unsigned id) {
    CriticalSectionLock lock(m_lock);
    auto it = m_map.find(id);
    if (it == m_map.end()) return;
    // The item stays alive, unreachable by ID, until the next run destroys it; a
    // pointer the host still holds does not dangle. Without room for that, the
    // entry stays.
    Guarded(0, [&] {
        MakeRoomForOne(m_detached);
        m_detached.push_back(std::move(it->second));
        m_map.erase(it);
        return 0;
    });
}

}  // namespace kiv
