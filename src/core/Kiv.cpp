// The process-wide facade: lifecycle, the collection walk and the item map's exported members.
#include "core/Facade.h"

#include <memory>

#include "core/DeferredFacts.h"
#include "core/Guard.h"
#include "core/HandlerFactory.h"
#include "core/Records.h"
#include "platform/CollectionProbes.h"
#include "platform/Handles.h"
#include "platform/Log.h"
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

// More than a few readers only queue at the disk.
Facade::Facade() : m_fileReaders(WorkerPool::FileReaders(kMostReaders)) {
    for (int type = RegValue; type <= WmiSubscriptions; ++type) {
        const auto t = static_cast<EKivHandlerType>(type);
        std::unique_ptr<CKivHandler> handler(CreateKivHandler(t));
        if (handler) m_handlers[t] = std::move(handler);
    }
}

Facade::~Facade() {
    m_handlers.clear();
    // Items go before locations: an item's destructor updates its location.
    m_items.DestroyAll();
    m_catalogue.Clear();
}

bool Facade::LoadData() {
    wchar_t path[MAX_PATH];
    if (!Catalogue::Locate(path)) return false;
    m_whiteList.LoadHostFile();
    m_catalogue.Read(path);
    return true;
}

// Marks a location as being read for the length of its passes (its items are
// not complete before), its item ID list emptied first.
class Facade::ReadingScope {
public:
    ReadingScope(Facade& facade, Location& location) : m_facade(facade) {
        CriticalSectionLock lock(m_facade.m_items.Lock());
        location.ClearItemIds();
        m_facade.m_reading = &location;
        m_facade.m_readingThread = GetCurrentThreadId();
    }
    ~ReadingScope() {
        CriticalSectionLock lock(m_facade.m_items.Lock());
        m_facade.m_reading = nullptr;
    }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    Facade& m_facade;
};

// Makes the other users' hives readable for a collection and unloads the ones
// the module loaded when it ends, on every path out of it; under the item map's
// lock, as an action on another thread may make them readable too.
class Facade::UserHivesScope {
public:
    explicit UserHivesScope(Facade& facade) : m_facade(facade) {
        CriticalSectionLock lock(m_facade.m_items.Lock());
        for (const std::unique_ptr<UserProfile>& user : m_facade.m_catalogue.Users()) user->MakeReadable();
    }
    ~UserHivesScope() {
        CriticalSectionLock lock(m_facade.m_items.Lock());
        for (const std::unique_ptr<UserProfile>& user : m_facade.m_catalogue.Users()) user->Release();
    }
    UserHivesScope(const UserHivesScope&) = delete;
    UserHivesScope& operator=(const UserHivesScope&) = delete;

private:
    Facade& m_facade;
};

void Facade::CollectCategory(Category& category, WorkerPool& readers, FileFactsMemo& memo) {
    for (const std::unique_ptr<Location>& location : category.m_locations) {
        if (m_stop != 0) break;
        ReadingScope reading(*this, *location);
        // A location without a handler (an unknown handler type) has nothing to read,
        // nor has one whose user's hive could not be loaded (the host shows why).
        if (!location->m_handler || (location->m_user && !location->m_user->Reads(*location))) continue;
        DeferredFacts facts(readers, memo);
        // Both passes always run once the first has begun.
        location->m_handler->CollectLocation(location.get(), 1, location->m_wow64);
        location->m_handler->CollectLocation(location.get(), 0, location->m_wow64);
        facts.Register();
    }
}

}  // namespace kiv

void CKiv::Collect() {
    Facade& self = Self();
    self.m_stop = 0;
    kiv::Guarded(0, [&] {
        // Entries of one run probe the same folders over and over.
        kiv::CollectionProbes probes;
        kiv::ThreadScratch scratch;
        kiv::WorkerPool readers(self.m_fileReaders);
        kiv::FileFactsMemo memo;
        self.m_items.DestroyAll();
        self.m_items.ReadEnvPaths();
        Facade::UserHivesScope hives(self);
        for (const std::unique_ptr<Category>& category : self.m_catalogue.Categories()) {
            if (self.m_stop != 0) break;
            self.CollectCategory(*category, readers, memo);
        }
        return 0;
    });
}

void CKiv::StopCollect() { Self().m_stop = 1; }

const std::vector<std::wstring>& CKiv::EnvPaths() const { return Self().m_items.EnvPaths(); }

CKivHandler* CKiv::GetHandler(EKivHandlerType type) {
    Facade& self = Self();
    auto it = self.m_handlers.find(type);
    return it == self.m_handlers.end() ? nullptr : it->second.get();
}

unsigned CKiv::ItemMapAddNew(CKivItem* item) { return Self().m_items.AddItem(item); }

CKivItem* CKiv::ItemMapGet(unsigned id) {
    kiv::ItemMap& items = Self().m_items;
    kiv::CriticalSectionLock lock(items.Lock());
    return items.Find(id);
}

void CKiv::ItemMapRemove(unsigned id) { Self().m_items.Detach(id); }
