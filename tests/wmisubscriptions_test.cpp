// WMI event subscriptions that start a program. Wine's WMI has no
// root\subscription and lists no namespace below root, so listing and the actions'
// steps are seen through the library's seam over WMI (kivtest::FakeWmi), with the
// kept definitions in the registry for real; what Wine's WMI has is tested against
// the system's connector itself.
#include <gtest/gtest.h>

#include <wbemcli.h>

#include <string>
#include <vector>

#include "core/Records.h"
#include "platform/Environment.h"
#include "platform/Variant.h"
#include "handlers/steps/WmiSubscriptions.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"
#include "support/WmiFake.h"

using kiv::WmiObject;
using kivtest::FakeWmi;
using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;

namespace {

const wchar_t kSubscription[] = L"root\\subscription";

class WmiSubscriptionTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        kiv::SetWmi(&m_wmi);
        m_wmi.AddNamespace(L"root");
        m_wmi.AddNamespace(kSubscription);
        m_location = AddLocation(L"HKCU\\" + m_key.Path(), L"", 0, WmiSubscriptions);
    }
    void TearDown() override {
        kiv::SetWmi(nullptr);
        FacadeTest::TearDown();
    }
    std::vector<CKivItem*> Collected() {
        m_kiv->Collect();
        return ItemsOf(m_location);
    }
    bool Kept(const wchar_t* store) { return KeyExists(HKEY_CURRENT_USER, m_key.Path() + L"\\" + store); }
    // One subscription of root\subscription whose consumer runs program; its binding's path.
    std::wstring SubscribeProgram(const std::wstring& program) {
        m_filter = FakeWmi::Filter(L"KivWmi Filter");
        m_consumer = FakeWmi::Consumer(L"CommandLineEventConsumer", L"KivWmi Consumer",
                                       {{L"CommandLineTemplate", program + L" /quiet"}, {L"KillTimeout", L"0"}});
        return m_binding = m_wmi.Subscribe(kSubscription, m_filter, m_consumer);
    }
    // The three objects of the subscription stand in WMI as they were made.
    void ExpectLive() {
        for (const WmiObject* object : {&m_filter, &m_consumer}) {
            const WmiObject* there = m_wmi.Find(kSubscription, object->path);
            ASSERT_NE(nullptr, there) << kivtest::Narrow(object->path);
            EXPECT_TRUE(kiv::SameWmiObject(*object, *there));
        }
        EXPECT_NE(nullptr, m_wmi.Find(kSubscription, m_binding));
    }

    ScratchKey m_key{L"WmiSubscriptions"};
    FakeWmi m_wmi;
    Location* m_location = nullptr;
    WmiObject m_filter, m_consumer;
    std::wstring m_binding;
};

