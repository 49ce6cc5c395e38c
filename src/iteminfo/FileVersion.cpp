#include "iteminfo/FileVersion.h"

CFileVersion::CFileVersion() : m_fixed(), m_empty(true) { Reset(); }

CFileVersion::~CFileVersion() = default;

void CFileVersion::Reset() {
    m_fixed = VS_FIXEDFILEINFO();
    for (std::wstring& s : m_strings) s.clear();
    m_empty = true;
}

int CFileVersion::Read(const wchar_t* path) {
    Reset();
    (void)path;
    // The version resource reader is not built yet: no file has version information.
    return 0;
}
