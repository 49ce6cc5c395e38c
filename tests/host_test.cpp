#include <gtest/gtest.h>

#include <algorithm>

#include "Report.h"
#include "support/SampleRows.h"

using kivtest::SampleRows;

TEST(HostReport, CsvQuotesFieldsThatNeedIt) {
    std::wstring csv = FormatCsv(SampleRows());
    EXPECT_EQ(0u, csv.find(L"id,category,location,user,title,state,file,publisher,description,md5,size,whitelisted,"
                           L"signature,signer,created,modified,shortcutTarget,locationType,registryKey,"
                           L"registryValue,win32,enabled,removed,protected,disabledByWindows,serviceDll,"
                           L"serviceDllMd5,serviceDllSignature,serviceDllSigner\r\n"));
    EXPECT_NE(std::wstring::npos, csv.find(L",\"Quote \"\"and\"\", comma\\back\tslash\","));
    EXPECT_NE(std::wstring::npos, csv.find(L",\"Vendor, Inc.\","));
    EXPECT_EQ(4, std::count(csv.begin(), csv.end(), L'\n'));
}

TEST(HostReport, TheTableShowsTheUserOnlyWhenSomeEntryIsAnotherUsers) {
    auto rows = SampleRows();
    EXPECT_EQ(DefaultTableColumns(), DefaultTableColumns(rows));
    rows[2].user = L"PC-0142\\Alice";
    const std::vector<std::wstring> columns = DefaultTableColumns(rows);
    ASSERT_EQ(DefaultTableColumns().size() + 1, columns.size());
    EXPECT_EQ(L"location", columns[2]);
    EXPECT_EQ(L"user", columns[3]);
    EXPECT_NE(std::wstring::npos, FormatTable(rows, columns).find(L"PC-0142\\Alice"));
}

TEST(HostReport, TableAlignsColumnsAndCutsLongTexts) {
    auto rows = SampleRows();
    rows[0].location = std::wstring(80, L'x');
    std::wstring table = FormatTable(rows);
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = table.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(table.substr(start, end - start));
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(0u, lines[0].find(L"ID"));
    EXPECT_NE(std::wstring::npos, lines[1].find(L"xxx..."));
    EXPECT_EQ(std::wstring::npos, lines[1].find(std::wstring(80, L'x')));
    // The title column starts at the same place on every line.
    size_t titleColumn = lines[0].find(L"Title");
    EXPECT_EQ(titleColumn, lines[1].find(L"Updater"));
    EXPECT_EQ(titleColumn, lines[2].find(L"Updater"));
}

TEST(HostReport, ColumnsAreChosenAndOrderedByName) {
    auto rows = SampleRows();
    rows[2].signer = L"Vendor Signing";
    std::vector<std::wstring> columns;
    std::wstring error;
    ASSERT_TRUE(ParseColumns(L"Signer,title,ID", columns, error));
    EXPECT_EQ(L"signer,title,id\r\n", FormatCsv({}, columns));
    EXPECT_NE(std::wstring::npos, FormatCsv(rows, columns).find(L"\r\nVendor Signing,\"Quote \"\"and\"\", comma"));
    std::wstring table = FormatTable(rows, columns);
    EXPECT_EQ(0u, table.find(L"Signer"));
    EXPECT_EQ(std::wstring::npos, table.find(L"Location"));
    EXPECT_FALSE(ParseColumns(L"title,colour", columns, error));
    EXPECT_NE(std::wstring::npos, error.find(L"colour"));
    EXPECT_FALSE(ParseColumns(L"title,", columns, error));
}

// Signatures cost the most of a listing: read only when a column shows them.
TEST(HostReport, SignaturesAreReadOnlyForListingsThatShowThem) {
    struct Case {
        const wchar_t* format;
        std::vector<std::wstring> columns;
        bool shows;
    };
    const Case cases[] = {
        {L"json", {L"title"}, true},
        {L"table", {}, true},
        {L"csv", {}, true},
        {L"table", {L"title", L"file"}, false},
        {L"csv", {L"title", L"signer"}, true},
        {L"table", {L"signature"}, true},
        {L"csv", {L"md5"}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.shows, ShowsSignatures(c.format, c.columns)) << c.columns.size();
}
