// The process-wide facade: lifecycle, the collection walk and the item map.
#include "core/Facade.h"

#include <algorithm>
#include <memory>
#include <new>

#include "core/DeferredFacts.h"
#include "core/Guard.h"
#include "core/HandlerFactory.h"
#include "core/Records.h"
#include "platform/Environment.h"
#include "platform/CollectionProbes.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Text.h"
#include "platform/ThreadScratch.h"
#include "platform/WorkerPool.h"

using kiv::Facade;
using kiv::LogLine;

namespace {

const unsigned kMostReaders = 3;

// The one facade of the process; null before Init and after Dispose.
std::unique_ptr<Facade> g_instance;

}  // namespace

kiv::Facade& CKiv::Self() { return Facade::Of(*this); }
const kiv::Facade& CKiv::Self() const { return Facade::Of(const_cast<CKiv&>(*this)); }

CKiv* CKiv::Init() {
    LogLine(L"KIV\t\t\t Init..\n");
    if (g_instance) {
        LogLine(L"KIV\t\t\t Init.. Already done.\n");
        return g_instance.get();
    }
    std::unique_ptr<Facade> facade(kiv::Guarded(static_cast<Facade*>(nullptr), [] { return new Facade(); }));
    if (!facade) return nullptr;
    const bool loaded = kiv::Guarded(false, [&] { return facade->LoadData(); });
    // Whatever was loaded stays: a failed load keeps the facade.
    g_instance = std::move(facade);
    if (!loaded) {
        MessageBoxW(nullptr, L"Unable to initialize KIV data.", L"Error", MB_ICONERROR);
        return g_instance.get();
    }
    LogLine(L"KIV\t\t\t Init.. OK\n");
    return g_instance.get();
}

CKiv* CKiv::Get() { return g_instance.get(); }

void CKiv::Dispose() {
    if (!g_instance) return;
    LogLine(L"KIV\t\t\t Disposing..\n");
    g_instance.reset();
    LogLine(L"KIV\t\t\t Disposing.. OK\n");
}

