// Reading an XML file: the whole file in one piece, its encoding detected, then parsed.
#include <windows.h>

#include <vector>

#include "platform/Handles.h"
#include "xml/XmlNode.h"

namespace kiv {

namespace {

// Far beyond any catalogue; keeps every size below the limits of the conversion calls.
constexpr LONGLONG kMaxFileBytes = 0x10000000;

// buffer := the file's bytes followed by at least four zero bytes, so that the
// content ends in a terminator whether it is read as 8-bit or as wide text.
bool ReadWholeFile(const wchar_t* path, std::vector<wchar_t>& buffer, DWORD& size) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length = {};
    if (!file || !GetFileSizeEx(file.Get(), &length) || length.QuadPart <= 0 || length.QuadPart > kMaxFileBytes) {
        return false;
    }
    size = static_cast<DWORD>(length.QuadPart);
    buffer.assign((size + 4 + 1) / sizeof(wchar_t), L'\0');
    char* bytes = reinterpret_cast<char*>(buffer.data());
    for (DWORD done = 0; done < size;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes + done, size - done, &read, nullptr) || read == 0) return false;
        done += read;
    }
    return true;
}

// UTF-8, its byte order mark skipped, into a new zero-terminated wide text.
std::vector<wchar_t> WidenUtf8(const char* bytes, DWORD size) {
    if (size >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF) {
        bytes += 3;
        size -= 3;
    }
    int count = size > 0 ? MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0) : 0;
    std::vector<wchar_t> text(static_cast<size_t>(count > 0 ? count : 0) + 1, L'\0');
    if (count > 0) MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), text.data(), count);
    return text;
}

}  // namespace

XmlNode XmlNode::OpenFileWithRoot(const wchar_t* path, const wchar_t* rootTag) noexcept {
    try {
        std::vector<wchar_t> buffer;
        DWORD size = 0;
        if (path == nullptr || !ReadWholeFile(path, buffer, size)) return XmlNode();
        if (IsTextUnicode(buffer.data(), static_cast<int>(size), nullptr)) {
            const wchar_t* text = buffer.data();
            if (text[0] == 0xFEFF) ++text;  // bytes FF FE
            return ParseString(text, rootTag);
        }
        std::vector<wchar_t> text = WidenUtf8(reinterpret_cast<const char*>(buffer.data()), size);
        return ParseString(text.data(), rootTag);
    } catch (...) {
        return XmlNode();  // out of memory
    }
}

}  // namespace kiv
