// The whitelist: MD5 texts of files known to be harmless, read from "kivwl.dat"
// beside the host's executable, and the protected-file check of the host's
// sibling library.
#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "core/Facade.h"
#include "core/Guard.h"
#include "core/HostFiles.h"
#include "core/Records.h"
#include "core/WhiteListText.h"
#include "kiv.h"
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

bool kiv::Facade::LoadWhiteList(const wchar_t* text) {
    kiv::ParseWhiteList(text, m_whiteList);
    return !m_whiteList.empty();
}

bool kiv::Facade::GetWhiteList(const wchar_t* path, const wchar_t* name) {
    if (!path || !name || name[0] == L'\0') return false;
    std::vector<wchar_t> text;
    if (!ReadWideFile(path, text)) return false;
    return LoadWhiteList(text.data());
}

void kiv::Facade::LoadWhiteListFile() {
    wchar_t path[MAX_PATH];
    std::vector<wchar_t> text;
    bool loaded = kiv::HostFilePath(L"kivwl.dat", path) == kiv::HostFileResult::Ok && ReadWideFile(path, text) &&
                  LoadWhiteList(text.data());
    if (!loaded) MessageBoxW(nullptr, L"Unable to initialize whitelist data.", L"Quorvel KIV", MB_ICONERROR);
}

bool CKiv::IsWhiteListed(unsigned id) {
    kiv::Facade& self = Self();
    kiv::CriticalSectionLock lock(self.m_lock);
    CKivItem* item = self.LiveItem(id);
    if (!item) return false;
    const bool listed = kiv::Guarded(false, [&] {
        if (CSigvault::Get().IsFileProtected(item->m_file.filePath.c_str())) return true;
        return self.m_whiteList.find(item->m_file.md5) != self.m_whiteList.end();
    });
    // "Not listed" is an answer, whatever the protected-file check left behind.
    SetLastError(ERROR_SUCCESS);
    return listed;
}
