#include "platform/ThreadScratch.h"

namespace kiv {
namespace {

// A plain pointer: nothing needs freeing when a thread ends.
thread_local ThreadScratch* t_current = nullptr;

}  // namespace

ThreadScratch::ThreadScratch() : m_outer(t_current) { t_current = this; }

ThreadScratch::~ThreadScratch() { t_current = m_outer; }

ThreadScratch* ThreadScratch::Current() { return t_current; }

}  // namespace kiv
