#include <gtest/gtest.h>

#include "core/Records.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::DeleteBesideProgram;
using kivtest::MessageBoxWatcher;
using kivtest::ScratchFolder;
using kivtest::Utf16Bytes;
using kivtest::WriteBesideProgram;

namespace {

struct LocationView {
    std::wstring path, value, fullPath;
    HKEY root;
    unsigned type;
    int wow64;
    EKivHandlerType handler;
};

// Loads a catalogue given as file bytes and returns the facade (disposed by the caller).
CKiv* LoadCatalogue(const std::string& bytes) {
    WriteBesideProgram(L"kivdata.dat", bytes);
    WriteBesideProgram(L"kivwl.dat", Utf16Bytes(L"0123456789abcdef0123456789abcdef|1", false));
    return CKiv::Init();
}

std::vector<LocationView> Locations(CKiv* kiv, unsigned c) {
    std::vector<LocationView> views;
    for (const auto& l : CKivTestAccess::Categories(kiv).at(c)->m_locations)
        views.push_back({l->m_path, l->m_value, l->m_fullPath, l->m_root, l->m_type, l->m_wow64, l->m_handlerType});
    return views;
}

class CatalogueTest : public ::testing::Test {
protected:
    void TearDown() override {
        CKiv::Dispose();
        DeleteBesideProgram(L"kivdata.dat");
        DeleteBesideProgram(L"kivwl.dat");
    }
};

}  // namespace

