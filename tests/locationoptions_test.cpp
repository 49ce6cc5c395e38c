// The optional shapes a catalogue location may have: each read from the catalogue,
// honoured by its kind on the real registry and file system, and each entry so
// listed disabled, enabled and removed (and for files, moved) with the usual markers.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <functional>

#include "core/Records.h"
#include "handlers/steps/EntryOptions.h"
#include "platform/Text.h"
#include "platform/Environment.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::DeniedRight;
using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::Narrow;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const wchar_t kClass[] = L"{7B2D1F63-5C8E-4F1C-AD2B-6E3F9A4C8B21}";
const wchar_t kProgId[] = L"KivTest.OptionAddIn";

// A class of the machine's (which is what Wine's classes root shows) with a server
// of the test's own, and a program identifier naming it.
class MachineClass {
public:
    explicit MachineClass(const std::wstring& server) {
        Write(L"Software\\Classes\\CLSID\\" + std::wstring(kClass), L"KivTest Option Class");
        Write(L"Software\\Classes\\CLSID\\" + std::wstring(kClass) + L"\\InprocServer32", server);
        Write(L"Software\\Classes\\" + std::wstring(kProgId) + L"\\CLSID", kClass);
    }
    ~MachineClass() {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\CLSID\\" + std::wstring(kClass)).c_str());
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + std::wstring(kProgId)).c_str());
    }
    MachineClass(const MachineClass&) = delete;
    MachineClass& operator=(const MachineClass&) = delete;

private:
    static void Write(const std::wstring& key, const std::wstring& text) {
        WriteRaw(HKEY_LOCAL_MACHINE, key, L"", TextValue(REG_SZ, text));
    }
};

class LocationOptionsTest : public kivtest::FacadeTest {
protected:
    Location* AddKey(const std::wstring& keyBelowHkcu, EKivHandlerType type, const LocationOptions& options,
                     unsigned ltype = 0, const std::wstring& value = L"") {
        Location* location = FacadeTest::AddLocation(L"HKCU\\" + keyBelowHkcu, value, ltype, type);
        location->m_options = options;
        return location;
    }

    // The one item of a location after a collection, checked for its file and state.
    CKivItem* OnlyItem(const Location* location, const std::wstring& file, unsigned enabled) {
        m_kiv->Collect();
        EXPECT_EQ(1u, location->m_itemIds.size());
        if (location->m_itemIds.size() != 1) return nullptr;
        CKivItem* item = CKivTestAccess::ItemMap(m_kiv).at(location->m_itemIds[0]).get();
        EXPECT_EQ(Lower(file), Lower(item->m_file.filePath));
        EXPECT_EQ(enabled, item->m_enabled);
        return item;
    }

    // Disable, collect (listed disabled), enable, collect (listed enabled), remove:
    // after each step the entry stands where placedLive / placedMarker say.
    void RoundTrip(const Location* location, const std::wstring& file, const std::function<bool()>& placedLive,
                   const std::function<bool()>& placedMarker, std::wstring fileOff = std::wstring()) {
        if (fileOff.empty()) fileOff = file;
        CKivItem* item = OnlyItem(location, file, 1);
        ASSERT_NE(nullptr, item);
        ASSERT_TRUE(placedLive());
        ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
        EXPECT_FALSE(placedLive());
        EXPECT_TRUE(placedMarker());
        item = OnlyItem(location, fileOff, 0);
        ASSERT_NE(nullptr, item);
        ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
        EXPECT_TRUE(placedLive());
        EXPECT_FALSE(placedMarker());
        item = OnlyItem(location, file, 1);
        ASSERT_NE(nullptr, item);
        ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
        item = OnlyItem(location, fileOff, 0);
        ASSERT_NE(nullptr, item);
        ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
        EXPECT_FALSE(placedLive());
        EXPECT_FALSE(placedMarker());
        m_kiv->Collect();
        EXPECT_EQ(0u, location->m_itemIds.size());
    }

