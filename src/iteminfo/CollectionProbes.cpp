#include "iteminfo/CollectionProbes.h"

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
    UniqueFind find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        // A folder that is not there holds no names; any other failure (denied
        // access among them) leaves the answers to the probes themselves.
        const DWORD error = GetLastError();
        listing.listed = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
        return listing;
    }
    do {
        listing.names.insert(Upper(data.cFileName));
    } while (FindNextFileW(find.Get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) return Listing();
    listing.listed = listing.exists = true;
    return listing;
}

// A plain name: no wildcard, no short-name marker, no separator or stream, and no
// trailing dot or space (which the file system would drop before comparing).
bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    if (name.find_first_of(L"*?~<>\"|:/") != std::wstring::npos) return false;
    const wchar_t last = name.back();
    return last != L'.' && last != L' ';
}

// A folder given from its drive: "X:\..." without relative parts or doubled separators.
bool IsAbsoluteFolder(const std::wstring& folder) {
    if (folder.size() < 2 || folder[1] != L':') return false;
    if (folder.find_first_of(L"*?~<>\"|/") != std::wstring::npos) return false;
    return folder.find(L"\\.") == std::wstring::npos && folder.find(L"\\\\") == std::wstring::npos &&
           folder.find(L" \\") == std::wstring::npos && folder.back() != L' ' && folder.back() != L'.';
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
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return -1;
    const std::wstring folder = path.substr(0, slash);
    const std::wstring name = path.substr(slash + 1);
    if (!IsPlainName(name) || !IsAbsoluteFolder(folder)) return -1;
    try {
        const std::wstring key = Upper(folder);
        auto found = t_probes->folders.find(key);
        if (found == t_probes->folders.end()) found = t_probes->folders.emplace(key, ListFolder(folder)).first;
        const Listing& listing = found->second;
        if (!listing.listed) return -1;
        return listing.exists && listing.names.count(Upper(name)) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

unsigned CollectionGeneration() { return t_probes ? t_probes->generation : 0; }

}  // namespace kiv
