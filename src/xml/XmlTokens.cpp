// Tokens and character entities of the XML reader.
#include "xml/XmlTokens.h"

#include <wchar.h>

namespace kiv {

namespace {

// Matched case-sensitively, in this order.
const XmlClearTag kClearTags[] = {
    {L"<![CDATA[", L"]]>"},
    {L"<!DOCTYPE", L">"},
    {L"<!--", L"-->"},
    {L"<PRE>", L"</PRE>"},
};

struct Entity {
    const wchar_t* name;  // after the ampersand, with its semicolon
    size_t length;
    wchar_t character;
};

// Matched without regard to case.
const Entity kEntities[] = {
    {L"amp;", 4, L'&'}, {L"lt;", 3, L'<'}, {L"gt;", 3, L'>'}, {L"quot;", 5, L'"'}, {L"apos;", 5, L'\''},
};

bool StartsWith(const wchar_t* text, const wchar_t* prefix) noexcept {
    while (*prefix != 0) {
        if (*text++ != *prefix++) return false;  // a zero in text stops here too
    }
    return true;
}

const XmlClearTag* MatchClearTag(const wchar_t* pos) noexcept {
    for (const XmlClearTag& tag : kClearTags) {
        if (StartsWith(pos, tag.open)) return &tag;
    }
    return nullptr;
}

bool EndsText(const wchar_t* pos) noexcept {
    wchar_t c = *pos;
    return c == 0 || IsXmlSpace(c) || c == L'<' || c == L'>' || c == L'=' || (c == L'/' && pos[1] == L'>');
}

XmlToken Token(XmlTokenKind kind, const wchar_t* begin, size_t length, const XmlClearTag* clear = nullptr) {
    return XmlToken{kind, begin, length, clear};
}

// A quote up to its partner; a "<" or the end before it makes the quote plain text.
bool ScanQuoted(const wchar_t* pos, XmlToken& token) noexcept {
    const wchar_t* close = pos + 1;
    while (*close != 0 && *close != *pos && *close != L'<') ++close;
    if (*close != *pos) return false;
    token = Token(XmlTokenKind::Quoted, pos + 1, static_cast<size_t>(close - pos - 1));
    return true;
}

XmlToken ScanMarkup(const wchar_t* pos) noexcept {
    if (const XmlClearTag* tag = MatchClearTag(pos)) return Token(XmlTokenKind::Clear, pos, wcslen(tag->open), tag);
    if (pos[1] == L'/') return Token(XmlTokenKind::EndTagStart, pos, 2);
    if (pos[1] == L'?') return Token(XmlTokenKind::DeclStart, pos, 2);
    return Token(XmlTokenKind::TagStart, pos, 1);
}

XmlToken ScanToken(const wchar_t* pos) noexcept {
    XmlToken token{};
    switch (*pos) {
    case 0:
        return Token(XmlTokenKind::End, pos, 0);
    case L'<':
        return ScanMarkup(pos);
    case L'=':
        return Token(XmlTokenKind::Equals, pos, 1);
    case L'>':
        return Token(XmlTokenKind::TagClose, pos, 1);
    case L'/':
        if (pos[1] == L'>') return Token(XmlTokenKind::ShortClose, pos, 2);
        break;
    case L'"':
    case L'\'':
        if (ScanQuoted(pos, token)) return token;
        break;
    default:
        break;
    }
    // The first character never ends the run here, so a text token is never empty.
    const wchar_t* end = pos + 1;
    while (!EndsText(end)) ++end;
    return Token(XmlTokenKind::Text, pos, static_cast<size_t>(end - pos));
}

// Where the token ends in the text (quotes included).
const wchar_t* TokenEnd(const XmlToken& token) noexcept {
    return token.begin + token.length + (token.kind == XmlTokenKind::Quoted ? 1 : 0);
}

int DigitValue(wchar_t c, unsigned base) noexcept {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "&#" digits ";" or "&#x" hexadecimal digits ";"; the number is cut to 16 bits.
const wchar_t* DecodeNumeric(const wchar_t* pos, const wchar_t* end, wchar_t& out) noexcept {
    unsigned base = 10;
    if (pos < end && (*pos == L'x' || *pos == L'X')) {
        base = 16;
        ++pos;
    }
    unsigned value = 0;
    for (int digit; pos < end && (digit = DigitValue(*pos, base)) >= 0; ++pos) {
        value = value * base + static_cast<unsigned>(digit);
    }
    if (pos >= end || *pos != L';') return nullptr;
    out = static_cast<wchar_t>(value & 0xFFFF);
    return pos + 1;
}

// Decodes the reference at pos (an ampersand); the position after it, or null.
const wchar_t* DecodeOne(const wchar_t* pos, const wchar_t* end, wchar_t& out) noexcept {
    ++pos;
    if (pos < end && *pos == L'#') return DecodeNumeric(pos + 1, end, out);
    for (const Entity& entity : kEntities) {
        if (static_cast<size_t>(end - pos) >= entity.length && _wcsnicmp(pos, entity.name, entity.length) == 0) {
            out = entity.character;
            return pos + entity.length;
        }
    }
    return nullptr;
}

}  // namespace

const XmlClearTag* const kXmlDoctype = &kClearTags[1];
const wchar_t kXmlDoctypeSubsetClose[] = L"]>";

bool IsXmlSpace(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

XmlToken NextXmlToken(const wchar_t*& pos) noexcept {
    while (IsXmlSpace(*pos)) ++pos;
    XmlToken token = ScanToken(pos);
    pos = TokenEnd(token);
    return token;
}

XmlTokenKind PeekXmlToken(const wchar_t* pos) noexcept { return NextXmlToken(pos).kind; }

bool DecodeXmlEntities(const wchar_t* begin, size_t length, std::wstring& out) {
    out.clear();
    out.reserve(length);
    const wchar_t* end = begin + length;
    for (const wchar_t* pos = begin; pos < end;) {
        if (*pos != L'&') {
            out.push_back(*pos++);
            continue;
        }
        wchar_t decoded = 0;
        pos = DecodeOne(pos, end, decoded);
        if (pos == nullptr) return false;
        out.push_back(decoded);
    }
    return true;
}

}  // namespace kiv
