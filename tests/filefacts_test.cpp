#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filefacts/TestFolder.h"
#include "iteminfo/FileFacts.h"
#include "iteminfo/Md5.h"
#include "iteminfo/Shortcut.h"
#include "platform/ThreadScratch.h"
#include "support/TestSupport.h"

using kiv::FillFileFacts;
using kiv::IsExecutableFile;

using kivtest::DigestOf;

namespace {

using kivtest::Narrow;

std::string NoFileInfoLine(const std::wstring& path) {
    return "KIV\t Unable to retrieve file info (shortcut target used), file path: " + Narrow(path) + "\n";
}

std::string NoAttributesLine(const std::wstring& path) {
    return "KIV\t\t\t Unable to retrieve file attributes, file path: " + Narrow(path) + "\n";
}

// A whole-second UTC time some minutes from now, close enough to now that the
// local offset in force then is the one in force now, and apart from the time a
// file is made.
FILETIME MinutesFromNow(int minutes) {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value = {{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= value.QuadPart % 10000000;
    value.QuadPart += static_cast<unsigned long long>(static_cast<long long>(minutes) * 60 * 10000000);
    return FILETIME{value.LowPart, value.HighPart};
}

bool SetModified(const std::wstring& path, const FILETIME& modified) {
    kiv::UniqueFile file(
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && SetFileTime(file.Get(), nullptr, nullptr, &modified);
}

// Whether a filled time is the local wall-clock time of a UTC file time, by the time-zone rules.
bool IsLocalOf(const FILETIME& utc, const SYSTEMTIME& filled) {
    SYSTEMTIME utcTime = {}, local = {};
    FileTimeToSystemTime(&utc, &utcTime);
    SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local);
    return memcmp(&local, &filled, sizeof(local)) == 0;
}

bool IsZero(const SYSTEMTIME& time) {
    const SYSTEMTIME zero = {};
    return memcmp(&zero, &time, sizeof(zero)) == 0;
}

unsigned long long SizeOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Each test works in a folder named after itself, with COM on its thread as the
// host provides it, and releases the facts it filled.
class FileFactsTest : public ::testing::Test {
protected:
    FileFactsTest()
        : folder(L"filefacts_test", Widen(::testing::UnitTest::GetInstance()->current_test_info()->name())) {}
    ~FileFactsTest() override { kiv::ReleaseFileFacts(facts); }

    static std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

    // A copy of the test library with version information and an icon.
    std::wstring VersionedFile(const std::wstring& name, const FILETIME& modified) {
        const std::wstring path = folder / name;
        EXPECT_TRUE(CopyFileW((kivtest::ProgramFolder() + L"kivff_multi.dll").c_str(), path.c_str(), FALSE));
        EXPECT_TRUE(SetModified(path, modified));
        return path;
    }

    kivtest::ComApartment com;
    kivtest::TestFolder folder;
    KivFileFacts facts;
};

}  // namespace

TEST(ExecutableFile, KnowsTheTenExtensionsInAnyCase) {
    for (const wchar_t* name : {L"C:\\x\\TOOL.EXE", L"a.dll", L"x.DrV", L"k.sys", L"l.lnk", L"j.js", L"b.bat", L"p.pif",
                                L"c.com", L"s.Scr", L"backup.tar.exe"})
        EXPECT_TRUE(IsExecutableFile(name)) << Narrow(name);
    for (const wchar_t* name : {L"C:\\x\\tool.exe /s", L"noextension", L"a.exe.txt", L"a.jse", L"a.ex", L"archive.",
                                L"C:\\dir.exe\\file", L"a.e\u00d8e"})
        EXPECT_FALSE(IsExecutableFile(name)) << Narrow(name);
}

TEST_F(FileFactsTest, NamesTheFileAndTakesExtensionsOnlyFromLongEnoughNames) {
    struct Case {
        std::wstring path, name, extension;
    };
    const std::wstring base = folder.Path() + L"\\";
    const Case cases[] = {
        {base + L"a.exe", L"a.exe", L"exe"},
        {base + L"a.c", L"a.c", L""},
        {base + L"archive.", L"archive.", L""},
        {base + L"TOOL.EXE", L"TOOL.EXE", L"exe"},
        {base + L"Pack.Tar.GZ", L"Pack.Tar.GZ", L"gz"},
        {base + L"ab.c", L"ab.c", L""},
        {base + L"abcde", L"abcde", L""},
        {L"noslash.Dll", L"noslash.Dll", L"dll"},
    };
    for (const Case& c : cases) {
        KivFileFacts named;
        FillFileFacts(named, c.path);
        EXPECT_EQ(c.path, named.filePath);
        EXPECT_EQ(c.name, named.fileName);
        EXPECT_EQ(c.extension, named.extension) << Narrow(c.path);
        kiv::ReleaseFileFacts(named);
    }
}

TEST_F(FileFactsTest, MissingFileLeavesEveryReadFactEmptyAndSaysSo) {
    const std::wstring path = folder / L"gone.exe";
    LogCapture log;
    FillFileFacts(facts, path);
    EXPECT_EQ(L"", facts.md5);
    EXPECT_EQ(0u, facts.size);
    EXPECT_EQ(nullptr, kiv::FileIcon(facts));
    EXPECT_TRUE(facts.version.m_empty);
    EXPECT_TRUE(IsZero(facts.created));
    EXPECT_TRUE(IsZero(facts.modified));
    EXPECT_EQ((std::vector<std::string>{NoFileInfoLine(path), NoAttributesLine(path)}), log.Messages());
}

TEST_F(FileFactsTest, VersionedFileGivesEveryFactWithoutALogLine) {
    const FILETIME modified = MinutesFromNow(90);
    const std::wstring path = VersionedFile(L"tool.dll", modified);
    LogCapture log;
    FillFileFacts(facts, path);
    EXPECT_TRUE(log.Messages().empty());
    const std::string bytes = kivtest::ReadBytes(path);
    EXPECT_EQ(DigestOf(bytes), facts.md5);
    EXPECT_EQ(bytes.size(), facts.size);
    EXPECT_EQ(L"dll", facts.extension);
    EXPECT_EQ(L"", facts.shortcutTarget);
    EXPECT_NE(std::wstring::npos, std::wstring(facts.version.Publisher()).find(L" CompanyName"));
    EXPECT_NE(std::wstring::npos, std::wstring(facts.version.Description()).find(L" FileDescription"));
    EXPECT_NE(nullptr, kiv::FileIcon(facts));
    EXPECT_TRUE(IsLocalOf(modified, facts.modified));
    // Wine reports the modification time as creation time; Windows keeps them apart.
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_TRUE(IsLocalOf(data.ftCreationTime, facts.created));
}

TEST_F(FileFactsTest, FileWithoutVersionInformationSaysSoOnce) {
    const std::wstring path = folder / L"notes.txt";
    ASSERT_TRUE(kivtest::WriteBytes(path, "plain text"));
    const FILETIME modified = MinutesFromNow(30);
    ASSERT_TRUE(SetModified(path, modified));
    LogCapture log;
    FillFileFacts(facts, path);
    EXPECT_EQ(std::vector<std::string>{NoFileInfoLine(path)}, log.Messages());
    EXPECT_EQ(DigestOf("plain text"), facts.md5);
    EXPECT_EQ(10u, facts.size);
    EXPECT_STREQ(L"", facts.version.Publisher());
    EXPECT_EQ(nullptr, kiv::FileIcon(facts));
    EXPECT_TRUE(IsLocalOf(modified, facts.modified));
}

TEST_F(FileFactsTest, ThreeCharacterPathHasASizeButNoDigest) {
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"a.b", "abc"));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    FillFileFacts(facts, L"a.b");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(L"", facts.md5);
    EXPECT_EQ(3u, facts.size);
    EXPECT_EQ(L"", facts.extension);
}

