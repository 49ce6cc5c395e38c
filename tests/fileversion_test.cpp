#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <vector>

#include "filefacts/TestFolder.h"
#include "iteminfo/FileVersion.h"
#include "iteminfo/VersionResource.h"
#include "support/TestSupport.h"

using kiv::ChooseTranslation;

namespace {

const wchar_t* const kKeys[] = {L"CompanyName",    L"FileDescription",  L"FileVersion",  L"InternalName",
                                L"LegalCopyright", L"OriginalFileName", L"ProductName",  L"ProductVersion",
                                L"Comments",       L"LegalTrademarks",  L"PrivateBuild", L"SpecialBuild"};

DWORD Entry(WORD language, WORD codePage) { return MAKELONG(language, codePage); }

std::wstring Beside(const wchar_t* name) { return kivtest::ProgramFolder() + name; }

// The test libraries name each string after its table and key: "040904B0 CompanyName".
void ExpectTable(const CFileVersion& version, const std::wstring& table) {
    for (int i = 0; i < CFileVersion::StringCount; ++i)
        EXPECT_EQ(table + L" " + kKeys[i], version.String(i)) << "string " << i;
}

void ExpectAllEmpty(const CFileVersion& version) {
    for (int i = 0; i < CFileVersion::StringCount; ++i) EXPECT_EQ(L"", version.String(i)) << "string " << i;
}

void ExpectFixedInfo(const CFileVersion& version, DWORD fileMs, DWORD fileLs) {
    EXPECT_EQ(0xFEEF04BDu, version.m_fixed.dwSignature);
    EXPECT_EQ(fileMs, version.m_fixed.dwFileVersionMS);
    EXPECT_EQ(fileLs, version.m_fixed.dwFileVersionLS);
    EXPECT_EQ(0x00050006u, version.m_fixed.dwProductVersionMS);
    EXPECT_EQ(0x00070008u, version.m_fixed.dwProductVersionLS);
}

bool FixedInfoIsZero(const CFileVersion& version) {
    const VS_FIXEDFILEINFO zero = {};
    return memcmp(&zero, &version.m_fixed, sizeof(zero)) == 0;
}

// The table a reader should take for the user running the test.
std::wstring TableForUser(const std::vector<DWORD>& table, const std::vector<std::wstring>& names) {
    return names[ChooseTranslation(table, GetUserDefaultLangID())];
}

}  // namespace

TEST(ChooseTranslation, PrefersTheUsersLanguageThenItsPrimaryLanguage) {
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0407, 1252), Entry(0x0409, 1200)}, 0x0409));
    // A full match wins over an earlier entry that shares only the primary language.
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0809, 1200), Entry(0x0409, 1200)}, 0x0409));
    EXPECT_EQ(0u, ChooseTranslation({Entry(0x0409, 1200)}, 0x0809));
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0000, 1200), Entry(0x0C07, 1252), Entry(0x0807, 1252)}, 0x0407));
}

TEST(ChooseTranslation, FallsBackToNeutralThenEnglishThenTheFirstEntry) {
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0407, 1252), Entry(0x0000, 1200)}, 0x0409));
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0411, 932), Entry(0x0400, 1200), Entry(0x0009, 1200)}, 0x0407));
    EXPECT_EQ(1u, ChooseTranslation({Entry(0x0411, 932), Entry(0x0009, 1252), Entry(0x0409, 1252)}, 0x0407));
    EXPECT_EQ(0u, ChooseTranslation({Entry(0x0409, 1200)}, 0x0407));
    EXPECT_EQ(2u, ChooseTranslation({Entry(0x0411, 932), Entry(0x040C, 1252), Entry(0x0809, 1252)}, 0x0407));
    EXPECT_EQ(0u, ChooseTranslation({Entry(0x0411, 932), Entry(0x040C, 1252)}, 0x0407));
}