    static std::function<bool()> HasValue(const std::wstring& key, const std::wstring& name) {
        return [=] {
            RawValue value;
            return ReadRaw(kUser, key, name, value);
        };
    }
    static std::function<bool()> HasKey(const std::wstring& key) {
        return [=] { return KeyExists(kUser, key); };
    }
};

}  // namespace

TEST(LocationOptionsCatalogue, EveryElementIsReadAndALocWithoutThemHasNone) {
    const std::string xml =
        "<kivdata><cat><name>Options</name><locs>\n"
        " <loc><htype>0</htype><ltype>0</ltype><path>HKCU\\Software\\KivPlain</path></loc>\n"
        " <loc><htype>0</htype><ltype>0</ltype><path>HKCU\\Software\\KivShaped</path><depth>2</depth>"
        "<entryvalue>StubPath</entryvalue><entryvalue>InprocServer32\\@</entryvalue><classvalue>@</classvalue>"
        "<progid>1</progid><alsoin>HKLM\\SOFTWARE\\Classes\\CLSID</alsoin><skip>DllDirectory</skip><skip>"
        "DllDirectory32 </skip><folder>%SystemRoot%\\System32</folder><refkey>HKLM\\SYSTEM\\X\\*\\NP</refkey>"
        "<refvalue>ProviderPath</refvalue><listsep>,</listsep><files>profile.ps1;*.dotm</files></loc>\n"
        // A path below every profile is kept although no such folder stands here.
        " <loc><htype>2</htype><ltype>2</ltype><path>KivNowhere\\PowerShell</path><profiles>1</profiles>"
        "<depth>-3</depth></loc>\n"
        "</locs></cat></kivdata>\n";
    kivtest::WriteBesideProgram(L"kivdata.dat", xml);
    kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"0123456789abcdef0123456789abcdef|1", false));
    CKiv* kiv = CKiv::Init();
    ASSERT_NE(nullptr, kiv);
    const auto& locations = CKivTestAccess::Categories(kiv).at(0)->m_locations;
    ASSERT_EQ(3u, locations.size());
    const LocationOptions& plain = locations[0]->m_options;
    EXPECT_EQ(0u, plain.depth);
    EXPECT_TRUE(plain.entryValues.empty() && plain.skip.empty() && !plain.progId);
    EXPECT_TRUE(plain.classValue.empty() && plain.alsoIn.empty() && plain.folder.empty() && plain.refKey.empty() &&
                plain.refValue.empty() && plain.listSeparator.empty() && plain.files.empty());
    const LocationOptions& shaped = locations[1]->m_options;
    EXPECT_EQ(2u, shaped.depth);
    EXPECT_EQ((std::vector<std::wstring>{L"StubPath", L"InprocServer32\\@"}), shaped.entryValues);
    EXPECT_EQ(L"@", shaped.classValue);
    EXPECT_TRUE(shaped.progId);
    EXPECT_EQ(L"HKLM\\SOFTWARE\\Classes\\CLSID", shaped.alsoIn);
    EXPECT_EQ((std::vector<std::wstring>{L"DllDirectory", L"DllDirectory32"}), shaped.skip);
    EXPECT_EQ(Lower(kiv::ExpandPlain(L"%SystemRoot%\\System32")), Lower(shaped.folder));
    EXPECT_EQ(L"HKLM\\SYSTEM\\X\\*\\NP", shaped.refKey);
    EXPECT_EQ(L"ProviderPath", shaped.refValue);
    EXPECT_EQ(L",", shaped.listSeparator);
    EXPECT_EQ(L"profile.ps1;*.dotm", shaped.files);
    EXPECT_FALSE(plain.profiles || shaped.profiles);
    EXPECT_TRUE(locations[2]->m_options.profiles);
    EXPECT_EQ(0u, locations[2]->m_options.depth);  // no negative depth
    EXPECT_EQ(L"KivNowhere\\PowerShell", locations[2]->m_path);
    CKiv::Dispose();
    kivtest::DeleteBesideProgram(L"kivdata.dat");
    kivtest::DeleteBesideProgram(L"kivwl.dat");
}

