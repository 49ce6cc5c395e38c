// The version resource of an executable file: its fixed file information and the
// twelve standard strings of the string table that suits the user's language.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iteminfo/VersionResource.h"

class CFileVersion {
public:
    enum {
        CompanyName,
        FileDescription,
        FileVersion,
        InternalName,
        LegalCopyright,
        OriginalFileName,
        ProductName,
        ProductVersion,
        Comments,
        LegalTrademarks,
        PrivateBuild,
        SpecialBuild,
        StringCount
    };

    CFileVersion();
    virtual ~CFileVersion();
    virtual void Reset();

    // 1 when the file's version resource was loaded (even without strings), else 0.
    // The string table is the one that suits the user's default language.
    int Read(const wchar_t* path);
    // The same for a file the caller holds open (read through the handle's positioned
    // reads, fileSize bytes long), or whose bytes it reads some other way; the
    // platform's call, where the image alone does not settle the answer, opens the
    // path itself. An empty reader leaves everything to the platform's call.
    int Read(const wchar_t* path, HANDLE file, std::uint64_t fileSize);
    int Read(const wchar_t* path, const kiv::ReadAt& read, std::uint64_t fileSize);

    const std::wstring& String(int index) const { return m_strings[index]; }
    const wchar_t* Publisher() const { return m_strings[CompanyName].c_str(); }
    const wchar_t* Description() const { return m_strings[FileDescription].c_str(); }

    VS_FIXEDFILEINFO m_fixed;
    bool m_empty;
    std::wstring m_strings[StringCount];
};

namespace kiv {

// Which entry of a resource's translation table (each entry: language in the low
// half, code page in the high half) suits the user's language: the first entry
// that passes the earliest of these tests that any entry passes: the same
// language; the same primary language (low 8 bits); the neutral language; a
// neutral sublanguage; English; any English; otherwise the first entry. The
// table must not be empty.
std::size_t ChooseTranslation(const std::vector<DWORD>& table, LANGID user);

}  // namespace kiv
