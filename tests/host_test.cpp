#include <gtest/gtest.h>

#include <algorithm>

#include "Report.h"
#include "Selector.h"

namespace {

std::vector<ItemRow> SampleRows() {
    ItemRow a;
    a.id = 1;
    a.category = L"Run keys";
    a.location = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    a.title = L"Updater";
    a.enabled = true;
    a.filePath = L"C:\\Program Files\\Tools\\updater.exe";
    a.md5 = L"0123456789abcdef0123456789abcdef";
    ItemRow b = a;
    b.id = 2;
    b.enabled = false;
    ItemRow c = a;
    c.id = 3;
    c.location = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    c.title = L"Quote \"and\", comma\\back\tslash";
    c.publisher = L"Vendor, Inc.";
    return {a, b, c};
}

}  // namespace

TEST(HostSelector, MatchesWholeTextsWithoutRegardToCase) {
    auto rows = SampleRows();
    Selector byTitle;
    byTitle.title = L"updater";
    EXPECT_EQ(2u, Select(rows, byTitle).size());  // the enabled and the disabled copy

    byTitle.state = L"disabled";
    ASSERT_EQ(1u, Select(rows, byTitle).size());
    EXPECT_EQ(2u, Select(rows, byTitle)[0]->id);

    Selector partial;
    partial.title = L"Update";
    EXPECT_TRUE(Select(rows, partial).empty());

    Selector byLocation;
    byLocation.location = L"hklm\\software\\microsoft\\windows\\currentversion\\run";
    ASSERT_EQ(1u, Select(rows, byLocation).size());
    EXPECT_EQ(3u, Select(rows, byLocation)[0]->id);

    Selector byId;
    byId.id = 2;
    byId.title = L"Other";
    EXPECT_TRUE(Select(rows, byId).empty());  // every given part must match

    EXPECT_TRUE(Select(rows, Selector()).empty());  // an empty selector names nothing
}

TEST(HostReport, JsonEscapesEveryTextField) {
    std::wstring json = FormatJson(SampleRows());
    EXPECT_NE(std::wstring::npos, json.find(L"\"title\": \"Quote \\\"and\\\", comma\\\\back\\tslash\""));
    EXPECT_NE(std::wstring::npos, json.find(L"\"state\": \"disabled\""));
    EXPECT_NE(std::wstring::npos, json.find(L"\"whitelisted\": false"));
    EXPECT_EQ(L"[]\n", FormatJson({}));
    ItemRow control;
    control.title = std::wstring(1, L'\x01');
    EXPECT_NE(std::wstring::npos, FormatJson({control}).find(L"\\u0001"));
}

TEST(HostReport, CsvQuotesFieldsThatNeedIt) {
    std::wstring csv = FormatCsv(SampleRows());
    EXPECT_EQ(0u, csv.find(L"id,category,location,title,state,file,publisher,description,md5,size,whitelisted\r\n"));
    EXPECT_NE(std::wstring::npos, csv.find(L",\"Quote \"\"and\"\", comma\\back\tslash\","));
    EXPECT_NE(std::wstring::npos, csv.find(L",\"Vendor, Inc.\","));
    EXPECT_EQ(4, std::count(csv.begin(), csv.end(), L'\n'));
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