// A shortcut describes itself by name, digest and size, and its target by
// version information, icon and times.
TEST_F(FileFactsTest, ShortcutTakesVersionIconAndTimesFromItsTarget) {
    ASSERT_TRUE(com.Ok());
    const FILETIME targetModified = MinutesFromNow(120);
    const std::wstring target = VersionedFile(L"tool.dll", targetModified);
    const std::wstring link = folder / L"Tool.LNK";
    ASSERT_EQ(S_OK, kivtest::MakeShortcut(link, target));
    ASSERT_TRUE(SetModified(link, MinutesFromNow(10)));
    LogCapture log;
    FillFileFacts(facts, link);
    EXPECT_TRUE(log.Messages().empty());
    EXPECT_EQ(L"lnk", facts.extension);
    EXPECT_EQ(0, lstrcmpiW(target.c_str(), facts.shortcutTarget.c_str())) << Narrow(facts.shortcutTarget);
    const std::string linkBytes = kivtest::ReadBytes(link);
    EXPECT_EQ(DigestOf(linkBytes), facts.md5);
    EXPECT_NE(DigestOf(kivtest::ReadBytes(target)), facts.md5);
    EXPECT_EQ(linkBytes.size(), facts.size);
    EXPECT_NE(L"", std::wstring(facts.version.Publisher()));
    EXPECT_NE(nullptr, kiv::FileIcon(facts));
    EXPECT_TRUE(IsLocalOf(targetModified, facts.modified));
}

