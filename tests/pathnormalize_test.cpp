// Path normalisation against real files, folders, environment variables, 8.3 names,
// symbolic links and the 32-bit folders of the Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "iteminfo/EnvironmentFolders.h"
#include "iteminfo/PathNormalize.h"
#include "iteminfo/ServerFile.h"
#include "iteminfo/Wow64Redirection.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"
#include "platform/Text.h"
#include "support/TestSupport.h"

using namespace kiv;

using kivtest::ScopedVariable;

namespace {

const std::wstring kRoot = L"C:\\kivtests\\pathnormalize";
// On the PATH of this program through WINEPATH (tests/pathnormalize.cmake).
const std::wstring kOnPath = L"C:\\kivtests\\pathnormalize_onpath";
// Made on the Unix side by the fixture of tests/pathnormalize.cmake: "link" is a
// symbolic link to "target", the share's server is a symbolic link to a plain folder.
const std::wstring kLinks = L"C:\\kivtests\\pathnormalize_links";
const std::wstring kShare = L"\\\\kivpathnorm\\share";

std::wstring Expand(const wchar_t* text) {
    wchar_t buffer[4096] = {};
    ExpandEnvironmentStringsW(text, buffer, 4096);
    return buffer;
}

std::wstring Wow64Folder() {
    wchar_t buffer[MAX_PATH] = {};
    GetSystemWow64DirectoryW(buffer, MAX_PATH);
    return buffer;
}

// Long paths go through the \\?\ form so that folders deeper than 260 characters can be made and removed.
std::wstring Device(const std::wstring& path) { return L"\\\\?\\" + path; }

void MakeFolders(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        CreateDirectoryW(Device(path.substr(0, pos)).c_str(), nullptr);
    CreateDirectoryW(Device(path).c_str(), nullptr);
}

void MakeFile(const std::wstring& path) {
    MakeFolders(path.substr(0, path.rfind(L'\\')));
    UniqueFile file(CreateFileW(Device(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid()) << "cannot make " << std::string(path.begin(), path.end());
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(Device(path + L"\\*").c_str(), &entry));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &entry) != FALSE) {
        std::wstring name = entry.cFileName, child = path + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
        else DeleteFileW(Device(child).c_str());
    }
    find.Reset();
    RemoveDirectoryW(Device(path).c_str());
}

std::wstring ShortPathOf(const std::wstring& path) {
    wchar_t buffer[1024] = {};
    DWORD length = GetShortPathNameW(path.c_str(), buffer, 1024);
    return length > 0 && length < 1024 ? buffer : L"";
}

// Removes a file made outside the test's own folders, however the test ends.
class ScopedFile {
public:
    explicit ScopedFile(const std::wstring& path) : m_path(path) { MakeFile(path); }
    ~ScopedFile() { DeleteFileW(m_path.c_str()); }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// An "App Paths" registration of the test's own, removed however the test ends.
class ScopedAppPath {
public:
    ScopedAppPath(const std::wstring& name, const std::wstring& value, DWORD type) : m_key(kBase + name) {
        UniqueHKey key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
        RegSetValueExW(key.Get(), nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    ~ScopedAppPath() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_key.c_str()); }

private:
    static constexpr const wchar_t* kBase = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    std::wstring m_key;
};

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(kRoot);
        RemoveTree(kOnPath);
        MakeFolders(kRoot);
        MakeFolders(kOnPath);
    }
    void TearDown() override {
        RemoveTree(kRoot);
        RemoveTree(kOnPath);
        RemoveDirectoryW(L"C:\\kivtests");  // only when no other test has files there
    }
    static std::wstring In(const std::wstring& name) { return kRoot + L"\\" + name; }
};

struct NormalizeCase {
    const wchar_t* text;  // "<root>" stands for the test's folder
    const wchar_t* expected;
    bool found;
};

std::wstring WithRoot(std::wstring text, const std::wstring& root) {
    size_t at = text.find(L"<root>");
    return at == std::wstring::npos ? text : text.replace(at, 6, root);
}

}  // namespace

// ---- Environment folder table ----

