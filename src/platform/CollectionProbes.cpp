#include "platform/CollectionProbes.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "platform/Handles.h"

namespace kiv {
namespace {

// The names of one folder in upper case, as the file system compares them; an
// unlistable folder keeps no names and answers nothing.
struct Listing {
    bool listed = false;
    bool exists = false;
    std::unordered_set<std::wstring> names;
};

struct Probes {
    unsigned generation = 0;
    std::unordered_map<std::wstring, Listing> folders;  // upper-case folder text -> its listing
};

std::atomic<unsigned> g_lastGeneration{0};
thread_local Probes* t_probes = nullptr;

std::wstring Upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

Listing ListFolder(const std::wstring& folder) {
    Listing listing;
    WIN32_FIND_DATAW data = {};
    UniqueFind find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        // A folder that is not there holds no names; any other failure (denied
        // access among them) leaves the answers to the probes themselves.
        const DWORD error = GetLastError();
        listing.listed = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY;
        return listing;
    }
    do {
        listing.names.insert(Upper(data.cFileName));
    } while (FindNextFileW(find.Get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) return Listing();
    listing.listed = listing.exists = true;
    return listing;
}

// Device names ("NUL", "COM1.txt") exist in every folder without being listed.
bool IsDeviceName(const std::wstring& name) {
    const std::wstring base = Upper(name.substr(0, name.find(L'.')));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return true;
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'0' && base[3] <= L'9';
}

// A name the listing can answer for: no wildcard, short-name marker, stream,
// invalid character or device name. The file system drops a trailing dot or space
// of the last name only, so the last name must not end in one.
bool IsListedForm(const std::wstring& name, bool last) {
    if (name.empty() || name == L"." || name == L"..") return false;
    if (name.find_first_of(L"*?~<>\"|:") != std::wstring::npos || IsDeviceName(name)) return false;
    return !last || (name.back() != L'.' && name.back() != L' ');
}

// The listing of a folder given from its drive ("X:" or "X:\a\b"), or null when
// it cannot be answered. A folder whose parent lacks it is known to hold nothing
// without asking the file system, which would scan the parent for it.
const Listing* FolderListing(const std::wstring& folder) {
    const std::wstring key = Upper(folder);
    auto found = t_probes->folders.find(key);
    if (found != t_probes->folders.end()) return found->second.listed ? &found->second : nullptr;
    Listing listing;
    const std::size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos) {
        if (folder.size() != 2 || folder[1] != L':') return nullptr;
        listing = ListFolder(folder);
    } else {
        const std::wstring name = folder.substr(slash + 1);
        if (!IsListedForm(name, false)) return nullptr;
        const Listing* parent = FolderListing(folder.substr(0, slash));
        if (!parent) return nullptr;
        if (parent->exists && parent->names.count(Upper(name))) listing = ListFolder(folder);
        else listing.listed = true;  // not there: holds no names
    }
    const Listing& kept = t_probes->folders.emplace(key, std::move(listing)).first->second;
    return kept.listed ? &kept : nullptr;
}

}  // namespace

CollectionProbes::CollectionProbes() : m_outermost(t_probes == nullptr) {
    if (!m_outermost) return;
    t_probes = new Probes;
    t_probes->generation = ++g_lastGeneration;
}

CollectionProbes::~CollectionProbes() {
    if (!m_outermost) return;
    delete t_probes;
    t_probes = nullptr;
}

int KnownProbe(const std::wstring& path) {
    if (!t_probes) return -1;
    try {
        // Forward slashes separate names as backslashes do.
        std::wstring text = path;
        for (wchar_t& c : text)
            if (c == L'/') c = L'\\';
        const std::size_t slash = text.rfind(L'\\');
        if (slash == std::wstring::npos || !IsListedForm(text.substr(slash + 1), true)) return -1;
        const Listing* listing = FolderListing(text.substr(0, slash));
        if (!listing) return -1;
        return listing->exists && listing->names.count(Upper(text.substr(slash + 1))) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

unsigned CollectionGeneration() { return t_probes ? t_probes->generation : 0; }

}  // namespace kiv
