// The pieces the XML reader cuts a text into, and the decoding of character
// entities. Every scan stops at the text's terminating zero.
#pragma once

#include <cstddef>
#include <string>

namespace kiv {

// A section whose content is kept verbatim, with the tag that ends it.
struct XmlClearTag {
    const wchar_t* open;
    const wchar_t* close;
};

// "<!DOCTYPE" and the close tag it takes when an internal subset follows.
extern const XmlClearTag* const kXmlDoctype;
extern const wchar_t kXmlDoctypeSubsetClose[];

enum class XmlTokenKind {
    End,          // the terminating zero
    Text,         // a run of other characters
    Quoted,       // "..." or '...', without the quotes
    ShortClose,   // "/>"
    Clear,        // "<" followed by the open tag of a verbatim section
    EndTagStart,  // "</"
    DeclStart,    // "<?"
    TagStart,     // any other "<"
    Equals,       // "="
    TagClose,     // ">"
};

struct XmlToken {
    XmlTokenKind kind;
    const wchar_t* begin;
    size_t length;
    const XmlClearTag* clear;  // for Clear only
};

bool IsXmlSpace(wchar_t c) noexcept;

// Skips whitespace, returns the token there and moves pos past it.
XmlToken NextXmlToken(const wchar_t*& pos) noexcept;

// The kind of the token at pos, without moving.
XmlTokenKind PeekXmlToken(const wchar_t* pos) noexcept;

// out := the characters of [begin, begin + length) with entities and numeric
// references decoded; false for an unknown entity or a malformed reference.
bool DecodeXmlEntities(const wchar_t* begin, size_t length, std::wstring& out);

}  // namespace kiv
