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

std::wstring FileFactsMemo::Key(const std::wstring& path) { return path; }

std::pair<FileFactsMemo::Kept*, bool> FileFactsMemo::Claim(const std::wstring& key) {
    auto made = m_kept.emplace(key, Kept());
    return {&made.first->second, made.second};
}

const FileFactsMemo::Kept* FileFactsMemo::Find(const std::wstring& key, const std::wstring& path) const {
    auto found = m_kept.find(key);
    if (found == m_kept.end() || !found->second.read) return nullptr;
    return SameFileState(found->second.facts, path) ? &found->second : nullptr;
}

void FileFactsMemo::Keep(const std::wstring& key, const KivFileFacts& facts, const LogCalls& log) {
    Kept& kept = m_kept[key];
    kept.facts = facts;
    // The icon is extracted for each item that shows one, and each item owns its own.
    kept.facts.icon = nullptr;
    kept.facts.iconExtracted = false;
    kept.log = log;
    kept.read = true;
}

void FileFactsMemo::Forget(const std::wstring& key) { m_kept.erase(key); }

struct DeferredFacts::Pending {
    std::unique_ptr<CKivItem> item;
    std::wstring fileText;
    std::wstring key;      // the memo's key; empty for a file read without it (a shortcut)
    bool follows = false;  // another entry reads the same file: its facts are taken
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

DeferredFacts::DeferredFacts(WorkerPool& pool, FileFactsMemo& memo) : m_pool(pool), m_memo(memo), m_outer(t_active) {
    t_active = this;
}

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
        if (!viaShell) {
            made->key = FileFactsMemo::Key(fileText);
            made->follows = !m_memo.Claim(made->key).second;
            if (!made->follows) job = [pending] { pending->Fill(); };
        }
        m_pending.push_back(std::move(made));
    } catch (const std::bad_alloc&) {
        return false;
    }
    pending->item.reset(item);
    if (viaShell) pending->Fill();
    else if (!pending->follows) m_pool.Post(std::move(job));
    return true;
}

// Only a file that was read whole is kept: one that could not be opened may be
// there for the next entry.
void DeferredFacts::Remember(Pending& pending) {
    try {
        if (pending.filled && !pending.item->m_file.md5.empty())
            m_memo.Keep(pending.key, pending.item->m_file, pending.log);
        else m_memo.Forget(pending.key);
    } catch (const std::bad_alloc&) {
        m_memo.Forget(pending.key);
    }
}

// The facts of the entry that read the same file, while it has not changed since;
// otherwise the file is read here.
void DeferredFacts::Follow(Pending& pending) {
    const FileFactsMemo::Kept* kept = m_memo.Find(pending.key, pending.fileText);
    if (kept) {
        try {
            pending.item->m_file = kept->facts;
            pending.log = kept->log;
            pending.filled = true;
            return;
        } catch (const std::bad_alloc&) {}
    }
    pending.Fill();
}

void DeferredFacts::Register() {
    m_pool.Drain();
    for (const std::unique_ptr<Pending>& pending : m_pending) {
        if (pending->follows) Follow(*pending);
        else if (!pending->key.empty()) Remember(*pending);
        ReplayLog(pending->log);
        if (!pending->filled) continue;
        CKivItem* item = pending->item.release();
        ItemRegistry* registry = item->m_location ? item->m_location->m_registry : nullptr;
        if (!registry || registry->AddItem(item) == 0) delete item;
    }
    m_pending.clear();
}

}  // namespace kiv
