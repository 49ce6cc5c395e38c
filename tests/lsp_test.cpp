#include <winsock2.h>
#include <ws2spi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::RawValue;

namespace {

const size_t kPackedSize = 260 + sizeof(WSAPROTOCOL_INFOW);

const wchar_t kNative[] = L"Catalog_Entries64";
const wchar_t kWow32[] = L"Catalog_Entries";

// Every provider the catalogue lists, layered ones included, in its order.
std::vector<WSAPROTOCOL_INFOW> InstalledProviders() {
    DWORD bytes = 0;
    int error = 0;
    WSCEnumProtocols(nullptr, nullptr, &bytes, &error);
    std::vector<WSAPROTOCOL_INFOW> records(bytes / sizeof(WSAPROTOCOL_INFOW) + 1);
    bytes = static_cast<DWORD>(records.size() * sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, records.data(), &bytes, &error);
    records.resize(count == SOCKET_ERROR ? 0 : static_cast<size_t>(count));
    return records;
}

// A catalogue entry packed as Winsock keeps it: the library's ANSI path in 260
// bytes, then the protocol record (renamed when a name is given); size cuts or pads.
RawValue Packed(const std::wstring& path, WSAPROTOCOL_INFOW record, const std::wstring& name = L"",
                size_t size = kPackedSize) {
    if (!name.empty()) {
        std::fill(std::begin(record.szProtocol), std::end(record.szProtocol), L'\0');
        std::copy_n(name.begin(), std::min<size_t>(name.size(), WSAPROTOCOL_LEN), record.szProtocol);
    }
    std::vector<BYTE> bytes(std::max(size, kPackedSize), 0);
    std::copy(path.begin(), path.end(), bytes.begin());  // ASCII paths only
    std::memcpy(bytes.data() + 260, &record, sizeof(record));
    bytes.resize(size);
    return RawValue{REG_BINARY, bytes};
}

// Stand in for the removal calls, which remove nothing where the tests run, and
// record which catalogue was asked to remove which provider.
struct Request {
    kiv::ProviderCatalogue catalogue;
    GUID provider;
};
std::vector<Request> g_asked;
int g_answer = 0;
int Answer(kiv::ProviderCatalogue catalogue, GUID* provider, int* error) {
    g_asked.push_back({catalogue, *provider});
    *error = g_answer ? WSAEINVAL : 0;
    return g_answer;
}
int __stdcall DeinstallNative(GUID* provider, int* error) {
    return Answer(kiv::ProviderCatalogue::Native, provider, error);
}
int __stdcall Deinstall32(GUID* provider, int* error) { return Answer(kiv::ProviderCatalogue::Wow32, provider, error); }

// A facade over an empty catalogue, and a provider catalogue of the test's own.
// Wine keeps a single catalogue and has no 32-bit catalogue calls: the 32-bit one
// lists the same providers here, as the base providers of Windows do.
class LspTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        m_providers = InstalledProviders();
        ASSERT_GE(m_providers.size(), 2u);
        m_library = m_folder.AddFile(L"provider.dll");
        m_native = kiv::SetProviderCalls(kiv::ProviderCatalogue::Native, {nullptr, &DeinstallNative});
        m_wow32 = kiv::SetProviderCalls(kiv::ProviderCatalogue::Wow32, {&WSCEnumProtocols, &Deinstall32});
        g_asked.clear();
        g_answer = 0;
    }
    void TearDown() override {
        kiv::SetProviderCalls(kiv::ProviderCatalogue::Native, m_native);
        kiv::SetProviderCalls(kiv::ProviderCatalogue::Wow32, m_wow32);
        FacadeTest::TearDown();
    }

    Location* AddCatalogue(unsigned char wow64 = 0) {
        return AddLocation(L"HKCU\\" + m_key.Path(), L"", 0, LspChain, wow64);
    }
    void AddEntry(const std::wstring& name, const RawValue& packed, const wchar_t* catalogue = kNative) {
        kivtest::WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\" + catalogue + L"\\" + name, L"PackedCatalogItem",
                          packed);
    }
    // Each item by its catalogue and entry name.
    std::map<std::wstring, CKivItem*> Items(const Location* location) {
        std::map<std::wstring, CKivItem*> found;
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            const bool native = item->m_regNames.at(2) == kNative;
            found[(native ? L"" : L"32:") + item->m_regNames.at(0)] = item;
        }
        return found;
    }

    kivtest::ScratchKey m_key{L"LspCatalogue"};
    kivtest::ScratchFolder m_folder{L"LspCatalogue"};
    std::wstring m_library;
    std::vector<WSAPROTOCOL_INFOW> m_providers;
    kiv::ProviderCalls m_native, m_wow32;
};

}  // namespace

