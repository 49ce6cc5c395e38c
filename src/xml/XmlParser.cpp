// The tolerant parser of the XML reader and the choice of the root element.
#include "xml/XmlParser.h"

#include <wchar.h>

#include <utility>

#include "xml/XmlNodeData.h"
#include "xml/XmlTokens.h"

namespace kiv {

namespace {

// Arrays grow by fixed blocks while an element is open and are cut to size when it closes.
constexpr size_t kItemBlock = 50;
constexpr size_t kOrderBlock = 150;

template <typename T>
void AppendInBlocks(std::vector<T>& items, T&& item, size_t block) {
    if (items.size() == items.capacity()) items.reserve(items.size() + block);
    items.push_back(std::forward<T>(item));
}

template <typename T>
void AppendOrdered(XmlNodeData* node, std::vector<T>& items, T&& item, int kind) {
    int entry = static_cast<int>(items.size()) * 4 + kind;
    AppendInBlocks(items, std::forward<T>(item), kItemBlock);
    AppendInBlocks(node->order, std::move(entry), kOrderBlock);
}

void ShrinkToContent(XmlNodeData* node) {
    node->children.shrink_to_fit();
    node->texts.shrink_to_fit();
    node->clears.shrink_to_fit();
    node->attributes.shrink_to_fit();
    node->order.shrink_to_fit();
}

// A text whose last two entries are a text and then a comment: the comment goes
// and the new text joins the old one, so a text cut by a comment reads as one.
bool MergeAcrossComment(XmlNodeData* node, const std::wstring& text) {
    size_t count = node->order.size();
    if (count < 2 || node->order[count - 2] % 4 != XmlNodeData::OrderText ||
        node->order[count - 1] % 4 != XmlNodeData::OrderClear || node->clears.empty() ||
        wcscmp(node->clears.back().openTag, L"<!--") != 0) {
        return false;
    }
    node->clears.pop_back();
    node->order.pop_back();
    node->texts.back() += text;
    return true;
}

std::wstring TokenText(const XmlToken& token) { return std::wstring(token.begin, token.length); }

class Parser {
public:
    explicit Parser(const wchar_t* text) : m_pos(text) {}

    XmlError Run(XmlNodeData* document) {
        if (ParseContent(document, 0) != Outcome::Stopped && document->children.empty()) {
            m_error = XmlErrorNoElements;
        }
        return m_error;
    }

private:
    enum class Outcome {
        Continue,   // a child is done; the open element goes on
        Closed,     // the open element met its own end tag
        EndTag,     // an end tag for an enclosing element is pending
        EndOfText,  // the text ended inside the open element
        Stopped,    // a fault ended the parse
    };

    Outcome Stop(XmlError error) {
        m_error = error;
        return Outcome::Stopped;
    }

    Outcome ParseContent(XmlNodeData* node, int level);
    Outcome ParseMarkup(XmlNodeData* node, int level, const XmlToken& token);
    Outcome ParseElement(XmlNodeData* parent, int level, bool declaration);
    Outcome ParseStartTag(XmlNodeData* element, int level);
    bool ParseAttribute(XmlNodeData* element, const XmlToken& name);
    Outcome ReadEndTag();
    Outcome MatchEndTag(const XmlNodeData* node, int level);
    Outcome EndOfContent(const XmlNodeData* node, int level);
    bool AddClear(XmlNodeData* node, const XmlClearTag* tag);
    bool AddText(XmlNodeData* node, const wchar_t* begin, const wchar_t* end);
    void DropDeclarationMark(const XmlNodeData* element, XmlToken& token) const;

