// Autostarts that no run value or folder shows: the commands of services' failure
// actions and the programs the logon screen starts. Wine's service manager accepts
// a change of the failure actions but keeps none of it (its query answers
// ERROR_INVALID_LEVEL), so the commands are read from and written to the service's
// key for real, as Windows' manager keeps them there too; the manager's refusal is
// seen through the step's change seam.
#include <gtest/gtest.h>

#include <vector>

#include "core/Records.h"
#include "handlers/steps/RecoveryCommands.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/ServiceTestKit.h"
#include "support/TestSupport.h"

using kivtest::DeniedRight;
using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::TestService;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";

std::wstring ServiceKey(const std::wstring& name) { return std::wstring(kServicesKey) + L"\\" + name; }
std::wstring MarkerKey(const std::wstring& name) { return ServiceKey(name) + L"\\_disabledByKiv"; }

// The command the key holds under "FailureCommand"; empty when there is none.
std::wstring CommandIn(const std::wstring& key) {
    RawValue raw;
    if (!ReadRaw(HKEY_LOCAL_MACHINE, key, L"FailureCommand", raw) || raw.bytes.size() < sizeof(wchar_t)) return L"";
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.bytes.data()), raw.bytes.size() / sizeof(wchar_t) - 1);
}

void SetCommandIn(const std::wstring& key, const std::wstring& command) {
    WriteRaw(HKEY_LOCAL_MACHINE, key, L"FailureCommand", TextValue(REG_SZ, command));
}

kiv::Status RefusedByManager(const std::wstring&, const std::wstring&) {
    return kiv::Status::Fail(ERROR_ACCESS_DENIED);
}

class RecoveryCommandTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        m_location = AddLocation(L"HKLM\\" + std::wstring(kServicesKey), L"", 0, ServiceRecovery);
    }
    void TearDown() override {
        kiv::SetRecoveryCommandChange(nullptr);
        FacadeTest::TearDown();
    }
    CKivItem* Collected(const TestService& service) {
        m_kiv->Collect();
        for (unsigned id : m_location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_regNames == std::vector<std::wstring>{service.Name()}) return item;
        }
        return nullptr;
    }
    Location* m_location = nullptr;
};

}  // namespace

TEST_F(RecoveryCommandTest, EachServiceWithACommandThatStartsAFileIsListedInThePassOfWhereItIsKept) {
    ScratchFolder folder(L"RecoveryCollect");
    const std::wstring program = folder.AddFile(L"recover.exe");
    struct Case {
        const wchar_t* name;
        std::wstring live, kept;
        bool listed;
        unsigned enabled;
    } cases[] = {
        {L"KivRecLive", L"\"" + program + L"\" --after-failure %1%", L"", true, 1},
        {L"KivRecKept", L"", program, true, 0},
        {L"KivRecMissing", folder.Path() + L"\\missing.exe", L"", false, 0},
        {L"KivRecNone", L"", L"", false, 0},
    };
    std::vector<std::unique_ptr<TestService>> services;
    for (const Case& c : cases) {
        services.push_back(std::make_unique<TestService>(c.name, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                         L"c:\\windows\\system32\\svchost.exe -k kivtest"));
        if (!c.live.empty()) SetCommandIn(ServiceKey(c.name), c.live);
        if (!c.kept.empty()) SetCommandIn(MarkerKey(c.name), c.kept);
    }
    for (size_t i = 0; i < services.size(); ++i) {
        SCOPED_TRACE(kivtest::Narrow(cases[i].name));
        CKivItem* item = Collected(*services[i]);
        ASSERT_EQ(cases[i].listed, item != nullptr);
        if (!item) continue;
        EXPECT_EQ(cases[i].enabled, item->m_enabled);
        EXPECT_EQ(services[i]->DisplayName(), item->m_title);
        EXPECT_EQ(Lower(program), Lower(item->m_file.filePath));
    }
}

TEST_F(RecoveryCommandTest, DisableKeepsTheCommandInTheMarkerAndEnablePutsItBack) {
    ScratchFolder folder(L"RecoveryTrip");
    const std::wstring command = L"\"" + folder.AddFile(L"recover.exe") + L"\" /restart";
    TestService service(L"KivRecTrip", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        L"c:\\windows\\system32\\svchost.exe -k kivtest");
    SetCommandIn(ServiceKey(service.Name()), command);

    CKivItem* item = Collected(service);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(L"", CommandIn(ServiceKey(service.Name())));
    EXPECT_EQ(command, CommandIn(MarkerKey(service.Name())));
    // Disabling again keeps the one command kept, and the entry stays disabled.
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(command, CommandIn(MarkerKey(service.Name())));

    item = Collected(service);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_enabled);
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(command, CommandIn(ServiceKey(service.Name())));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MarkerKey(service.Name())));
    item = Collected(service);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(1u, item->m_enabled);

    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_EQ(command, CommandIn(ServiceKey(service.Name())));
}

