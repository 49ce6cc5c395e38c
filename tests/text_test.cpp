// The shared text operations: ASCII-only case folding, trimming and token splits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"

using namespace kiv;

TEST(Text, CaseIsFoldedForAsciiLettersOnly) {
    EXPECT_EQ(0, PrefixCompare(L"hkcu\\Software", L"HKCU\\", 5));
    EXPECT_NE(0, PrefixCompare(L"HK", L"HK", 5));  // an early end is a difference
    EXPECT_NE(0, PrefixCompare(L"HKLM", L"HKLM\\", 5));
    EXPECT_EQ(-1, PrefixCompare(nullptr, L"HKLM\\", 5));
    EXPECT_EQ(1, PrefixCompare(L"b", L"A", 1));
    // Letters beyond ASCII keep their case: the user's locale must not decide.
    EXPECT_NE(0, PrefixCompare(L"\x00E9", L"\x00C9", 1));
    EXPECT_EQ(L"c:\\program files\\\x00C9x", AsciiLowerText(L"C:\\Program Files\\\x00C9X"));
    EXPECT_TRUE(EqualsNoCase(L"UserInit", L"USERINIT"));
    EXPECT_FALSE(EqualsNoCase(L"UserInit", L"UserInit2"));
    EXPECT_FALSE(EqualsNoCase(L"Shell", L"Shel"));
    EXPECT_TRUE(StartsWithNoCase(L"\\SystemRoot\\x.sys", L"\\systemroot\\"));
    EXPECT_FALSE(StartsWithNoCase(L"\\System", L"\\systemroot\\"));
    EXPECT_TRUE(ContainsNoCase(L"C:\\Windows\\RunDll32.exe x.dll", L"rundll32"));
    EXPECT_FALSE(ContainsNoCase(L"rundll", L"rundll32"));
    // A zero inside a text is compared like any other character.
    const std::wstring zero(L"Run\0Key", 7), other(L"RUN\0KEY2", 8);
    EXPECT_TRUE(EqualsNoCase(zero, other.substr(0, 7)));
    EXPECT_FALSE(EqualsNoCase(zero, std::wstring(L"Run\0Kez", 7)));
    EXPECT_TRUE(StartsWithNoCase(other, zero));
    EXPECT_TRUE(ContainsNoCase(L"x" + other, std::wstring(L"n\0k", 3)));
    EXPECT_FALSE(ContainsNoCase(L"x" + other, std::wstring(L"n\0j", 3)));
}

TEST(Text, TrimStripAndSplitKeepTheInnerText) {
    EXPECT_EQ(L"a b", TrimWhiteSpace(L" \t\r\na b\n "));
    EXPECT_EQ(L"", TrimWhiteSpace(L" \t "));
    EXPECT_EQ(L"x", Trim(L"--x-", L"-"));

    std::wstring quoted = L"\"C:\\Program Files\\a.exe\" /arg";
    StripQuotes(quoted);
    EXPECT_EQ(L"C:\\Program Files\\a.exe", quoted);
    std::wstring unquoted = L"a.exe \"b\"";
    StripQuotes(unquoted);
    EXPECT_EQ(L"a.exe \"b\"", unquoted);

    std::vector<std::wstring> tokens{L"left over"};
    SplitTokens(std::wstring(L",a  b,,c\0d ", 11), L" ,", tokens);
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"d"}), tokens);
    SplitTokens(L" ; ", L" ;", tokens);
    EXPECT_TRUE(tokens.empty());
}
