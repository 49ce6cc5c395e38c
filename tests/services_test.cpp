#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <vector>

#include "core/Records.h"
#include "handlers/steps/ServiceEntries.h"
#include "platform/Handles.h"
#include "platform/ServiceHandles.h"
#include "support/RegistryTestKit.h"
#include "support/ServiceTestKit.h"
#include "support/TestSupport.h"

using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::TestService;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";
const wchar_t kGroupsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost";

std::wstring ServiceKey(const std::wstring& name) { return std::wstring(kServicesKey) + L"\\" + name; }

RawValue Dword(DWORD value) {
    RawValue raw;
    raw.type = REG_DWORD;
    raw.bytes.assign(reinterpret_cast<const BYTE*>(&value), reinterpret_cast<const BYTE*>(&value) + sizeof(value));
    return raw;
}

// A multi-string value with exactly the characters given (NULs included).
RawValue MultiValue(const std::wstring& chars) {
    RawValue raw;
    raw.type = REG_MULTI_SZ;
    raw.bytes.assign(reinterpret_cast<const BYTE*>(chars.data()),
                     reinterpret_cast<const BYTE*>(chars.data()) + chars.size() * sizeof(wchar_t));
    return raw;
}

RawValue ReadServiceValue(const std::wstring& service, const std::wstring& name) {
    RawValue raw;
    if (!ReadRaw(HKEY_LOCAL_MACHINE, ServiceKey(service), name, raw)) raw.type = REG_NONE;
    return raw;
}

bool ServiceExists(const std::wstring& name) {
    kiv::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    kiv::UniqueService service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
    return service.Valid();
}

// The start type as the service manager itself reports it.
DWORD ManagerStartType(const std::wstring& name) {
    kiv::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    kiv::UniqueService service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_CONFIG));
    DWORD needed = 0;
    if (QueryServiceConfigW(service.Get(), nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return MAXDWORD;
    std::vector<QUERY_SERVICE_CONFIGW> config(needed / sizeof(QUERY_SERVICE_CONFIGW) + 1);
    if (!QueryServiceConfigW(service.Get(), config.data(),
                             static_cast<DWORD>(config.size() * sizeof(QUERY_SERVICE_CONFIGW)), &needed))
        return MAXDWORD;
    return config[0].dwStartType;
}

// Values of the test's own in the shared-process group key, deleted at the end.
class TestGroups {
public:
    ~TestGroups() {
        kiv::UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupsKey, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) return;
        for (const std::wstring& name : m_names) RegDeleteValueW(key.Get(), name.c_str());
    }
    void Add(const std::wstring& name, const RawValue& value) {
        m_names.push_back(name);
        WriteRaw(HKEY_LOCAL_MACHINE, kGroupsKey, name, value);
    }
    RawValue Read(const std::wstring& name) const {
        RawValue raw;
        if (!ReadRaw(HKEY_LOCAL_MACHINE, kGroupsKey, name, raw)) raw.type = REG_NONE;
        return raw;
    }

private:
    std::vector<std::wstring> m_names;
};

// A facade over an empty catalogue with one category holding a service location
// and a driver location over the machine's services key.
class ServiceHandlerTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        const std::wstring path = L"HKLM\\" + std::wstring(kServicesKey);
        m_services = AddLocation(path, L"", 0, Services);
        m_drivers = AddLocation(path, L"", 0, Drivers);
    }

    CKivItem* Find(Location* location, const TestService& service) {
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_title == service.DisplayName()) return item;
        }
        return nullptr;
    }

    CKivItem* Collected(const TestService& service) {
        m_kiv->Collect();
        return Find(m_services, service);
    }

    Location* m_services = nullptr;
    Location* m_drivers = nullptr;
};

}  // namespace

