// Finds the version resource of an executable image by reading its headers and
// resource directory, a few small reads in all. The platform's version call loads
// the whole image to find the same bytes; the collection asks it only where the
// directory alone cannot settle the answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kiv {

// Reads exactly `size` bytes at `offset` of the file; false when they are not all there.
using ReadAt = std::function<bool(std::uint64_t offset, void* into, std::size_t size)>;

enum class VersionLookup {
    Absent,     // a well-formed image without a version resource
    Found,      // the one version resource, at offset and size in the file
    AskSystem,  // anything else: another format, a resource in several languages,
                // an image whose texts come from a language file, or a damaged image
};

struct VersionPlace {
    VersionLookup lookup = VersionLookup::AskSystem;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

// The version resource (type 16, ID 1) of a 32- or 64-bit image of fileSize bytes.
// Found only when it is the resource's one language, lies whole in the file's raw
// data and is at most largest bytes long.
VersionPlace FindVersionResource(const ReadAt& read, std::uint64_t fileSize, std::uint32_t largest);

}  // namespace kiv