TEST(LocationOptionsSteps, FilePatternsAndValuePaths) {
    const struct {
        const wchar_t* name;
        const wchar_t* patterns;
        bool matches;
    } cases[] = {
        {L"profile.ps1", L"profile.ps1;Microsoft.*_profile.ps1", true},
        {L"PROFILE.PS1", L"profile.ps1", true},
        {L"Microsoft.PowerShell_profile.ps1", L"profile.ps1; Microsoft.*_profile.ps1", true},
        {L"Microsoft._profile.ps1", L"Microsoft.*_profile.ps1", true},
        {L"Microsoft.PowerShell_profile.ps1.bak", L"Microsoft.*_profile.ps1", false},
        {L"myprofile.ps1", L"profile.ps1", false},
        {L"Normal.dotm", L"*.dot;*.dotm", true},
        {L"Normal.dotx", L"*.dot;*.dotm", false},
        {L"a.xll", L"?.xll", true},
        {L"ab.xll", L"?.xll", false},
        {L"anything", L"", false},
        {L"x", L";;*", true},
        {L"*x.ps1", L"*", true},  // a star in the name is matched by the wildcard like any character
        {L"a*b", L"a*", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.matches, kiv::MatchesNamePatterns(c.name, c.patterns))
            << kivtest::Narrow(c.name) << " / " << kivtest::Narrow(c.patterns);

    const struct {
        const wchar_t* named;
        const wchar_t* subkey;
        const wchar_t* value;
    } paths[] = {{L"@", L"", L""},
                 {L"StubPath", L"", L"StubPath"},
                 {L"InprocServer32\\@", L"InprocServer32", L""},
                 {L"a\\b\\Path", L"a\\b", L"Path"}};
    for (const auto& s : paths) {
        std::wstring subkey, value;
        kiv::SplitValuePath(s.named, subkey, value);
        EXPECT_EQ(s.subkey, subkey) << kivtest::Narrow(s.named);
        EXPECT_EQ(s.value, value) << kivtest::Narrow(s.named);
    }
}

// Active Setup, SilentProcessExit, time providers ...: one named value of each
// subkey holds the command; the subkey's default text names the entry.
TEST_F(LocationOptionsTest, NamedValueOfEachSubkeyRoundTripsInItsOwnMarker) {
    ScratchKey key(L"OptionsStubPath");
    ScratchFolder folder(L"OptionsStubPath");
    const std::wstring app = folder.AddFile(L"stub.exe");
    const std::wstring component = key.Path() + L"\\{A1B2C3D4-0000-4000-8000-00000000AA01}";
    WriteRaw(kUser, component, L"", TextValue(REG_SZ, L"KivTest Component"));
    WriteRaw(kUser, component, L"StubPath", TextValue(REG_EXPAND_SZ, L"\"" + app + L"\" /install"));
    WriteRaw(kUser, component, L"KeyFileName", TextValue(REG_SZ, app));  // a file, but no entry
    LocationOptions options;
    options.depth = 1;
    options.entryValues = {L"StubPath"};
    Location* location = AddKey(key.Path(), RegValue, options);

    CKivItem* item = OnlyItem(location, app, 1);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"KivTest Component", item->m_title);
    std::wstring regKey, regValue;
    item->m_handler->GetItemRegLocation(item, regKey, regValue);
    EXPECT_EQ(L"HKCU\\" + component, regKey);
    EXPECT_EQ(L"StubPath", regValue);
    RoundTrip(location, app, HasValue(component, L"StubPath"), HasValue(component + L"\\_disabledByKiv", L"StubPath"));
    EXPECT_FALSE(KeyExists(kUser, component + L"\\_disabledByKiv"));
    RawValue kept;
    EXPECT_TRUE(ReadRaw(kUser, component, L"KeyFileName", kept));
}