TEST(FileVersion, ReadsTheTableThatSuitsTheUserWithAllTwelveStringsInOrder) {
    CFileVersion version;
    ASSERT_EQ(1, version.Read(Beside(L"kivff_multi.dll").c_str()));
    EXPECT_FALSE(version.m_empty);
    ExpectFixedInfo(version, 0x00010002, 0x00030004);
    ExpectTable(version, TableForUser({Entry(0x0407, 1252), Entry(0x0409, 1200), Entry(0x0000, 1200)},
                                      {L"040704E4", L"040904B0", L"000004B0"}));
    EXPECT_STREQ(version.String(CFileVersion::CompanyName).c_str(), version.Publisher());
    EXPECT_STREQ(version.String(CFileVersion::FileDescription).c_str(), version.Description());

    // With no table in the user's language, the neutral one.
    ASSERT_EQ(1, version.Read(Beside(L"kivff_neutral.dll").c_str()));
    ExpectTable(version, TableForUser({Entry(0x0411, 932), Entry(0x0000, 1200)}, {L"041103A4", L"000004B0"}));
}

TEST(FileVersion, FindsStringsThatTheTranslationTableMisnames) {
    CFileVersion version;
    ASSERT_EQ(1, version.Read(Beside(L"kivff_wrongtable.dll").c_str()));
    ExpectTable(version, L"040904E4");
}

TEST(FileVersion, LoadsFixedInformationWithoutAnyStrings) {
    CFileVersion version;
    ASSERT_EQ(1, version.Read(Beside(L"kivff_fixedonly.dll").c_str()));
    EXPECT_FALSE(version.m_empty);
    ExpectFixedInfo(version, 0x00090008, 0x00070006);
    ExpectAllEmpty(version);
}

// A hand-made resource: a 48-byte fixed block, no translation table, and a
// string whose value runs into the next entry without a terminator.
TEST(FileVersion, ReadsNoMoreThanTheLengthsTheResourceGives) {
    CFileVersion version;
    ASSERT_EQ(1, version.Read(Beside(L"kivff_handmade.dll").c_str()));
    EXPECT_TRUE(FixedInfoIsZero(version));
    EXPECT_EQ(L"Makers", version.String(CFileVersion::CompanyName));
    EXPECT_EQ(L"Thing", version.String(CFileVersion::FileDescription));
    EXPECT_EQ(L"", version.String(CFileVersion::FileVersion));
}

// Small and large resources one after the other on one thread: each is read whole,
// and nothing of the one before shows in the next.
TEST(FileVersion, ReadsLargeResourcesWholeBetweenSmallOnes) {
    const std::wstring comment = [] {
        std::wstring text;
        for (int i = 0; i < 900; ++i) text += L"0123456789";
        return text + L"end";
    }();
    CFileVersion version;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(1, version.Read(Beside(L"kivff_large.dll").c_str()));
        EXPECT_EQ(L"Large Resource Makers", version.String(CFileVersion::CompanyName));
        EXPECT_EQ(comment, version.String(CFileVersion::Comments));
        ASSERT_EQ(1, version.Read(Beside(L"kivff_handmade.dll").c_str()));
        EXPECT_EQ(L"Makers", version.String(CFileVersion::CompanyName));
        EXPECT_EQ(L"", version.String(CFileVersion::Comments));
    }
}

TEST(FileVersion, ResetsEverythingWhenAFileHasNoVersionResource) {
    kivtest::TestFolder folder(L"fileversion_test", L"plain");
    ASSERT_TRUE(kivtest::WriteBytes(folder / L"notes.txt", "no resources here"));
    CFileVersion version;
    ASSERT_EQ(1, version.Read(Beside(L"kivff_multi.dll").c_str()));

    EXPECT_EQ(0, version.Read((folder / L"notes.txt").c_str()));
    EXPECT_TRUE(version.m_empty);
    EXPECT_TRUE(FixedInfoIsZero(version));
    ExpectAllEmpty(version);

    ASSERT_EQ(1, version.Read(Beside(L"kivff_multi.dll").c_str()));
    EXPECT_EQ(0, version.Read((folder / L"missing.dll").c_str()));
    EXPECT_TRUE(version.m_empty);
    ExpectAllEmpty(version);
    EXPECT_EQ(0, version.Read(nullptr));
}

namespace {

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

kiv::VersionPlace FindIn(const std::string& bytes) {
    const kiv::ReadAt read = [&bytes](std::uint64_t offset, void* into, std::size_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        std::memcpy(into, bytes.data() + offset, size);
        return true;
    };
    return kiv::FindVersionResource(read, bytes.size(), 0x4000);
}

}  // namespace

