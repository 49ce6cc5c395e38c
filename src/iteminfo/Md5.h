// The MD5 digest (RFC 1321) of a file's bytes, the fingerprint by which the
// whitelist recognises files known to be harmless.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Handles.h"

class CMd5 {
public:
    CMd5();

    // Feeds bytes; may be called any number of times before Final.
    void Update(const void* data, std::size_t size);

    // Pads the message, writes the 16 digest bytes and starts over.
    void Final(unsigned char digest[16]);

private:
    void Transform(const unsigned char block[64]);
    void Restart();

    std::uint32_t m_state[4];
    std::uint64_t m_bitCount;
    unsigned char m_buffer[64];
};

namespace kiv {

// The 16 digest bytes as 32 lower-case hexadecimal digits.
std::wstring Md5Text(const unsigned char digest[16]);

// What one pass over a file's bytes learns: the digest, and what the open handle
// tells about the file, so that its size and times need no open of their own.
struct FileDigest {
    std::wstring md5;        // empty when the file could not be read whole
    bool described = false;  // size and times hold the handle's facts
    unsigned long long size = 0;
    FILETIME created = {};
    FILETIME modified = {};
    bool startsAsImage = false;  // the first bytes are "MZ", as in every executable image
    // The whole file as read, when one read held all of it (in the reading thread's
    // buffer, valid until the thread reads its next file); null otherwise.
    const unsigned char* whole = nullptr;
};

// Opens the file once, without locking out its readers and writers, and reads it
// whole into a buffer the calling thread reuses from file to file. A null path or
// one shorter than four characters is not opened.
FileDigest HashFile(const wchar_t* path);
// The same, handing the open file to the caller (null when it could not be
// opened), so that the file's other facts are read without opening it again.
FileDigest HashFile(const wchar_t* path, UniqueFile& open);

// The digest of the file's bytes as 32 lower-case digits; empty for a null path,
// one shorter than four characters, or a file that cannot be opened.
std::wstring FileMd5(const wchar_t* path);

}  // namespace kiv
