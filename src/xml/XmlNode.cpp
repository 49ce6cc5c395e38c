// Handles to the elements of a parsed XML document and their queries.
#include "xml/XmlNode.h"

#include <wchar.h>

#include "xml/XmlNodeData.h"

namespace kiv {

namespace {

bool NameEquals(const XmlNodeData* node, const wchar_t* name) noexcept {
    return name != nullptr && !node->name.empty() && _wcsicmp(node->name.c_str(), name) == 0;
}

template <typename T>
bool InRange(const std::vector<T>& items, int i) noexcept {
    return i >= 0 && static_cast<size_t>(i) < items.size();
}

}  // namespace

XmlNode::XmlNode(XmlNodeData* data) noexcept : m_data(data) {
    if (m_data) ++m_data->refCount;
}

XmlNode::XmlNode(const XmlNode& other) noexcept : XmlNode(other.m_data) {}

XmlNode::XmlNode(XmlNode&& other) noexcept : m_data(other.Detach()) {}

XmlNode& XmlNode::operator=(const XmlNode& other) noexcept {
    XmlNode copy(other);
    std::swap(m_data, copy.m_data);
    return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
    if (this != &other) ReleaseReference(std::exchange(m_data, other.Detach()));
    return *this;
}

XmlNode::~XmlNode() { ReleaseReference(m_data); }

XmlNodeData* XmlNode::Detach() noexcept { return std::exchange(m_data, nullptr); }

// A catalogue may hold tens of thousands of elements, so freeing a tree walks a
// list of the nodes whose last reference went instead of recursing: each child
// handle is emptied before its owner is deleted, so no destructor recurses.
void XmlNode::ReleaseReference(XmlNodeData* data) noexcept {
    if (data == nullptr || --data->refCount > 0) return;
    data->releaseNext = nullptr;
    XmlNodeData* pending = data;
    while (pending != nullptr) {
        XmlNodeData* node = pending;
        pending = node->releaseNext;
        for (XmlNode& child : node->children) {
            XmlNodeData* childData = child.Detach();
            childData->parent = nullptr;
            if (--childData->refCount == 0) {
                childData->releaseNext = pending;
                pending = childData;
            }
        }
        delete node;
    }
}

const wchar_t* XmlNode::GetName() const noexcept {
    return m_data && !m_data->name.empty() ? m_data->name.c_str() : nullptr;
}

bool XmlNode::IsDeclaration() const noexcept { return m_data && m_data->isDeclaration; }

int XmlNode::ChildCount() const noexcept { return m_data ? static_cast<int>(m_data->children.size()) : 0; }

XmlNode XmlNode::GetChildNode(int i) const noexcept {
    return m_data && InRange(m_data->children, i) ? m_data->children[i] : XmlNode();
}

int XmlNode::ChildCount(const wchar_t* name) const noexcept {
    int count = 0;
    if (m_data) {
        for (const XmlNode& child : m_data->children) count += NameEquals(child.m_data, name) ? 1 : 0;
    }
    return count;
}

XmlNode XmlNode::GetChildNode(const wchar_t* name, int i) const noexcept {
    if (m_data == nullptr) return XmlNode();
    const XmlNode* last = nullptr;
    for (const XmlNode& child : m_data->children) {
        if (!NameEquals(child.m_data, name)) continue;
        if (i == 0) return child;
        if (i > 0) --i;
        last = &child;
    }
    return i < 0 && last ? *last : XmlNode();
}

int XmlNode::TextCount() const noexcept { return m_data ? static_cast<int>(m_data->texts.size()) : 0; }

const wchar_t* XmlNode::GetText(int i) const noexcept {
    return m_data && InRange(m_data->texts, i) ? m_data->texts[i].c_str() : nullptr;
}

int XmlNode::ClearCount() const noexcept { return m_data ? static_cast<int>(m_data->clears.size()) : 0; }

const XmlClear* XmlNode::GetClear(int i) const noexcept {
    return m_data && InRange(m_data->clears, i) ? &m_data->clears[i] : nullptr;
}

int XmlNode::AttributeCount() const noexcept { return m_data ? static_cast<int>(m_data->attributes.size()) : 0; }

const XmlAttribute* XmlNode::GetAttribute(int i) const noexcept {
    return m_data && InRange(m_data->attributes, i) ? &m_data->attributes[i] : nullptr;
}

}  // namespace kiv
