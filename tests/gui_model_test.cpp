#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiModel.h"

using namespace kivgui;

namespace {

ItemRow Row(unsigned id, const wchar_t* title, const wchar_t* path, const wchar_t* publisher, bool whitelisted) {
    ItemRow row;
    row.id = id;
    row.category = L"Run keys";
    row.title = title;
    row.filePath = path;
    row.publisher = publisher;
    row.description = L"Tool";
    row.enabled = true;
    row.whitelisted = whitelisted;
    return row;
}

}  // namespace

TEST(GuiModel, FilterLooksInTitlePathAndPublisherWithoutRegardToCase) {
    ItemRow row = Row(1, L"Updater", L"C:\\Tools\\Upd.exe", L"Acme Soft", false);
    EXPECT_TRUE(MatchesFilter(row, L"", false));
    EXPECT_TRUE(MatchesFilter(row, L"UPDATER", false));
    EXPECT_TRUE(MatchesFilter(row, L"tools\\upd", false));
    EXPECT_TRUE(MatchesFilter(row, L"acme", false));
    // The description and the location are not searched.
    EXPECT_FALSE(MatchesFilter(row, L"tool.", false));
    row.location = L"HKCU\\Run";
    EXPECT_FALSE(MatchesFilter(row, L"hkcu", false));
    EXPECT_FALSE(MatchesFilter(row, L"zzz", false));
    row.whitelisted = true;
    EXPECT_FALSE(MatchesFilter(row, L"", true));
    EXPECT_TRUE(MatchesFilter(row, L"", false));
}

TEST(GuiModel, RowsSortByColumnTextThenByCollectionOrder) {
    ItemRow a = Row(1, L"beta", L"C:\\b.exe", L"", false);
    ItemRow b = Row(2, L"Alpha", L"C:\\z.exe", L"", true);
    ItemRow c = Row(3, L"ALPHA", L"C:\\a.exe", L"", false);
    EXPECT_GT(CompareRows(a, b, ColTitle), 0);
    EXPECT_LT(CompareRows(b, c, ColTitle), 0);  // equal text: earlier item first
    EXPECT_GT(CompareRows(c, b, ColTitle), 0);
    EXPECT_LT(CompareRows(c, a, ColFilePath), 0);
    EXPECT_LT(CompareRows(a, b, ColWhitelisted), 0);  // "no" before "yes"
    a.enabled = false;
    EXPECT_EQ(L"disabled", CellText(a, ColState));
    EXPECT_LT(CompareRows(a, b, ColState), 0);
    EXPECT_EQ(L"Run keys\tAlpha\tenabled\t\tC:\\z.exe\t\tTool\t\tyes\t", RowText(b));
    b.user = L"PC-0142\\Alice";
    EXPECT_EQ(L"PC-0142\\Alice", CellText(b, ColUser));
}

TEST(GuiModel, StoredColumnWidthsRoundTripAndDamagedOnesAreRefused) {
    std::vector<int> widths = DefaultColumnWidths();
    ASSERT_EQ(static_cast<size_t>(ColumnCount), widths.size());
    widths[0] = 333;
    EXPECT_EQ(widths, ParseWidths(FormatWidths(widths), ColumnCount));
    EXPECT_EQ(L"1,22,333", FormatWidths({1, 22, 333}));
    EXPECT_EQ((std::vector<int>{1, 22, 333}), ParseWidths(L"1,22,333", 3));
    for (const wchar_t* bad :
         {L"", L"1,22", L"1,22,333,4", L"1,,333", L"1,22,-3", L"1,22,3x", L"1,22,99999", L"1,22,333,", L",1,22"})
        EXPECT_TRUE(ParseWidths(bad, 3).empty()) << bad;
}
