// The version resource of an executable file: its fixed file information and the
// twelve standard strings of the string table that suits the user's language.
#pragma once

#include <windows.h>

#include <string>

class CFileVersion {
public:
    enum { CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright, OriginalFileName,
           ProductName, ProductVersion, Comments, LegalTrademarks, PrivateBuild, SpecialBuild, StringCount };

    CFileVersion();
    virtual ~CFileVersion();
    virtual void Reset();

    // 1 when the file's version resource was loaded (even without strings), else 0.
    int Read(const wchar_t* path);

    const std::wstring& String(int index) const { return m_strings[index]; }
    const wchar_t* Publisher() const { return m_strings[CompanyName].c_str(); }
    const wchar_t* Description() const { return m_strings[FileDescription].c_str(); }

    VS_FIXEDFILEINFO m_fixed;
    bool m_empty;
    std::wstring m_strings[StringCount];
};
