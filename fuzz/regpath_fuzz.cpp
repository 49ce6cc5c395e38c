// Registry location texts: the root prefix split, its long name and the 32-bit
// view twin keep the rest of the path exactly as written.
#include <cwchar>

#include "FuzzInput.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = kivfuzz::Utf16Units(data, size);
    std::wstring path = text;
    HKEY root = nullptr;
    int split = kiv::SplitRootPrefix(path, root);
    KIV_FUZZ_CHECK(!kiv::GetFullHKEY(root).empty());
    if (split) {
        KIV_FUZZ_CHECK(path.size() < text.size() && text.compare(text.size() - path.size(), path.size(), path) == 0);
        KIV_FUZZ_CHECK(text[text.size() - path.size() - 1] == L'\\');
    } else {
        KIV_FUZZ_CHECK(path == text && root == HKEY_LOCAL_MACHINE);
    }
    std::wstring twin;
    if (kiv::TwinPath(text, twin)) {
        KIV_FUZZ_CHECK(twin.size() == text.size() + 12 && split);
        size_t at = twin.find(root == HKEY_CLASSES_ROOT ? L"Wow6432Node\\" : L"\\Wow6432Node");
        KIV_FUZZ_CHECK(at != std::wstring::npos && twin.substr(0, at) + twin.substr(at + 12) == text);
        KIV_FUZZ_CHECK(!kiv::TwinPath(twin, path));  // the twin of a twin is refused
    }
    size_t count = std::wcslen(text.c_str()) < 8 ? std::wcslen(text.c_str()) : 8;
    KIV_FUZZ_CHECK(kiv::PrefixCompare(text.c_str(), text.c_str(), count) == 0);
    KIV_FUZZ_CHECK(kiv::PrefixCompare(nullptr, text.c_str(), count) == -1);
    return 0;
}
