// Owners for memory that COM servers hand out with the task allocator: a single
// string, and an array of strings together with every string in it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "platform/Handles.h"

namespace kiv {

struct TaskMemTraits {
    static wchar_t* Invalid() noexcept { return nullptr; }
    static void Close(wchar_t* text) noexcept { CoTaskMemFree(text); }
};

using UniqueTaskString = UniqueResource<wchar_t*, TaskMemTraits>;

// An array of count strings, as an enumerator's Next returns them; frees the
// strings still held and the array itself.
class TaskStringArray {
public:
    TaskStringArray() noexcept = default;
    ~TaskStringArray() { Reset(); }
    TaskStringArray(const TaskStringArray&) = delete;
    TaskStringArray& operator=(const TaskStringArray&) = delete;

    wchar_t*** PutArray() noexcept {
        Reset();
        return &m_strings;
    }
    ULONG* PutCount() noexcept { return &m_count; }
    ULONG Count() const noexcept { return m_strings ? m_count : 0; }
    const wchar_t* At(ULONG index) const noexcept { return m_strings[index]; }

    void Reset() noexcept {
        if (m_strings) {
            for (ULONG i = 0; i < m_count; ++i) CoTaskMemFree(m_strings[i]);
            CoTaskMemFree(m_strings);
        }
        m_strings = nullptr;
        m_count = 0;
    }

private:
    wchar_t** m_strings = nullptr;
    ULONG m_count = 0;
};

}  // namespace kiv
