// The content of one element of the XML reader, shared by the handles that
// refer to it. Only the reader itself builds and changes it.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "xml/XmlNode.h"

namespace kiv {

struct XmlNodeData {
    // Kinds of the entries of the order list: (index in its own array) * 4 + kind.
    // Kind 1 is kept for attributes, which are not ordered.
    enum OrderKind : int { OrderChild = 0, OrderText = 2, OrderClear = 3 };

    XmlNodeData() noexcept { ++s_live; }
    XmlNodeData(std::wstring elementName, XmlNodeData* parentNode, bool declaration)
        : name(std::move(elementName)), isDeclaration(declaration), parent(parentNode) {
        ++s_live;
    }
    ~XmlNodeData() { --s_live; }
    XmlNodeData(const XmlNodeData&) = delete;
    XmlNodeData& operator=(const XmlNodeData&) = delete;

    std::wstring name;  // empty only for the document node
    bool isDeclaration = false;
    XmlNodeData* parent = nullptr;  // not owned; cleared when the parent goes
    std::vector<XmlNode> children;  // each holds one reference
    std::vector<std::wstring> texts;
    std::vector<XmlClear> clears;
    std::vector<XmlAttribute> attributes;
    std::vector<int> order;
    int refCount = 0;
    XmlNodeData* releaseNext = nullptr;  // link of the list of nodes being freed

    // Elements alive in the process, so that a leak of a tree can be seen.
    static long LiveCount() noexcept { return s_live.load(); }

private:
    static inline std::atomic<long> s_live{0};
};

}  // namespace kiv