TEST_F(LspTest, LiveEntriesOfBothCataloguesWithAnExistingLibraryBecomeItemsThatCannotBeDisabled) {
    kivtest::ScopedVariable dir(L"KIVTEST_LSPDIR", m_folder.Path());
    const std::wstring name = m_providers[0].szProtocol;
    AddEntry(L"000000000001", Packed(L"%KIVTEST_LSPDIR%\\provider.dll", m_providers[0]));
    AddEntry(L"000000000002", Packed(m_folder.Path() + L"\\gone.dll", m_providers[1]));
    AddEntry(L"000000000003", Packed(m_library, m_providers[1], L"", kPackedSize - 2));  // record cut short
    AddEntry(L"000000000004", Packed(m_library, m_providers[1], L"", 1100));             // beyond the entry buffer
    // The same text names a file for a 32-bit provider and none for a native one.
    wchar_t wow64[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemWow64DirectoryW(wow64, MAX_PATH));
    const std::wstring wowFile = std::wstring(wow64) + L"\\kivlsptest.dll";
    kivtest::WriteFileBytes(wowFile, "MZ");
    std::unique_ptr<const wchar_t, decltype(&DeleteFileW)> removeWowFile(wowFile.c_str(), &DeleteFileW);
    const std::wstring system = L"%windir%\\system32\\kivlsptest.dll";
    AddEntry(L"000000000005", Packed(system, m_providers[1]));
    AddEntry(L"000000000001", Packed(m_library, m_providers[1]), kWow32);
    AddEntry(L"000000000005", Packed(system, m_providers[1]), kWow32);
    Location* live = AddCatalogue();
    Location* twin = AddCatalogue(1);
    m_kiv->Collect();
    EXPECT_TRUE(twin->m_itemIds.empty());
    auto items = Items(live);  // and none from the disabled pass
    ASSERT_EQ((std::vector<std::wstring>{L"000000000001", L"32:000000000001", L"32:000000000005"}), [&] {
        std::vector<std::wstring> keys;
        for (const auto& entry : items) keys.push_back(entry.first);
        return keys;
    }());
    CKivItem* item = items[L"000000000001"];
    EXPECT_EQ(L"000000000001 > " + name, item->m_title);
    // The entry, the protocol and the catalogue, then the provider and entry IDs as listed.
    ASSERT_EQ(5u, item->m_regNames.size());
    EXPECT_EQ((std::vector<std::wstring>{L"000000000001", name, kNative}),
              std::vector<std::wstring>(item->m_regNames.begin(), item->m_regNames.begin() + 3));
    EXPECT_EQ(0, _wcsicmp(m_library.c_str(), item->m_file.filePath.c_str()));
    EXPECT_EQ(L"000000000001", items[L"32:000000000001"]->m_regNames.at(0));
    EXPECT_EQ(kWow32, items[L"32:000000000001"]->m_regNames.at(2));
    EXPECT_EQ(0, _wcsicmp(wowFile.c_str(), items[L"32:000000000005"]->m_file.filePath.c_str()));

    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, item->m_handler->EnableItem(item));
    EXPECT_EQ(0, m_kiv->Ostrel_ItemCompatible(item->m_globalId));
}

