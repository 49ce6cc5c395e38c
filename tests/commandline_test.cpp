// Command-line file extraction and entry resolution on real command lines, against
// real files and environment variables of the Wine prefix; the pattern engine
// checked against the standard library's ECMAScript engine on the same patterns.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "iteminfo/CommandLine.h"
#include "pattern/Pattern.h"
#include "platform/Handles.h"
#include "support/TestSupport.h"

using namespace kiv;

using kivtest::ScopedVariable;

namespace {

const std::wstring kRoot = L"C:\\kivtests\\commandline";

std::wstring Expand(const wchar_t* text) {
    wchar_t buffer[4096] = {};
    ExpandEnvironmentStringsW(text, buffer, 4096);
    return buffer;
}

using kivtest::Narrow;

// Replaces every "<root>" by the test's folder.
std::wstring WithRoot(std::wstring text) {
    for (size_t at = text.find(L"<root>"); at != std::wstring::npos; at = text.find(L"<root>"))
        text.replace(at, 6, kRoot);
    return text;
}

std::vector<std::wstring> Extract(const std::wstring& text) {
    std::vector<std::wstring> files = {L"left over"};
    EXPECT_TRUE(ExtractFiles(text, files));
    return files;
}

struct PatternCase {
    const wchar_t* pattern;
    size_t length;
    bool ignoreCase;
};
const PatternCase kPatterns[] = {{kPathListPattern, 184, true},
                                 {kRundll32Pattern, 26, true},
                                 {kDllNamePattern, 58, false},
                                 {kBareNamePattern, 32, true},
                                 {kDrivePathPattern, 39, true}};

// The command lines of the extraction cases below, plus a few odd ones.
const wchar_t* const kCorpus[] = {
    L"\"C:\\Program Files\\App\\app.exe\" /background",
    L"C:\\Windows\\system32\\rundll32.exe shell32.dll,Control_RunDLL",
    L"D:\\tool.exe -run C:\\data\\in.txt",
    L"C:\\foo;D:\\bar::",
    L"C:\\a\\x.exe;D:\\b\\y.dll::",
    L"notepad.exe",
    L"\"C:\\x\\launcher.exe\" \"C:\\x\\helper.exe\" 60::",
    L"C:\\Prog\\app.exe,1::",
    L"C:\\Prog\\lib.dll,-101::",
    L"C:\\a b\\v2.1 tool\\run.exe %1 /x::",
    L" helper.dll,Run",
    L"  /d helper.dll,Run",
    L"C:\\a\\b.exe -x C:\\c\\d.sys, E:\\f\\g::",
    L"RunDll32.EXE C:\\x\\y.cpl,@0",
    L"c:\\WINDOWS\\x.INF::",
    L"C:\\a.b,x1 rest::",  // [,-\\] takes lower-case letters too when case is ignored
};

}  // namespace

// First in the file so that the patterns are compiled here, by several threads at once.
TEST(Extraction, ThreadsExtractingAtOnceAgree) {
    std::vector<std::vector<std::wstring>> expected;
    std::vector<std::vector<std::vector<std::wstring>>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&result] {
            for (const wchar_t* text : kCorpus) {
                std::vector<std::wstring> files;
                ExtractFiles(text, files);
                result.push_back(files);
            }
        });
    for (std::thread& thread : threads) thread.join();
    for (const wchar_t* text : kCorpus) expected.push_back(Extract(text));
    for (const auto& result : results) EXPECT_EQ(expected, result);
}

// ---- Pattern engine ----

TEST(Patterns, AreUsedExactlyAsWritten) {
    for (const PatternCase& p : kPatterns) {
        EXPECT_EQ(p.length, wcslen(p.pattern)) << Narrow(p.pattern);
        EXPECT_TRUE(CPattern(p.pattern, p.ignoreCase).Valid()) << Narrow(p.pattern);
    }
    EXPECT_EQ(3u, CPattern(kPathListPattern, true).GroupCount());
}