// Whether a shortcut to a vanished file resolves depends on the shell: if it
// does not, the shortcut itself is described; if it does (Wine keeps the stored
// path), the vanished target is.
TEST_F(FileFactsTest, ShortcutWhoseTargetIsGoneIsReportedOnce) {
    ASSERT_TRUE(com.Ok());
    const std::wstring target = folder / L"gone.exe";
    ASSERT_TRUE(kivtest::WriteBytes(target, "MZ"));
    const std::wstring link = folder / L"gone.lnk";
    ASSERT_EQ(S_OK, kivtest::MakeShortcut(link, target));
    ASSERT_TRUE(DeleteFileW(target.c_str()));
    LogCapture log;
    FillFileFacts(facts, link);
    EXPECT_EQ(DigestOf(kivtest::ReadBytes(link)), facts.md5);
    EXPECT_EQ(nullptr, kiv::FileIcon(facts));
    EXPECT_TRUE(facts.version.m_empty);
    if (facts.shortcutTarget.empty()) {
        EXPECT_EQ(std::vector<std::string>{NoFileInfoLine(link)}, log.Messages());
        EXPECT_FALSE(IsZero(facts.modified));
    } else {
        EXPECT_EQ(0, lstrcmpiW(target.c_str(), facts.shortcutTarget.c_str()));
        EXPECT_EQ(
            (std::vector<std::string>{NoFileInfoLine(facts.shortcutTarget), NoAttributesLine(facts.shortcutTarget)}),
            log.Messages());
        EXPECT_TRUE(IsZero(facts.modified));
    }
}

TEST_F(FileFactsTest, ShortcutThatCannotBeLoadedDescribesItself) {
    ASSERT_TRUE(com.Ok());
    const std::wstring link = folder / L"broken.lnk";
    ASSERT_TRUE(kivtest::WriteBytes(link, "this is not a shell link"));
    const FILETIME modified = MinutesFromNow(45);
    ASSERT_TRUE(SetModified(link, modified));
    LogCapture log;
    FillFileFacts(facts, link);
    EXPECT_EQ(std::vector<std::string>{NoFileInfoLine(link)}, log.Messages());
    EXPECT_EQ(L"", facts.shortcutTarget);
    EXPECT_EQ(DigestOf("this is not a shell link"), facts.md5);
    EXPECT_EQ(24u, facts.size);
    EXPECT_TRUE(IsLocalOf(modified, facts.modified));
}

// The shell-link object loads from a buffer of 260 characters: a path of 259
// still fits with its terminator, a path of 260 is a shortcut that cannot be
// loaded. On Windows a checked copy of text that does not fit calls the runtime's
// invalid-parameter handler (by default ending the process), which the test
// watches; Wine's runtime only returns an error there, so under Wine the outcome
// of the load is what shows.
TEST_F(FileFactsTest, ShortcutPathsUpToTheLoadBufferResolveAndLongerOnesDoNot) {
    ASSERT_TRUE(com.Ok());
    static bool invalidParameter = false;
    const _invalid_parameter_handler previous = _set_invalid_parameter_handler(
        [](const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) { invalidParameter = true; });
    const std::wstring target = VersionedFile(L"tool.dll", MinutesFromNow(5));
    const std::wstring deep = folder / std::wstring(100, L'd');
    ASSERT_TRUE(CreateDirectoryW(kivtest::Extended(deep).c_str(), nullptr));
    const std::wstring made = folder / L"made.lnk";
    for (std::size_t length : {259u, 260u}) {
        std::wstring link = deep + L"\\";
        link += std::wstring(length - link.size() - 4, L'n') + L".lnk";
        ASSERT_EQ(length, link.size());
        ASSERT_EQ(S_OK, kivtest::MakeShortcut(made, target));
        ASSERT_TRUE(MoveFileExW(kivtest::Extended(made).c_str(), kivtest::Extended(link).c_str(), 0));
        LogCapture log;
        KivFileFacts linked;
        FillFileFacts(linked, link);
        std::vector<std::string> infoLines;
        for (const std::string& line : log.Messages())
            if (line.find("Unable to retrieve file info") != std::string::npos) infoLines.push_back(line);
        if (length < MAX_PATH) {
            EXPECT_EQ(0, lstrcmpiW(target.c_str(), linked.shortcutTarget.c_str()));
            EXPECT_TRUE(infoLines.empty());
        } else {
            EXPECT_EQ(L"", linked.shortcutTarget);
            EXPECT_EQ(std::vector<std::string>{NoFileInfoLine(link)}, infoLines);
        }
        kiv::ReleaseFileFacts(linked);
    }
    _set_invalid_parameter_handler(previous);
    EXPECT_FALSE(invalidParameter);
}