TEST_F(LspTest, IndirectProtocolNamesAreReadFromTheLibrarysStrings) {
    std::wstring programFolder = kivtest::ProgramFolder();
    programFolder.pop_back();
    kivtest::ScopedVariable dir(L"KIVTEST_LSPRES", programFolder);
    const std::wstring program = L"@%KIVTEST_LSPRES%\\lsp_test.exe";
    const std::map<std::wstring, std::wstring> stored = {
        {L"1", program + L",-101"},
        {L"2", program + L",-65637"},  // past the last string number; cut to 16 bits it would be 101
        {L"3", program + L",-102"},    // no such string
        {L"4", program + L",101"},     // not written as minus N
        {L"5", program},               // no number
        {L"6", L"@%KIVTEST_LSPRES%\\gone.dll,-101"},
    };
    for (const auto& entry : stored) AddEntry(entry.first, Packed(m_library, m_providers[0], entry.second));
    Location* location = AddCatalogue();
    m_kiv->Collect();

    std::map<std::wstring, std::wstring> shown;
    for (const auto& item : Items(location)) shown[item.first] = item.second->m_regNames.at(1);
    std::map<std::wstring, std::wstring> expected = stored;  // what cannot be resolved is shown as stored
    expected[L"1"] = L"Kiv Test Layered Provider";
    EXPECT_EQ(expected, shown);
    EXPECT_EQ(L"1 > Kiv Test Layered Provider", Items(location)[L"1"]->m_title);
}

// A provider is the one whose ID and name (and, in the native catalogue, entry ID)
// the item's own entry holds; a layered provider that copies its base provider's
// name must never remove the base provider.
TEST_F(LspTest, RemovalTakesOutOnlyTheProviderOfTheItemsOwnRecordThroughItsCatalogue) {
    const WSAPROTOCOL_INFOW base = m_providers[0];
    const std::wstring name = base.szProtocol;
    WSAPROTOCOL_INFOW layered = base, renumbered = base;
    layered.ProviderId.Data1 ^= 0x4B495601;  // a provider that is not installed
    renumbered.dwCatalogEntryId += 5000;
    std::wstring otherCase = name;
    std::transform(name.begin(), name.end(), otherCase.begin(), [](wchar_t c) {
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        return static_cast<wchar_t>(letter ? c ^ 0x20 : c);  // swaps an ASCII letter's case
    });
    ASSERT_NE(name, otherCase);
    AddEntry(L"Base", Packed(m_library, base));
    AddEntry(L"Layered", Packed(m_library, layered));
    AddEntry(L"Renumbered", Packed(m_library, renumbered));
    AddEntry(L"OtherCase", Packed(m_library, base, otherCase));
    AddEntry(L"Moved", Packed(m_library, base));
    AddEntry(L"Gone", Packed(m_library, base));
    AddEntry(L"Swapped", Packed(m_library, layered));
    AddEntry(L"Base", Packed(m_library, renumbered), kWow32);  // the entry ID is the native catalogue's only
    Location* location = AddCatalogue();
    m_kiv->Collect();
    auto items = Items(location);
    ASSERT_EQ(8u, items.size());
    // Since listed: one entry now holds another provider, one is gone, and the
    // layered provider's entry now holds the base provider whose name it copies.
    auto other = std::find_if(m_providers.begin(), m_providers.end(),
                              [&](const WSAPROTOCOL_INFOW& record) { return name != record.szProtocol; });
    ASSERT_NE(m_providers.end(), other);
    AddEntry(L"Moved", Packed(m_library, *other));
    RegDeleteTreeW(HKEY_CURRENT_USER, (m_key.Path() + L"\\" + kNative + L"\\Gone").c_str());
    AddEntry(L"Swapped", Packed(m_library, base));

    for (const wchar_t* refused : {L"Layered", L"Renumbered", L"OtherCase", L"Moved", L"Gone", L"Swapped"})
        EXPECT_EQ(0, m_kiv->RemoveItem(items[refused]->m_globalId)) << refused;
    EXPECT_TRUE(g_asked.empty());

    EXPECT_EQ(1, m_kiv->RemoveItem(items[L"Base"]->m_globalId));
    EXPECT_EQ(1, m_kiv->RemoveItem(items[L"32:Base"]->m_globalId));
    ASSERT_EQ(2u, g_asked.size());
    EXPECT_EQ(kiv::ProviderCatalogue::Native, g_asked[0].catalogue);
    EXPECT_EQ(kiv::ProviderCatalogue::Wow32, g_asked[1].catalogue);
    EXPECT_TRUE(IsEqualGUID(base.ProviderId, g_asked[0].provider));
    EXPECT_TRUE(IsEqualGUID(base.ProviderId, g_asked[1].provider));
    g_answer = SOCKET_ERROR;
    EXPECT_EQ(0, m_kiv->RemoveItem(items[L"Base"]->m_globalId));  // refused
    EXPECT_EQ(3u, g_asked.size());

    // Where the system has no 32-bit catalogue calls, nothing is removed from it.
    HMODULE ws2 = GetModuleHandleW(L"ws2_32.dll");
    if (!GetProcAddress(ws2, "WSCDeinstallProvider32") && !GetProcAddress(ws2, "WSCEnumProtocols32")) {
        kiv::SetProviderCalls(kiv::ProviderCatalogue::Wow32, {});
        EXPECT_EQ(0, m_kiv->RemoveItem(items[L"32:Base"]->m_globalId));
        EXPECT_EQ(3u, g_asked.size());
    }
}