// RunOnceEx: every value of the sections and of their "Depend" subkeys is an entry;
// Group Policy scripts nest two levels ("0\0") and name theirs "Script".
TEST_F(LocationOptionsTest, ValuesNestedTwoLevelsRoundTrip) {
    ScratchKey key(L"OptionsNested");
    ScratchFolder folder(L"OptionsNested");
    const std::wstring dll = folder.AddFile(L"depend.dll");
    const std::wstring script = folder.AddFile(L"logon.bat");
    const std::wstring depend = key.Path() + L"\\RunOnceEx\\0001\\Depend";
    const std::wstring scripts = key.Path() + L"\\Scripts\\Logon\\0\\0";
    WriteRaw(kUser, key.Path() + L"\\RunOnceEx\\0001", L"", TextValue(REG_SZ, L"KivTest Section"));
    WriteRaw(kUser, depend, L"1", TextValue(REG_SZ, dll));
    WriteRaw(kUser, scripts, L"Script", TextValue(REG_SZ, script));
    WriteRaw(kUser, scripts, L"Parameters", TextValue(REG_SZ, dll));  // not the script
    WriteRaw(kUser, key.Path() + L"\\Scripts\\Logon\\0", L"FileSysPath", TextValue(REG_SZ, folder.Path()));
    LocationOptions dependOptions;
    dependOptions.depth = 2;
    Location* runOnceEx = AddKey(key.Path() + L"\\RunOnceEx", RegValue, dependOptions);
    LocationOptions scriptOptions;
    scriptOptions.depth = 2;
    scriptOptions.entryValues = {L"Script"};
    Location* logon = AddKey(key.Path() + L"\\Scripts\\Logon", RegValue, scriptOptions);

    CKivItem* item = OnlyItem(runOnceEx, dll, 1);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"0001\\Depend\\1", item->m_title);
    EXPECT_EQ(L"0001\\Depend", item->m_entryKey);
    RoundTrip(runOnceEx, dll, HasValue(depend, L"1"), HasValue(depend + L"\\_disabledByKiv", L"1"));
    RoundTrip(logon, script, HasValue(scripts, L"Script"), HasValue(scripts + L"\\_disabledByKiv", L"Script"));
}

// Known DLLs: values that are not entries are left out by name, and bare names are
// looked for in the folder the loader takes them from, not along the search path.
TEST_F(LocationOptionsTest, SkippedValuesAndTheFolderOfBareNames) {
    ScratchKey key(L"OptionsKnown");
    ScratchFolder folder(L"OptionsKnown");
    const std::wstring dll = folder.AddFile(L"kivknown.dll");
    WriteRaw(kUser, key.Path(), L"kivknown", TextValue(REG_SZ, L"kivknown.dll"));
    WriteRaw(kUser, key.Path(), L"DllDirectory", TextValue(REG_EXPAND_SZ, folder.Path()));
    WriteRaw(kUser, key.Path(), L"missing", TextValue(REG_SZ, L"kivnotthere.dll"));
    LocationOptions options;
    options.skip = {L"DllDirectory"};
    options.folder = folder.Path();
    Location* location = AddKey(key.Path(), RegValue, options);
    RoundTrip(location, dll, HasValue(key.Path(), L"kivknown"),
              HasValue(key.Path() + L"\\_disabledByKiv", L"kivknown"));
}