    const wchar_t* m_pos;
    XmlError m_error = XmlErrorNone;
    XmlToken m_endTag{};  // the name of the pending end tag
};

// Content is raw text up to the next "<", which always starts markup.
Parser::Outcome Parser::ParseContent(XmlNodeData* node, int level) {
    for (;;) {
        const wchar_t* textBegin = m_pos;
        while (*m_pos != 0 && *m_pos != L'<') ++m_pos;
        if (!AddText(node, textBegin, m_pos)) return Outcome::Stopped;
        XmlToken token = NextXmlToken(m_pos);
        if (token.kind == XmlTokenKind::End) return EndOfContent(node, level);
        Outcome outcome = ParseMarkup(node, level, token);
        if (outcome == Outcome::EndOfText) return EndOfContent(node, level);
        if (outcome == Outcome::EndTag) outcome = MatchEndTag(node, level);
        if (outcome != Outcome::Continue) return outcome;
    }
}

Parser::Outcome Parser::ParseMarkup(XmlNodeData* node, int level, const XmlToken& token) {
    switch (token.kind) {
    case XmlTokenKind::Clear:
        return AddClear(node, token.clear) ? Outcome::Continue : Outcome::Stopped;
    case XmlTokenKind::EndTagStart:
        return ReadEndTag();
    case XmlTokenKind::DeclStart:
        return ParseElement(node, level, true);
    default:
        return ParseElement(node, level, false);
    }
}

// level is the parent's: 0 for the document node.
Parser::Outcome Parser::ParseElement(XmlNodeData* parent, int level, bool declaration) {
    XmlToken name = NextXmlToken(m_pos);
    if (name.kind != XmlTokenKind::Text) return Stop(XmlErrorMissingTagName);
    if (level >= kXmlMaxDepth) return Stop(XmlErrorTooDeep);
    XmlNode child(new XmlNodeData(std::wstring(), parent, declaration));
    XmlNodeData* element = child.Data();
    if (name.length > 1) DropDeclarationMark(element, name);  // "<??>" keeps its name
    element->name = TokenText(name);
    AppendOrdered(parent, parent->children, std::move(child), XmlNodeData::OrderChild);
    Outcome outcome = ParseStartTag(element, level);
    ShrinkToContent(element);
    return outcome;
}

Parser::Outcome Parser::ParseStartTag(XmlNodeData* element, int level) {
    for (;;) {
        XmlToken token = NextXmlToken(m_pos);
        switch (token.kind) {
        case XmlTokenKind::Text:
            if (!ParseAttribute(element, token)) return Outcome::Stopped;
            break;
        case XmlTokenKind::ShortClose:
            return Outcome::Continue;
        case XmlTokenKind::TagClose: {
            // A declaration at document level encloses the rest of the document.
            if (element->isDeclaration && level > 0) return Outcome::Continue;
            Outcome outcome = ParseContent(element, level + 1);
            return outcome == Outcome::Closed ? Outcome::Continue : outcome;
        }
        default:
            return Stop(XmlErrorUnexpectedToken);
        }
    }
}

// name [= value]; a name followed by another name, ">" or "/>" has no value.
bool Parser::ParseAttribute(XmlNodeData* element, const XmlToken& nameToken) {
    XmlToken name = nameToken;
    XmlAttribute attribute;
    if (PeekXmlToken(m_pos) == XmlTokenKind::Equals) {
        NextXmlToken(m_pos);
        XmlToken value = NextXmlToken(m_pos);
        if (value.kind != XmlTokenKind::Text && value.kind != XmlTokenKind::Quoted) {
            Stop(XmlErrorUnexpectedToken);
            return false;
        }
        DropDeclarationMark(element, value);
        if (!DecodeXmlEntities(value.begin, value.length, attribute.value)) {
            Stop(XmlErrorBadEntity);
            return false;
        }
        attribute.hasValue = true;
    } else {
        DropDeclarationMark(element, name);
    }
    if (name.length == 0) return true;  // only the "?" of "?>"
    attribute.name = TokenText(name);
    AppendInBlocks(element->attributes, std::move(attribute), kItemBlock);
    return true;
}

// In a declaration, the "?" of its closing "?>" is not part of the last name or value.
void Parser::DropDeclarationMark(const XmlNodeData* element, XmlToken& token) const {
    if (element->isDeclaration && token.length > 0 && token.begin[token.length - 1] == L'?' &&
        PeekXmlToken(m_pos) == XmlTokenKind::TagClose) {
        --token.length;
    }
}

Parser::Outcome Parser::ReadEndTag() {
    m_endTag = NextXmlToken(m_pos);
    if (m_endTag.kind != XmlTokenKind::Text || NextXmlToken(m_pos).kind != XmlTokenKind::TagClose) {
        return Stop(XmlErrorMalformedEndTag);
    }
    return Outcome::EndTag;
}

// The end tag must begin with the element's whole name, followed by a character
// that cannot continue a name; otherwise it is handed to the enclosing elements.
Parser::Outcome Parser::MatchEndTag(const XmlNodeData* node, int level) {
    if (level == 0) return Stop(XmlErrorUnmatchedEndTag);
    size_t length = node->name.size();
    if (m_endTag.length >= length && _wcsnicmp(m_endTag.begin, node->name.c_str(), length) == 0) {
        wchar_t after = m_endTag.begin[length];
        if (IsXmlSpace(after) || after == L'/' || after == L'<' || after == L'>' || after == L'=') {
            return Outcome::Closed;
        }
    }
    m_error = XmlErrorMissingEndTag;
    return Outcome::EndTag;
}

Parser::Outcome Parser::EndOfContent(const XmlNodeData* node, int level) {
    if (level > 0 && !node->isDeclaration) m_error = XmlErrorMissingEndTag;
    return Outcome::EndOfText;
}

// Everything up to the section's close tag, verbatim. "<!DOCTYPE" ends at the
// first ">", or at "]>" when a "<" of an internal subset comes first.
bool Parser::AddClear(XmlNodeData* node, const XmlClearTag* tag) {
    const wchar_t* close = tag->close;
    if (tag == kXmlDoctype) {
        const wchar_t* first = wcspbrk(m_pos, L"<>");
        if (first != nullptr && *first == L'<') close = kXmlDoctypeSubsetClose;
    }
    const wchar_t* found = wcsstr(m_pos, close);
    if (found == nullptr) {
        Stop(XmlErrorUnclosedSection);
        return false;
    }
    XmlClear clear;
    clear.value.assign(m_pos, found);
    clear.openTag = tag->open;
    clear.closeTag = close;
    AppendOrdered(node, node->clears, std::move(clear), XmlNodeData::OrderClear);
    m_pos = found + wcslen(close);
    return true;
}

// Entities are decoded before anything is stored, so a bad one leaves no partial text.
bool Parser::AddText(XmlNodeData* node, const wchar_t* begin, const wchar_t* end) {
    while (begin < end && IsXmlSpace(*begin)) ++begin;
    while (end > begin && IsXmlSpace(end[-1])) --end;
    if (begin == end) return true;
    std::wstring text;
    if (!DecodeXmlEntities(begin, static_cast<size_t>(end - begin), text)) {
        Stop(XmlErrorBadEntity);
        return false;
    }
    if (!MergeAcrossComment(node, text)) AppendOrdered(node, node->texts, std::move(text), XmlNodeData::OrderText);
    return true;
}

bool NameIs(const XmlNode& node, const wchar_t* name) {
    const wchar_t* own = node.GetName();
    return own != nullptr && name != nullptr && _wcsicmp(own, name) == 0;
}

// A document of one element and nothing else is represented by that element.
XmlNode Outermost(const XmlNode& document) {
    const XmlNodeData* data = document.Data();
    bool single = data->children.size() == 1 && data->texts.empty() && data->clears.empty() && data->attributes.empty();
    return single ? document.GetChildNode(0) : document;
}

}  // namespace

XmlError ParseXmlDocument(const wchar_t* text, XmlNode& document) {
    document = XmlNode(new XmlNodeData());
    Parser parser(text != nullptr ? text : L"");
    return parser.Run(document.Data());
}

XmlNode XmlNode::ParseString(const wchar_t* text, const wchar_t* rootTag) noexcept {
    try {
        XmlNode document;
        XmlError error = ParseXmlDocument(text, document);
        if (error != XmlErrorNone && error != XmlErrorMissingEndTag && error != XmlErrorNoElements) return XmlNode();
        XmlNode top = Outermost(document);
        return NameIs(top, rootTag) ? top : top.GetChildNode(rootTag);
    } catch (...) {
        // Out of memory: the partial tree is already released; the caller sees no document.
        return XmlNode();
    }
}

}  // namespace kiv
