// Lists the providers of the Winsock catalogue from its registry entries and removes
// a provider through the Winsock provider interface. Providers cannot be disabled.
#include <winsock2.h>
#include <ws2spi.h>
#include <objbase.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "core/HandlerFactory.h"
#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Format.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/Status.h"

namespace kiv {
namespace {

const wchar_t kPackedItem[] = L"PackedCatalogItem";

// A catalogue: the subkey of the location that holds its entries, and the registry
// view in which its providers' files are seen.
struct Catalogue {
    ProviderCatalogue kind;
    const wchar_t* key;
    unsigned char wow64;
};
const Catalogue kCatalogues[] = {
    {ProviderCatalogue::Native, L"Catalog_Entries64", 0},
    {ProviderCatalogue::Wow32, L"Catalog_Entries", 1},
};

// A catalogue entry's packed item: the provider library's path in the system's ANSI
// code page, then the provider's protocol record.
const DWORD kPackedBytes = 1024;
const size_t kPathBytes = 260;
const size_t kRecordEnd = kPathBytes + sizeof(WSAPROTOCOL_INFOW);
const size_t kProtocolOffset = kPathBytes + offsetof(WSAPROTOCOL_INFOW, szProtocol);
const size_t kProtocolChars = WSAPROTOCOL_LEN + 1;

ProviderCalls g_calls[2];

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

// The provider's protocol record as the entry stores it.
WSAPROTOCOL_INFOW StoredRecord(const PackedItem& item) {
    WSAPROTOCOL_INFOW record;
    std::memcpy(&record, item.data + kPathBytes, sizeof(record));
    return record;
}

void CollectEntry(Location* location, const Catalogue& catalogue, HKEY entries, const std::wstring& name) {
    PackedItem packed;
    if (!ReadPackedItem(entries, name, packed)) return;
    std::wstring file = ProviderPath(packed);
    if (!ResolveEntry(file, catalogue.wow64)) return;
    const std::wstring protocol = ResolveProtocolName(StoredProtocolName(packed));
    auto* item = new CKivItem(WideFormat(L"%s > %s", name.c_str(), protocol.c_str()), file, location,
                              GotoKind::RegistryValue, 0, 1, 0);
    item->m_regNames.push_back(name);
    item->m_regNames.push_back(protocol);
    item->m_regNames.push_back(catalogue.key);
    // The provider as listed: the catalogue renumbers its entries whenever a provider
    // comes or goes, so the entry's name alone may name another provider later.
    const WSAPROTOCOL_INFOW record = StoredRecord(packed);
    wchar_t id[40] = {};
    StringFromGUID2(record.ProviderId, id, 40);
    item->m_regNames.push_back(id);
    item->m_regNames.push_back(std::to_wstring(record.dwCatalogEntryId));
}

void CollectCatalogue(Location* location, const Catalogue& catalogue) {
    UniqueHKey entries;
    const std::wstring path = location->m_path + L"\\" + catalogue.key;
    if (RegOpenKeyExW(location->m_root, path.c_str(), 0, KEY_READ, entries.Put()) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars] = {};
        DWORD chars = kNameChars;
        LONG rc = RegEnumKeyExW(entries.Get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        CollectEntry(location, catalogue, entries.Get(), std::wstring(name, chars));
    }
}

// The catalogue an item was listed from, named by its third registry name.
const Catalogue* CatalogueOf(const CKivItem* item) {
    if (item->m_regNames.size() < 3) return nullptr;
    for (const Catalogue& catalogue : kCatalogues)
        if (item->m_regNames[2] == catalogue.key) return &catalogue;
    return nullptr;
}

// The item's own catalogue record, read again from its entry: the entry may have
// gone or been given to another provider since the item was listed.
bool ReadItemRecord(const CKivItem* item, const Catalogue& catalogue, WSAPROTOCOL_INFOW& record) {
    const Location* location = item->m_location;
    UniqueHKey entries;
    const std::wstring path = location->m_path + L"\\" + catalogue.key;
    PackedItem packed;
    if (RegOpenKeyExW(location->m_root, path.c_str(), 0, KEY_READ, entries.Put()) != ERROR_SUCCESS ||
        !ReadPackedItem(entries.Get(), item->m_regNames[0], packed))
        return false;
    record = StoredRecord(packed);
    return true;
}

// The provider the item was listed for, while its entry still holds it: the
// provider and entry IDs the collection read must be those the entry holds now.
// An entry given to another provider since (a layered provider's entry to the
// base provider whose name it copies, say) is never taken for the item's own.
bool ListedRecord(const CKivItem* item, const Catalogue& catalogue, WSAPROTOCOL_INFOW& record) {
    WSAPROTOCOL_INFOW current;
    if (!ReadItemRecord(item, catalogue, current)) return false;
    record = current;
    if (item->m_regNames.size() < 5) return true;
    GUID listed = {};
    if (FAILED(IIDFromString(item->m_regNames[3].c_str(), &listed))) return false;
    const DWORD listedEntry = static_cast<DWORD>(wcstoul(item->m_regNames[4].c_str(), nullptr, 10));
    return IsEqualGUID(listed, current.ProviderId) && listedEntry == current.dwCatalogEntryId;
}

// The 32-bit catalogue's calls exist only in the 64-bit system's Winsock, so they
// are looked up rather than imported.
template <typename Call>
Call Ws2Call(const char* name) {
    HMODULE ws2 = GetModuleHandleW(L"ws2_32.dll");
    FARPROC proc = ws2 ? GetProcAddress(ws2, name) : nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void*>(proc));
}

ProviderCalls SystemCalls(ProviderCatalogue kind) {
    ProviderCalls calls;
    if (kind == ProviderCatalogue::Native) {
        calls.enumerate = &WSCEnumProtocols;
        calls.deinstall = &WSCDeinstallProvider;
    } else {
        calls.enumerate = Ws2Call<ProviderEnumerate>("WSCEnumProtocols32");
        calls.deinstall = Ws2Call<ProviderDeinstall>("WSCDeinstallProvider32");
    }
    return calls;
}

ProviderCalls CallsOf(ProviderCatalogue kind) {
    const ProviderCalls system = SystemCalls(kind);
    ProviderCalls calls = g_calls[static_cast<int>(kind)];
    if (!calls.enumerate) calls.enumerate = system.enumerate;
    if (!calls.deinstall) calls.deinstall = system.deinstall;
    return calls;
}

// Every provider the catalogue lists, layered ones included; none when it cannot
// be listed.
std::vector<WSAPROTOCOL_INFOW> InstalledProviders(ProviderEnumerate enumerate) {
    DWORD bytes = 0;
    int error = 0;
    if (enumerate(nullptr, nullptr, &bytes, &error) != SOCKET_ERROR || error != WSAENOBUFS) return {};
    std::vector<WSAPROTOCOL_INFOW> records(bytes / sizeof(WSAPROTOCOL_INFOW) + 1);
    bytes = static_cast<DWORD>(records.size() * sizeof(WSAPROTOCOL_INFOW));
    const int count = enumerate(nullptr, records.data(), &bytes, &error);
    if (count < 0) return {};
    records.resize(std::min(records.size(), static_cast<size_t>(count)));
    return records;
}

// Whether an installed provider is the one the item's record describes. A layered
// provider copies the name of the base provider below it, so the name alone could
// pick the base one, and removing that would cut the machine off the network: the
// provider ID must match as well, and in the native catalogue the entry ID too.
bool IsItemProvider(const WSAPROTOCOL_INFOW& installed, const WSAPROTOCOL_INFOW& record, ProviderCatalogue kind,
                    const std::wstring& protocol) {
    if (!IsEqualGUID(installed.ProviderId, record.ProviderId)) return false;
    if (kind == ProviderCatalogue::Native && installed.dwCatalogEntryId != record.dwCatalogEntryId) return false;
    const wchar_t* name = installed.szProtocol;
    return ResolveProtocolName(std::wstring(name, wcsnlen(name, kProtocolChars))) == protocol;
}

}  // namespace