// Shell extensions registered under a name carry their class in the default value;
// verbs of a file type hold their command in "shell\<verb>\command".
TEST_F(LocationOptionsTest, ClassNamedByASubkeysValueRoundTrips) {
    ScratchKey key(L"OptionsNamedClass");
    ScratchFolder folder(L"OptionsNamedClass");
    MachineClass machineClass(folder.AddFile(L"named.dll"));
    const std::wstring handler = key.Path() + L"\\  KivTest Overlay";
    WriteRaw(kUser, handler, L"", TextValue(REG_SZ, kClass));
    LocationOptions options;
    options.classValue = L"@";
    Location* location = AddKey(key.Path(), CoIdInKey, options);
    CKivItem* item = OnlyItem(location, folder.Path() + L"\\named.dll", 1);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"  KivTest Overlay", item->m_title);
    RoundTrip(location, folder.Path() + L"\\named.dll", HasKey(handler),
              HasKey(key.Path() + L"\\_disabledByKiv\\  KivTest Overlay"));
    // Without the option the same subkey is no entry, as before.
    WriteRaw(kUser, handler, L"", TextValue(REG_SZ, kClass));
    location->m_options = LocationOptions();
    m_kiv->Collect();
    EXPECT_EQ(0u, location->m_itemIds.size());
}

TEST_F(LocationOptionsTest, VerbCommandsCountOnlyWhenTheyNameAFile) {
    ScratchKey key(L"OptionsVerbs");
    ScratchFolder folder(L"OptionsVerbs");
    const std::wstring wrapper = folder.AddFile(L"wrapper.exe");
    const std::wstring open = key.Path() + L"\\shell\\open";
    WriteRaw(kUser, open, L"", TextValue(REG_SZ, wrapper));  // the verb's caption level is not read
    WriteRaw(kUser, open + L"\\command", L"", TextValue(REG_SZ, L"\"%1\" %*"));
    LocationOptions options;
    options.depth = 2;
    options.entryValues = {L"@"};
    Location* location = AddKey(key.Path() + L"\\shell", RegValue, options);
    m_kiv->Collect();
    EXPECT_EQ(0u, location->m_itemIds.size());
    WriteRaw(kUser, open + L"\\command", L"", TextValue(REG_SZ, L"\"" + wrapper + L"\" \"%1\" %*"));
    RoundTrip(location, wrapper, HasValue(open + L"\\command", L""),
              HasValue(open + L"\\command\\_disabledByKiv", L""));
}

// A class the user registers over the machine's: its user key, when the machine
// has one of that name, with the user's server; Office add-ins by program identifier.
TEST_F(LocationOptionsTest, UserClassesOverMachineOnesAndProgramIdentifiers) {
    ScratchKey key(L"OptionsOverride");
    ScratchFolder folder(L"OptionsOverride");
    const std::wstring machineServer = folder.AddFile(L"machine.dll");
    const std::wstring userServer = folder.AddFile(L"user.dll");
    MachineClass machineClass(machineServer);
    const std::wstring userClass = key.Path() + L"\\CLSID\\" + kClass;
    WriteRaw(kUser, userClass + L"\\InprocServer32", L"", TextValue(REG_SZ, userServer));
    // A class only the user has is no override.
    WriteRaw(kUser, key.Path() + L"\\CLSID\\{7B2D1F63-5C8E-4F1C-AD2B-6E3F9A4C8B29}\\LocalServer32", L"",
             TextValue(REG_SZ, userServer));
    LocationOptions overrides;
    overrides.alsoIn = L"HKLM\\SOFTWARE\\Classes\\CLSID";
    overrides.entryValues = {L"InprocServer32\\@", L"LocalServer32\\@", L"TreatAs\\@"};
    Location* location = AddKey(key.Path() + L"\\CLSID", CoIdInKey, overrides);
    RoundTrip(location, userServer, HasKey(userClass), HasKey(key.Path() + L"\\CLSID\\_disabledByKiv\\" + kClass));

    WriteRaw(kUser, key.Path() + L"\\Addins\\" + kProgId, L"FriendlyName", TextValue(REG_SZ, L"KivTest Add-in"));
    LocationOptions addins;
    addins.progId = true;
    Location* addinLocation = AddKey(key.Path() + L"\\Addins", CoIdInKey, addins);
    RoundTrip(addinLocation, machineServer, HasKey(key.Path() + L"\\Addins\\" + kProgId),
              HasKey(key.Path() + L"\\Addins\\_disabledByKiv\\" + kProgId));
}

