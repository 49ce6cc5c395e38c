// The digest does not depend on how the bytes are fed: one piece, or pieces cut at
// the lengths the input itself chooses; and a finished digest starts over clean.
#include <vector>

#include "FuzzInput.h"
#include "iteminfo/Md5.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char whole[16], pieces[16], again[16];
    CMd5 md5;
    md5.Update(data, size);
    md5.Final(whole);
    size_t pos = 0;
    for (size_t i = 0; pos < size; ++i) {
        size_t take = std::min<size_t>(size - pos, 1 + (data[i % size] % 97));
        md5.Update(data + pos, take);
        pos += take;
    }
    md5.Update(nullptr, 0);
    md5.Final(pieces);
    md5.Update(data, size);
    md5.Final(again);
    KIV_FUZZ_CHECK(std::equal(whole, whole + 16, pieces) && std::equal(whole, whole + 16, again));
    const std::wstring text = kiv::Md5Text(whole);
    KIV_FUZZ_CHECK(text.size() == 32 && text.find_first_not_of(L"0123456789abcdef") == std::wstring::npos);
    return 0;
}