// The standard engine is the reference for everything both read alike. Texts hold no
// carriage return: there std::wregex's "." stops where Perl's does not (see below).
TEST(Patterns, AgreeWithTheStandardEngineOnCommandLines) {
    std::vector<std::wstring> subjects(std::begin(kCorpus), std::end(kCorpus));
    std::mt19937 random(20240611);
    const std::wstring alphabet = L"CcDx:\\\\..eEd12 ,-\";/%~_(){}#";
    for (int i = 0; i < 3000; ++i) {
        std::wstring text;
        for (size_t n = random() % 30; n > 0; --n) text += alphabet[random() % alphabet.size()];
        subjects.push_back((i % 5 ? L"" : L"rundll32") + text + (i % 2 ? L"::" : L""));
    }
    for (const PatternCase& p : kPatterns) {
        auto flags = std::regex::ECMAScript | (p.ignoreCase ? std::regex::icase : std::regex::ECMAScript);
        std::wregex reference(p.pattern, flags);
        CPattern pattern(p.pattern, p.ignoreCase);
        for (const std::wstring& subject : subjects) {
            std::wsmatch expected;
            PatternMatch actual;
            bool found = std::regex_search(subject, expected, reference);
            ASSERT_EQ(found, pattern.Search(subject, actual)) << Narrow(p.pattern) << " on " << Narrow(subject);
            if (!found) continue;
            EXPECT_EQ(static_cast<size_t>(expected.position(0)), actual.start) << Narrow(subject);
            EXPECT_EQ(static_cast<size_t>(expected.length(0)), actual.length) << Narrow(subject);
            for (size_t g = 1; g < expected.size(); ++g)
                EXPECT_EQ(expected.str(g), actual.groups[g]) << Narrow(subject);
        }
    }
}

TEST(Patterns, DotTakesCarriageReturnsLikePerlWhereTheStandardEngineStops) {
    const std::wstring subject = L"rundll32.exe a\rb.dll";
    PatternMatch match;
    ASSERT_TRUE(CPattern(kRundll32Pattern, true).Search(subject, match));
    EXPECT_EQ(L" a\rb.dll", match.groups[1]);
    std::wsmatch standard;
    ASSERT_TRUE(std::regex_search(subject, standard, std::wregex(kRundll32Pattern, std::regex::icase)));
    EXPECT_NE(L" a\rb.dll", standard.str(1));
}

TEST(Patterns, EngineBasics) {
    PatternMatch m;
    EXPECT_TRUE(CPattern(L"a(b+?)(b*)c|(x)", false).Search(L"zzabbbc", m));
    EXPECT_EQ((std::vector<std::wstring>{L"abbbc", L"b", L"bb", L""}), m.groups);
    EXPECT_EQ(2u, m.start);
    EXPECT_TRUE(CPattern(L"(?:ab|a)(c?)", false).Search(L"ac", m));
    EXPECT_EQ(L"ac", m.groups[0]);
    EXPECT_TRUE(CPattern(L"X{2,3}?Y{1}[^a-c\\d]", true).Search(L"xxxyD", m));
    EXPECT_EQ(L"xxxyD", m.groups[0]);
    EXPECT_FALSE(CPattern(L"X", false).Search(L"x", m));
    EXPECT_TRUE(CPattern(L"a{,2}", false).Search(L"a{,2}", m));  // not a count: literal
    // Each (instruction, position) pair is tried once: plain backtracking would need 2^60 steps here.
    EXPECT_FALSE(CPattern(L"(?:a|a)*b", false).Search(std::wstring(60, L'a'), m));
    for (const wchar_t* invalid : {L"(a", L"a)", L"\\1", L"^a", L"a**", L"[b-a]", L"(?=a)", L"a++", L"[ab"})
        EXPECT_FALSE(CPattern(invalid, false).Valid()) << Narrow(invalid);
}

// ---- Extraction ----

