#include "platform/Environment.h"

#include <windows.h>

#include <vector>

#include "platform/FileSystem.h"

namespace kiv {

std::wstring ExpandPlain(const std::wstring& text) {
    // Room for the usual growth first; a longer result is expanded again into a
    // buffer of the size the system asks for, never cut.
    std::vector<wchar_t> buffer(text.size() + MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return std::wstring();
        if (needed <= buffer.size()) return std::wstring(buffer.data());
        buffer.assign(needed, L'\0');
    }
    return std::wstring();
}

void ExpandPath(std::wstring& text) {
    text = ExpandPlain(text);
    ToLongPath(text);
}

// A value that does not fit the first buffer is read again into a buffer of the
// size the system reported.
std::wstring ReadPathVariable() {
    std::vector<wchar_t> buffer(2048, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = GetEnvironmentVariableW(L"PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.assign(length, L'\0');  // the size needed, terminator included
    }
    return std::wstring();
}

}  // namespace kiv
