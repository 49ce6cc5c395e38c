#include "platform/WorkerPool.h"

#include "platform/ThreadScratch.h"

#include <new>
#include <utility>

namespace kiv {
namespace {

// A job is not to raise; one that does anyway ends without taking its thread along.
void RunJob(WorkerPool::Job& job) noexcept {
    try {
        job();
    } catch (...) {}
    job = nullptr;
}

}  // namespace

WorkerPool::WorkerPool(unsigned workers) : m_wanted(workers) {
    InitializeConditionVariable(&m_wake);
    InitializeConditionVariable(&m_idle);
}

WorkerPool::~WorkerPool() {
    Drain();
    {
        CriticalSectionLock lock(m_lock);
        m_stopping = true;
    }
    WakeAllConditionVariable(&m_wake);
    for (const UniqueHandle& thread : m_threads) WaitForSingleObject(thread.Get(), INFINITE);
}

unsigned WorkerPool::FileReaders(unsigned most) {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const unsigned readers = info.dwNumberOfProcessors > 1 ? info.dwNumberOfProcessors : 0;
    return readers < most ? readers : most;
}

bool WorkerPool::StartThread() noexcept {
    try {
        m_threads.reserve(m_threads.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    UniqueHandle thread(CreateThread(nullptr, 0, &WorkerPool::ThreadMain, this, 0, nullptr));
    if (!thread) return false;
    m_threads.push_back(std::move(thread));
    return true;
}

void WorkerPool::Post(Job job) noexcept {
    bool queued = false;
    {
        CriticalSectionLock lock(m_lock);
        // The threads start with the first job, so a collection that finds nothing
        // to read starts none.
        while (m_threads.size() < m_wanted && StartThread()) {}
        if (!m_threads.empty()) {
            try {
                m_jobs.push_back(std::move(job));
                queued = true;
            } catch (const std::bad_alloc&) {}
        }
    }
    if (queued) WakeConditionVariable(&m_wake);
    else if (job) RunJob(job);
}

bool WorkerPool::RunNextLocked() {
    if (m_jobs.empty()) return false;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    ++m_busy;
    LeaveCriticalSection(&m_lock.Get());
    RunJob(job);
    EnterCriticalSection(&m_lock.Get());
    if (--m_busy == 0 && m_jobs.empty()) WakeAllConditionVariable(&m_idle);
    return true;
}

void WorkerPool::Drain() noexcept {
    CriticalSectionLock lock(m_lock);
    while (RunNextLocked() || m_busy != 0) {
        if (m_jobs.empty() && m_busy != 0) SleepConditionVariableCS(&m_idle, &m_lock.Get(), INFINITE);
    }
}

void WorkerPool::Work() {
    CriticalSectionLock lock(m_lock);
    while (RunNextLocked() || !m_stopping) {
        if (m_jobs.empty() && !m_stopping) SleepConditionVariableCS(&m_wake, &m_lock.Get(), INFINITE);
    }
}

DWORD WINAPI WorkerPool::ThreadMain(void* pool) {
    // A reader keeps its buffers for its lifetime and frees them before it ends.
    ThreadScratch scratch;
    static_cast<WorkerPool*>(pool)->Work();
    return 0;
}

}  // namespace kiv