TEST_F(ServiceHandlerTest, StartTypeChoosesThePassAndOnlyResolvableServicesOfTheKindAreListed) {
    ScratchFolder folder(L"SvcCollect");
    const std::wstring program = folder.AddFile(L"svc.exe");
    const std::wstring driverFile = folder.AddFile(L"drv.sys");
    TestService demand(L"KivSvcTestDemand", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                       L"\"" + program + L"\" -run");
    TestService off(L"KivSvcTestOff", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    TestService missing(L"KivSvcTestMissing", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        folder.Path() + L"\\missing.exe");
    TestService driver(L"KivSvcTestDriver", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, driverFile);

    m_kiv->Collect();
    CKivItem* demandItem = Find(m_services, demand);
    ASSERT_NE(nullptr, demandItem);
    EXPECT_EQ(1u, demandItem->m_enabled);
    EXPECT_EQ(std::vector<std::wstring>{demand.Name()}, demandItem->m_regNames);
    EXPECT_EQ(Lower(program), Lower(demandItem->m_file.filePath));

    CKivItem* offItem = Find(m_services, off);
    ASSERT_NE(nullptr, offItem);
    EXPECT_EQ(0u, offItem->m_enabled);
    EXPECT_EQ(nullptr, Find(m_services, missing));

    // Drivers belong to the driver location only, services to the service location only.
    EXPECT_EQ(nullptr, Find(m_services, driver));
    CKivItem* driverItem = Find(m_drivers, driver);
    ASSERT_NE(nullptr, driverItem);
    EXPECT_EQ(Lower(driverFile), Lower(driverItem->m_file.filePath));
    EXPECT_EQ(nullptr, Find(m_drivers, demand));
}

TEST_F(ServiceHandlerTest, DisableKeepsTheFormerStartTypeThroughRepeatsAndEnableRestoresIt) {
    ScratchFolder folder(L"SvcDisable");
    TestService service(L"KivSvcTestDisable", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                        folder.AddFile(L"svc.exe"));
    CKivItem* item = Collected(service);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1u, item->m_enabled);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_EQ(Dword(4), ReadServiceValue(service.Name(), L"Start"));
    EXPECT_EQ(Dword(2), ReadServiceValue(service.Name(), L"_disabledByKiv"));
    // The manager knows at once: the change goes through it, not only the registry.
    EXPECT_EQ(DWORD(SERVICE_DISABLED), ManagerStartType(service.Name()));

    // A second disable must not save the 4 over the start type it had.
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(Dword(2), ReadServiceValue(service.Name(), L"_disabledByKiv"));

    item = Collected(service);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_enabled);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_EQ(Dword(2), ReadServiceValue(service.Name(), L"Start"));
    EXPECT_EQ(DWORD(SERVICE_AUTO_START), ManagerStartType(service.Name()));
    EXPECT_EQ(REG_NONE, ReadServiceValue(service.Name(), L"_disabledByKiv").type);

    // Disabled by other means through the manager, with nothing saved: the enable
    // gives it an automatic start that the manager reports too.
    {
        kiv::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        kiv::UniqueService handle(OpenServiceW(manager.Get(), service.Name().c_str(), SERVICE_CHANGE_CONFIG));
        ASSERT_TRUE(ChangeServiceConfigW(handle.Get(), SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    item = Collected(service);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(DWORD(SERVICE_AUTO_START), ManagerStartType(service.Name()));
}

TEST_F(ServiceHandlerTest, EnableNeverInventsAStartTypeSilentlyAndUnusableValuesAreNeverOverwritten) {
    ScratchFolder folder(L"SvcNoMark");
    const std::wstring program = folder.AddFile(L"svc.exe");
    TestService offElsewhere(L"KivSvcTestOffElsewhere", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    TestService backOn(L"KivSvcTestBackOn", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    TestService badMark(L"KivSvcTestBadMark", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    TestService badStart(L"KivSvcTestBadStart", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, program);
    m_kiv->Collect();
    CKivItem* offItem = Find(m_services, offElsewhere);
    CKivItem* backItem = Find(m_services, backOn);
    CKivItem* badMarkItem = Find(m_services, badMark);
    CKivItem* badStartItem = Find(m_services, badStart);
    ASSERT_TRUE(offItem && backItem && badMarkItem && badStartItem);

    // Disabled by other means: automatic start; the handler writes no log line.
    LogCapture log;
    ASSERT_EQ(1, m_kiv->EnableItem(offItem->m_globalId));
    EXPECT_EQ(Dword(2), ReadServiceValue(offElsewhere.Name(), L"Start"));

    // Started again by other means since the collection: its start type stays, and
    // so does a mark saved earlier; disabled again by other means, a disable leaves
    // both as they are.
    WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(backOn.Name()), L"Start", Dword(3));
    WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(backOn.Name()), L"_disabledByKiv", Dword(2));
    ASSERT_EQ(1, m_kiv->EnableItem(backItem->m_globalId));
    EXPECT_EQ(Dword(3), ReadServiceValue(backOn.Name(), L"Start"));
    EXPECT_EQ(Dword(2), ReadServiceValue(backOn.Name(), L"_disabledByKiv"));
    WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(backOn.Name()), L"Start", Dword(4));
    ASSERT_EQ(1, m_kiv->DisableItem(backItem->m_globalId));
    EXPECT_EQ(Dword(4), ReadServiceValue(backOn.Name(), L"Start"));
    EXPECT_EQ(Dword(2), ReadServiceValue(backOn.Name(), L"_disabledByKiv"));
    EXPECT_TRUE(log.Messages().empty());

    // A mark that cannot be read is never replaced; one that holds a start type that
    // does not start the service is no mark: automatic start, and the mark goes.
    RawValue quadword;
    quadword.type = REG_QWORD;
    quadword.bytes.assign(8, 0);
    for (const RawValue& mark : {TextValue(REG_SZ, L"2"), quadword}) {
        WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(badMark.Name()), L"_disabledByKiv", mark);
        EXPECT_EQ(0, m_kiv->EnableItem(badMarkItem->m_globalId));
        EXPECT_EQ(Dword(4), ReadServiceValue(badMark.Name(), L"Start"));
        EXPECT_EQ(mark, ReadServiceValue(badMark.Name(), L"_disabledByKiv"));
    }
    for (DWORD saved : {4u, 7u}) {
        WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(badMark.Name()), L"Start", Dword(4));
        WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(badMark.Name()), L"_disabledByKiv", Dword(saved));
        badMarkItem->m_enabled = 0;
        ASSERT_EQ(1, m_kiv->EnableItem(badMarkItem->m_globalId));
        EXPECT_EQ(Dword(2), ReadServiceValue(badMark.Name(), L"Start"));
        EXPECT_EQ(REG_NONE, ReadServiceValue(badMark.Name(), L"_disabledByKiv").type);
    }
    const RawValue textStart = TextValue(REG_SZ, L"3");
    WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(badStart.Name()), L"Start", textStart);
    EXPECT_EQ(0, m_kiv->DisableItem(badStartItem->m_globalId));
    EXPECT_EQ(textStart, ReadServiceValue(badStart.Name(), L"Start"));
    EXPECT_EQ(REG_NONE, ReadServiceValue(badStart.Name(), L"_disabledByKiv").type);
    // Nothing saved and a start value that cannot be read: enable leaves it as it is
    // (asked of the item as if it had been found disabled).
    badStartItem->m_enabled = 0;
    EXPECT_EQ(0, m_kiv->EnableItem(badStartItem->m_globalId));
    EXPECT_EQ(textStart, ReadServiceValue(badStart.Name(), L"Start"));
}

