// Command-line extraction on any entry text: candidates are clean (trimmed, no
// double quote, no repeats), and resolving the entry ends with a text or nothing.
#include <algorithm>

#include "FuzzInput.h"
#include "ShimFiles.h"
#include "iteminfo/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = kivfuzz::Utf16Units(data, size);
    std::vector<std::wstring> files;
    KIV_FUZZ_CHECK(kiv::ExtractFiles(text, files));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring& file = files[i];
        KIV_FUZZ_CHECK(!file.empty() && file.find(L'"') == std::wstring::npos);
        KIV_FUZZ_CHECK(file.front() != L' ' && file.back() != L' ' && file.back() != L'\t');
        KIV_FUZZ_CHECK(std::count(files.begin(), files.end(), file) == 1);
    }
    kiv::CandidateList found;
    kiv::ExtractPathList(text.substr(0, kiv::kMaxPatternInput), found);
    kiv::ExtractRundll32(text.substr(0, kiv::kMaxPatternInput), found);
    for (int wow64 = 0; wow64 < 2; ++wow64) {
        std::wstring entry = text;
        int resolved = kiv::ResolveEntry(entry, static_cast<unsigned char>(wow64));
        // A resolved entry names a file that exists, unless it was blank.
        bool blank = text.find_first_not_of(L" \t\n\v\f\r") == std::wstring::npos;
        KIV_FUZZ_CHECK(resolved == 0 || blank || ShimFileExists(entry.c_str()));
    }
    return 0;
}
