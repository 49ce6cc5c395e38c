#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "platform/Format.h"
#include "platform/Log.h"
#include "support/TestSupport.h"

using kiv::LogLine;
using kiv::LogLineLevel;

namespace {

// The prefix a line written now must carry, "[hh:mm] ".
std::string ExpectedPrefix(const std::tm& local) {
    char text[16];
    snprintf(text, sizeof(text), "[%02d:%02d] ", local.tm_hour, local.tm_min);
    return text;
}

std::tm Now() {
    __time64_t now = _time64(nullptr);
    std::tm local = {};
    _localtime64_s(&local, &now);
    return local;
}

}  // namespace

TEST(LogLine, SendsTimePrefixThenMessageCountingItsTerminator) {
    LogCapture log;
    std::tm before = Now();
    LogLine(L"KIV\t\t\t Init..\n");
    std::tm after = Now();
    auto calls = log.Calls();
    ASSERT_EQ(2u, calls.size());
    // The minute may turn between the two readings; the prefix must match one of them.
    EXPECT_TRUE(calls[0].text == ExpectedPrefix(before) || calls[0].text == ExpectedPrefix(after)) << calls[0].text;
    EXPECT_EQ(8u, calls[0].length);
    const std::string message = "KIV\t\t\t Init..\n";
    EXPECT_EQ(message.size() + 1, calls[1].length);
    EXPECT_EQ(message + '\0', calls[1].text);
}

TEST(LogLine, FormatsArgumentsIntoTheMessage) {
    LogCapture log;
    LogLine(L"KIV\t Unable to retrieve file info (shortcut target used), file path: %s\n", L"C:\\x\\a.lnk");
    ASSERT_EQ(1u, log.Messages().size());
    EXPECT_EQ("KIV\t Unable to retrieve file info (shortcut target used), file path: C:\\x\\a.lnk\n",
              log.Messages()[0]);
}

TEST(LogLine, DropsAMessageThatCannotBeConvertedAfterItsTimePrefix) {
    LogCapture log;
    LogLine(L"path: %s", L"C:\\\x0416\x0436.exe");  // not representable in the "C" locale
    auto calls = log.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(8u, calls[0].length);
}

TEST(LogLineLevel, WritesLevelsUpToTwoWithLevelPrefix) {
    LogCapture log;
    LogLineLevel(2, "GetFullHKEY: The Others {RC}\n");
    auto calls = log.Calls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ("2: ", calls[1].text);
    EXPECT_EQ(0xFFFFFFFFu, calls[1].length);
    EXPECT_EQ("GetFullHKEY: The Others {RC}\n", calls[2].text);
    EXPECT_EQ(calls[2].text.size(), calls[2].length);  // 8-bit form: no terminator counted

    log.Clear();
    LogLineLevel(-4, L"wide %d\n", 7);
    calls = log.Calls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ("-4: ", calls[1].text);
    EXPECT_EQ(std::string("wide 7\n") + '\0', calls[2].text);
    EXPECT_EQ(8u, calls[2].length);
}

TEST(LogLineLevel, DropsLevelsAboveTwoWithoutAnySinkCall) {
    LogCapture log;
    LogLineLevel(3, L"UTILS\t FileMD5:\t Failed opening file %s, lerror=%d\n", L"C:\\x", 2);
    LogLineLevel(7, "dropped\n");
    EXPECT_TRUE(log.Calls().empty());
}

TEST(Format, WideAndNarrowConversions) {
    using kiv::NarrowFormat;
    using kiv::WideFormat;
    EXPECT_EQ(L"[09:05] ", WideFormat(L"[%02d:%02d] ", 9, 5));
    EXPECT_EQ(L"a wide and narrow", WideFormat(L"a %s and %S", L"wide", "narrow"));
    EXPECT_EQ(L"text A", WideFormat(L"%A %c", "text", L'A'));
    EXPECT_EQ("narrow wide", NarrowFormat("%s %S", "narrow", L"wide"));
    EXPECT_EQ(L"(null) (null)",
              WideFormat(L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)));
    EXPECT_EQ("-42|+7|   12|12   |0012", NarrowFormat("%d|%+i|%5u|%-5u|%04d", -42, 7, 12u, 12u, 12));
    EXPECT_EQ("ff FF 0xff 17 101", NarrowFormat("%x %X %#x %o %b", 255u, 255u, 255u, 15u, 5u));
    EXPECT_EQ("  ab|abc", NarrowFormat("%*s|%.3s", 4, "ab", "abcdef"));
    EXPECT_EQ("100%", NarrowFormat("%d%%", 100));
    // h and l name the width of text and characters outright.
    EXPECT_EQ(L"[abc|xy|q]", WideFormat(L"[%hs|%ls|%hc]", "abc", L"xy", 'q'));
    EXPECT_EQ("[abc|xy]", NarrowFormat("[%hs|%ls]", "abc", L"xy"));
    EXPECT_EQ("3.14 2.500", NarrowFormat("%.2f %.3f", 3.14159, 2.5));
    EXPECT_EQ("-9223372036854775808 18446744073709551615",
              NarrowFormat("%lld %I64u", static_cast<long long>(-9223372036854775807LL - 1), 18446744073709551615ULL));
}

// The sibling library's log file gets each line whole, in one piece, as soon as
// its last piece arrives, while the file stays open between lines.
TEST(HubcoreLogFile, HoldsEveryLineWholeAsSoonAsItEnds) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::wstring logPath(path);
    logPath = logPath.substr(0, logPath.rfind(L'\\') + 1) + L"hubcore.log";
    auto contents = [&logPath]() {
        HANDLE file = CreateFileW(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        std::string text;
        if (file == INVALID_HANDLE_VALUE) return text;
        char chunk[4096];
        for (DWORD got = 0; ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0;) text.append(chunk, got);
        CloseHandle(file);
        return text;
    };
    const std::string tag = std::to_string(GetTickCount64());
    LogLine(L"KIV\t wide line %S\n", tag.c_str());
    const std::string afterWide = contents();
    LogLineLevel(2, L"KIV\t levelled line %S\n", tag.c_str());
    LogLineLevel(1, "narrow line %s\n", tag.c_str());
    LogLineLevel(3, "never written %s\n", tag.c_str());
    const std::string afterAll = contents();

    const std::size_t wide = afterWide.find("] KIV\t wide line " + tag + "\n");
    ASSERT_NE(std::string::npos, wide) << "the line is in the file once LogLine returns";
    EXPECT_EQ('[', afterWide[wide - 6]);
    EXPECT_EQ(afterWide.size(), wide + std::string("] KIV\t wide line \n").size() + tag.size());
    EXPECT_EQ(0u, afterAll.find(afterWide));
    const std::string rest = afterAll.substr(afterWide.size());
    ASSERT_EQ(2, std::count(rest.begin(), rest.end(), '\n')) << rest;
    EXPECT_NE(std::string::npos, rest.find("] 2: KIV\t levelled line " + tag + "\n["));
    EXPECT_NE(std::string::npos, rest.find("] 1: narrow line " + tag + "\n"));
    EXPECT_EQ(std::string::npos, rest.find('\0'));
}
