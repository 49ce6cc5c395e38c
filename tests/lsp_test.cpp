#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::RawValue;

namespace {

const size_t kPackedSize = 260 + sizeof(WSAPROTOCOL_INFOW);

// The providers Winsock reports as installed, in its order.
std::vector<WSAPROTOCOL_INFOW> InstalledProviders() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    DWORD bytes = 0;
    WSAEnumProtocolsW(nullptr, nullptr, &bytes);
    std::vector<WSAPROTOCOL_INFOW> records(bytes / sizeof(WSAPROTOCOL_INFOW) + 1);
    bytes = static_cast<DWORD>(records.size() * sizeof(WSAPROTOCOL_INFOW));
    int count = WSAEnumProtocolsW(nullptr, records.data(), &bytes);
    WSACleanup();
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

// Stands in for the removal call, which removes nothing where the tests run, and
// records which providers it was asked to remove.
std::vector<GUID> g_asked;
int g_answer = 0;
int __stdcall RecordDeinstall(GUID* provider, int* error) {
    g_asked.push_back(*provider);
    *error = g_answer ? WSAEINVAL : 0;
    return g_answer;
}

// A facade over an empty catalogue, and a provider catalogue of the test's own.
class LspTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        m_providers = InstalledProviders();
        ASSERT_GE(m_providers.size(), 2u);
        m_library = m_folder.AddFile(L"provider.dll");
        m_previous = kiv::SetProviderDeinstall(&RecordDeinstall);
        g_asked.clear();
        g_answer = 0;
    }
    void TearDown() override {
        kiv::SetProviderDeinstall(m_previous);
        FacadeTest::TearDown();
    }

    Location* AddCatalogue(unsigned char wow64 = 0) {
        return AddLocation(L"HKCU\\" + m_key.Path(), L"", 0, LspChain, wow64);
    }
    void AddEntry(const std::wstring& name, const RawValue& packed) {
        kivtest::WriteRaw(HKEY_CURRENT_USER, m_key.Path() + L"\\Catalog_Entries\\" + name, L"PackedCatalogItem",
                          packed);
    }
    // Each item by its entry's name.
    std::map<std::wstring, CKivItem*> Items(const Location* location) {
        std::map<std::wstring, CKivItem*> found;
        for (unsigned id : location->m_itemIds) found[m_kiv->ItemMapGet(id)->m_regNames.at(0)] = m_kiv->ItemMapGet(id);
        return found;
    }

    kivtest::ScratchKey m_key{L"LspCatalogue"};
    kivtest::ScratchFolder m_folder{L"LspCatalogue"};
    std::wstring m_library;
    std::vector<WSAPROTOCOL_INFOW> m_providers;
    kiv::ProviderDeinstall m_previous = nullptr;
};

}  // namespace

TEST_F(LspTest, LiveEntriesWithAnExistingLibraryBecomeItemsThatCannotBeDisabled) {
    kivtest::ScopedVariable dir(L"KIVTEST_LSPDIR", m_folder.Path());
    const std::wstring name = m_providers[0].szProtocol;
    AddEntry(L"000000000001", Packed(L"%KIVTEST_LSPDIR%\\provider.dll", m_providers[0]));
    AddEntry(L"000000000002", Packed(m_folder.Path() + L"\\gone.dll", m_providers[1]));
    AddEntry(L"000000000003", Packed(m_library, m_providers[1], L"", kPackedSize - 2));  // record cut short
    AddEntry(L"000000000004", Packed(m_library, m_providers[1], L"", 1100));  // beyond the entry buffer
    Location* live = AddCatalogue();
    Location* twin = AddCatalogue(1);
    m_kiv->Collect();
    EXPECT_TRUE(twin->m_itemIds.empty());
    ASSERT_EQ(1u, live->m_itemIds.size());  // and none from the disabled pass
    CKivItem* item = m_kiv->ItemMapGet(live->m_itemIds[0]);
    EXPECT_EQ(L"000000000001 > " + name, item->m_title);
    EXPECT_EQ((std::vector<std::wstring>{L"000000000001", name}), item->m_regNames);
    EXPECT_EQ(0, _wcsicmp(m_library.c_str(), item->m_file.filePath.c_str()));

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

TEST_F(LspTest, RemovalAsksForTheFirstInstalledProviderOfExactlyThatName) {
    // A provider whose identifier differs from the first one's, so that a wrong pick shows.
    size_t pick = 1;
    while (pick + 1 < m_providers.size() && IsEqualGUID(m_providers[pick].ProviderId, m_providers[0].ProviderId))
        ++pick;
    const std::wstring name = m_providers[pick].szProtocol;
    auto first = std::find_if(m_providers.begin(), m_providers.end(),
                              [&](const WSAPROTOCOL_INFOW& record) { return name == record.szProtocol; });
    std::wstring otherCase = name;
    std::transform(name.begin(), name.end(), otherCase.begin(), [](wchar_t c) {
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        return static_cast<wchar_t>(letter ? c ^ 0x20 : c);  // swaps an ASCII letter's case
    });
    ASSERT_NE(name, otherCase);
    AddEntry(L"A", Packed(m_library, m_providers[0], name));
    AddEntry(L"B", Packed(m_library, m_providers[0], otherCase));
    AddEntry(L"C", Packed(m_library, m_providers[0], L"Kiv Test Provider Not Installed"));
    Location* location = AddCatalogue();
    m_kiv->Collect();
    auto items = Items(location);
    ASSERT_EQ(3u, items.size());

    EXPECT_EQ(1, m_kiv->RemoveItem(items[L"A"]->m_globalId));
    ASSERT_EQ(1u, g_asked.size());
    EXPECT_TRUE(IsEqualGUID(first->ProviderId, g_asked[0]));
    g_answer = SOCKET_ERROR;
    EXPECT_EQ(0, m_kiv->RemoveItem(items[L"A"]->m_globalId));  // refused
    EXPECT_EQ(0, m_kiv->RemoveItem(items[L"B"]->m_globalId));  // names compare with regard to case
    EXPECT_EQ(0, m_kiv->RemoveItem(items[L"C"]->m_globalId));
    EXPECT_EQ(2u, g_asked.size());
}
