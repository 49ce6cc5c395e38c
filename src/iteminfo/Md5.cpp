#include "iteminfo/Md5.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/ThreadScratch.h"

namespace {

inline std::uint32_t RotateLeft(std::uint32_t value, unsigned count) {
    return (value << count) | (value >> (32 - count));
}

std::uint32_t LoadLittleEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void StoreLittleEndian(std::uint64_t value, unsigned char* bytes, unsigned count) {
    for (unsigned i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The four auxiliary functions of RFC 1321, and one step of its rounds:
// a = b + ((a + f(b, c, d) + x[k] + T[i]) <<< s).
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

template <std::uint32_t (*Function)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, unsigned s,
                 std::uint32_t t) {
    a = b + RotateLeft(a + Function(b, c, d) + x + t, s);
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
    std::uint32_t x[16];
    for (unsigned i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    // The 64 steps as RFC 1321 lists them: word index, shift and sine constant T[i].
    // Written out, the compiler keeps the four words in registers through all rounds.

    // Round 1: F(b, c, d) = (b & c) | (~b & d).
    Step<F>(a, b, c, d, x[0], 7, 0xd76aa478);
    Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    Step<F>(c, d, a, b, x[2], 17, 0x242070db);
    Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);
    Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    Step<F>(c, d, a, b, x[6], 17, 0xa8304613);
    Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    Step<F>(a, b, c, d, x[8], 7, 0x698098d8);
    Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1);
    Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    Step<F>(a, b, c, d, x[12], 7, 0x6b901122);
    Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    Step<F>(c, d, a, b, x[14], 17, 0xa679438e);
    Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    // Round 2: G(b, c, d) = (b & d) | (c & ~d).
    Step<G>(a, b, c, d, x[1], 5, 0xf61e2562);
    Step<G>(d, a, b, c, x[6], 9, 0xc040b340);
    Step<G>(c, d, a, b, x[11], 14, 0x265e5a51);
    Step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    Step<G>(a, b, c, d, x[5], 5, 0xd62f105d);
    Step<G>(d, a, b, c, x[10], 9, 0x02441453);
    Step<G>(c, d, a, b, x[15], 14, 0xd8a1e681);
    Step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    Step<G>(a, b, c, d, x[9], 5, 0x21e1cde6);
    Step<G>(d, a, b, c, x[14], 9, 0xc33707d6);
    Step<G>(c, d, a, b, x[3], 14, 0xf4d50d87);
    Step<G>(b, c, d, a, x[8], 20, 0x455a14ed);
    Step<G>(a, b, c, d, x[13], 5, 0xa9e3e905);
    Step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
    Step<G>(c, d, a, b, x[7], 14, 0x676f02d9);
    Step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    // Round 3: H(b, c, d) = b ^ c ^ d.
    Step<H>(a, b, c, d, x[5], 4, 0xfffa3942);
    Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122);
    Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    Step<H>(a, b, c, d, x[1], 4, 0xa4beea44);
    Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);
    Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);
    Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);
    Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);
    Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8);
    Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    // Round 4: I(b, c, d) = c ^ (b | ~d).
    Step<I>(a, b, c, d, x[0], 6, 0xf4292244);
    Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    Step<I>(c, d, a, b, x[14], 15, 0xab9423a7);
    Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    Step<I>(a, b, c, d, x[12], 6, 0x655b59c3);
    Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    Step<I>(c, d, a, b, x[10], 15, 0xffeff47d);
    Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);
    Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    Step<I>(c, d, a, b, x[6], 15, 0xa3014314);
    Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    Step<I>(a, b, c, d, x[4], 6, 0xf7537e82);
    Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

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
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(32, L'0');
    for (unsigned i = 0; i < 16; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    return text;
}

namespace {

const DWORD kReadSize = 0x40000;

// Hashes the open file to its end; false when a read breaks off.
bool HashOpenFile(HANDLE file, FileDigest& result) {
    // The reading thread's buffer when it keeps one, else one for this file.
    std::vector<unsigned char> own;
    ThreadScratch* scratch = ThreadScratch::Current();
    std::vector<unsigned char>& kept = scratch ? scratch->ReadBuffer() : own;
    try {
        if (kept.size() < kReadSize) kept.resize(kReadSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned char* buffer = kept.data();
    CMd5 md5;
    unsigned long long total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, kReadSize, &got, nullptr)) return false;
        if (got == 0) break;
        if (total == 0) result.startsAsImage = got >= 2 && buffer[0] == 'M' && buffer[1] == 'Z';
        total += got;
        md5.Update(buffer, got);
        // A short read that reaches the size the handle reported is the end of the
        // file: a further read would only say so. A file that grew meanwhile is
        // read on to its new end.
        if (got < kReadSize && result.described && total >= result.size) {
            if (total == got && total == result.size && scratch) result.whole = buffer;
            break;
        }
    }
    unsigned char digest[16];
    md5.Final(digest);
    result.md5 = Md5Text(digest);
    return true;
}

FILETIME AsFileTime(const LARGE_INTEGER& time) {
    return FILETIME{static_cast<DWORD>(time.QuadPart & 0xFFFFFFFF), static_cast<DWORD>(time.QuadPart >> 32)};
}

// Size and times only: the handle's fuller description also names the volume,
// which costs a round trip to the volume manager per file.
bool Describe(HANDLE file, FileDigest& result) {
    LARGE_INTEGER size = {};
    FILE_BASIC_INFO basic = {};
    if (!GetFileSizeEx(file, &size) || !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)))
        return false;
    result.size = static_cast<unsigned long long>(size.QuadPart);
    result.created = AsFileTime(basic.CreationTime);
    result.modified = AsFileTime(basic.LastWriteTime);
    return true;
}

}  // namespace

FileDigest HashFile(const wchar_t* path) {
    UniqueFile open;
    return HashFile(path, open);
}

FileDigest HashFile(const wchar_t* path, UniqueFile& open) {
    FileDigest result;
    open.Reset();
    if (!path || std::wcslen(path) < 4) return result;
    // Readers and writers of the file are not locked out: the files of running
    // programs and services are hashed while they are in use.
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        LogLineLevel(3, L"UTILS\t FileMD5:\t Failed opening file %s, lerror=%d\n", path, GetLastError());
        return result;
    }
    result.described = Describe(file.Get(), result);
    // A read that breaks off would give the digest of part of the file, which the
    // whitelist could match against the wrong file: such a file counts as unreadable.
    if (!HashOpenFile(file.Get(), result)) {
        result.md5.clear();
        result.whole = nullptr;
    }
    open = std::move(file);
    return result;
}

std::wstring FileMd5(const wchar_t* path) { return HashFile(path).md5; }

}  // namespace kiv
