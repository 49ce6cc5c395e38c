// The pattern engine on any pattern and text: a search ends in work linear in the
// text's length, and a match lies inside the text with its groups inside the match.
// The five patterns of the command-line extraction run on every text as well.
#include "FuzzInput.h"
#include "iteminfo/CommandLine.h"
#include "pattern/Pattern.h"

namespace {

void CheckSearch(const kiv::CPattern& pattern, const std::wstring& text) {
    kiv::PatternMatch match;
    bool found = pattern.Search(text, match);
    // Each (instruction, position) pair is tried once: the work is linear in the text.
    KIV_FUZZ_CHECK(match.steps <= (3 * pattern.ProgramSize() + 2) * (text.size() + 1));
    if (!found) return;
    KIV_FUZZ_CHECK(pattern.Valid() && match.start + match.length <= text.size());
    KIV_FUZZ_CHECK(match.groups.size() == pattern.GroupCount() + 1);
    KIV_FUZZ_CHECK(match.groups[0] == text.substr(match.start, match.length));
    for (const std::wstring& group : match.groups) KIV_FUZZ_CHECK(group.size() <= match.length);
}

const kiv::CPattern& Fixed(int i) {
    static const kiv::CPattern patterns[] = {
        {kiv::kPathListPattern, true}, {kiv::kRundll32Pattern, true},  {kiv::kDllNamePattern, false},
        {kiv::kBareNamePattern, true}, {kiv::kDrivePathPattern, true},
    };
    return patterns[i];
}

}  // namespace

// Input: pattern, a zero unit, then the text; the first byte chooses the case mode.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::wstring input = kivfuzz::Utf16Units(data + 1, size - 1);
    size_t cut = input.find(L'\0');
    const std::wstring source = input.substr(0, cut);
    const std::wstring text = cut == std::wstring::npos ? std::wstring() : input.substr(cut + 1);
    kiv::CPattern pattern(source, (data[0] & 1) != 0);
    KIV_FUZZ_CHECK(pattern.Valid() == (pattern.ProgramSize() > 0));
    CheckSearch(pattern, text);
    for (int i = 0; i < 5; ++i) {
        KIV_FUZZ_CHECK(Fixed(i).Valid());
        CheckSearch(Fixed(i), input);
    }
    return 0;
}
