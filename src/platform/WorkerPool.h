// A few threads that run jobs beside the thread that owns them. A collection hands
// them the reading of its entries' files, so that hashing uses the cores the
// machine has while the handler goes on reading the registry.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <vector>

#include "platform/Handles.h"

namespace kiv {

class WorkerPool {
public:
    using Job = std::function<void()>;

    // Up to `workers` threads, started when the first job comes; with none, every
    // job runs inside Post.
    explicit WorkerPool(unsigned workers);
    // Finishes the queued jobs, then lets every thread end and waits for it.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues a job. A job must not raise. A job that cannot be queued (no thread
    // or no memory for it) runs at once on the calling thread.
    void Post(Job job) noexcept;
    // Runs queued jobs on the calling thread as well, and returns once every job
    // posted so far has finished.
    void Drain() noexcept;

    // How many threads read files beside the collecting thread: one per processor,
    // at most `most`, where there is more than one; none on a single processor,
    // where every file is read on the collecting thread. The collecting thread
    // spends much of its time waiting for the registry and the service manager, and
    // joins the readers once a location's entries are made, so every processor
    // reads.
    static unsigned FileReaders(unsigned most);

private:
    static DWORD WINAPI ThreadMain(void* pool);
    void Work();
    // Runs the next queued job outside the lock (taken on entry and on return);
    // false when none is queued.
    bool RunNextLocked();
    bool StartThread() noexcept;

    CriticalSection m_lock;
    CONDITION_VARIABLE m_wake;
    CONDITION_VARIABLE m_idle;
    std::deque<Job> m_jobs;
    unsigned m_busy = 0;
    bool m_stopping = false;
    unsigned m_wanted;
    std::vector<UniqueHandle> m_threads;
};

}  // namespace kiv
