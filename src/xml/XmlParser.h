// The XML reader's parser: a whole text into a document node.
#pragma once

#include "xml/XmlNode.h"

namespace kiv {

// Codes 0, 1 and 2 still give a usable tree; every other code stops the parse.
enum XmlError : int {
    XmlErrorNone = 0,
    XmlErrorMissingEndTag = 1,
    XmlErrorNoElements = 2,
    XmlErrorMissingTagName = 4,   // "<" not followed by a tag name
    XmlErrorMalformedEndTag = 5,  // "</" not followed by a name and ">"
    XmlErrorUnmatchedEndTag = 6,  // end tag with no open element to close
    XmlErrorUnclosedSection = 7,  // verbatim section without its close tag
    XmlErrorUnexpectedToken = 8,  // inside a start tag
    XmlErrorBadEntity = 12,       // unknown entity or malformed numeric reference
    XmlErrorTooDeep = 13,         // elements nested deeper than kXmlMaxDepth
};

// Element nesting the reader accepts; a deeper document is refused as a whole.
constexpr int kXmlMaxDepth = 256;

// document := a node without a name whose content is the whole text (null reads
// as empty). The tree may be partial when the result is not 0, 1 or 2.
XmlError ParseXmlDocument(const wchar_t* text, XmlNode& document);

}  // namespace kiv