// Services leave the shared-process groups that name them; drivers belong to none.
TEST_F(ServiceHandlerTest, RemovalDeletesTheServiceAndTakesAServiceOutOfEveryGroupThatNamesIt) {
    ScratchFolder folder(L"SvcRemove");
    TestService service(L"KivSvcTestGrouped", SERVICE_WIN32_SHARE_PROCESS, SERVICE_DEMAND_START,
                        folder.AddFile(L"host.exe") + L" -k kivtest");
    TestService driver(L"KivSvcTestDriverGone", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                       folder.AddFile(L"gone.sys"));
    const std::wstring nul(1, L'\0');
    // Too large for the group buffer: passed over, and the walk goes on behind it.
    std::wstring many;
    for (int i = 0; i < 200; ++i) many += L"KivSvcTestFiller" + std::to_wstring(i) + nul;
    const RawValue large = MultiValue(many + L"KivSvcTestGrouped" + nul + nul);
    // Without the final NUL, so that any rewrite would show.
    const RawValue other = MultiValue(L"other" + nul);
    const RawValue driverGroup = MultiValue(L"KivSvcTestDriverGone" + nul);
    TestGroups groups;
    groups.Add(L"KivSvcTestGroupLarge", large);
    groups.Add(L"KivSvcTestGroupMixed", MultiValue(L"alpha" + nul + L"kivsvctestgrouped" + nul + L"beta" + nul + nul));
    groups.Add(L"KivSvcTestGroupOther", other);
    groups.Add(L"KivSvcTestGroupOnly", MultiValue(L"KIVSVCTESTGROUPED" + nul + nul));
    groups.Add(L"KivSvcTestGroupDriver", driverGroup);
    // An empty string in the middle: rewriting would drop "gamma" behind the gap.
    const RawValue gap = MultiValue(L"KivSvcTestGrouped" + nul + nul + L"gamma" + nul + nul);
    groups.Add(L"KivSvcTestGroupGap", gap);
    m_kiv->Collect();
    CKivItem* serviceItem = Find(m_services, service);
    CKivItem* driverItem = Find(m_drivers, driver);
    ASSERT_TRUE(serviceItem && driverItem);

    ASSERT_EQ(1, m_kiv->RemoveItem(driverItem->m_globalId));
    EXPECT_FALSE(ServiceExists(driver.Name()));
    EXPECT_EQ(driverGroup, groups.Read(L"KivSvcTestGroupDriver"));

    ASSERT_EQ(1, m_kiv->RemoveItem(serviceItem->m_globalId));
    EXPECT_FALSE(ServiceExists(service.Name()));
    EXPECT_EQ(MultiValue(L"alpha" + nul + L"beta" + nul + nul), groups.Read(L"KivSvcTestGroupMixed"));
    EXPECT_EQ(MultiValue(nul), groups.Read(L"KivSvcTestGroupOnly"));
    EXPECT_EQ(large, groups.Read(L"KivSvcTestGroupLarge"));
    EXPECT_EQ(other, groups.Read(L"KivSvcTestGroupOther"));
    EXPECT_EQ(gap, groups.Read(L"KivSvcTestGroupGap"));
    EXPECT_EQ(0, m_kiv->RemoveItem(serviceItem->m_globalId));  // gone already
}

