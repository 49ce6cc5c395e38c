// The whitelist text: every entry is found again under its own key, and no key
// holds a separator, however the text is cut.
#include <map>

#include "FuzzInput.h"
#include "core/WhiteListText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = kivfuzz::Utf16Units(data, size);
    std::map<std::wstring, unsigned> list;
    kiv::ParseWhiteList(text.c_str(), list);
    for (const auto& entry : list) {
        KIV_FUZZ_CHECK(entry.first.find_first_of(L" \r\n|", 0) == std::wstring::npos);
        KIV_FUZZ_CHECK(entry.first.find(L'\0') == std::wstring::npos);
    }
    // Reading the same text again adds nothing: the first number of a key stays.
    std::map<std::wstring, unsigned> again = list;
    kiv::ParseWhiteList(text.c_str(), again);
    KIV_FUZZ_CHECK(again == list);
    kiv::ParseWhiteList(nullptr, again);
    KIV_FUZZ_CHECK(again == list);
    return 0;
}
