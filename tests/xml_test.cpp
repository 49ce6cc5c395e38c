#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "xml/XmlNode.h"
#include "xml/XmlNodeData.h"
#include "xml/XmlParser.h"

using kiv::XmlError;
using kiv::XmlNode;

namespace {

// Every test also checks that no element outlives its handles.
class Xml : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, kiv::XmlNodeData::LiveCount()); }
};

// A text whose terminator is the last character before an inaccessible page, so
// that reading one character past the end faults.
class GuardedText {
public:
    explicit GuardedText(const std::wstring& text) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        size_t dataSize = (bytes + info.dwPageSize - 1) / info.dwPageSize * info.dwPageSize;
        m_base = static_cast<char*>(VirtualAlloc(nullptr, dataSize + info.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(m_base + dataSize, info.dwPageSize, PAGE_NOACCESS, &old);
        m_text = reinterpret_cast<wchar_t*>(m_base + dataSize - bytes);
        memcpy(m_text, text.c_str(), bytes);
    }
    ~GuardedText() { VirtualFree(m_base, 0, MEM_RELEASE); }
    const wchar_t* Get() const { return m_text; }

private:
    char* m_base;
    wchar_t* m_text;
};

XmlNode Parse(const std::wstring& text, const wchar_t* root = L"kivdata") {
    GuardedText guarded(text);
    return XmlNode::ParseString(guarded.Get(), root);
}

XmlError ErrorOf(const std::wstring& text) {
    GuardedText guarded(text);
    XmlNode document;
    return kiv::ParseXmlDocument(guarded.Get(), document);
}

// What the catalogue loader reads: the first text of the first child of that name.
std::wstring Field(const XmlNode& node, const wchar_t* name) {
    const wchar_t* text = node.GetChildNode(name).GetText(0);
    return text ? text : L"<none>";
}

const std::wstring kCatalogue =
    L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    L"<!-- start places -->\r\n"
    L"<kivdata version='2'>\r\n"
    L" <cat><name>D\u00e9marrage &amp; Run</name><icon>3</icon>\r\n"
    L"  <locs><loc><htype>0</htype><ltype>0</ltype>"
    L"<path>HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run</path><value/></loc>\r\n"
    L"   <loc><htype>2</htype><ltype>2</ltype><path><![CDATA[%APPDATA%\\x]]></path></loc></locs></cat>\r\n"
    L" <CAT><Name>Services</Name></CAT>\r\n"
    L"</kivdata>\r\n";

void ExpectCatalogue(const XmlNode& root) {
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_STREQ(L"kivdata", root.GetName());
    ASSERT_EQ(2, root.ChildCount(L"cat"));
    XmlNode first = root.GetChildNode(L"cat", 0);
    EXPECT_EQ(L"D\u00e9marrage & Run", Field(first, L"name"));
    EXPECT_EQ(L"3", Field(first, L"icon"));
    XmlNode locs = first.GetChildNode(L"locs");
    ASSERT_EQ(2, locs.ChildCount(L"loc"));
    EXPECT_EQ(L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", Field(locs.GetChildNode(L"loc"), L"path"));
    EXPECT_EQ(L"<none>", Field(locs.GetChildNode(L"loc"), L"value"));
    EXPECT_EQ(L"Services", Field(root.GetChildNode(L"Cat", 1), L"NAME"));
}

std::string Utf8(const std::wstring& text) {
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

XmlNode OpenBeside(const std::wstring& name, const std::string& bytes) {
    std::wstring path = kivtest::WriteBesideProgram(name, bytes);
    XmlNode root = XmlNode::OpenFileWithRoot(path.c_str(), L"kivdata");
    kivtest::DeleteBesideProgram(name);
    return root;
}

}  // namespace

TEST_F(Xml, FilesInEveryEncodingReadTheSame) {
    ExpectCatalogue(OpenBeside(L"xml_utf8.dat", Utf8(kCatalogue)));
    ExpectCatalogue(OpenBeside(L"xml_utf8bom.dat", "\xEF\xBB\xBF" + Utf8(kCatalogue)));
    ExpectCatalogue(OpenBeside(L"xml_utf16.dat", kivtest::Utf16Bytes(kCatalogue, true)));
}

TEST_F(Xml, UnreadableFilesGiveTheEmptyNode) {
    EXPECT_TRUE(OpenBeside(L"xml_empty.dat", "").IsEmpty());
    EXPECT_TRUE(OpenBeside(L"xml_bomonly.dat", "\xEF\xBB\xBF").IsEmpty());
    EXPECT_TRUE(OpenBeside(L"xml_utf16bomonly.dat", "\xFF\xFE").IsEmpty());
    std::wstring missing = kivtest::ProgramFolder() + L"xml_missing.dat";
    EXPECT_TRUE(XmlNode::OpenFileWithRoot(missing.c_str(), L"kivdata").IsEmpty());
    EXPECT_TRUE(XmlNode::OpenFileWithRoot(kivtest::ProgramFolder().c_str(), L"kivdata").IsEmpty());  // a folder
}

TEST_F(Xml, TruncatedFilesNeverBreakTheReader) {
    const std::wstring small = L"<kivdata><cat><name>\u00e9&lt;</name></cat></kivdata>";
    std::string utf16 = kivtest::Utf16Bytes(small, true);
    std::string utf8 = "\xEF\xBB\xBF" + Utf8(small);
    for (size_t cut = 0; cut <= utf16.size(); ++cut) {
        XmlNode root = OpenBeside(L"xml_cut16.dat", utf16.substr(0, cut));
        if (cut == utf16.size()) {
            EXPECT_EQ(L"\u00e9<", Field(root.GetChildNode(L"cat"), L"name"));
        }
    }
    for (size_t cut = 0; cut <= utf8.size(); ++cut) OpenBeside(L"xml_cut8.dat", utf8.substr(0, cut));
}

TEST_F(Xml, RootIsFoundOutermostOrOneLevelDown) {
    EXPECT_STREQ(L"KIVDATA", Parse(L"<KIVDATA><cat/></KIVDATA>").GetName());
    EXPECT_STREQ(L"kivdata", Parse(L"<?xml version=\"1.0\"?><kivdata/>").GetName());
    EXPECT_STREQ(L"kivdata", Parse(L"<wrap><kivdata/></wrap>").GetName());
    EXPECT_STREQ(L"kivdata", Parse(L"<!DOCTYPE kivdata [<!ENTITY e \"x\">]><other/><kivdata/>").GetName());
    EXPECT_TRUE(Parse(L"<a><b><kivdata/></b></a>").IsEmpty());
    EXPECT_TRUE(Parse(L"<other/>").IsEmpty());
    EXPECT_TRUE(Parse(L"just text").IsEmpty());
    EXPECT_TRUE(Parse(L"").IsEmpty());
    EXPECT_TRUE(Parse(L"<kivdata/>", nullptr).IsEmpty());
    EXPECT_TRUE(XmlNode::ParseString(nullptr, L"kivdata").IsEmpty());
}

TEST_F(Xml, DeclarationsEncloseTheDocumentButCloseInsideAnElement) {
    XmlNode root = Parse(L"<?xml version=\"1.0\"?>\n<kivdata><?pi a=b?><cat/></kivdata>", L"xml");
    ASSERT_TRUE(root.IsDeclaration());
    ASSERT_EQ(1, root.AttributeCount());  // the "?" of "?>" is no attribute
    EXPECT_STREQ(L"version", root.GetAttribute(0)->name.c_str());
    EXPECT_STREQ(L"1.0", root.GetAttribute(0)->Value());
    XmlNode kivdata = root.GetChildNode(L"kivdata");
    ASSERT_EQ(2, kivdata.ChildCount());
    EXPECT_TRUE(kivdata.GetChildNode(0).IsDeclaration());
    EXPECT_STREQ(L"b", kivdata.GetChildNode(0).GetAttribute(0)->Value());
    EXPECT_STREQ(L"cat", kivdata.GetChildNode(1).GetName());
}

TEST_F(Xml, ChildrenByNameIgnoreCaseAndCountFromTheEnd) {
    XmlNode root = Parse(L"<kivdata><cat>1</cat><x/><CAT>2</CAT><Cat>3</Cat><name>a</name><name>b</name></kivdata>");
    EXPECT_EQ(3, root.ChildCount(L"cAt"));
    EXPECT_STREQ(L"2", root.GetChildNode(L"cat", 1).GetText());
    EXPECT_STREQ(L"3", root.GetChildNode(L"cat", -1).GetText());
    EXPECT_TRUE(root.GetChildNode(L"cat", 3).IsEmpty());
    EXPECT_EQ(L"a", Field(root, L"name"));
    EXPECT_EQ(L"<none>", Field(root, L"icon"));
    EXPECT_TRUE(root.GetChildNode(L"x").GetChildNode(L"y").GetChildNode(0).IsEmpty());
    EXPECT_EQ(nullptr, XmlNode().GetName());
    EXPECT_EQ(0, XmlNode().ChildCount(L"cat"));
}

TEST_F(Xml, AChildOutlivesItsTree) {
    XmlNode name;
    {
        XmlNode root = Parse(L"<kivdata><cat><name>kept</name></cat></kivdata>");
        name = root.GetChildNode(L"cat").GetChildNode(L"name");
        XmlNode copy = root;
        const XmlNode& same = copy;
        copy = same;  // assigning a handle to itself keeps its element
        root = std::move(copy);
    }
    EXPECT_EQ(1, kiv::XmlNodeData::LiveCount());
    EXPECT_STREQ(L"kept", name.GetText());
}

TEST_F(Xml, TextsAreTrimmedDecodedAndJoinedAcrossComments) {
    struct Case {
        const wchar_t* content;
        const wchar_t* text;
    } cases[] = {
        {L" \t\r\n word \r\n", L"word"},
        {L"&AMP;&lt;&Gt;&quot;&apos;", L"&<>\"'"},
        {L"&#65;&#x41;&#X6a;", L"AAj"},
        {L"&#65601;", L"A"},  // cut to 16 bits
        {L"Run<!-- gone -->Once", L"RunOnce"},
        {L" Run <!-- gone --> Once ", L"RunOnce"},
        {L"a > b = \"c\" /> 'd'", L"a > b = \"c\" /> 'd'"},
    };
    for (const Case& c : cases) {
        XmlNode root = Parse(std::wstring(L"<kivdata>") + c.content + L"</kivdata>");
        ASSERT_EQ(1, root.TextCount()) << c.content;
        EXPECT_STREQ(c.text, root.GetText(0)) << c.content;
        EXPECT_EQ(0, root.ClearCount()) << c.content;
    }
    XmlNode zero = Parse(L"<kivdata>a&#;b</kivdata>");
    EXPECT_EQ(std::wstring(L"a\0b", 3), std::wstring(zero.GetText(0), 3));  // a reference without digits is character 0
}

TEST_F(Xml, BadEntitiesRejectTheWholeDocument) {
    for (const wchar_t* text : {L"a & b", L"&nbsp;", L"&amp", L"&#65", L"&#x4G;", L"&#12a;", L"&"}) {
        EXPECT_TRUE(Parse(std::wstring(L"<kivdata><cat/>") + text + L"</kivdata>").IsEmpty()) << text;
        EXPECT_TRUE(Parse(std::wstring(L"<kivdata a=\"") + text + L"\"/>").IsEmpty()) << text;
    }
}

TEST_F(Xml, VerbatimSectionsKeepTheirContent) {
    XmlNode root = Parse(L"<kivdata><!---->x<![CDATA[C:\\a<b>&c]]>y<!--c-->z<PRE><i>&</PRE></kivdata>");
    ASSERT_EQ(3, root.ClearCount());
    EXPECT_EQ(nullptr, root.GetClear(0)->Value());
    EXPECT_STREQ(L"<!--", root.GetClear(0)->openTag);
    EXPECT_STREQ(L"C:\\a<b>&c", root.GetClear(1)->Value());
    EXPECT_STREQ(L"]]>", root.GetClear(1)->closeTag);
    EXPECT_STREQ(L"<i>&", root.GetClear(2)->Value());
    EXPECT_EQ(nullptr, root.GetClear(3));
    ASSERT_EQ(2, root.TextCount());  // y and z joined across the comment between them
    EXPECT_STREQ(L"x", root.GetText(0));
    EXPECT_STREQ(L"yz", root.GetText(1));
    EXPECT_EQ(0, root.ChildCount());
}

TEST_F(Xml, ErrorCodesSeparateToleratedFromFatalFaults) {
    struct Case {
        const wchar_t* text;
        int error;
    } cases[] = {
        {L"<a><b>t</a>", 1},
        {L"<a><b>t", 1},
        {L"<?xml?><a/>", 0},
        {L"<a></A >", 0},
        {L"<a><ab></a>", 1},
        {L"<ab><a></ab>", 1},
        {L"", 2},
        {L"text <!-- c -->", 2},
        {L"<a/></b>", 6},
        {L"<a></b></a>", 6},
        {L"<>", 4},
        {L"<a><", 4},
        {L"<a></>", 5},
        {L"<a></a", 5},
        {L"<a><!-- x", 7},
        {L"<a><![CDATA[x]>", 7},
        {L"<!DOCTYPE a [ <x>", 7},
        {L"<a b=>", 8},
        {L"<a b", 8},
        {L"<a \"b\">", 8},
        {L"<a <b>", 8},
        {L"<a>&bad;</a>", 12},
        {L"<a b='&bad;'/>", 12},
    };
    for (const Case& c : cases) EXPECT_EQ(c.error, ErrorOf(c.text)) << c.text;
}

TEST_F(Xml, AMissingEndTagKeepsTheTree) {
    XmlNode root = Parse(L"<kivdata><cat><name>A</cat><cat><name>B<icon>2</icon></name></CAT></kivdata>");
    ASSERT_EQ(2, root.ChildCount(L"cat"));
    EXPECT_EQ(L"A", Field(root.GetChildNode(L"cat", 0), L"name"));
    EXPECT_EQ(L"2", Field(root.GetChildNode(L"cat", 1).GetChildNode(L"name"), L"icon"));
}

TEST_F(Xml, EveryPrefixAndMutationOfADocumentIsSafe) {
    for (size_t cut = 0; cut <= kCatalogue.size(); ++cut) {
        XmlNode root = Parse(kCatalogue.substr(0, cut));
        if (!root.IsEmpty()) {
            EXPECT_STREQ(L"kivdata", root.GetName());
        }
    }
    ExpectCatalogue(Parse(kCatalogue));
    const wchar_t markupChars[] = L"<>/?!=\"'&#;[]- x\n";
    unsigned seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::wstring text = kCatalogue;
        for (int edit = 0; edit < 3; ++edit) {
            seed = seed * 1103515245u + 12345u;
            size_t at = (seed >> 8) % text.size();
            text[at] = markupChars[(seed >> 20) % (sizeof(markupChars) / sizeof(wchar_t) - 1)];
        }
        Parse(text);
    }
}

TEST_F(Xml, NestingIsCappedAndDeepInputIsRefused) {
    auto nested = [](int depth, bool closed) {
        std::wstring text;
        for (int i = 0; i < depth; ++i) text += i == 0 ? L"<kivdata>" : L"<a>";
        text += L"deep";
        for (int i = closed ? depth - 1 : 0; i > 0; --i) text += L"</a>";
        return closed ? text + L"</kivdata>" : text;
    };
    XmlNode node = Parse(nested(kiv::kXmlMaxDepth, true));
    for (int i = 1; i < kiv::kXmlMaxDepth; ++i) node = node.GetChildNode(L"a");
    EXPECT_STREQ(L"deep", node.GetText());
    EXPECT_EQ(XmlError::XmlErrorTooDeep, ErrorOf(nested(kiv::kXmlMaxDepth + 1, true)));
    EXPECT_TRUE(Parse(nested(kiv::kXmlMaxDepth + 1, true)).IsEmpty());
    EXPECT_TRUE(Parse(nested(200000, false)).IsEmpty());
    EXPECT_TRUE(Parse(L"<?xml?>" + nested(kiv::kXmlMaxDepth, true)).IsEmpty());  // the declaration is a level
}

TEST_F(Xml, ALongFlatDocumentIsReadAndReleased) {
    const int count = 50000;
    std::wstring text = L"<kivdata>";
    for (int i = 0; i < count; ++i) text += L"<cat><name>n" + std::to_wstring(i) + L"</name></cat>";
    text += L"</kivdata>";
    XmlNode root = Parse(text);
    EXPECT_EQ(count, root.ChildCount(L"cat"));
    EXPECT_EQ(L"n49999", Field(root.GetChildNode(L"cat", -1), L"name"));
    EXPECT_EQ(L"n123", Field(root.GetChildNode(L"cat", 123), L"name"));
    EXPECT_EQ(2 * count + 1, kiv::XmlNodeData::LiveCount());
}