TEST(EnvironmentFolders, SystemAndUserFoldersFirstThenPathEntriesAsTheyWereAtLoad) {
    const std::vector<std::wstring>& folders = EnvironmentFolders();
    const wchar_t* variables[] = {L"%WINDIR%",
                                  L"%SYSTEMROOT%",
                                  L"%WINDIR%\\System32\\drivers",
                                  L"%TEMP%",
                                  L"%APPDATA%",
                                  L"%LOCALAPPDATA%",
                                  L"%USERPROFILE%",
                                  L"%ALLUSERSPROFILE%",
                                  L"%COMMONPROGRAMFILES(x86)%",
                                  L"%COMMONPROGRAMFILES%",
                                  L"%PROGRAMFILES(x86)%",
                                  L"%PROGRAMFILES%",
                                  L"%PROGRAMDATA%",
                                  L"%PUBLIC%"};
    ASSERT_GT(folders.size(), 14u);
    for (size_t i = 0; i < 14; ++i) EXPECT_EQ(Expand(variables[i]), folders[i]) << i;

    std::vector<std::wstring> path;
    SplitTokens(Expand(L"%PATH%"), L";", path);
    ASSERT_EQ(14 + path.size(), folders.size());
    for (size_t i = 0; i < path.size(); ++i) {
        std::wstring entry = path[i];
        if (entry.back() == L'\\') entry.pop_back();
        EXPECT_EQ(entry, folders[14 + i]);
    }
    // WINEPATH gave this program a PATH entry with a trailing backslash; the table drops it.
    EXPECT_NE(std::find(folders.begin(), folders.end(), kOnPath), folders.end());

    ScopedVariable later(L"PATH", Expand(L"%PATH%") + L";C:\\kivtests\\added-later");
    EXPECT_EQ(14 + path.size(), EnvironmentFolders().size());
    EXPECT_EQ(L"C:\\kivtests\\added-later", BuildEnvironmentFolders().back());
    EXPECT_EQ((std::vector<std::wstring>{L".exe", L".dll", L".sys", L".drv", L".bin"}), TrialSuffixes());
}

TEST(EnvironmentFolders, PathLongerThanTheFirstBufferIsReadWhole) {
    std::wstring path;
    for (int i = 0; path.size() < 3000; ++i) path += L"C:\\kivtests\\filler-folder-" + std::to_wstring(i) + L";";
    path += L"%KIV_NOT_DEFINED%\\bin;C:\\kivtests\\last\\";
    ScopedVariable longPath(L"PATH", path);
    std::vector<std::wstring> folders = BuildEnvironmentFolders();
    std::vector<std::wstring> entries;
    SplitTokens(path, L";", entries);
    ASSERT_EQ(14 + entries.size(), folders.size());
    EXPECT_EQ(L"%KIV_NOT_DEFINED%\\bin", folders[folders.size() - 2]);  // undefined variables stay as written
    EXPECT_EQ(L"C:\\kivtests\\last", folders.back());
}

// ---- Small tests and expansion ----

TEST(HasShortExtension, TwoOrThreeCharactersAfterTheLastDot) {
    struct Case {
        const wchar_t* text;
        bool expected;
    } cases[] = {{L"a.ex", false},  {L"ab.ex", true},    {L"app.exe", true},           {L"app.html", false},
                 {L"app.x", false}, {L"notepad", false}, {L"C:\\dir.ab\\file", false}, {L"C:\\x.y\\a.sys", true}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, HasShortExtension(c.text)) << c.text;
}

TEST_F(PathTest, ExpansionIsNeverCutByItsFirstBuffer) {
    std::wstring value = kRoot + L"\\" + std::wstring(400, L'v');
    ScopedVariable variable(L"KIV_NORM_LONG", value);
    std::wstring text = L"%KIV_NORM_LONG%\\x.exe";
    ExpandPath(text);
    EXPECT_EQ(value + L"\\x.exe", text);
    EXPECT_EQ(value, ExpandPlain(L"%KIV_NORM_LONG%"));
    EXPECT_EQ(L"%KIV_NOT_DEFINED%\\x", ExpandPlain(L"%KIV_NOT_DEFINED%\\x"));
}

// ---- Long paths ----

