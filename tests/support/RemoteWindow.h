// Driving windows of another program from a test: waiting with a limit, asking a
// window without hanging on it, and a block of memory inside the other program for
// the messages that exchange structures by pointer.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handles.h"

namespace kivtest {

// Polls until the condition holds or the limit passes, so that no test can hang.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs) {
    for (DWORD waited = 0; !condition(); waited += 50) {
        if (waited >= limitMs) return false;
        Sleep(50);
    }
    return true;
}

inline LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &answer);
    return static_cast<LRESULT>(answer);
}

class RemoteBlock {
public:
    RemoteBlock(HWND window, SIZE_T size) : m_size(size) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        m_process.Reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id));
        if (m_process)
            m_base = static_cast<char*>(VirtualAllocEx(m_process.Get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBlock() {
        if (m_base) VirtualFreeEx(m_process.Get(), m_base, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* At(SIZE_T offset) const { return m_base + offset; }
    bool Write(const void* data, SIZE_T size) const {
        return m_base && WriteProcessMemory(m_process.Get(), m_base, data, size, nullptr);
    }
    std::wstring ReadText(SIZE_T offset) const {
        std::vector<wchar_t> text((m_size - offset) / sizeof(wchar_t) + 1, L'\0');
        if (m_base) ReadProcessMemory(m_process.Get(), At(offset), text.data(), m_size - offset, nullptr);
        return text.data();
    }

private:
    kiv::UniqueHandle m_process;
    char* m_base = nullptr;
    SIZE_T m_size;
};

}  // namespace kivtest