TEST_F(WmiSubscriptionTest, EveryNamespaceIsWalkedAndEachConsumerThatStartsAProgramIsAnEntry) {
    ScratchFolder folder(L"Wmi List");  // a blank in every path
    const std::wstring program = folder.AddFile(L"payload.exe"), script = folder.AddFile(L"beacon.vbs");
    const std::wstring scriptHost = kiv::ExpandPlain(L"%SystemRoot%\\System32\\wbem\\scrcons.exe");
    const bool madeHost = GetFileAttributesW(scriptHost.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (madeHost) kivtest::WriteFileBytes(scriptHost, "MZ");  // Wine ships no script host
    m_wmi.AddNamespace(L"root\\cimv2");
    m_wmi.AddNamespace(L"root\\cimv2\\deep");
    m_wmi.AddNamespace(L"root\\locked");
    m_wmi.refuseQuery = L"root\\locked";
    m_wmi.AddNamespace(L"root\\gone");
    m_wmi.m_namespaces.erase(L"root\\gone");  // listed below root, cannot be opened

    struct Case {
        const wchar_t* ns;
        const wchar_t* consumerClass;
        std::vector<std::pair<std::wstring, std::wstring>> properties;
        std::wstring file, shown;  // file empty: no entry
    };
    const std::vector<Case> cases = {
        {kSubscription,
         L"CommandLineEventConsumer",
         {{L"ExecutablePath", program}, {L"CommandLineTemplate", L"payload.exe --run"}},
         program,
         L"payload.exe --run"},
        {kSubscription,
         L"CommandLineEventConsumer",
         {{L"CommandLineTemplate", L"\"" + program + L"\" -x"}},
         program,
         L"\"" + program + L"\" -x"},
        {L"root\\cimv2\\deep",
         L"ActiveScriptEventConsumer",
         {{L"ScriptingEngine", L"VBScript"}, {L"ScriptText", L"Set s = CreateObject(\"WScript.Shell\")\r\ns.Run x"}},
         scriptHost,
         L"Set s = CreateObject(\"WScript.Shell\")  s.Run x"},
        {L"root\\cimv2",
         L"ActiveScriptEventConsumer",
         {{L"ScriptFileName", script}, {L"ScriptingEngine", L"VBScript"}},
         script,
         script},
        // A long script is shown cut, so that it fits the hosts' columns.
        {kSubscription,
         L"ActiveScriptEventConsumer",
         {{L"ScriptText", std::wstring(1500, L'x')}},
         scriptHost,
         std::wstring(997, L'x') + L"..."},
        // A consumer that writes an event starts no program.
        {kSubscription, L"NTEventLogEventConsumer", {{L"EventID", L"10"}}, L"", L""},
        // Nor does one in a namespace that cannot be read.
        {L"root\\locked", L"CommandLineEventConsumer", {{L"ExecutablePath", program}}, L"", L""},
    };
    for (size_t n = 0; n < cases.size(); ++n)
        m_wmi.Subscribe(cases[n].ns, FakeWmi::Filter(L"F" + std::to_wstring(n)),
                        FakeWmi::Consumer(cases[n].consumerClass, L"C" + std::to_wstring(n), cases[n].properties));

    LogCapture log;
    std::vector<CKivItem*> items = Collected();
    size_t listed = 0;
    for (size_t n = 0; n < cases.size(); ++n) {
        CKivItem* item = FindTitle(m_location, L"F" + std::to_wstring(n) + L" -> C" + std::to_wstring(n));
        if (cases[n].file.empty()) {
            EXPECT_EQ(nullptr, item) << n;
            continue;
        }
        ++listed;
        ASSERT_NE(nullptr, item) << n;
        EXPECT_EQ(Lower(cases[n].file), Lower(item->m_file.filePath)) << n;
        wchar_t key[1024] = L"", value[1024] = L"";
        m_kiv->Ostrel_GetItemRegLocation(item->m_globalId, key, value, 1024, 1024);
        EXPECT_EQ(0, std::wstring(key).find(std::wstring(cases[n].ns) + L":__FilterToConsumerBinding.")) << n;
        EXPECT_EQ(cases[n].shown, value) << n;
    }
    EXPECT_EQ(listed, items.size());
    std::string lines;
    for (const std::string& line : log.Messages()) lines += line;
    EXPECT_NE(std::string::npos, lines.find("root\\locked")) << lines;
    EXPECT_NE(std::string::npos, lines.find("root\\gone")) << lines;
    if (madeHost) DeleteFileW(scriptHost.c_str());
}

TEST_F(WmiSubscriptionTest, DisableTakesTheBindingAwayAndEnablePutsItBackNeverOverAnotherDefinition) {
    ScratchFolder folder(L"WmiTrip");
    SubscribeProgram(folder.AddFile(L"payload.exe"));
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());

    m_wmi.refuse = ERROR_ACCESS_DENIED;  // WMI refuses: nothing is kept, the binding stays
    EXPECT_EQ(0, m_kiv->DisableItem(items[0]->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(Kept(L"_disabledByKiv"));
    ExpectLive();
    m_wmi.refuse = 0;

    ASSERT_EQ(1, m_kiv->DisableItem(items[0]->m_globalId));
    EXPECT_EQ(nullptr, m_wmi.Find(kSubscription, m_binding));
    EXPECT_NE(nullptr, m_wmi.Find(kSubscription, m_consumer.path));  // only the binding goes
    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(0u, items[0]->m_enabled);
    EXPECT_EQ(L"KivWmi Filter -> KivWmi Consumer", items[0]->m_title);

    // A consumer of the same name made meanwhile with another command is never written over.
    m_wmi.Erase(kSubscription, m_consumer.path);
    WmiObject other = m_consumer;
    other.properties[1].second = L"c:\\other.exe";
    m_wmi.m_namespaces[kSubscription].push_back(other);
    EXPECT_EQ(0, m_kiv->EnableItem(items[0]->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(nullptr, m_wmi.Find(kSubscription, m_binding));
    EXPECT_TRUE(Kept(L"_disabledByKiv"));

    // With the consumer gone, enable makes it again from the kept definition.
    m_wmi.Erase(kSubscription, m_consumer.path);
    ASSERT_EQ(1, m_kiv->EnableItem(items[0]->m_globalId));
    ExpectLive();
    EXPECT_FALSE(Kept(L"_disabledByKiv"));
    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(1u, items[0]->m_enabled);
}

TEST_F(WmiSubscriptionTest, ASubscriptionMadeAgainAfterADisableNeverTakesThePlaceOfTheKeptOne) {
    ScratchFolder folder(L"WmiAgain");
    SubscribeProgram(folder.AddFile(L"payload.exe"));
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());
    ASSERT_EQ(1, m_kiv->DisableItem(items[0]->m_globalId));
    // The same names bound again, the consumer now running another command.
    m_wmi.Find(kSubscription, m_consumer.path)->properties[1].second = folder.AddFile(L"other.exe");
    m_wmi.m_namespaces[kSubscription].push_back(FakeWmi::Binding(m_filter, m_consumer));
    items = Collected();
    ASSERT_EQ(2u, items.size());
    for (CKivItem* item : items) {
        EXPECT_EQ(0, item->m_enabled ? m_kiv->DisableItem(item->m_globalId) : m_kiv->EnableItem(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    }
    EXPECT_NE(nullptr, m_wmi.Find(kSubscription, m_binding));
    EXPECT_TRUE(Kept(L"_disabledByKiv"));
}

TEST_F(WmiSubscriptionTest, ARemovedSubscriptionIsKeptAndARestoreThatFailsLeavesNothingHalfMade) {
    ScratchFolder folder(L"WmiRemove");
    SubscribeProgram(folder.AddFile(L"payload.exe"));
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());

    m_wmi.refuse = ERROR_ACCESS_DENIED;
    EXPECT_EQ(0, m_kiv->RemoveItem(items[0]->m_globalId));
    EXPECT_FALSE(Kept(L"_removedByKiv"));
    m_wmi.refuse = 0;
    ASSERT_EQ(1, m_kiv->RemoveItem(items[0]->m_globalId));
    EXPECT_EQ(nullptr, m_wmi.Find(kSubscription, m_binding));

    // The filter and the consumer go too; the binding cannot be made: what the
    // restore made is taken back and the definition stays kept.
    m_wmi.Erase(kSubscription, m_filter.path);
    m_wmi.Erase(kSubscription, m_consumer.path);
    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(1u, items[0]->m_removed);
    m_wmi.refuseClass = L"__FilterToConsumerBinding";
    EXPECT_EQ(0, m_kiv->RestoreItem(items[0]->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(m_wmi.m_namespaces[kSubscription].empty());
    EXPECT_TRUE(Kept(L"_removedByKiv"));
    m_wmi.refuseClass.clear();

    ASSERT_EQ(1, m_kiv->RestoreItem(items[0]->m_globalId));
    ExpectLive();
    EXPECT_FALSE(Kept(L"_removedByKiv"));
}

TEST_F(WmiSubscriptionTest, RemovingADisabledSubscriptionMovesItsKeptDefinitionWhateverBecameOfItsFile) {
    ScratchFolder folder(L"WmiDisabledRemove");
    const std::wstring program = folder.AddFile(L"payload.exe");
    SubscribeProgram(program);
    std::vector<CKivItem*> items = Collected();
    ASSERT_EQ(1u, items.size());
    ASSERT_EQ(1, m_kiv->DisableItem(items[0]->m_globalId));
    ASSERT_TRUE(DeleteFileW(program.c_str()));  // a kept definition is listed all the same
    items = Collected();
    ASSERT_EQ(1u, items.size());
    ASSERT_EQ(1, m_kiv->RemoveItem(items[0]->m_globalId));
    EXPECT_FALSE(Kept(L"_disabledByKiv"));
    EXPECT_TRUE(Kept(L"_removedByKiv"));
    items = Collected();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(1u, items[0]->m_removed);
    ASSERT_EQ(1, m_kiv->RestoreItem(items[0]->m_globalId));
    ExpectLive();
}

// What a kept property's text becomes when WMI is handed it again, and back.
TEST(WmiValues, KeptTextsBecomeTheTypesWmiTakesAndReadBackTheSame) {
    struct Case {
        long type;
        const wchar_t* text;
        VARTYPE made;  // VT_EMPTY: refused
    };
    const Case cases[] = {
        {CIM_STRING, L"\"c:\\a b\\x.exe\" %1", VT_BSTR},
        {CIM_REFERENCE, L"__EventFilter.Name=\"F\"", VT_BSTR},
        {CIM_DATETIME, L"20261209120000.000000+000", VT_BSTR},
        {CIM_UINT64, L"18446744073709551615", VT_BSTR},
        {CIM_BOOLEAN, L"true", VT_BOOL},
        {CIM_BOOLEAN, L"false", VT_BOOL},
        {CIM_UINT8, L"200", VT_UI1},
        {CIM_SINT16, L"-5", VT_I2},
        {CIM_UINT16, L"65535", VT_I4},
        {CIM_UINT32, L"-1", VT_I4},  // how WMI reads 4294967295
        {CIM_SINT32, L"-2147483648", VT_I4},
        {CIM_REAL64, L"1.5", VT_R8},
        {CIM_BOOLEAN, L"yes", VT_EMPTY},
        {CIM_UINT32, L"12 ", VT_EMPTY},
        {CIM_UINT32, L"", VT_EMPTY},
        {CIM_OBJECT, L"x", VT_EMPTY},
        {CIM_UINT8, L"300", VT_EMPTY},
        {CIM_SINT16, L"40000", VT_EMPTY},
        {CIM_UINT32, L"4294967296", VT_EMPTY},
        {CIM_SINT32, L"99999999999999999999", VT_EMPTY},
    };
    for (const Case& c : cases) {
        kiv::UniqueVariant value;
        const kiv::Status made = kiv::WmiTextValue(c.text, c.type, *value.Put());
        if (c.made == VT_EMPTY) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), made.Code()) << kivtest::Narrow(c.text);
            continue;
        }
        ASSERT_TRUE(made) << kivtest::Narrow(c.text);
        EXPECT_EQ(c.made, value.Get().vt) << kivtest::Narrow(c.text);
        std::wstring back;
        EXPECT_TRUE(kiv::WmiValueText(value.Get(), back));
        EXPECT_EQ(c.text, back);
    }
}

// Wine's own WMI: root opens and lists no namespace below it, root\subscription
// does not exist, and a namespace without the binding class answers no bindings.
class SystemWmiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(SystemWmiTest, WinesNamespacesAreReadThroughCom) {
    kiv::WmiConnector& wmi = kiv::CurrentWmi();
    std::unique_ptr<kiv::WmiNamespace> ns;
    std::vector<WmiObject> found;
    ASSERT_TRUE(wmi.Open(L"root", ns));
    EXPECT_TRUE(ns->Query(L"__NAMESPACE", found));
    EXPECT_TRUE(ns->Query(L"__FilterToConsumerBinding", found));
    EXPECT_TRUE(found.empty());
    EXPECT_FALSE(wmi.Open(kSubscription, ns));

    ASSERT_TRUE(wmi.Open(L"root\\cimv2", ns));
    EXPECT_TRUE(ns->Query(L"__FilterToConsumerBinding", found));
    EXPECT_TRUE(found.empty());
    // Objects are read whole: class, path and their properties as text.
    ASSERT_TRUE(ns->Query(L"Win32_OperatingSystem", found));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(L"Win32_OperatingSystem", found[0].className);
    EXPECT_FALSE(found[0].path.empty());
    EXPECT_FALSE(found[0].Property(L"Caption").empty());
    WmiObject again;
    ASSERT_TRUE(ns->Get(found[0].path, again));
    EXPECT_EQ(found[0].Property(L"Caption"), again.Property(L"Caption"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ns->Get(L"", again).Code());
    // Wine's WMI makes and deletes no object: both are refused, never reported as done.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ns->Create(FakeWmi::Filter(L"KivWmi Probe")).Code());
    EXPECT_FALSE(ns->Delete(found[0].path));
}

class SystemWmiCollectionTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        FacadeTest::SetUp();
    }
    void TearDown() override {
        FacadeTest::TearDown();
        CoUninitialize();
    }
    ScratchKey m_key{L"WmiSystem"};
};

TEST_F(SystemWmiCollectionTest, ACollectionOverWinesWmiListsNothingAndLogsTheNamespaceItCannotOpen) {
    Location* location = AddLocation(L"HKCU\\" + m_key.Path(), L"", 0, WmiSubscriptions);
    LogCapture log;
    m_kiv->Collect();
    EXPECT_TRUE(location->m_itemIds.empty());
    std::string lines;
    for (const std::string& line : log.Messages()) lines += line;
    EXPECT_NE(std::string::npos, lines.find("root\\subscription")) << lines;
}

}  // namespace