// The version resource found from an image's directory is the one the platform's
// call loads, byte for byte; where the directory says there is none, the platform
// finds none either. Damaged images are left to the platform.
TEST(VersionResource, AgreesWithThePlatformOnImagesOfEveryKind) {
    kivtest::TestFolder folder(L"fileversion_test", L"images");
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring systemFolder = system;
    std::vector<std::wstring> files = {ProgramPath(), systemFolder + L"\\kernel32.dll", systemFolder + L"\\notepad.exe",
                                       systemFolder + L"\\shell32.dll"};
    int found = 0;
    for (const wchar_t* name : {L"multi", L"neutral", L"wrongtable", L"fixedonly", L"handmade", L"large"})
        files.push_back(Beside((std::wstring(L"kivff_") + name + L".dll").c_str()));
    for (const std::wstring& file : files) {
        const std::string bytes = kivtest::ReadBytes(file);
        ASSERT_FALSE(bytes.empty()) << "unreadable test image";
        const kiv::VersionPlace place = FindIn(bytes);
        std::vector<BYTE> loaded(0x10000);
        const bool platform = GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(loaded.size()), loaded.data());
        if (place.lookup == kiv::VersionLookup::Absent) {
            EXPECT_FALSE(platform);
        }
        if (place.lookup != kiv::VersionLookup::Found) continue;
        ++found;
        ASSERT_TRUE(platform);
        EXPECT_EQ(0, std::memcmp(loaded.data(), bytes.data() + place.offset, place.size));
        // Cut short anywhere before the resource's end, the image is never found whole.
        for (std::size_t cut : {std::size_t(0x3C), std::size_t(0x200), std::size_t(place.offset + place.size - 1)}) {
            EXPECT_NE(kiv::VersionLookup::Found, FindIn(bytes.substr(0, cut)).lookup);
        }
    }
    // A block that claims more than its resource, or that is laid out as a 16-bit one,
    // is not read directly; reading such images leaves the reader whole.
    const std::string handmade = kivtest::ReadBytes(Beside(L"kivff_handmade.dll"));
    const kiv::VersionPlace place = FindIn(handmade);
    ASSERT_EQ(kiv::VersionLookup::Found, place.lookup);
    std::string longer = handmade, sixteen = handmade;
    longer[place.offset] = longer[place.offset + 1] = '\xFF';
    sixteen[place.offset + 4] = 'A';
    CFileVersion version;
    for (const std::string& bytes : {longer, sixteen}) {
        ASSERT_TRUE(kivtest::WriteBytes(folder / L"damaged.dll", bytes));
        version.Read((folder / L"damaged.dll").c_str());
        ASSERT_EQ(1, version.Read(Beside(L"kivff_handmade.dll").c_str()));
        EXPECT_EQ(L"Makers", version.String(CFileVersion::CompanyName));
    }
    // A section whose raw data ends before the block, however large its virtual
    // size: the block is not in the file, so it is never read from there.
    std::string shortRaw = handmade;
    auto dword = [&shortRaw](std::size_t at) {
        std::uint32_t value = 0;
        std::memcpy(&value, shortRaw.data() + at, sizeof(value));
        return value;
    };
    const std::size_t peAt = dword(0x3C);
    const std::size_t table = peAt + 24 + (dword(peAt + 20) & 0xFFFF);
    bool cut = false;
    for (std::size_t at = table; at < table + 40 * (dword(peAt + 6) & 0xFFFF); at += 40) {
        const std::uint32_t rawOffset = dword(at + 20), rawSize = dword(at + 16);
        if (place.offset < rawOffset || place.offset >= std::uint64_t(rawOffset) + rawSize) continue;
        const std::uint32_t shorter = static_cast<std::uint32_t>(place.offset - rawOffset + place.size - 1);
        const std::uint32_t larger = std::max(dword(at + 8), rawSize);
        std::memcpy(&shortRaw[at + 16], &shorter, sizeof(shorter));
        std::memcpy(&shortRaw[at + 8], &larger, sizeof(larger));
        cut = true;
    }
    ASSERT_TRUE(cut);
    EXPECT_NE(kiv::VersionLookup::Found, FindIn(shortRaw).lookup);

    // Every test library but the large one (more than this reader takes) is found directly.
    EXPECT_GE(found, 5);
    EXPECT_EQ(kiv::VersionLookup::Absent, FindIn(kivtest::ReadBytes(ProgramPath())).lookup);
    EXPECT_EQ(kiv::VersionLookup::AskSystem, FindIn("MZ not an image").lookup);
}