namespace kiv {

// Room for one more element, growing by half again or more, so that filling a list
// one by one stays linear.
template <typename Vector>
void MakeRoomForOne(Vector& vector) {
    if (vector.size() == vector.capacity()) vector.reserve(vector.size() < 8 ? 8 : vector.size() * 2);
}

Facade::Facade() {
    for (int type = RegValue; type <= HiddenTasks; ++type) {
        const auto t = static_cast<EKivHandlerType>(type);
        std::unique_ptr<CKivHandler> handler(CreateKivHandler(t));
        if (handler) m_handlers[t] = std::move(handler);
    }
}

Facade::~Facade() {
    m_handlers.clear();
    // Items go before locations: an item's destructor updates its location.
    DestroyItems();
    m_categories.clear();
}

void Facade::DestroyItems() {
    CriticalSectionLock lock(m_lock);
    // In ascending ID order. Each entry leaves the map before its item is
    // destroyed, so the item's destructor has only its location's list to update.
    while (!m_itemMap.empty()) {
        std::unique_ptr<CKivItem> item = std::move(m_itemMap.begin()->second);
        m_itemMap.erase(m_itemMap.begin());
    }
    m_detached.clear();
}

// Marks a location as being read for the length of its passes (its items are
// not complete before), its item ID list emptied first.
class Facade::ReadingScope {
public:
    ReadingScope(Facade& facade, Location& location) : m_facade(facade) {
        CriticalSectionLock lock(m_facade.m_lock);
        location.ClearItemIds();
        m_facade.m_reading = &location;
        m_facade.m_readingThread = GetCurrentThreadId();
    }
    ~ReadingScope() {
        CriticalSectionLock lock(m_facade.m_lock);
        m_facade.m_reading = nullptr;
    }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    Facade& m_facade;
};

void Facade::CollectCategory(Category& category, WorkerPool& readers) {
    for (const std::unique_ptr<Location>& location : category.m_locations) {
        if (m_stop != 0) break;
        ReadingScope reading(*this, *location);
        // A location without a handler (an unknown handler type) has nothing to read.
        if (!location->m_handler) continue;
        DeferredFacts facts(readers);
        // Both passes always run once the first has begun.
        location->m_handler->CollectLocation(location.get(), 1, location->m_wow64);
        location->m_handler->CollectLocation(location.get(), 0, location->m_wow64);
        facts.Register();
    }
}

void Facade::CollectEnvPaths() {
    // Read whole, however long, so no folder of a long PATH is missed.
    SplitTokens(ReadPathVariable(), L";", m_envPaths);
}

unsigned Facade::AddItem(CKivItem* item) {
    if (!item) return 0;
    CriticalSectionLock lock(m_lock);
    // An item already registered keeps its ID.
    if (item->m_globalId != 0) {
        auto it = m_itemMap.find(item->m_globalId);
        if (it != m_itemMap.end() && it->second.get() == item) return item->m_globalId;
    }
    // Dense IDs from 1 in every normal run; an ID still held by a living item (one
    // whose entry was removed from the map included) is never handed out again.
    unsigned id = static_cast<unsigned>(m_itemMap.size()) + 1;
    if (m_itemMap.count(id) != 0 || HeldByDetached(id)) id = HighestId() + 1;
    Location* location = item->m_location;
    // Room for everything first: once the map owns the item, nothing may fail.
    const bool room = Guarded(false, [&] {
        if (location) MakeRoomForOne(location->m_itemIds);
        m_itemMap.emplace(id, nullptr);
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
    m_itemMap[id].reset(item);
    item->m_globalId = id;
    if (location) location->m_itemIds.push_back(id);
    return id;
}

bool Facade::HeldByDetached(unsigned id) const {
    return std::any_of(m_detached.begin(), m_detached.end(),
                       [id](const std::unique_ptr<CKivItem>& item) { return item->m_globalId == id; });
}

unsigned Facade::HighestId() const {
    unsigned highest = m_itemMap.empty() ? 0 : m_itemMap.rbegin()->first;
    for (const std::unique_ptr<CKivItem>& item : m_detached) highest = std::max(highest, item->m_globalId);
    return highest;
}

void Facade::ForgetItem(unsigned id, const CKivItem* item) {
    CriticalSectionLock lock(m_lock);
    auto it = m_itemMap.find(id);
    // The item is being destroyed by someone else: the map lets go without a second delete.
    if (it != m_itemMap.end() && it->second.get() == item) {
        it->second.release();
        m_itemMap.erase(it);
    }
    if (item && item->m_location) item->m_location->RemoveItemId(id);
}

}  // namespace kiv

void CKiv::Collect() {
    Facade& self = Self();
    self.m_stop = 0;
    kiv::Guarded(0, [&] {
        // Entries of one run probe the same folders over and over.
        kiv::CollectionProbes probes;
        kiv::ThreadScratch scratch;
        // Files are read on the processors the collecting thread leaves free; more
        // than a few readers only queue at the disk.
        kiv::WorkerPool readers(kiv::WorkerPool::SpareProcessors(kMostReaders));
        self.DestroyItems();
        self.CollectEnvPaths();
        for (const std::unique_ptr<Category>& category : self.m_categories) {
            if (self.m_stop != 0) break;
            self.CollectCategory(*category, readers);
        }
        return 0;
    });
}

void CKiv::StopCollect() { Self().m_stop = 1; }

const std::vector<std::wstring>& CKiv::EnvPaths() const { return Self().EnvPaths(); }

CKivHandler* CKiv::GetHandler(EKivHandlerType type) {
    Facade& self = Self();
    auto it = self.m_handlers.find(type);
    return it == self.m_handlers.end() ? nullptr : it->second.get();
}

unsigned CKiv::ItemMapAddNew(CKivItem* item) { return Self().AddItem(item); }

CKivItem* CKiv::ItemMapGet(unsigned id) {
    Facade& self = Self();
    kiv::CriticalSectionLock lock(self.m_lock);
    auto it = self.m_itemMap.find(id);
    return it == self.m_itemMap.end() ? nullptr : it->second.get();
}

void CKiv::ItemMapRemove(unsigned id) {
    Facade& self = Self();
    kiv::CriticalSectionLock lock(self.m_lock);
    auto it = self.m_itemMap.find(id);
    if (it == self.m_itemMap.end()) return;
    // The item stays alive, unreachable by ID, until the next run destroys it; a
    // pointer the host still holds does not dangle. Without room for that, the
    // entry stays.
    kiv::Guarded(0, [&] {
        kiv::MakeRoomForOne(self.m_detached);
        self.m_detached.push_back(std::move(it->second));
        self.m_itemMap.erase(it);
        return 0;
    });
}
