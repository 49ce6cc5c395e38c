#include "iteminfo/Md5.h"

#include <windows.h>

#include <share.h>

#include <cstring>
#include <cwchar>

#include "platform/Format.h"
#include "platform/Handles.h"
#include "platform/Log.h"

namespace {

// Per-round shift amounts and the sine-derived constants T[1..64] of RFC 1321.
const unsigned kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

const std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

std::uint32_t RotateLeft(std::uint32_t value, unsigned count) { return (value << count) | (value >> (32 - count)); }

std::uint32_t LoadLittleEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void StoreLittleEndian(std::uint64_t value, unsigned char* bytes, unsigned count) {
    for (unsigned i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The auxiliary function of round `round` (F, G, H, I) and the message word it takes at step i.
std::uint32_t RoundFunction(unsigned round, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    switch (round) {
        case 0: return (b & c) | (~b & d);
        case 1: return (b & d) | (c & ~d);
        case 2: return b ^ c ^ d;
        default: return c ^ (b | ~d);
    }
}

unsigned WordIndex(unsigned round, unsigned i) {
    switch (round) {
        case 0: return i;
        case 1: return (5 * i + 1) % 16;
        case 2: return (3 * i + 5) % 16;
        default: return (7 * i) % 16;
    }
}

}  // namespace

CMd5::CMd5() { Restart(); }

void CMd5::Restart() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_bitCount = 0;
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

void CMd5::Transform(const unsigned char block[64]) {
    std::uint32_t words[16];
    for (unsigned i = 0; i < 16; ++i) words[i] = LoadLittleEndian(block + 4 * i);
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (unsigned step = 0; step < 64; ++step) {
        const unsigned round = step / 16;
        const std::uint32_t sum = a + RoundFunction(round, b, c, d) + words[WordIndex(round, step % 16)] + kSines[step];
        a = d;
        d = c;
        c = b;
        b = b + RotateLeft(sum, kShifts[round][step % 4]);
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void CMd5::Update(const void* data, std::size_t size) {
    if (size == 0) return;  // an empty piece may come with no buffer at all
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::size_t used = static_cast<std::size_t>((m_bitCount / 8) % 64);
    m_bitCount += static_cast<std::uint64_t>(size) * 8;
    if (used > 0) {
        const std::size_t take = size < 64 - used ? size : 64 - used;
        std::memcpy(m_buffer + used, bytes, take);
        bytes += take;
        size -= take;
        if (used + take < 64) return;
        Transform(m_buffer);
    }
    for (; size >= 64; bytes += 64, size -= 64) Transform(bytes);
    std::memcpy(m_buffer, bytes, size);
}

void CMd5::Final(unsigned char digest[16]) {
    // The length is taken before padding: one 0x80 byte, zeros up to 56 mod 64,
    // then the message length in bits as 64-bit little-endian.
    unsigned char length[8];
    StoreLittleEndian(m_bitCount, length, 8);
    static const unsigned char kPadding[64] = {0x80};
    const std::size_t used = static_cast<std::size_t>((m_bitCount / 8) % 64);
    Update(kPadding, used < 56 ? 56 - used : 120 - used);
    Update(length, 8);
    for (unsigned i = 0; i < 4; ++i) StoreLittleEndian(m_state[i], digest + 4 * i, 4);
    Restart();
}

namespace kiv {

std::wstring Md5Text(const unsigned char digest[16]) {
    std::wstring text;
    for (unsigned i = 0; i < 16; ++i) text += WideFormat(L"%02x", digest[i]);
    return text;
}

std::wstring FileMd5(const wchar_t* path) {
    if (!path || std::wcslen(path) < 4) return std::wstring();
    // Readers and writers of the file are not locked out: the files of running
    // programs and services are hashed while they are in use.
    UniqueCrtFile file(_wfsopen(path, L"rb", _SH_DENYNO));
    if (!file) {
        LogLineLevel(3, L"UTILS\t FileMD5:\t Failed opening file %s, lerror=%d\n", path, GetLastError());
        return std::wstring();
    }
    // Hashing is the dominant cost of a collection; a large stream buffer keeps the
    // many small reads off the disk.
    if (setvbuf(file.Get(), nullptr, _IOFBF, 0x100000) != 0) return std::wstring();
    CMd5 md5;
    unsigned char chunk[4096];
    for (std::size_t got; (got = fread(chunk, 1, sizeof(chunk), file.Get())) > 0;) md5.Update(chunk, got);
    // A read that breaks off would give the digest of part of the file, which the
    // whitelist could match against the wrong file: such a file counts as unreadable.
    if (ferror(file.Get())) return std::wstring();
    unsigned char digest[16];
    md5.Final(digest);
    return Md5Text(digest);
}

}  // namespace kiv
