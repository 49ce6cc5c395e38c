// Lists the providers of the Winsock catalogue from its registry entries and removes
// a provider through the Winsock provider interface. Providers cannot be disabled.
#include <winsock2.h>
#include <ws2spi.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Format.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"

namespace kiv {
namespace {

const wchar_t kEntries[] = L"\\Catalog_Entries";
const wchar_t kPackedItem[] = L"PackedCatalogItem";

// A catalogue entry's packed item: the provider library's path in the system's ANSI
// code page, then the provider's protocol record.
const DWORD kPackedBytes = 1024;
const size_t kPathBytes = 260;
const size_t kRecordEnd = kPathBytes + sizeof(WSAPROTOCOL_INFOW);
const size_t kProtocolOffset = kPathBytes + offsetof(WSAPROTOCOL_INFOW, szProtocol);
const size_t kProtocolChars = WSAPROTOCOL_LEN + 1;

ProviderDeinstall g_deinstall = &WSCDeinstallProvider;

struct PackedItem {
    BYTE data[kPackedBytes] = {};
    DWORD size = 0;
};

// Only an item that holds a whole protocol record is read: its fields would
// otherwise come from bytes the entry does not have.
bool ReadPackedItem(HKEY entries, const std::wstring& name, PackedItem& item) {
    UniqueHKey entry;
    if (RegOpenKeyExW(entries, name.c_str(), 0, KEY_READ, entry.Put()) != ERROR_SUCCESS) return false;
    item.size = kPackedBytes;
    if (RegQueryValueExW(entry.Get(), kPackedItem, nullptr, nullptr, item.data, &item.size) != ERROR_SUCCESS)
        return false;
    return item.size >= kRecordEnd;
}

std::wstring ProviderPath(const PackedItem& item) {
    const char* text = reinterpret_cast<const char*>(item.data);
    const int bytes = static_cast<int>(strnlen(text, kPathBytes));
    if (bytes == 0) return std::wstring();
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring path(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, bytes, &path[0], chars);
    return path;
}

std::wstring StoredProtocolName(const PackedItem& item) {
    wchar_t name[kProtocolChars] = {};
    std::memcpy(name, item.data + kProtocolOffset, sizeof(name));
    return std::wstring(name, wcsnlen(name, kProtocolChars));
}

// "@library,-N" names string resource N of the library (environment strings
// allowed in its path). A name that cannot be resolved is shown as stored, which no
// installed provider reports, so it can never remove the wrong one.
std::wstring ResolveProtocolName(const std::wstring& stored) {
    if (stored.empty() || stored[0] != L'@') return stored;
    wchar_t library[kNameChars] = {};
    const DWORD needed = ExpandEnvironmentStringsW(stored.c_str() + 1, library, kNameChars);
    if (needed == 0 || needed > kNameChars) return stored;
    wchar_t* comma = wcschr(library, L',');
    if (!comma) return stored;
    // String resources are numbered 1 to 65535; a larger number would name another one.
    const long long written = wcstoll(comma + 1, nullptr, 10);
    if (written > -1 || written < -65535) return stored;
    *comma = L'\0';
    UniqueModule module(LoadLibraryExW(library, nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return stored;
    wchar_t text[kNameChars] = {};
    if (LoadStringW(module.Get(), static_cast<UINT>(-written), text, kNameChars) <= 0) return stored;
    return text;
}

void CollectEntry(Location* location, HKEY entries, const std::wstring& name) {
    PackedItem packed;
    if (!ReadPackedItem(entries, name, packed)) return;
    std::wstring file = ProviderPath(packed);
    if (!ResolveEntry(file, 0)) return;
    const std::wstring protocol = ResolveProtocolName(StoredProtocolName(packed));
    auto* item = new CKivItem(WideFormat(L"%s > %s", name.c_str(), protocol.c_str()), file, location, GotoKind::RegistryValue, 0, 1, 0);
    item->m_regNames.push_back(name);
    item->m_regNames.push_back(protocol);
}

// Winsock must be started in this process before its catalogue can be read.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (m_started) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

// The installed provider whose protocol name is exactly this one. A layered
// provider may copy the name of the base provider below it; when providers of
// different IDs share the name, none is chosen, since removing the wrong one
// would cut the machine off the network.
bool FindInstalledProvider(const std::wstring& protocol, GUID& provider) {
    DWORD bytes = 0;
    if (WSAEnumProtocolsW(nullptr, nullptr, &bytes) != SOCKET_ERROR || WSAGetLastError() != WSAENOBUFS) return false;
    std::vector<WSAPROTOCOL_INFOW> records(bytes / sizeof(WSAPROTOCOL_INFOW) + 1);
    bytes = static_cast<DWORD>(records.size() * sizeof(WSAPROTOCOL_INFOW));
    const int count = WSAEnumProtocolsW(nullptr, records.data(), &bytes);
    if (count == SOCKET_ERROR) return false;
    bool found = false;
    for (size_t i = 0; i < records.size() && i < static_cast<size_t>(count); ++i) {
        const wchar_t* name = records[i].szProtocol;
        if (protocol != std::wstring(name, wcsnlen(name, kProtocolChars))) continue;
        if (found && !IsEqualGUID(provider, records[i].ProviderId)) return false;
        provider = records[i].ProviderId;
        found = true;
    }
    return found;
}

}  // namespace

ProviderDeinstall SetProviderDeinstall(ProviderDeinstall call) {
    ProviderDeinstall previous = g_deinstall;
    g_deinstall = call;
    return previous;
}

}  // namespace kiv

namespace {

class CKivHandler_LspChain : public CKivHandler {
public:
    ~CKivHandler_LspChain() override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
    int ItemCompatible(CKivItem* item) override;
};

}  // namespace

CKivHandler_LspChain::~CKivHandler_LspChain() = default;

// Only the live 64-bit catalogue is listed; its entries are never disabled.
void CKivHandler_LspChain::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || !enabledPass || wow64) return;
    kiv::UniqueHKey entries;
    const std::wstring path = location->m_path + kiv::kEntries;
    if (RegOpenKeyExW(location->m_root, path.c_str(), 0, KEY_READ, entries.Put()) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kiv::kNameChars] = {};
        DWORD chars = kiv::kNameChars;
        LONG rc = RegEnumKeyExW(entries.Get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        kiv::CollectEntry(location, entries.Get(), std::wstring(name, chars));
    }
}

// The provider is found by its protocol name among those installed; the catalogue's
// registry entries are left to the Winsock interface.
int CKivHandler_LspChain::RemoveItem(CKivItem* item) {
    if (!item || item->m_regNames.size() < 2) return 0;
    kiv::WinsockSession session;
    GUID provider = {};
    if (!session.Started() || !kiv::FindInstalledProvider(item->m_regNames[1], provider)) return 0;
    int error = 0;
    return kiv::g_deinstall(&provider, &error) == 0 ? 1 : 0;
}

int CKivHandler_LspChain::GoTo(CKivItem* item) {
    if (!item || !item->m_location || item->m_regNames.empty()) return 0;
    const Location* location = item->m_location;
    const std::wstring key = location->m_path + kiv::kEntries + L"\\" + item->m_regNames[0];
    return kiv::NavigateRegEdit(location->m_root, key.c_str(), nullptr);
}

int CKivHandler_LspChain::ItemCompatible(CKivItem*) { return 0; }

CKivHandler* NewLspChainHandler() { return new (std::nothrow) CKivHandler_LspChain(); }