TEST(Extraction, FindsCandidatesInTheOrderFound) {
    const std::wstring windows = Expand(L"%windir%");
    struct Case {
        std::wstring text;
        std::vector<std::wstring> files;
    } cases[] = {
        {L"\"C:\\Program Files\\App\\app.exe\" /background", {L"C:\\Program Files\\App\\app.exe"}},
        {L"C:\\Windows\\system32\\rundll32.exe shell32.dll,Control_RunDLL", {L"shell32.dll"}},
        {L"D:\\tool.exe -run C:\\data\\in.txt", {L"D:\\tool.exe", L"C:\\data\\in.txt"}},
        {L"C:\\foo;D:\\bar", {L"C:\\foo", L"D:\\bar"}},
        {L"C:\\a\\x.exe;D:\\b\\y.dll", {L"C:\\a\\x.exe;D:\\b\\y.dll"}},
        {L"notepad.exe", {L"notepad.exe"}},
        {L" \t\r\n ", {}},
        {L"%SystemRoot%\\system32\\x.exe", {windows + L"\\system32\\x.exe"}},
        {L"\"%windir%\\system32\\telemetry.exe\" -m:appraiser.dll -f:Run", {windows + L"\\system32\\telemetry.exe"}},
        {L"\"C:\\x\\launcher.exe\" \"C:\\x\\helper.exe\" 60", {L"C:\\x\\launcher.exe", L"C:\\x\\helper.exe"}},
        {L"\"%windir%\\system32\\bootfix.exe\" %windir% /repair", {windows + L"\\system32\\bootfix.exe", windows}},
        {L"cmd.exe /k tool", {L"cmd.exe"}},
        {L"\"%windir%\\system32\\rundll32.exe\" helper.dll,Run", {L"helper.dll"}},
        {L"rundll32.exe /d helper.dll,Run", {L"helper.dll"}},
        {L"RUNDLL32 -sta \"C:\\Vendor Dir\\helper.dll\",Entry C:\\data\\x.cfg /s",
         {L"C:\\Vendor Dir\\helper.dll", L"C:\\data\\x.cfg"}},
        {L"rundll32.exe", {}},
        {L"\"notepad\"", {L"notepad"}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.files, Extract(c.text)) << Narrow(c.text);
}

TEST(Extraction, OnlyTheFirst2048CharactersReachThePatterns) {
    const std::wstring longPath = L"C:\\" + std::wstring(2100, L'a') + L".exe";
    ScopedVariable variable(L"KIV_CMD_LONG", longPath);
    for (const wchar_t* text : {longPath.c_str(), L"%KIV_CMD_LONG%"}) {
        std::vector<std::wstring> files = Extract(text);
        ASSERT_EQ(1u, files.size());
        EXPECT_EQ(longPath.substr(0, kMaxPatternInput), files[0]);  // the drive path, cut with the subject
    }
    std::wstring text = L"C:\\first.exe " + std::wstring(3000, L'x') + L" C:\\late\\marker.exe";
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\first.exe"}, Extract(text));
}

// A hostile line (thousands of characters that keep every alternative of the path-list
// pattern busy) on a thread with a 64 KB stack: the search must neither recurse deeply nor stall.
TEST(Extraction, HostileLongLinesNeedLittleStack) {
    static std::wstring text;
    text = L"C:\\";
    for (int i = 0; text.size() < kMaxPatternInput; ++i)
        text += std::wstring(L".") + wchar_t(L'a' + i % 26) + wchar_t(L'a' + i / 26 % 26) + L";" +
                wchar_t(L'C' + i % 20) + L":\\";
    text.resize(kMaxPatternInput - 1);
    text += L"!";  // what reaches the patterns never ends in a complete path
    while (text.size() < 6000) text += L".x;D:\\";
    static size_t count = 0;
    HANDLE thread = CreateThread(
        nullptr, 64 * 1024,
        [](void*) -> DWORD {
            std::vector<std::wstring> files;
            ExtractFiles(text, files);
            count = files.size();
            std::wstring entry = text;
            return static_cast<DWORD>(ResolveEntry(entry, 0)) + 10;
        },
        nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(nullptr, thread);
    UniqueHandle owner(thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(10u, code);    // resolved to nothing, and the thread ended normally
    EXPECT_GT(count, 250u);  // one path per ";X:\" within the first 2048 characters
}

// ---- Entry resolution against real files ----

class ResolveTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"tool.exe", L"in.txt", L"launcher.exe", L"helper.exe", L"helper.dll",
                                    L"Vendor Tool\\agent.exe", L"Vendor Tool\\helper.dll",
                                    L"win\\System32\\DriverStore\\FileRepository\\net.inf_amd64_0a1b2c\\netdrv.sys",
                                    L"win\\System32\\drivers\\Vendor\\1.2.3\\x64\\filter.sys",
                                    L"win\\system32\\DRIVERS\\vmx-debug.sys", L"run.exe", L"run.exe -x\\inside.txt"})
            MakeFile(kRoot + L"\\" + name);
    }
    void TearDown() override {
        RemoveTree(kRoot);
        RemoveDirectoryW(L"C:\\kivtests");  // only when no other test has files there
    }
    static void MakeFile(const std::wstring& path) {
        for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
            CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.Valid()) << Narrow(path);
    }
    static void RemoveTree(const std::wstring& path) {
        WIN32_FIND_DATAW entry;
        UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &entry));
        for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &entry) != FALSE) {
            std::wstring name = entry.cFileName, child = path + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
            else DeleteFileW(child.c_str());
        }
        find.Reset();
        RemoveDirectoryW(path.c_str());
    }
};