TEST_F(PathTest, ShortNamesBecomeLongWherePossible) {
    const std::wstring folder = In(L"A very long folder name");
    const std::wstring file = folder + L"\\some long file name.exe";
    MakeFile(file);
    const std::wstring shortFile = ShortPathOf(file);
    ASSERT_NE(std::wstring::npos, shortFile.find(L'~')) << "Wine made no 8.3 name";

    std::wstring text = shortFile;
    EXPECT_TRUE(ToLongPath(text));
    EXPECT_EQ(file, text);
    text = shortFile;
    EXPECT_TRUE(NormalizePath(text, 0));
    EXPECT_EQ(file, text);

    text = L"C:\\no~such\\file.exe";
    EXPECT_FALSE(ToLongPath(text));
    EXPECT_EQ(L"C:\\no~such\\file.exe", text);

    // A missing file in an existing short-named folder: the folder part still converts.
    text = ShortPathOf(folder) + L"\\missing.exe";
    EXPECT_FALSE(ToLongPath(text));
    EXPECT_EQ(folder + L"\\missing.exe", text);
}

TEST_F(PathTest, LongFormThatDoesNotFit260CharactersIsNotTaken) {
    const std::wstring folder = In(std::wstring(200, L'F'));                      // long form well below 260
    const std::wstring file = folder + L"\\" + std::wstring(60, L'L') + L".txt";  // long form above 260
    MakeFile(file);
    std::wstring shortFolder = ShortPathOf(folder);
    std::wstring shortFile = ShortPathOf(Device(file));
    ASSERT_FALSE(shortFolder.empty());
    ASSERT_FALSE(shortFile.empty());
    shortFile = shortFolder + shortFile.substr(shortFile.rfind(L'\\'));
    ASSERT_LT(shortFile.size(), 100u);
    ASSERT_GT(file.size(), static_cast<size_t>(MAX_PATH));

    std::wstring text = shortFile;
    EXPECT_FALSE(ToLongPath(text));
    EXPECT_EQ(folder + shortFile.substr(shortFile.rfind(L'\\')), text);

    // Neither the whole nor the folder part fits: the text stays as it was.
    const std::wstring deep = folder + L"\\" + std::wstring(80, L'D');
    MakeFolders(deep);
    std::wstring deepShort = shortFolder + ShortPathOf(Device(deep)).substr(ShortPathOf(Device(deep)).rfind(L'\\'));
    text = deepShort + L"\\gone.exe";
    EXPECT_FALSE(ToLongPath(text));
    EXPECT_EQ(deepShort + L"\\gone.exe", text);
}

// ---- Normalisation ----

TEST_F(PathTest, NormalizesSystemFolderFormsQuotesAndSuffixes) {
    // \SystemRoot and system32\ forms expand through the real variables, pointed at a
    // folder of this test for the time of the test.
    const std::wstring windows = In(L"win");
    MakeFile(windows + L"\\System32\\drivers\\kivnorm.sys");
    MakeFile(In(L"app.exe"));
    MakeFile(In(L"tool.dll"));
    MakeFile(In(L"page.html.exe"));
    MakeFile(In(L"page.html"));
    ScopedVariable systemRoot(L"SystemRoot", windows);
    ScopedVariable windir(L"windir", windows);
    ScopedVariable own(L"KIV_NORM_DIR", kRoot);

    const NormalizeCase cases[] = {
        {L"\\SystemRoot\\System32\\drivers\\kivnorm.sys", L"<root>\\win\\System32\\drivers\\kivnorm.sys", true},
        {L"\\systemroot\\System32\\drivers\\kivnorm.sys", L"<root>\\win\\System32\\drivers\\kivnorm.sys", true},
        {L"system32\\drivers\\kivnorm.sys", L"<root>\\win\\System32\\drivers\\kivnorm.sys", true},
        {L"\\\\?\\globalroot\\systemroot\\system32\\drivers\\kivnorm.sys",
         L"<root>\\win\\system32\\drivers\\kivnorm.sys", true},
        {L"\\??\\<root>\\app.exe", L"<root>\\app.exe", true},
        {L"@<root>\\app.exe", L"<root>\\app.exe", true},
        {L"   <root>\\app.exe", L"<root>\\app.exe", true},
        {L"C:\\kivtests\\\\pathnormalize\\\\\\app.exe", L"<root>\\app.exe", true},
        {L"%KIV_NORM_DIR%\\app.exe", L"<root>\\app.exe", true},
        {L"\"<root>\\app.exe\" /quiet", L"<root>\\app.exe", true},
        {L"<root>\\app", L"<root>\\app.exe", true},
        {L"<root>\\tool", L"<root>\\tool.dll", true},
        {L"<root>\\page.html", L"<root>\\page.html", true},                        // exists as it is
        {L"\\SystemRoot\\kivmissing.sys", L"<root>\\win\\kivmissing.sys", false},  // rewritten, not found
        {L"<root>\\missing.exe", L"<root>\\missing.exe", false},
        {L"", L"", false},
    };
    for (const NormalizeCase& c : cases) {
        std::wstring text = WithRoot(c.text, kRoot);
        EXPECT_EQ(c.found, NormalizePath(text, 0)) << c.text;
        EXPECT_EQ(WithRoot(c.expected, kRoot), text) << c.text;
    }
    std::wstring withNul(L"<root>\\app.exe\0junk", 19);
    withNul = WithRoot(withNul, kRoot);
    EXPECT_TRUE(NormalizePath(withNul, 0));
    EXPECT_EQ(In(L"app.exe"), withNul);

    // A relative name in the current folder is found as it is, before any folder of the table.
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(kRoot.c_str()));
    std::wstring relative = L"tool.dll";
    bool found = NormalizePath(relative, 0);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(found);
    EXPECT_EQ(L"tool.dll", relative);
}