// Sizes around 4 GiB, in sparse files that take next to no room on disk.
TEST_F(FileFactsTest, SizesBeyondFourGibibytesAreWhole) {
    for (unsigned long long size : {0xFFFFFFFFull, 0x100000001ull}) {
        const std::wstring path = folder / L"large.bin";
        {
            kiv::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file.Valid());
            DWORD returned = 0;
            DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
            LARGE_INTEGER end = {};
            end.QuadPart = static_cast<LONGLONG>(size);
            ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
            ASSERT_TRUE(SetEndOfFile(file.Get()));
            FILE_STANDARD_INFO info = {};
            ASSERT_TRUE(GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &info, sizeof(info)));
            EXPECT_LT(info.AllocationSize.QuadPart, 1 << 20) << "the file system stores the file in full";
        }
        EXPECT_EQ(size, SizeOnDisk(path));
        EXPECT_EQ(size, kiv::FileSize(path));
        ASSERT_TRUE(DeleteFileW(path.c_str()));
    }
}

// The icon is extracted when first asked for, once, and the facts own it.
TEST_F(FileFactsTest, IconComesOnFirstRequestAndReleaseDestroysItAndEmptiesTheFacts) {
    FillFileFacts(facts, VersionedFile(L"tool.dll", MinutesFromNow(5)));
    EXPECT_EQ(nullptr, facts.icon);
    const HICON icon = kiv::FileIcon(facts);
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icon, kiv::FileIcon(facts));
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    kiv::ReleaseFileFacts(facts);
    EXPECT_EQ(nullptr, facts.icon);
    EXPECT_FALSE(GetIconInfo(icon, &info));
    EXPECT_EQ(nullptr, kiv::FileIcon(facts)) << "released facts name no file to take an icon from";
    EXPECT_EQ(L"", facts.fileName);
    EXPECT_EQ(L"", facts.md5);
    EXPECT_EQ(L"", std::wstring(facts.version.Publisher()));
}

// Facts read once stand for a later entry only while the file keeps its size and times.
TEST_F(FileFactsTest, FactsStandForTheFileWhileItsSizeAndTimesStay) {
    const FILETIME modified = MinutesFromNow(30);
    const std::wstring path = VersionedFile(L"kept.dll", modified);
    FillFileFacts(facts, path);
    struct Case {
        const char* what;
        std::function<bool()> change;
        bool same;
    };
    const Case cases[] = {
        {"unchanged", [] { return true; }, true},
        {"modified later", [&] { return SetModified(path, MinutesFromNow(40)); }, false},
        {"modified back, one byte longer",
         [&] {
             {
                 kiv::UniqueFile file(
                     CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
                 DWORD written = 0;
                 if (!file || !WriteFile(file.Get(), "x", 1, &written, nullptr)) return false;
             }
             return SetModified(path, modified);
         },
         false},
        {"gone", [&] { return DeleteFileW(path.c_str()) != FALSE; }, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.change()) << c.what;
        EXPECT_EQ(c.same, kiv::SameFileState(facts, path)) << c.what;
    }
}

// The version information read from the file the digest just read (from memory when
// one read held it, through the open handle when not) is the one a read by path
// gives, on a thread with reading buffers of its own (a collection's) and without.
TEST_F(FileFactsTest, VersionFromTheHashedFileIsTheOneItsPathGives) {
    const std::wstring padded = folder / L"padded.dll";
    std::string image = kivtest::ReadBytes(kivtest::ProgramFolder() + L"kivff_multi.dll");
    ASSERT_TRUE(kivtest::WriteBytes(padded, image + std::string(300 << 10, '\x5a')));
    const std::wstring notImage = folder / L"mz.txt";
    ASSERT_TRUE(kivtest::WriteBytes(notImage, "MZ12345678"));
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring files[] = {kivtest::ProgramFolder() + L"kivff_multi.dll",
                                  kivtest::ProgramFolder() + L"kivff_large.dll",
                                  kivtest::ProgramFolder() + L"kivff_fixedonly.dll",
                                  padded,
                                  notImage,
                                  std::wstring(system) + L"\\kernel32.dll"};
    for (bool scratch : {true, false}) {
        std::unique_ptr<kiv::ThreadScratch> buffers(scratch ? new kiv::ThreadScratch() : nullptr);
        for (const std::wstring& path : files) {
            CFileVersion byPath;
            const int read = byPath.Read(path.c_str());
            KivFileFacts filled;
            FillFileFacts(filled, path);
            EXPECT_EQ(DigestOf(kivtest::ReadBytes(path)), filled.md5) << Narrow(path);
            EXPECT_EQ(read == 0, filled.version.m_empty) << Narrow(path);
            EXPECT_EQ(0, std::memcmp(&byPath.m_fixed, &filled.version.m_fixed, sizeof(VS_FIXEDFILEINFO)))
                << Narrow(path);
            for (int i = 0; i < CFileVersion::StringCount; ++i)
                EXPECT_EQ(byPath.String(i), filled.version.String(i)) << Narrow(path) << " string " << i;
            kiv::ReleaseFileFacts(filled);
        }
    }
}
