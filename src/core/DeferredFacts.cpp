#include "core/DeferredFacts.h"

#include <new>

#include "core/Records.h"
#include "iteminfo/FileFacts.h"
#include "platform/Log.h"
#include "platform/WorkerPool.h"

namespace kiv {
namespace {

thread_local DeferredFacts* t_active = nullptr;

}  // namespace

struct DeferredFacts::Pending {
    std::unique_ptr<CKivItem> item;
    std::wstring fileText;
    // Written by the reading thread; read only after the pool has drained.
    bool filled = false;
    LogCalls log;

    void Fill() noexcept {
        const LogCapture capture(log);
        try {
            FillFileFacts(item->m_file, fileText);
            filled = true;
        } catch (...) {}
    }
};

DeferredFacts::DeferredFacts(WorkerPool& pool) : m_pool(pool), m_outer(t_active) { t_active = this; }

DeferredFacts::~DeferredFacts() {
    // A location whose reading broke off keeps the items made before, as when each
    // item was registered as soon as it was made.
    Register();
    t_active = m_outer;
}

DeferredFacts* DeferredFacts::Active() { return t_active; }

bool DeferredFacts::Take(CKivItem* item, const std::wstring& fileText) {
    // Everything that can fail comes before the item is taken over: once it is,
    // the item's constructor must return normally.
    Pending* pending = nullptr;
    WorkerPool::Job job;
    bool viaShell = false;
    try {
        auto made = std::make_unique<Pending>();
        made->fileText = fileText;
        pending = made.get();
        // A shortcut's target is read through the shell's objects, which belong to
        // the apartment of the thread that runs the collection.
        viaShell = ReadsThroughShell(fileText);
        if (!viaShell) job = [pending] { pending->Fill(); };
        m_pending.push_back(std::move(made));
    } catch (const std::bad_alloc&) {
        return false;
    }
    pending->item.reset(item);
    if (viaShell) pending->Fill();
    else m_pool.Post(std::move(job));
    return true;
}

void DeferredFacts::Register() {
    m_pool.Drain();
    for (const std::unique_ptr<Pending>& pending : m_pending) {
        ReplayLog(pending->log);
        if (!pending->filled) continue;
        CKivItem* item = pending->item.release();
        ItemRegistry* registry = item->m_location ? item->m_location->m_registry : nullptr;
        if (!registry || registry->AddItem(item) == 0) delete item;
    }
    m_pending.clear();
}

}  // namespace kiv