TEST_F(CatalogueTest, CategoriesAndLocationsInFileOrderWithTwins) {
    ScratchFolder startup(L"CatalogueStartup");
    kivtest::ScopedVariable catalogueDir(L"KIVTEST_CATDIR", L"C:\\kivtests");
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<KIVDATA>\n"
        " <CAT><Name> Run keys </Name><name>second name</name><ICON>7</ICON>\n"
        "  <locs>\n"
        "   <loc><htype>0</htype><ltype>0</ltype><path>HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run</path>"
        "<value>ignored</value></loc>\n"
        "   <LOC><HTYPE>1</HTYPE><LTYPE>1</LTYPE><PATH>HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
        "</PATH><VALUE>Shell</VALUE></LOC>\n"
        "   <loc><htype>4</htype><ltype>0</ltype><path>HKCR\\CLSID</path></loc>\n"
        "   <loc><htype>2</htype><ltype>2</ltype><path>%KIVTEST_CATDIR%\\CatalogueStartup</path></loc>\n"
        "   <loc><htype>2</htype><ltype>2</ltype><path>%KIVTEST_CATDIR%\\NoSuchFolder</path></loc>\n"
        "   <loc><htype>9abc</htype><ltype>x</ltype><path>C:\\windows\\win.ini</path><value>run</value></loc>\n"
        "  </locs>\n"
        " </CAT>\n"
        " <cat><name>No locations</name></cat>\n"
        " <cat><locs></locs></cat>\n"
        "</KIVDATA>\n";
    CKiv* kiv = LoadCatalogue(xml);
    ASSERT_EQ(3u, kiv->GetCategoryCount());
    EXPECT_EQ(std::wstring(L"Run keys"), kiv->GetCategoryName(0));
    EXPECT_EQ(7, CKivTestAccess::Categories(kiv)[0]->m_icon);
    EXPECT_EQ(std::wstring(L"No locations"), kiv->GetCategoryName(1));
    EXPECT_EQ(std::wstring(L""), kiv->GetCategoryName(2));
    EXPECT_EQ(0u, kiv->GetLocationCount(1));
    EXPECT_EQ(0u, kiv->GetLocationCount(2));

    auto locations = Locations(kiv, 0);
    ASSERT_EQ(7u, locations.size());
    EXPECT_EQ(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", locations[0].path);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, locations[0].root);
    EXPECT_EQ(0, locations[0].wow64);
    EXPECT_EQ(L"", locations[0].value);  // a registry key location keeps no value
    EXPECT_EQ(L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", locations[1].fullPath);
    EXPECT_EQ(L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", locations[1].path);
    EXPECT_EQ(1, locations[1].wow64);

    EXPECT_EQ(HKEY_CURRENT_USER, locations[2].root);  // below HKCU: no twin
    EXPECT_EQ(L"Shell", locations[2].value);
    EXPECT_EQ(RegValueEx, locations[2].handler);

    EXPECT_EQ(L"CLSID", locations[3].path);
    EXPECT_EQ(HKEY_CLASSES_ROOT, locations[4].root);
    EXPECT_EQ(L"Wow6432Node\\CLSID", locations[4].path);
    EXPECT_EQ(1, locations[4].wow64);

    EXPECT_EQ(0, _wcsicmp(L"C:\\kivtests\\CatalogueStartup", locations[5].path.c_str()));
    EXPECT_EQ(locations[5].path, locations[5].fullPath);
    // The missing folder is left out entirely, so the next location moves up.
    EXPECT_EQ(WinIni, locations[6].handler);  // "9abc" reads as 9
    EXPECT_EQ(0u, locations[6].type);         // "x" has no digits: 0
}

TEST_F(CatalogueTest, EncodingsAndEnclosingElementsLoadAlike) {
    const std::string body =
        "<kivdata><cat><name>Caf\xC3\xA9</name><locs><loc><htype>0</htype><path>HKCU\\Software\\X</path></loc>"
        "</locs></cat></kivdata>";
    const std::string declared = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body;
    const std::wstring wide =
        L"<kivdata><cat><name>Caf\x00E9</name><locs><loc><htype>0</htype>"
        L"<path>HKCU\\Software\\X</path></loc></locs></cat></kivdata>";
    const std::string variants[] = {body, "\xEF\xBB\xBF" + body, declared, Utf16Bytes(wide, true)};
    for (const std::string& bytes : variants) {
        CKiv* kiv = LoadCatalogue(bytes);
        ASSERT_EQ(1u, kiv->GetCategoryCount());
        EXPECT_EQ(std::wstring(L"Caf\x00E9"), kiv->GetCategoryName(0));
        ASSERT_EQ(1u, kiv->GetLocationCount(0));
        EXPECT_EQ(std::wstring(L"HKCU\\Software\\X"), kiv->GetLocationPath(0, 0));
        CKiv::Dispose();
    }
}

TEST_F(CatalogueTest, UnparseableCatalogueLoadsNoCategoriesWithoutAnError) {
    LogCapture log;
    MessageBoxWatcher boxes(L"Error");
    const std::string broken[] = {"", "not xml at all", "<kivdata><cat><name>x</name", "<other><cat/></other>",
                                  "<kivdata></"};
    for (const std::string& bytes : broken) {
        CKiv* kiv = LoadCatalogue(bytes);
        EXPECT_EQ(0u, kiv->GetCategoryCount()) << bytes;
        kiv->Collect();
        CKiv::Dispose();
    }
    EXPECT_TRUE(boxes.Seen().empty());
    for (const std::string& message : log.Messages()) EXPECT_NE("KIV\t\t\t Kiv data file not found.", message);
}

TEST_F(CatalogueTest, WhitelistTokensKeysAndOddities) {
    CKiv* kiv = LoadCatalogue("<kivdata/>");
    auto& list = CKivTestAccess::WhiteList(kiv);
    list.clear();
    EXPECT_TRUE(CKivTestAccess::LoadWhiteList(
        kiv,
        L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa|3 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb|4\r\n"
        L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa|9\r\nCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC|5x\n|8\n12ab"));
    ASSERT_EQ(5u, list.size());
    EXPECT_EQ(3u, list[L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"]);  // the first number is kept
    EXPECT_EQ(4u, list[L"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"]);
    EXPECT_EQ(5u, list[L"CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC"]);
    EXPECT_EQ(8u, list[L""]);
    EXPECT_EQ(12u, list[L"12ab"]);  // no bar: the whole token is the key and the number
    list.clear();
    EXPECT_FALSE(CKivTestAccess::LoadWhiteList(kiv, L" \r\n  \n"));
}

TEST_F(CatalogueTest, WhitelistFilesAreReadAsRawUtf16) {
    CKiv* kiv = LoadCatalogue("<kivdata/>");
    auto& list = CKivTestAccess::WhiteList(kiv);
    const std::wstring key = L"0123456789abcdef0123456789abcdef";
    std::wstring path = WriteBesideProgram(L"other-wl.dat", Utf16Bytes(key + L"|2\r\n", true));
    list.clear();
    ASSERT_TRUE(CKivTestAccess::GetWhiteList(kiv, path.c_str(), L"other-wl.dat"));
    EXPECT_EQ(1u, list.count(L"\xFEFF" + key));  // the mark joins the first key

    // A file saved as UTF-8 pairs its bytes into other characters: no key matches.
    WriteBesideProgram(L"other-wl.dat", "0123456789abcdef0123456789abcdef|2\r\n");
    list.clear();
    CKivTestAccess::GetWhiteList(kiv, path.c_str(), L"x");
    EXPECT_EQ(0u, list.count(key));

    // A file of odd size is read without running past its end.
    WriteBesideProgram(L"other-wl.dat", Utf16Bytes(key, false) + "Z");
    list.clear();
    ASSERT_TRUE(CKivTestAccess::GetWhiteList(kiv, path.c_str(), L"x"));
    EXPECT_EQ(1u, list.count(key + L"Z"));

    EXPECT_FALSE(CKivTestAccess::GetWhiteList(kiv, path.c_str(), L""));  // an empty name
    DeleteBesideProgram(L"other-wl.dat");
    EXPECT_FALSE(CKivTestAccess::GetWhiteList(kiv, path.c_str(), L"x"));  // no file
}

TEST_F(CatalogueTest, FolderBelowALinkIsLeftOutAndItsTargetKept) {
    const std::string xml =
        "<kivdata><cat><name>Folders</name><locs>"
        "<loc><htype>2</htype><ltype>2</ltype><path>C:\\kivtests\\catalogue_links\\link\\Startup</path></loc>"
        "<loc><htype>2</htype><ltype>2</ltype><path>C:\\kivtests\\catalogue_links\\target\\Startup</path></loc>"
        "</locs></cat></kivdata>";
    CKiv* kiv = LoadCatalogue(xml);
    ASSERT_EQ(1u, kiv->GetLocationCount(0));
    EXPECT_EQ(0, _wcsicmp(L"C:\\kivtests\\catalogue_links\\target\\Startup", kiv->GetLocationPath(0, 0)));
}
