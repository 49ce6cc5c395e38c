// What the fuzz targets share: the input bytes read as the module reads its files
// and registry texts, as UTF-16 little-endian code units.
//
// The targets are built natively, where wchar_t holds 32 bits. The sources are the
// same as in the library; only the input is decoded here, one 16-bit unit per
// wchar_t (unpaired surrogates and all), so the parsers see exactly the sequences
// of code units they see on Windows and never a value above 0xFFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

namespace kivfuzz {

// An odd last byte is paired with a zero, as when a file of odd size is read whole.
inline std::wstring Utf16Units(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    text.reserve((size + 1) / 2);
    for (std::size_t i = 0; i < size; i += 2) {
        unsigned low = data[i], high = i + 1 < size ? data[i + 1] : 0;
        text.push_back(static_cast<wchar_t>(low | (high << 8)));
    }
    return text;
}

// A broken invariant is a finding: report it and stop so the fuzzer keeps the input.
#define KIV_FUZZ_CHECK(condition)                                                              \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

}  // namespace kivfuzz