TEST_F(RecoveryCommandTest, ARefusedChangeKeepsEveryCommandWhereItWasAndNamesItsCause) {
    ScratchFolder folder(L"RecoveryRefused");
    const std::wstring command = folder.AddFile(L"recover.exe");
    const std::wstring other = folder.AddFile(L"other.exe");
    TestService service(L"KivRecRefused", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        L"c:\\windows\\system32\\svchost.exe -k kivtest");
    const std::wstring live = ServiceKey(service.Name()), marker = MarkerKey(service.Name());
    SetCommandIn(live, command);
    CKivItem* item = Collected(service);
    ASSERT_NE(nullptr, item);

    {  // the manager refuses: the marker written first is taken back out
        kiv::SetRecoveryCommandChange(&RefusedByManager);
        EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        kiv::SetRecoveryCommandChange(nullptr);
        EXPECT_EQ(command, CommandIn(live));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, marker));
    }
    {  // a service key that may only be read: nothing is written at all
        DeniedRight readOnly(live, L"D:P(A;;KR;;;WD)", HKEY_LOCAL_MACHINE);
        EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_EQ(command, CommandIn(live));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, marker));

    // A kept command of another text is never written over, nor a live one by enable.
    SetCommandIn(marker, other);
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    item = Collected(service);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1u, item->m_enabled);
    m_kiv->Collect();
    CKivItem* kept = nullptr;
    for (unsigned id : m_location->m_itemIds)
        if (CKivItem* i = m_kiv->ItemMapGet(id); i && !i->m_enabled && i->m_regNames[0] == service.Name()) kept = i;
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ(0, m_kiv->EnableItem(kept->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(command, CommandIn(live));
    EXPECT_EQ(other, CommandIn(marker));
}

namespace {

// A program of the test's own put in the system folder under a logon-screen
// program's name (Wine ships none of them), taken away again at the end.
class PlantedProgram {
public:
    PlantedProgram(const std::wstring& name, const std::wstring& from) : m_path(L"c:\\windows\\system32\\" + name) {
        EXPECT_TRUE(CopyFileW(from.c_str(), m_path.c_str(), FALSE)) << GetLastError();
    }
    ~PlantedProgram() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

class AccessibilityProgramTest : public kivtest::FacadeTest {};

}  // namespace

TEST_F(AccessibilityProgramTest, TheLogonScreenProgramsPresentAreListedWithTheFactsOfTheirFilesAndNeverChanged) {
    const std::wstring copy = kivtest::ProgramFolder() + L"kivff_multi.dll";
    PlantedProgram sethc(L"sethc.exe", copy), osk(L"osk.exe", L"c:\\windows\\system32\\cmd.exe");
    Location* location = AddLocation(L"C:\\windows\\system32", L"", 2, AccessibilityPrograms);
    m_kiv->Collect();

    const std::vector<CKivItem*> items = ItemsOf(location);
    ASSERT_EQ(2u, items.size());  // the other five are not there under Wine
    EXPECT_EQ(L"sethc.exe", items[0]->m_title);
    EXPECT_EQ(L"osk.exe", items[1]->m_title);
    EXPECT_EQ(Lower(sethc.Path()), Lower(items[0]->m_file.filePath));
    // The facts tell the copy of another program from what the system ships.
    EXPECT_NE(items[0]->m_file.md5, items[1]->m_file.md5);
    EXPECT_NE(std::wstring(), items[0]->m_file.version.Description());

    for (CKivItem* item : items) {
        EXPECT_EQ(1u, item->m_enabled);
        // Asked of the handler itself: the facade answers an enable of an enabled entry.
        using Action = int (CKivHandler::*)(CKivItem*);
        for (Action action :
             {Action(&CKivHandler::DisableItem), Action(&CKivHandler::EnableItem), Action(&CKivHandler::RemoveItem)}) {
            EXPECT_EQ(0, (item->m_handler->*action)(item));
            EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
        }
        EXPECT_EQ(GotoKind::Explorer, item->m_gotoKind);
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(sethc.Path().c_str()));
}
