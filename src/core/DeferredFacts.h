// While a collection reads one location, the files of the items its handler makes
// are read on a worker pool, so hashing uses every core while the handler goes on
// reading the registry. The items reach their registry, in the order they were
// made, once all of their facts are in: a host never meets an item whose facts
// are still being read, and IDs follow the order of reading.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "iteminfo/FileFacts.h"
#include "platform/Log.h"

class CKivItem;

namespace kiv {

class WorkerPool;

// The facts of the files read so far in one collection, by path: many entries
// start the same few files (services sharing a host process, system libraries),
// and a file's facts are read once and given to every entry that names it while
// its path, size and times stay the same. Used on the collecting thread only.
class FileFactsMemo {
public:
    struct Kept {
        bool read = false;  // false while the first entry's facts are still being read
        KivFileFacts facts;
        LogCalls log;  // what reading them wrote, written again for each entry
    };

    // The path as the memo keys it: the path as the entry names it, since the facts
    // carry the path and name as written.
    static std::wstring Key(const std::wstring& path);
    // The entry for the key, made (not yet read) when there was none; the bool says
    // whether it was made now.
    std::pair<Kept*, bool> Claim(const std::wstring& key);
    // Facts kept for the key whose file has not changed since, or null.
    const Kept* Find(const std::wstring& key, const std::wstring& path) const;
    void Keep(const std::wstring& key, const KivFileFacts& facts, const LogCalls& log);
    void Forget(const std::wstring& key);

private:
    std::unordered_map<std::wstring, Kept> m_kept;
};

class DeferredFacts {
public:
    // Active on the calling thread until destroyed; files named by several entries
    // are read once through the collection's memo.
    DeferredFacts(WorkerPool& pool, FileFactsMemo& memo);
    // Registers what is still pending (a location whose reading broke off).
    ~DeferredFacts();
    DeferredFacts(const DeferredFacts&) = delete;
    DeferredFacts& operator=(const DeferredFacts&) = delete;

    // The one active on the calling thread, or null.
    static DeferredFacts* Active();

    // Takes over a newly made item and has its facts read from the text; false
    // when it cannot (no memory), and the item then reads them itself.
    bool Take(CKivItem* item, const std::wstring& fileText);
    // Waits for every fact, then hands each item to its location's registry. An
    // item whose facts could not be read, or that no registry took, is freed.
    void Register();

private:
    struct Pending;
    void Remember(Pending& pending);
    void Follow(Pending& pending);

    WorkerPool& m_pool;
    FileFactsMemo& m_memo;
    std::vector<std::unique_ptr<Pending>> m_pending;
    DeferredFacts* m_outer;
};

}  // namespace kiv