namespace {

// A service manager that refuses every service's configuration, as it does for a
// service whose own access list shuts the user out (the test system's manager does
// not enforce those lists).
bool RefusingQuery(SC_HANDLE, const wchar_t*, kiv::ServiceConfig&) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

kiv::Status RefusedStartType(HKEY, const std::wstring&, DWORD) { return kiv::Status::Fail(ERROR_ACCESS_DENIED); }

}  // namespace

TEST_F(ServiceHandlerTest, AServiceThatRefusesItsConfigurationIsListedFromItsKey) {
    ScratchFolder folder(L"SvcRefusing");
    const std::wstring program = folder.AddFile(L"svc.exe");
    TestService on(L"KivSvcTestRefusingOn", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"\"" + program + L"\" -k");
    TestService off(L"KivSvcTestRefusingOff", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    const kiv::ServiceConfigQuery real = kiv::SetServiceConfigQuery(&RefusingQuery);
    m_kiv->Collect();
    kiv::SetServiceConfigQuery(real);
    for (const TestService* service : {&on, &off}) {
        CKivItem* item = Find(m_services, *service);
        ASSERT_NE(nullptr, item) << kivtest::Narrow(service->Name());
        EXPECT_EQ(Lower(program), Lower(item->m_file.filePath));
        EXPECT_EQ(service == &on ? 1u : 0u, item->m_enabled);
    }
}

// A listing reads each service from its key in one pass; the manager is asked only
// for what a key cannot tell (no image path), and its answer is taken then.
std::vector<std::wstring> g_asked;
bool CountedQuery(SC_HANDLE manager, const wchar_t* service, kiv::ServiceConfig& config) {
    g_asked.push_back(Lower(service));
    config.image = L"C:\\kivtests\\SvcOnePass\\svc.exe";
    config.start = SERVICE_AUTO_START;
    return manager != nullptr;
}

TEST_F(ServiceHandlerTest, ServicesAreReadFromTheirKeysInOnePass) {
    ScratchFolder folder(L"SvcOnePass");
    const std::wstring program = folder.AddFile(L"svc.exe");
    TestService keyed(L"KivSvcTestOnePass", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, program);
    TestService bare(L"KivSvcTestNoImage", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, program);
    HKEY services = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\KivSvcTestNoImage", 0,
                            KEY_SET_VALUE, &services));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(services, L"ImagePath"));
    RegCloseKey(services);
    g_asked.clear();
    const kiv::ServiceConfigQuery real = kiv::SetServiceConfigQuery(&CountedQuery);
    m_kiv->Collect();
    kiv::SetServiceConfigQuery(real);
    EXPECT_EQ(0, std::count(g_asked.begin(), g_asked.end(), Lower(keyed.Name())));
    EXPECT_EQ(1, std::count(g_asked.begin(), g_asked.end(), Lower(bare.Name())));  // once for both passes
    CKivItem* fromKey = Find(m_services, keyed);
    CKivItem* fromManager = Find(m_services, bare);
    ASSERT_TRUE(fromKey && fromManager);
    EXPECT_EQ(0u, fromKey->m_enabled);
    EXPECT_EQ(Lower(program), Lower(fromManager->m_file.filePath));
    EXPECT_EQ(1u, fromManager->m_enabled);  // the key's own start type decides
    // What the first pass read serves its own collection only: the next one reads
    // the keys again and sees what changed in between.
    kiv::SetServiceConfigQuery(&CountedQuery);
    WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(keyed.Name()), L"Start", Dword(SERVICE_DEMAND_START));
    m_kiv->Collect();
    kiv::SetServiceConfigQuery(real);
    EXPECT_EQ(2, std::count(g_asked.begin(), g_asked.end(), Lower(bare.Name())));
    fromKey = Find(m_services, keyed);
    ASSERT_NE(nullptr, fromKey);
    EXPECT_EQ(1u, fromKey->m_enabled);
}

