// Buffers that a thread reading many files reuses from file to file: a fresh buffer
// per file costs more than reading a small file, since every page of it is touched
// anew. They belong to a scope on the reading thread's stack (a collection, a reader
// thread of it) and are freed when the scope ends, on that thread: objects kept per
// thread until the thread exits are not freed reliably by every runtime, and a host
// may collect on a new thread each time.
#pragma once

#include <vector>

namespace kiv {

class ThreadScratch {
public:
    // Becomes the calling thread's scratch until destroyed.
    ThreadScratch();
    ~ThreadScratch();
    ThreadScratch(const ThreadScratch&) = delete;
    ThreadScratch& operator=(const ThreadScratch&) = delete;

    // The calling thread's scratch, or null outside every scope.
    static ThreadScratch* Current();

    // For the file digest's reads.
    std::vector<unsigned char>& ReadBuffer() { return m_read; }
    // For version resources.
    std::vector<unsigned char>& VersionBuffer() { return m_version; }

private:
    ThreadScratch* m_outer;
    std::vector<unsigned char> m_read;
    std::vector<unsigned char> m_version;
};

}  // namespace kiv