TEST_F(PathTest, BareNamesAreSearchedFolderByFolder) {
    // TEMP (a folder of the table) comes before the PATH entry: folder order beats suffix order.
    const ScopedFile inTemp(EnvironmentFolders()[3] + L"\\kivnormorder.dll");
    MakeFile(kOnPath + L"\\kivnormorder.exe");
    MakeFile(kOnPath + L"\\kivnormpage.html");
    MakeFile(kOnPath + L"\\kivnormpage.html.exe");
    MakeFile(kOnPath + L"\\kivnormdoc.txt");

    const NormalizeCase cases[] = {
        {L"kivnormorder", L"", true},
        {L"kivnormpage.html", L"<onpath>\\kivnormpage.html.exe", true},  // four letters: no extension
        {L"kivnormdoc.txt", L"<onpath>\\kivnormdoc.txt", true},
        {L"kivnormdoc", L"", false},  // only the suffixes of the table are tried
        {L"notepad", L"", true},
    };
    for (const NormalizeCase& c : cases) {
        std::wstring text = c.text;
        EXPECT_EQ(c.found, NormalizePath(text, 0)) << c.text;
        std::wstring expected = c.expected;
        size_t at = expected.find(L"<onpath>");
        if (at != std::wstring::npos) expected.replace(at, 8, kOnPath);
        if (!expected.empty()) {
            EXPECT_EQ(expected, text) << c.text;
        }
    }
    std::wstring text = L"kivnormorder";
    NormalizePath(text, 0);
    EXPECT_EQ(inTemp.Path(), text);
    text = L"notepad";
    NormalizePath(text, 0);
    EXPECT_EQ(Expand(L"%WINDIR%\\notepad.exe"), text);  // the Windows folder comes before system32
}

TEST_F(PathTest, SharePathsAndDevicePathsKeepTheirLeadingPair) {
    MakeFile(In(L"app.exe"));
    std::wstring text = L"\\\\?\\" + In(L"app.exe");
    EXPECT_TRUE(NormalizePath(text, 0));
    EXPECT_EQ(L"\\\\?\\" + In(L"app.exe"), text);

    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((kShare + L"\\dir\\file.txt").c_str()))
        << "the share of tests/pathnormalize.cmake is missing";
    text = L"\\\\kivpathnorm\\\\share\\dir\\\\file.txt";
    EXPECT_TRUE(NormalizePath(text, 0));
    EXPECT_EQ(kShare + L"\\dir\\file.txt", text);
}

// ---- 32-bit view ----

