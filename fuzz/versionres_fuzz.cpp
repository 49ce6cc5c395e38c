// An image's resource directory read from hostile bytes: every read the finder asks
// for is small and answered within the input, and a resource it finds lies whole
// inside the input and within the size it was allowed.
#include <cstring>

#include "FuzzInput.h"
#include "iteminfo/VersionResource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t largest = 0x4000;
    const kiv::ReadAt read = [data, size](std::uint64_t offset, void* into, std::size_t count) {
        KIV_FUZZ_CHECK(count <= 0x10000);
        if (offset > size || count > size - offset) return false;
        if (count) std::memcpy(into, data + offset, count);
        return true;
    };
    const kiv::VersionPlace place = kiv::FindVersionResource(read, size, largest);
    if (place.lookup == kiv::VersionLookup::Found) {
        KIV_FUZZ_CHECK(place.size > 0 && place.size <= largest);
        KIV_FUZZ_CHECK(place.offset <= size && place.size <= size - place.offset);
    }
    return 0;
}