// Winsock removes a provider with every entry it has: the host is told which items
// go together, a refusal keeps Winsock's own cause, and after the removal every
// item of the provider reads as removed.
TEST_F(LspTest, RemovingAnEntryRemovesEveryEntryOfItsProvider) {
    const WSAPROTOCOL_INFOW base = m_providers[0];
    WSAPROTOCOL_INFOW sibling = base, other = base;
    sibling.dwCatalogEntryId += 5000;      // another protocol of the same provider
    other.ProviderId.Data1 ^= 0x4B495602;  // another provider
    AddEntry(L"Base", Packed(m_library, base));
    AddEntry(L"Sibling", Packed(m_library, sibling));
    AddEntry(L"Other", Packed(m_library, other));
    AddEntry(L"Base", Packed(m_library, base), kWow32);  // the same provider in the other catalogue
    Location* location = AddCatalogue();
    m_kiv->Collect();
    auto items = Items(location);
    ASSERT_EQ(4u, items.size());
    const unsigned baseId = items[L"Base"]->m_globalId, siblingId = items[L"Sibling"]->m_globalId;
    EXPECT_EQ((std::vector<unsigned>{baseId, siblingId}), m_kiv->GetItemRemovalGroup(baseId));
    EXPECT_EQ((std::vector<unsigned>{siblingId, baseId}), m_kiv->GetItemRemovalGroup(siblingId));
    EXPECT_EQ(std::vector<unsigned>{items[L"Other"]->m_globalId},
              m_kiv->GetItemRemovalGroup(items[L"Other"]->m_globalId));
    EXPECT_TRUE(m_kiv->GetItemRemovalGroup(9999).empty());

    g_answer = SOCKET_ERROR;
    EXPECT_EQ(0, m_kiv->RemoveItem(baseId));
    EXPECT_EQ(static_cast<DWORD>(WSAEINVAL), GetLastError());
    EXPECT_EQ(0, m_kiv->IsRemoved(siblingId));
    g_answer = 0;
    ASSERT_EQ(1, m_kiv->RemoveItem(baseId));
    for (const auto& entry : items)
        EXPECT_EQ(entry.first == L"Base" || entry.first == L"Sibling" ? 1 : 0,
                  m_kiv->IsRemoved(entry.second->m_globalId))
            << kivtest::Narrow(entry.first);
}