// The start type cannot be changed (the manager and the key both refuse): the mark
// the disable wrote goes back to what it was, and nothing else changed.
TEST_F(ServiceHandlerTest, ADisableWhoseStartTypeCannotChangePutsTheEarlierMarkBack) {
    ScratchFolder folder(L"SvcRollback");
    TestService service(L"KivSvcTestRollback", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                        folder.AddFile(L"svc.exe"));
    CKivItem* item = Collected(service);
    ASSERT_NE(nullptr, item);
    const kiv::StartTypeChange real = kiv::SetStartTypeChange(&RefusedStartType);
    for (const RawValue& earlier : {RawValue(), Dword(3)}) {
        if (earlier.type == REG_NONE)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, ServiceKey(service.Name()).c_str(), L"_disabledByKiv");
        else WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(service.Name()), L"_disabledByKiv", earlier);
        EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(1, m_kiv->GetItemEnabled(item->m_globalId));
        EXPECT_EQ(earlier, ReadServiceValue(service.Name(), L"_disabledByKiv"));
        EXPECT_EQ(Dword(2), ReadServiceValue(service.Name(), L"Start"));
    }
    kiv::SetStartTypeChange(real);
    EXPECT_EQ(DWORD(SERVICE_AUTO_START), ManagerStartType(service.Name()));
}