TEST_F(ResolveTest, RealCommandLinesResolveToTheFileTheyStart) {
    const std::wstring system32 = Expand(L"%windir%\\system32");
    const std::wstring windows = Expand(L"%windir%");
    struct Case {
        std::wstring text, expected;
        int result;
        unsigned char wow64;
    } cases[] = {
        {L"<root>\\tool.exe -run <root>\\in.txt", L"<root>\\tool.exe", 1, 0},
        {L"\"<root>\\launcher.exe\" \"<root>\\helper.exe\" 60", L"<root>\\launcher.exe", 1, 0},
        {L"\"%windir%\\system32\\notepad.exe\" %windir% /repair", system32 + L"\\notepad.exe", 1, 0},
        {L"\"%windir%\\system32\\notepad.exe\" -m:appraiser.dll -f:Run", system32 + L"\\notepad.exe", 1, 0},
        {L"cmd.exe /k tool", system32 + L"\\cmd.exe", 1, 0},
        {L"notepad", windows + L"\\notepad.exe", 1, 0},
        {L"\"%windir%\\system32\\rundll32.exe\" shell32.dll,Control_RunDLL", system32 + L"\\shell32.dll", 1, 0},
        {L"rundll32.exe /d \"<root>\\helper.dll\",Run", L"<root>\\helper.dll", 1, 0},
        {L"%windir%\\system32\\rundll32.exe <root>\\Vendor Tool\\helper.dll,Run 1", L"<root>\\Vendor Tool\\helper.dll",
         1, 0},
        {L"<root>\\Vendor Tool\\agent.exe", L"<root>\\Vendor Tool\\agent.exe", 1, 0},
        {L"  <root>\\Vendor Tool\\agent.exe\t", L"<root>\\Vendor Tool\\agent.exe", 1, 0},
        {L"<root>\\Vendor Tool\\agent.exe -silent", L"<root>\\Vendor Tool\\agent.exe", 1, 0},
        {L"\"<root>\\Vendor Tool\\agent.exe\"", L"<root>\\Vendor Tool\\agent.exe", 1, 0},
        {L"<root>\\missing.exe -x", L"<root>\\missing.exe", 0, 0},
        {L"<root>\\run.exe -x", L"<root>\\run.exe", 1, 0},  // the whole text names a folder
        {windows + L"\\System32\\notepad.exe /x", windows + L"\\System32\\notepad.exe", 1, 0},
        {windows + L"\\System32\\notepad.exe /x", Expand(L"%windir%\\syswow64\\notepad.exe"), 0, 1},
        {L"   ", L"   ", 1, 0},
        {L"", L"", 0, 0},
        {L"rundll32.exe /s", L"rundll32.exe /s", 0, 0},
    };
    for (const Case& c : cases) {
        std::wstring text = WithRoot(c.text);
        EXPECT_EQ(c.result, ResolveEntry(text, c.wow64)) << Narrow(c.text);
        EXPECT_EQ(WithRoot(c.expected), text) << Narrow(c.text);
    }

    // Driver image paths name the system folder; it points at the test's folder for the time of these cases.
    ScopedVariable systemRoot(L"SystemRoot", kRoot + L"\\win");
    ScopedVariable windir(L"windir", kRoot + L"\\win");
    const Case drivers[] = {
        {L"\\SystemRoot\\System32\\DriverStore\\FileRepository\\net.inf_amd64_0a1b2c\\netdrv.sys",
         L"<root>\\win\\System32\\DriverStore\\FileRepository\\net.inf_amd64_0a1b2c\\netdrv.sys", 1, 0},
        {L"system32\\drivers\\Vendor\\1.2.3\\x64\\filter.sys",
         L"<root>\\win\\System32\\drivers\\Vendor\\1.2.3\\x64\\filter.sys", 1, 0},
        {L"\\SystemRoot\\system32\\DRIVERS\\vmx-debug.sys", L"<root>\\win\\system32\\DRIVERS\\vmx-debug.sys", 1, 0},
    };
    for (const Case& c : drivers) {
        std::wstring text = c.text;
        EXPECT_EQ(c.result, ResolveEntry(text, c.wow64)) << Narrow(c.text);
        EXPECT_EQ(WithRoot(c.expected), text) << Narrow(c.text);
    }
}
