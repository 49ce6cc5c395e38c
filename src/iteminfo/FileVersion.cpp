#include "iteminfo/FileVersion.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "iteminfo/VersionResource.h"
#include "platform/Format.h"
#include "platform/Handles.h"
#include "platform/ThreadScratch.h"

namespace {

const wchar_t* const kStringKeys[CFileVersion::StringCount] = {
    L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",    L"LegalCopyright", L"OriginalFileName",
    L"ProductName", L"ProductVersion",  L"Comments",    L"LegalTrademarks", L"PrivateBuild",   L"SpecialBuild",
};

// Many resources name a translation that their string table does not carry;
// US English in the Western code page is where such files keep their strings.
const wchar_t kFallbackBlock[] = L"\\StringFileInfo\\040904E4\\";

// One value of a loaded resource: where it starts, the length the query reports
// (bytes, or characters for a string) and how many bytes remain in the loaded data.
struct VersionValue {
    const BYTE* at = nullptr;
    UINT length = 0;
    std::size_t available = 0;
};

// A loaded version resource. Every value is read within both the length the
// query reports and the end of the loaded data, so a string without terminator
// or a length that overstates its value never leads past the buffer.
struct VersionData {
    const BYTE* begin;
    std::size_t size;

    VersionValue Query(const std::wstring& subBlock) const {
        VersionValue value;
        void* at = nullptr;
        if (!VerQueryValueW(begin, subBlock.c_str(), &at, &value.length) || !at) return VersionValue();
        value.at = static_cast<const BYTE*>(at);
        if (value.at < begin || value.at > begin + size) return VersionValue();
        value.available = static_cast<std::size_t>(begin + size - value.at);
        return value;
    }
};

std::size_t Smaller(std::size_t a, std::size_t b) { return a < b ? a : b; }

VS_FIXEDFILEINFO ReadFixedInfo(const VersionData& data) {
    VS_FIXEDFILEINFO fixed = {};
    // A root block of any other length is not fixed information this reader knows.
    const VersionValue value = data.Query(L"\\");
    if (value.at && value.length == sizeof(fixed) && value.available >= sizeof(fixed))
        std::memcpy(&fixed, value.at, sizeof(fixed));
    return fixed;
}

std::vector<DWORD> ReadTranslations(const VersionData& data) {
    std::vector<DWORD> table;
    const VersionValue value = data.Query(L"\\VarFileInfo\\Translation");
    const std::size_t bytes = Smaller(value.length, value.available);
    for (std::size_t offset = 0; offset + sizeof(DWORD) <= bytes; offset += sizeof(DWORD)) {
        DWORD entry = 0;
        std::memcpy(&entry, value.at + offset, sizeof(entry));
        table.push_back(entry);
    }
    return table;
}

std::wstring ChooseStringBlock(const VersionData& data) {
    const std::vector<DWORD> table = ReadTranslations(data);
    if (table.empty()) return kFallbackBlock;
    const DWORD entry = table[kiv::ChooseTranslation(table, GetUserDefaultLangID())];
    const std::wstring block = kiv::WideFormat(L"\\StringFileInfo\\%04X%04X\\", LOWORD(entry), HIWORD(entry));
    return data.Query(block).at ? block : kFallbackBlock;
}

// A string value up to its first NUL.
std::wstring ReadString(const VersionData& data, const std::wstring& subBlock) {
    const VersionValue value = data.Query(subBlock);
    std::wstring text(Smaller(value.length, value.available / sizeof(wchar_t)), L'\0');
    if (!text.empty()) std::memcpy(&text[0], value.at, text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

}  // namespace

CFileVersion::CFileVersion() : m_fixed(), m_empty(true) { Reset(); }

CFileVersion::~CFileVersion() = default;

void CFileVersion::Reset() {
    m_fixed = VS_FIXEDFILEINFO();
    for (std::wstring& s : m_strings) s.clear();
    m_empty = true;
}

namespace {

// Most version resources fit a buffer of this size with the room the loader asks
// for beside them (text converted on request); larger ones are sized first.
const DWORD kKeptBufferSize = 0x10000;
// Zeros kept behind every loaded resource. A block's length is a 16-bit number, so a
// walk through a damaged resource that trusts one never reads further than this past
// the block it is in, and meets zeros, which end it.
const DWORD kZeroTail = 0x10000 + 0x100;

// The reading thread's buffer when it keeps one, else the caller's own: emptied,
// with the zeros behind it.
std::vector<BYTE>& KeptBuffer(std::vector<BYTE>& own) {
    kiv::ThreadScratch* scratch = kiv::ThreadScratch::Current();
    std::vector<BYTE>& kept = scratch ? scratch->VersionBuffer() : own;
    kept.assign(kKeptBufferSize + kZeroTail, 0);
    return kept;
}

WORD BlockLength(const BYTE* block) {
    WORD length = 0;
    std::memcpy(&length, block, sizeof(length));
    return length;
}

// Loads the resource in one call into the kept buffer;
// only a resource too large for it is sized and loaded again.
bool LoadVersionResource(const wchar_t* path, std::vector<BYTE>& spare, std::vector<BYTE>& owned, VersionData& data) {
    std::vector<BYTE>& kept = KeptBuffer(spare);
    // A load that reports success but leaves an error behind counts as failed.
    SetLastError(0);
    if (!GetFileVersionInfoW(path, 0, kKeptBufferSize, kept.data()) || GetLastError() != 0) return false;
    // The loader needs up to three times the resource's length again for converted text.
    if (static_cast<DWORD>(BlockLength(kept.data())) * 4 <= kKeptBufferSize) {
        data = VersionData{kept.data(), kKeptBufferSize};
        return true;
    }
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return false;
    owned.assign(static_cast<size_t>(size) + kZeroTail, 0);
    SetLastError(0);
    if (!GetFileVersionInfoW(path, handle, size, owned.data()) || GetLastError() != 0) return false;
    data = VersionData{owned.data(), size};
    return true;
}

// The platform's call loads the whole image to find its version resource. Where the
// image's resource directory settles the answer (no such resource, or one in one
// language, in an image whose texts come from no language file) the resource is read
// straight from the file; every other case is left to the platform.
kiv::VersionLookup ReadFromImage(const kiv::ReadAt& read, std::uint64_t fileSize, std::vector<BYTE>& spare,
                                 VersionData& data) {
    const kiv::VersionPlace place = kiv::FindVersionResource(read, fileSize, kKeptBufferSize / 4);
    if (place.lookup != kiv::VersionLookup::Found) return place.lookup;
    std::vector<BYTE>& kept = KeptBuffer(spare);
    if (!read(place.offset, kept.data(), place.size)) return kiv::VersionLookup::AskSystem;
    // Only a 32-bit block that lies within the resource is read here: a 16-bit one
    // would be converted in place, into room the platform's call sets aside.
    static const wchar_t kKey[] = L"VS_VERSION_INFO";
    const bool wellFormed = place.size >= 6 + sizeof(kKey) && BlockLength(kept.data()) <= place.size &&
                            BlockLength(kept.data()) >= 6 + sizeof(kKey) &&
                            std::memcmp(kept.data() + 6, kKey, sizeof(kKey)) == 0;
    if (!wellFormed) return kiv::VersionLookup::AskSystem;
    data = VersionData{kept.data(), place.size};
    return kiv::VersionLookup::Found;
}

// Positioned reads of an open file, none larger than the kept buffer.
kiv::ReadAt ReadsOf(HANDLE file) {
    return [file](std::uint64_t offset, void* into, std::size_t count) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        return count <= kKeptBufferSize && ReadFile(file, into, static_cast<DWORD>(count), &got, &at) && got == count;
    };
}

}  // namespace

int CFileVersion::Read(const wchar_t* path) {
    if (!path) {
        Reset();
        return 0;
    }
    kiv::UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return Read(path, kiv::ReadAt(), 0);
    return Read(path, ReadsOf(file.Get()), static_cast<std::uint64_t>(size.QuadPart));
}

int CFileVersion::Read(const wchar_t* path, HANDLE file, std::uint64_t fileSize) {
    return Read(path, ReadsOf(file), fileSize);
}

int CFileVersion::Read(const wchar_t* path, const kiv::ReadAt& read, std::uint64_t fileSize) {
    Reset();
    if (!path) return 0;
    std::vector<BYTE> spare, owned;
    VersionData data{nullptr, 0};
    try {
        const kiv::VersionLookup direct =
            read ? ReadFromImage(read, fileSize, spare, data) : kiv::VersionLookup::AskSystem;
        if (direct == kiv::VersionLookup::Absent) return 0;
        if (direct == kiv::VersionLookup::AskSystem && !LoadVersionResource(path, spare, owned, data)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_fixed = ReadFixedInfo(data);
    const std::wstring block = ChooseStringBlock(data);
    for (int i = 0; i < StringCount; ++i) m_strings[i] = ReadString(data, block + kStringKeys[i]);
    m_empty = false;
    return 1;
}

namespace kiv {

std::size_t ChooseTranslation(const std::vector<DWORD>& table, LANGID user) {
    using Test = bool (*)(WORD language, LANGID wanted);
    static const Test kTests[] = {
        [](WORD language, LANGID wanted) { return language == wanted; },
        [](WORD language, LANGID wanted) { return (language & 0xFF) == (wanted & 0xFF); },
        [](WORD language, LANGID) { return language == 0; },
        [](WORD language, LANGID) { return (language & 0xFF) == 0; },
        [](WORD language, LANGID) { return language == 9; },
        [](WORD language, LANGID) { return (language & 0xFF) == 9; },
    };
    for (Test test : kTests)
        for (std::size_t i = 0; i < table.size(); ++i)
            if (test(LOWORD(table[i]), user)) return i;
    return 0;
}

}  // namespace kiv