TEST(Redirection, SystemAndProgramFoldersGoTo32BitExceptSharedSystemFolders) {
    const std::wstring wow64 = Wow64Folder();
    const std::wstring windows = Expand(L"%SystemRoot%");
    const std::wstring programs = Expand(L"%ProgramFiles%"), programs32 = Expand(L"%ProgramFiles(x86)%");
    ASSERT_FALSE(wow64.empty());
    struct Case {
        std::wstring text, expected;
        bool rewritten;
    } cases[] = {
        {windows + L"\\System32\\x.dll", wow64 + L"\\x.dll", true},
        {L"C:\\WINDOWS\\SYSTEM32\\Sub\\X.DLL", wow64 + L"\\Sub\\X.DLL", true},
        {windows + L"\\System32\\drivers\\etc\\hosts", windows + L"\\System32\\drivers\\etc\\hosts", false},
        {windows + L"\\System32\\catroot\\a", windows + L"\\System32\\catroot\\a", false},
        {windows + L"\\System32\\CatRoot2\\a", windows + L"\\System32\\CatRoot2\\a", false},
        {windows + L"\\System32\\LogFiles\\a", windows + L"\\System32\\LogFiles\\a", false},
        {windows + L"\\System32\\spool\\a", windows + L"\\System32\\spool\\a", false},
        {windows + L"\\System32\\drivers\\x.sys", wow64 + L"\\drivers\\x.sys", true},
        {programs + L"\\Vendor\\a.exe", programs32 + L"\\Vendor\\a.exe", true},
        {programs + L"\\Common Files\\Vendor\\a.dll", programs32 + L"\\Common Files\\Vendor\\a.dll", true},
        {programs32 + L"\\Vendor\\a.exe", programs32 + L"\\Vendor\\a.exe", false},
        {windows + L"\\System32", windows + L"\\System32", false},
        {L"D:\\Other\\a.exe", L"D:\\Other\\a.exe", false},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        EXPECT_EQ(c.rewritten, RedirectTo32Bit(text)) << c.text;
        EXPECT_EQ(c.expected, text) << c.text;
    }
}

TEST_F(PathTest, ThirtyTwoBitEntriesFindFilesInThe32BitSystemFolder) {
    const std::wstring windows = Expand(L"%SystemRoot%");
    {
        const ScopedFile in32(Wow64Folder() + L"\\kivnorm32.dll");
        std::wstring text = windows + L"\\System32\\kivnorm32.dll";
        EXPECT_TRUE(NormalizePath(text, 1));
        EXPECT_EQ(in32.Path(), text);
        text = windows + L"\\System32\\kivnorm32";
        EXPECT_TRUE(NormalizePath(text, 1));
        EXPECT_EQ(in32.Path(), text);
    }

    // The program-files folders are not redirected by the file system: a literal
    // path below the 64-bit one names its own file when the 32-bit folder has none,
    // and the 32-bit folder's file when it has one (the variable's expansion).
    {
        const std::wstring programs = Expand(L"%ProgramW6432%"), programs32 = Expand(L"%ProgramFiles(x86)%");
        ASSERT_FALSE(programs.empty() || programs32.empty() || programs == programs32);
        CreateDirectoryW((programs + L"\\KivNorm").c_str(), nullptr);
        CreateDirectoryW((programs32 + L"\\KivNorm").c_str(), nullptr);
        const ScopedFile only64(programs + L"\\KivNorm\\UpdaterUI.exe");
        std::wstring text = only64.Path();
        EXPECT_TRUE(NormalizePath(text, 1));
        EXPECT_EQ(only64.Path(), text);
        const ScopedFile both(programs32 + L"\\KivNorm\\UpdaterUI.exe");
        text = only64.Path();
        EXPECT_TRUE(NormalizePath(text, 1));
        EXPECT_EQ(both.Path(), text);
    }
    RemoveDirectoryW((Expand(L"%ProgramW6432%") + L"\\KivNorm").c_str());
    RemoveDirectoryW((Expand(L"%ProgramFiles(x86)%") + L"\\KivNorm").c_str());

    // The 64-bit program is not there for a 32-bit entry; the text stays rewritten.
    std::wstring text = windows + L"\\System32\\notepad.exe";
    EXPECT_FALSE(NormalizePath(text, 1));
    EXPECT_EQ(Wow64Folder() + L"\\notepad.exe", text);
    text = windows + L"\\System32\\notepad.exe";
    EXPECT_TRUE(NormalizePath(text, 0));
}

// ---- Reparse points ----

