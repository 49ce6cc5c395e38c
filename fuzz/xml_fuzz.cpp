// The catalogue reader on any text: the parse must end, every part of the tree must
// be readable, and a tree the reader accepts must hold what its accessors promise.
#include "FuzzInput.h"
#include "xml/XmlParser.h"

namespace {

size_t Walk(const kiv::XmlNode& node, int depth) {
    KIV_FUZZ_CHECK(depth <= kiv::kXmlMaxDepth + 1);
    size_t seen = 1;
    for (int i = 0; i < node.AttributeCount(); ++i) {
        const kiv::XmlAttribute* attribute = node.GetAttribute(i);
        KIV_FUZZ_CHECK(attribute != nullptr && !attribute->name.empty());
        KIV_FUZZ_CHECK((attribute->Value() != nullptr) == attribute->hasValue);
    }
    // A text may begin with character 0 ("&#;" reads as 0), so only its presence is checked.
    for (int i = 0; i < node.TextCount(); ++i) KIV_FUZZ_CHECK(node.GetText(i) != nullptr);
    KIV_FUZZ_CHECK(node.GetText(node.TextCount()) == nullptr);
    for (int i = 0; i < node.ClearCount(); ++i) KIV_FUZZ_CHECK(node.GetClear(i) != nullptr);
    KIV_FUZZ_CHECK(node.GetClear(node.ClearCount()) == nullptr && node.GetAttribute(-1) == nullptr);
    for (int i = 0; i < node.ChildCount(); ++i) {
        kiv::XmlNode child = node.GetChildNode(i);
        KIV_FUZZ_CHECK(!child.IsEmpty() && child.GetName() != nullptr);
        // Looking a child up by its own name finds an element of that name.
        kiv::XmlNode named = node.GetChildNode(child.GetName());
        KIV_FUZZ_CHECK(!named.IsEmpty() && node.ChildCount(child.GetName()) >= 1);
        seen += Walk(child, depth + 1);
    }
    KIV_FUZZ_CHECK(node.GetChildNode(node.ChildCount()).IsEmpty());
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = kivfuzz::Utf16Units(data, size);
    kiv::XmlNode document;
    kiv::XmlError error = kiv::ParseXmlDocument(text.c_str(), document);
    KIV_FUZZ_CHECK(!document.IsEmpty());
    Walk(document, 0);
    kiv::XmlNode root = kiv::XmlNode::ParseString(text.c_str(), L"kivdata");
    if (!root.IsEmpty()) {
        KIV_FUZZ_CHECK(error == kiv::XmlErrorNone || error == kiv::XmlErrorMissingEndTag);
        KIV_FUZZ_CHECK(_wcsicmp(root.GetName(), L"kivdata") == 0);
        Walk(root, 0);
    }
    return 0;
}
