// While a collection reads one location, the files of the items its handler makes
// are read on a worker pool, so hashing uses every core while the handler goes on
// reading the registry. The items reach their registry, in the order they were
// made, once all of their facts are in: a host never meets an item whose facts
// are still being read, and IDs follow the order of reading.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CKivItem;

namespace kiv {

class WorkerPool;

class DeferredFacts {
public:
    // Active on the calling thread until destroyed.
    explicit DeferredFacts(WorkerPool& pool);
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

    WorkerPool& m_pool;
    std::vector<std::unique_ptr<Pending>> m_pending;
    DeferredFacts* m_outer;
};

}  // namespace kiv