// The network provider order names services; each one's provider key holds the file.
TEST_F(LocationOptionsTest, ListEntriesThatNameKeysRoundTripAtCommas) {
    ScratchKey key(L"OptionsProviders");
    ScratchFolder folder(L"OptionsProviders");
    const std::wstring dll = folder.AddFile(L"kivnp.dll");
    const std::wstring order = key.Path() + L"\\Order";
    WriteRaw(kUser, key.Path() + L"\\Services\\KivNet B\\NetworkProvider", L"ProviderPath", TextValue(REG_SZ, dll));
    // A name that would lead out of the services' keys names none.
    WriteRaw(kUser, key.Path() + L"\\Services\\KivNetA\\X\\NetworkProvider", L"ProviderPath", TextValue(REG_SZ, dll));
    WriteRaw(kUser, order, L"ProviderOrder", TextValue(REG_SZ, L"KivNetA\\X,KivNet B"));
    LocationOptions options;
    options.refKey = L"HKCU\\" + key.Path() + L"\\Services\\*\\NetworkProvider";
    options.refValue = L"ProviderPath";
    options.listSeparator = L",";
    Location* location = AddKey(order, AppInitDll, options, 1, L"ProviderOrder");
    const auto listed = [&](const std::wstring& where, const std::wstring& text) {
        return [=] {
            RawValue value;
            return ReadRaw(kUser, where, L"ProviderOrder", value) && value == TextValue(REG_SZ, text);
        };
    };
    CKivItem* item = OnlyItem(location, dll, 1);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"KivNet B", item->m_title);
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_TRUE(listed(order, L"KivNetA\\X")());
    EXPECT_TRUE(listed(order + L"\\_disabledByKiv", L"KivNet B,")());
    item = OnlyItem(location, dll, 0);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_TRUE(listed(order, L"KivNetA\\X,KivNet B")());
    EXPECT_FALSE(KeyExists(kUser, order + L"\\_disabledByKiv"));
    item = OnlyItem(location, dll, 1);
    ASSERT_NE(nullptr, item);
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_TRUE(listed(order, L"KivNetA\\X")());
}

// PowerShell profiles and Office startup folders: the names that count are given.
TEST_F(LocationOptionsTest, FolderFilesCountByTheirNamesAndRoundTrip) {
    ScratchFolder folder(L"OptionsWindowsPowerShell");
    const std::wstring profile = folder.AddFile(L"Microsoft.PowerShell_profile.ps1", "Start-Process calc");
    folder.AddFile(L"notes.txt");
    folder.AddFile(L"tool.exe");  // a program, but not a file this place runs
    const std::wstring disabled = folder.Path() + L"_disabledByKiv\\Microsoft.PowerShell_profile.ps1";
    Location* location = FacadeTest::AddLocation(folder.Path(), L"", Location::Folder, SimpleFile);
    location->m_options.files = L"profile.ps1;Microsoft.*_profile.ps1";
    const auto exists = [](const std::wstring& path) {
        return [=] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    };
    RoundTrip(location, profile, exists(profile), exists(disabled), disabled);
    kivtest::DeleteFolderTree(folder.Path() + L"_disabledByKiv");
}

