// The process-wide facade: lifecycle, the collection walk and the item map.
#include "kiv.h"

#include <memory>
#include <new>

#include "core/Guard.h"
#include "core/Records.h"
#include "handlers/HandlerFactory.h"
#include "platform/Environment.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Text.h"

using kiv::LogLine;

CKiv* CKiv::_objInstance = nullptr;

CKiv* CKiv::Init() {
    LogLine(L"KIV\t\t\t Init..\n");
    if (_objInstance) {
        LogLine(L"KIV\t\t\t Init.. Already done.\n");
        return _objInstance;
    }
    CKiv* kiv = kiv::Guarded(static_cast<CKiv*>(nullptr), [] { return new CKiv(); });
    if (!kiv) return nullptr;
    // Published before loading: each location finds its handler through the singleton.
    _objInstance = kiv;
    if (!kiv::Guarded(false, [&] { return kiv->LoadData(); })) {
        MessageBoxW(nullptr, L"Unable to initialize KIV data.", L"Error", MB_ICONERROR);
        return kiv;
    }
    LogLine(L"KIV\t\t\t Init.. OK\n");
    return kiv;
}

CKiv* CKiv::Get() { return _objInstance; }

void CKiv::Dispose() {
    if (!_objInstance) return;
    LogLine(L"KIV\t\t\t Disposing..\n");
    delete _objInstance;
    // Cleared only now: item destructors reach the item map through the singleton.
    _objInstance = nullptr;
    LogLine(L"KIV\t\t\t Disposing.. OK\n");
}

CKiv::CKiv() : m_stop(0) {
    InitializeCriticalSection(&m_lock);
    try {
        for (int type = RegValue; type <= AutoPlay; ++type) {
            EKivHandlerType t = static_cast<EKivHandlerType>(type);
            std::unique_ptr<CKivHandler> handler(CreateKivHandler(t));
            if (handler) m_handlers[t] = handler.get();
            handler.release();
        }
    } catch (...) {
        for (auto& entry : m_handlers) delete entry.second;
        DeleteCriticalSection(&m_lock);
        throw;
    }
}

CKiv::~CKiv() {
    for (auto& entry : m_handlers) delete entry.second;
    m_handlers.clear();
    // Items go before locations: an item's destructor updates its location.
    DestroyItems();
    for (Category* category : m_categories) delete category;
    m_categories.clear();
    DeleteCriticalSection(&m_lock);
    m_envPaths.clear();
}

void CKiv::DestroyItems() {
    while (!m_itemMap.empty()) {
        auto first = m_itemMap.begin();
        unsigned id = first->first;
        CKivItem* item = first->second;
        if (item) delete item;  // removes its own entry and its ID from its location
        auto left = m_itemMap.find(id);
        if (left != m_itemMap.end() && left->second == item) m_itemMap.erase(left);
    }
}

void CKiv::Collect() {
    m_stop = 0;
    kiv::Guarded(0, [&] {
        DestroyItems();
        CollectEnvPaths();
        for (Category* category : m_categories) {
            if (m_stop != 0) break;
            CollectCategory(category);
        }
        return 0;
    });
}

void CKiv::CollectCategory(Category* category) {
    for (Location* location : category->m_locations) {
        if (m_stop != 0) break;
        location->ClearItemIds();
        // A location without a handler (an unknown handler type) has nothing to read.
        if (!location->m_handler) continue;
        // Both passes always run once the first has begun.
        location->m_handler->CollectLocation(location, 1, location->m_wow64);
        location->m_handler->CollectLocation(location, 0, location->m_wow64);
    }
}

void CKiv::StopCollect() { m_stop = 1; }

const std::vector<std::wstring>& CKiv::EnvPaths() const { return m_envPaths; }

void CKiv::CollectEnvPaths() {
    // Read whole, however long, so no folder of a long PATH is missed.
    kiv::SplitTokens(kiv::ReadPathVariable(), L";", m_envPaths);
}

CKivHandler* CKiv::GetHandler(EKivHandlerType type) {
    auto it = m_handlers.find(type);
    return it == m_handlers.end() ? nullptr : it->second;
}

unsigned CKiv::ItemMapAddNew(CKivItem* item) {
    kiv::CriticalSectionLock lock(m_lock);
    // An item already registered keeps its ID.
    if (item && item->m_globalId != 0) {
        auto it = m_itemMap.find(item->m_globalId);
        if (it != m_itemMap.end() && it->second == item) return item->m_globalId;
    }
    // Dense IDs from 1 in every normal run; an ID still held by a living item is
    // never handed out again, even after an entry was removed in between.
    unsigned id = static_cast<unsigned>(m_itemMap.size()) + 1;
    if (m_itemMap.count(id) != 0) id = m_itemMap.rbegin()->first + 1;
    // 0 (no item has it) when the map cannot grow.
    return kiv::Guarded(0u, [&] {
        m_itemMap[id] = item;
        return id;
    });
}

CKivItem* CKiv::ItemMapGet(unsigned id) {
    kiv::CriticalSectionLock lock(m_lock);
    auto it = m_itemMap.find(id);
    return it == m_itemMap.end() ? nullptr : it->second;
}

void CKiv::ItemMapRemove(unsigned id) {
    // The section is re-entrant and cheap: taking it keeps a host's progress
    // thread safe even while a new run empties the map.
    kiv::CriticalSectionLock lock(m_lock);
    auto it = m_itemMap.find(id);
    if (it != m_itemMap.end()) m_itemMap.erase(it);
}
