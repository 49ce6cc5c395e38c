// The small, tolerant XML reader behind the catalogue file "kivdata.dat".
//
// A document is read (UTF-8 with or without byte order mark, or UTF-16 little
// endian) into a tree of reference-counted element nodes. The reader does not
// validate and keeps going after most structural faults; text it cannot make
// sense of gives the empty node. The catalogue loader uses it like this:
//
//     XmlNode root = XmlNode::OpenFileWithRoot(path, L"kivdata");
//     for (int i = 0; i < root.ChildCount(L"cat"); ++i) {
//         XmlNode cat = root.GetChildNode(L"cat", i);
//         const wchar_t* name = cat.GetChildNode(L"name").GetText(0);  // null: missing or empty
//     }
//
// Element names are compared without regard to case. A handle stays valid on
// its own: a node lives as long as any handle to it, even after its tree is gone.
#pragma once

#include <string>

namespace kiv {

struct XmlNodeData;

// A section stored verbatim: "<![CDATA[", "<!DOCTYPE", "<!--" or "<PRE>".
struct XmlClear {
    std::wstring value;
    const wchar_t* openTag = nullptr;   // into the reader's fixed table
    const wchar_t* closeTag = nullptr;  // into the reader's fixed table

    // Null when the section is empty.
    const wchar_t* Value() const noexcept { return value.empty() ? nullptr : value.c_str(); }
};

struct XmlAttribute {
    std::wstring name;
    std::wstring value;     // entities decoded
    bool hasValue = false;  // false when written without "="

    const wchar_t* Value() const noexcept { return hasValue ? value.c_str() : nullptr; }
};

// Handle to one element (or null: the empty node). Copying shares the element;
// every query on the empty node gives an empty result.
class XmlNode {
public:
    XmlNode() noexcept = default;
    // Takes one more reference to data (which may be null).
    explicit XmlNode(XmlNodeData* data) noexcept;
    XmlNode(const XmlNode& other) noexcept;
    XmlNode(XmlNode&& other) noexcept;
    XmlNode& operator=(const XmlNode& other) noexcept;
    XmlNode& operator=(XmlNode&& other) noexcept;
    ~XmlNode();

    // The element named rootTag: the outermost element itself, or else its first
    // child of that name. The empty node when the file cannot be read, is empty,
    // cannot be parsed or holds no such element.
    static XmlNode OpenFileWithRoot(const wchar_t* path, const wchar_t* rootTag) noexcept;
    // The same for a zero-terminated text.
    static XmlNode ParseString(const wchar_t* text, const wchar_t* rootTag) noexcept;

    bool IsEmpty() const noexcept { return m_data == nullptr; }
    const wchar_t* GetName() const noexcept;  // null for the empty node
    bool IsDeclaration() const noexcept;      // opened with "<?"

    // Child elements in document order.
    int ChildCount() const noexcept;
    XmlNode GetChildNode(int i) const noexcept;
    // Child elements whose name equals name without regard to case. A negative i
    // gives the last of them; the empty node when there are fewer than i + 1.
    int ChildCount(const wchar_t* name) const noexcept;
    XmlNode GetChildNode(const wchar_t* name, int i = 0) const noexcept;

    // Texts in document order, whitespace at both ends cut and entities decoded;
    // null when i is not below the count.
    int TextCount() const noexcept;
    const wchar_t* GetText(int i = 0) const noexcept;

    int ClearCount() const noexcept;
    const XmlClear* GetClear(int i) const noexcept;  // null when out of range
    int AttributeCount() const noexcept;
    const XmlAttribute* GetAttribute(int i) const noexcept;  // null when out of range

    XmlNodeData* Data() const noexcept { return m_data; }

private:
    XmlNodeData* Detach() noexcept;
    static void ReleaseReference(XmlNodeData* data) noexcept;

    XmlNodeData* m_data = nullptr;
};

}  // namespace kiv