TEST(ReparsePoint, LinksAnywhereAlongThePathCountAndTheWalkStopsAtTheRoot) {
    ASSERT_NE(0u, GetFileAttributesW((kLinks + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((kLinks + L"\\target\\dir\\file.txt").c_str()))
        << "the links of tests/pathnormalize.cmake are missing";
    const DWORD server = GetFileAttributesW(L"\\\\kivpathnorm");
    ASSERT_TRUE(server != INVALID_FILE_ATTRIBUTES && (server & FILE_ATTRIBUTE_REPARSE_POINT));

    struct Case {
        std::wstring path;
        int expected;
    } cases[] = {
        {kLinks + L"\\link\\dir\\file.txt", 1},
        {kLinks + L"\\link", 1},
        {kLinks + L"\\target\\dir\\file.txt", 0},
        {kLinks + L"\\target\\missing.txt", 1},
        {L"\\\\?\\" + kLinks + L"\\target\\dir\\file.txt", 0},  // the walk keeps the volume root \\?\C:\ .
        {L"\\\\?\\" + kLinks + L"\\link\\dir\\file.txt", 1},
        {kShare + L"\\dir\\file.txt", 0},  // the server above the share is not walked
        {L"\\\\?\\UNC\\kivpathnorm\\share\\dir\\file.txt", 0},
        {kShare + L"\\link\\file.txt", 1},
        {L"C:\\kivtests", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, IsReparsePoint(c.path)) << std::string(c.path.begin(), c.path.end());
}

// ---- Server file search ----

TEST_F(PathTest, ServerFileSearchCutsArgumentsAndUsesFoldersAndAppPaths) {
    MakeFile(In(L"app.exe"));
    MakeFile(In(L"Vendor Tool\\my app.exe"));
    MakeFolders(In(L"folder.exe"));
    ScopedVariable own(L"KIV_NORM_DIR", kRoot);
    const std::vector<std::wstring> folders = {In(L"none"), kRoot};

    struct Case {
        std::wstring text, expected;
        bool found;
    } cases[] = {
        {In(L"app.exe"), In(L"app.exe"), true},
        {In(L"app.exe") + L",1", In(L"app.exe"), true},
        {In(L"app.exe") + L";x", In(L"app.exe"), true},
        {L"\"%KIV_NORM_DIR%\\app.exe\" -Embedding", In(L"app.exe"), true},
        {In(L"Vendor Tool\\my app.exe") + L" -a -b", In(L"Vendor Tool\\my app.exe"), true},
        {L"app.exe", In(L"app.exe"), true},
        {L"app.exe /auto", In(L"app.exe"), true},
        {In(L"folder.exe"), In(L"folder.exe"), false},  // a folder is not a server file
        {L"", L"", false},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        EXPECT_EQ(c.found, FindServerFile(text, folders)) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(c.expected, text) << std::string(c.text.begin(), c.text.end());
    }
    std::wstring text = L"app.exe";
    EXPECT_FALSE(FindServerFile(text, {}));
}

TEST_F(PathTest, ServerFileSearchFallsBackToRegisteredApplicationPaths) {
    MakeFile(In(L"registered.exe"));
    ScopedVariable own(L"KIV_NORM_DIR", kRoot);
    const ScopedAppPath quoted(L"kivnormreg.exe", L"\"%KIV_NORM_DIR%\\registered.exe\"", REG_EXPAND_SZ);
    const ScopedAppPath missing(L"kivnormgone.exe", L"%KIV_NORM_DIR%\\gone.exe", REG_SZ);
    const ScopedAppPath tooLong(L"kivnormlong.exe", kRoot + L"\\" + std::wstring(200, L'x') + L".exe", REG_SZ);

    std::wstring text = L"kivnormreg.exe";
    EXPECT_TRUE(FindServerFile(text, {}));
    EXPECT_EQ(In(L"registered.exe"), text);

    text = L"kivnormgone.exe";
    EXPECT_FALSE(FindServerFile(text, {}));
    EXPECT_EQ(In(L"gone.exe"), text);  // the value read stays

    // More than the 260 bytes read: refused, the text unchanged.
    text = L"kivnormlong.exe";
    EXPECT_FALSE(FindServerFile(text, {}));
    EXPECT_EQ(L"kivnormlong.exe", text);

    text = L"sub\\kivnormreg.exe";  // not a bare name
    EXPECT_FALSE(FindServerFile(text, {}));
}