TEST_F(ServiceHandlerTest, ASharedServiceNamesItsOwnLibraryWithItsMd5) {
    ScratchFolder folder(L"SvcLibrary");
    const std::wstring host = folder.AddFile(L"host.exe"), systemHost = folder.AddFile(L"svchost.exe");
    const std::wstring a = folder.AddFile(L"a.dll", "MZ-a"), b = folder.AddFile(L"b.dll", "MZ-b");
    kivtest::ScopedVariable dir(L"KIVTEST_SVCDIR", folder.Path());
    struct Case {
        const wchar_t* name;
        DWORD type;
        const wchar_t* parameters;  // "ServiceDll" of the Parameters key; null: none
        const wchar_t* own;         // "ServiceDll" of the service's key; null: none
        std::wstring library;
        const wchar_t* md5;
        std::wstring image = {};  // empty: host.exe
    } cases[] = {
        {L"KivSvcLibParams", SERVICE_WIN32_SHARE_PROCESS, L"%KIVTEST_SVCDIR%\\a.dll", nullptr, a,
         L"72898756508cf929b44d3f283b611a65"},
        {L"KivSvcLibOwn", SERVICE_WIN32_SHARE_PROCESS, nullptr, L"%KIVTEST_SVCDIR%\\b.dll", b,
         L"5dd2016619deb8e947bdb3ff3ef3d78f"},
        {L"KivSvcLibBoth", SERVICE_WIN32_SHARE_PROCESS, L"%KIVTEST_SVCDIR%\\b.dll", L"%KIVTEST_SVCDIR%\\a.dll", b,
         L"5dd2016619deb8e947bdb3ff3ef3d78f"},
        {L"KivSvcLibGone", SERVICE_WIN32_SHARE_PROCESS, L"%KIVTEST_SVCDIR%\\gone.dll", nullptr,
         folder.Path() + L"\\gone.dll", L""},
        {L"KivSvcLibNone", SERVICE_WIN32_OWN_PROCESS, nullptr, nullptr, L"", L""},
        // A process of its own that is not the system's host loads no library.
        {L"KivSvcLibOwnProcess", SERVICE_WIN32_OWN_PROCESS, L"%KIVTEST_SVCDIR%\\a.dll", nullptr, L"", L""},
        // The system's host running a single service on its own still loads it.
        {L"KivSvcLibOwnHost", SERVICE_WIN32_OWN_PROCESS, L"%KIVTEST_SVCDIR%\\a.dll", nullptr, a,
         L"72898756508cf929b44d3f283b611a65", systemHost},
        {L"KivSvcLibDriver", SERVICE_KERNEL_DRIVER, L"%KIVTEST_SVCDIR%\\a.dll", nullptr, L"", L""},
    };
    std::vector<std::unique_ptr<TestService>> services;
    for (const Case& c : cases) {
        services.push_back(std::make_unique<TestService>(c.name, c.type, SERVICE_DEMAND_START,
                                                         (c.image.empty() ? host : c.image) + L" -k kiv"));
        if (c.parameters)
            WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(c.name) + L"\\Parameters", L"ServiceDll",
                     TextValue(REG_EXPAND_SZ, c.parameters));
        if (c.own) WriteRaw(HKEY_LOCAL_MACHINE, ServiceKey(c.name), L"ServiceDll", TextValue(REG_EXPAND_SZ, c.own));
    }
    m_kiv->Collect();
    for (size_t i = 0; i < services.size(); ++i) {
        SCOPED_TRACE(kivtest::Narrow(cases[i].name));
        CKivItem* item = Find(cases[i].type == SERVICE_KERNEL_DRIVER ? m_drivers : m_services, *services[i]);
        ASSERT_NE(nullptr, item);
        EXPECT_EQ(Lower(cases[i].image.empty() ? host : cases[i].image),
                  Lower(item->m_file.filePath));  // the row still names the host
        EXPECT_EQ(Lower(cases[i].library), Lower(m_kiv->GetItemServiceDll(item->m_globalId)));
        EXPECT_STREQ(cases[i].md5, m_kiv->GetItemServiceDllMd5(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    }
    EXPECT_STREQ(L"", m_kiv->GetItemServiceDllMd5(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}