// Every user's PowerShell profile: the path lies below each profile of the list.
TEST_F(LocationOptionsTest, FoldersBelowEveryUsersProfileRoundTrip) {
    ScratchFolder other(L"OptionsOtherUser");
    const std::wstring folder = other.Path() + L"\\Documents\\WindowsPowerShell";
    ASSERT_EQ(0, SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr));
    const std::wstring profile = folder + L"\\profile.ps1";
    kivtest::WriteFileBytes(profile, "Start-Process calc");
    const std::wstring disabled = folder + L"_disabledByKiv\\profile.ps1";
    const std::wstring listed = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-7-7-7-1077";
    WriteRaw(HKEY_LOCAL_MACHINE, listed, L"ProfileImagePath", TextValue(REG_EXPAND_SZ, other.Path()));
    Location* location = FacadeTest::AddLocation(L"Documents\\WindowsPowerShell", L"", Location::Folder, SimpleFile);
    location->m_options.files = L"profile.ps1";
    location->m_options.profiles = true;
    const auto exists = [](const std::wstring& path) {
        return [=] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    };
    RoundTrip(location, profile, exists(profile), exists(disabled), disabled);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, listed.c_str());
}

// A user who may read a place but not change it still sees every entry of each
// shape: collection asks for read rights only, at every key it opens.
TEST_F(LocationOptionsTest, ShapedPlacesAreCollectedWithReadRightsOnly) {
    ScratchKey key(L"OptionsReadOnly");
    ScratchFolder folder(L"OptionsReadOnly");
    const std::wstring app = folder.AddFile(L"app.exe");
    MachineClass machineClass(folder.AddFile(L"class.dll"));
    const std::wstring nested = key.Path() + L"\\Nested", named = key.Path() + L"\\Named";
    const std::wstring list = key.Path() + L"\\List", refs = key.Path() + L"\\Refs";
    WriteRaw(kUser, nested + L"\\Component", L"StubPath", TextValue(REG_SZ, app));
    WriteRaw(kUser, named + L"\\KivTest Handler", L"", TextValue(REG_SZ, kClass));
    WriteRaw(kUser, list, L"Order", TextValue(REG_SZ, L"KivRef"));
    WriteRaw(kUser, refs + L"\\KivRef", L"Path", TextValue(REG_SZ, app));
    LocationOptions depth, classValue, reference;
    depth.depth = 1;
    depth.entryValues = {L"StubPath"};
    classValue.classValue = L"@";
    reference.refKey = L"HKCU\\" + refs + L"\\*";
    reference.refValue = L"Path";
    const Location* locations[] = {AddKey(nested, RegValue, depth), AddKey(named, CoIdInKey, classValue),
                                   AddKey(list, AppInitDll, reference, 1, L"Order")};
    const wchar_t* readOnly = L"D:P(A;;KR;;;WD)";
    DeniedRight locks[] = {{nested, readOnly}, {nested + L"\\Component", readOnly},
                           {named, readOnly},  {named + L"\\KivTest Handler", readOnly},
                           {list, readOnly},   {refs + L"\\KivRef", readOnly}};
    m_kiv->Collect();
    for (const Location* location : locations) EXPECT_EQ(1u, location->m_itemIds.size()) << Narrow(location->m_path);
}

// The win.ini keys Windows maps to the user's registry are left to a run-value
// location of that key only while it takes them for entries.
TEST_F(LocationOptionsTest, ARunValueLocationListsOnlyTheValuesItTakes) {
    const std::wstring key = L"Software\\KivTestListsOwn";
    const struct {
        unsigned depth;
        std::vector<std::wstring> skip, entryValues;
        bool listsLoad;
    } cases[] = {
        {0, {}, {}, true},        {0, {L"Load"}, {}, false}, {0, {}, {L"Run"}, false},
        {0, {}, {L"load"}, true}, {1, {}, {}, false},        {0, {L"Run"}, {}, true},
    };
    for (const auto& c : cases) {
        LocationOptions options;
        options.depth = c.depth;
        options.skip = c.skip;
        options.entryValues = c.entryValues;
        const Location* location = AddKey(key, RegValue, options);
        EXPECT_EQ(c.listsLoad, location->ListsRegistryValue(HKEY_CURRENT_USER, key, L"Load"));
        CKivTestAccess::Categories(m_kiv).back()->m_locations.pop_back();
    }
}