ProviderCalls SetProviderCalls(ProviderCatalogue catalogue, ProviderCalls calls) {
    ProviderCalls& slot = g_calls[static_cast<int>(catalogue)];
    const ProviderCalls previous = slot;
    slot = calls;
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

// Both catalogues are listed from the native location; its 32-bit twin and the
// disabled pass hold none, since providers are never disabled.
void CKivHandler_LspChain::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || !enabledPass || wow64) return;
    for (const kiv::Catalogue& catalogue : kiv::kCatalogues) kiv::CollectCatalogue(location, catalogue);
}

// The catalogue's registry entries are left to the Winsock interface.
int CKivHandler_LspChain::RemoveItem(CKivItem* item) {
    if (!item || !item->m_location || item->m_regNames.size() < 2) return 0;
    const kiv::Catalogue* catalogue = kiv::CatalogueOf(item);
    WSAPROTOCOL_INFOW record;
    // An entry gone, or given to another provider since the item was listed, is not
    // the item's any more.
    if (!catalogue || !kiv::ListedRecord(item, *catalogue, record))
        return kiv::Status::Fail(ERROR_FILE_NOT_FOUND).Report();
    const kiv::ProviderCalls calls = kiv::CallsOf(catalogue->kind);
    if (!calls.enumerate || !calls.deinstall) return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report();
    for (WSAPROTOCOL_INFOW& installed : kiv::InstalledProviders(calls.enumerate)) {
        if (!kiv::IsItemProvider(installed, record, catalogue->kind, item->m_regNames[1])) continue;
        int error = 0;
        if (calls.deinstall(&installed.ProviderId, &error) == 0) return kiv::Status::Ok().Report();
        return kiv::Status::Fail(static_cast<DWORD>(error)).Report();
    }
    // The catalogue's entry still names the provider, but Winsock no longer lists it.
    return kiv::Status::Fail(ERROR_FILE_NOT_FOUND).Report();
}

// Winsock removes a provider with every catalogue entry it has (one for each of its
// protocols): an entry goes with another when both were listed for the same
// provider of the same catalogue.
bool RemovedWith(const CKivItem& removed, const CKivItem& other) {
    if (removed.m_location != other.m_location || removed.m_location->m_handlerType != LspChain) return false;
    if (removed.m_regNames.size() < 4 || other.m_regNames.size() < 4) return false;
    return removed.m_regNames[2] == other.m_regNames[2] && removed.m_regNames[3] == other.m_regNames[3];
}

int CKivHandler_LspChain::GoTo(CKivItem* item) {
    if (!item || !item->m_location) return 0;
    const kiv::Catalogue* catalogue = kiv::CatalogueOf(item);
    if (!catalogue) return 0;
    const Location* location = item->m_location;
    const std::wstring key = location->m_path + L"\\" + catalogue->key + L"\\" + item->m_regNames[0];
    return kiv::NavigateRegEdit(location->m_root, key.c_str(), nullptr);
}

int CKivHandler_LspChain::ItemCompatible(CKivItem*) { return 0; }

CKivHandler* NewLspChainHandler() { return new (std::nothrow) CKivHandler_LspChain(); }
