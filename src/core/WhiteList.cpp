#include "core/WhiteList.h"

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "core/HostFiles.h"
#include "core/WhiteListText.h"
#include "platform/Handles.h"
#include "platform/Text.h"
#include "sigvault.h"

namespace {

// The whole file as UTF-16 text, taken as it stands (a byte order mark included),
// always terminated: a file of odd size leaves its last byte paired with a zero.
bool ReadWideFile(const wchar_t* path, std::vector<wchar_t>& text) {
    if (!PathFileExistsW(path)) return false;
    kiv::UniqueCrtFile file;
    if (_wfopen_s(file.Put(), path, L"rb") != 0 || !file) return false;
    if (_fseeki64(file.Get(), 0, SEEK_END) != 0) return false;
    long long size = _ftelli64(file.Get());
    if (size < 0 || size >= 0x40000000LL || _fseeki64(file.Get(), 0, SEEK_SET) != 0) return false;
    text.assign(static_cast<size_t>(size + 1) / 2 + 1, L'\0');
    return fread(text.data(), 1, static_cast<size_t>(size), file.Get()) == static_cast<size_t>(size);
}

}  // namespace

namespace kiv {

bool WhiteList::Load(const wchar_t* text) {
    ParseWhiteList(text, m_entries);
    return !m_entries.empty();
}

bool WhiteList::LoadFile(const wchar_t* path, const wchar_t* name) {
    if (!path || !name || name[0] == L'\0') return false;
    std::vector<wchar_t> text;
    if (!ReadWideFile(path, text)) return false;
    return Load(text.data());
}

void WhiteList::LoadHostFile() {
    wchar_t path[MAX_PATH];
    std::vector<wchar_t> text;
    bool loaded =
        HostFilePath(L"kivwl.dat", path) == HostFileResult::Ok && ReadWideFile(path, text) && Load(text.data());
    if (!loaded) MessageBoxW(nullptr, L"Unable to initialize whitelist data.", L"Quorvel KIV", MB_ICONERROR);
}

bool WhiteList::Covers(const KivFileFacts& file) const {
    if (CSigvault::Get().IsFileProtected(file.filePath.c_str())) return true;
    return m_entries.find(file.md5) != m_entries.end();
}

}  // namespace kiv
