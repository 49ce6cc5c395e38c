#include "iteminfo/VersionResource.h"

#include <cstring>
#include <vector>

namespace kiv {
namespace {

const std::uint32_t kVersionType = 16;
const std::uint32_t kVersionId = 1;
const std::uint32_t kResourceDirectory = 2;  // the data directory's slot for resources
const std::uint32_t kHighBit = 0x80000000u;
const unsigned kMostSections = 96;   // the loader's own limit
const unsigned kMostEntries = 4096;  // a directory with more is read by the system
const std::uint32_t kHeaderBytes = 0x1000;

std::uint16_t Word(const unsigned char* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }
std::uint32_t Dword(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

struct Section {
    std::uint32_t address, virtualSize, rawSize, rawOffset;
};

// An image as far as its resources need it: the sections, and the place of the
// resource directory.
struct Image {
    std::vector<Section> sections;
    std::uint32_t resourceAddress = 0;
    std::uint32_t resourceSize = 0;
};

// The file offset of `size` bytes at a relative address, when they lie whole in one
// section's raw data.
bool FileOffsetOf(const Image& image, std::uint64_t address, std::uint32_t size, std::uint64_t& offset) {
    for (const Section& section : image.sections) {
        if (address < section.address) continue;
        const std::uint64_t into = address - section.address;
        if (into + size > section.rawSize) continue;
        offset = section.rawOffset + into;
        return true;
    }
    return false;
}

// The relative address of a place in the resource data, without wrapping around.
std::uint64_t Resource(const Image& image, std::uint64_t at) {
    return static_cast<std::uint64_t>(image.resourceAddress) + at;
}

enum class Parse { Ok, NoResources, Other };

Parse ReadImage(const ReadAt& read, Image& image) {
    unsigned char dos[64];
    if (!read(0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') return Parse::Other;
    const std::uint32_t peAt = Dword(dos + 0x3C);
    unsigned char header[24 + 240];
    if (peAt > kHeaderBytes * 16 || !read(peAt, header, 24 + 2)) return Parse::Other;
    if (std::memcmp(header, "PE\0\0", 4) != 0) return Parse::Other;
    const unsigned sectionCount = Word(header + 6);
    const unsigned optionalSize = Word(header + 20);
    const std::uint16_t magic = Word(header + 24);
    const unsigned directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
    if (!directories || optionalSize > sizeof(header) - 24 || optionalSize < directories) return Parse::Other;
    if (sectionCount > kMostSections || !read(peAt, header, 24 + optionalSize)) return Parse::Other;
    const std::uint32_t slots = Dword(header + 24 + directories - 4);
    const unsigned slotAt = 24 + directories + 8 * kResourceDirectory;
    if (slots <= kResourceDirectory || slotAt + 8 > 24 + optionalSize) return Parse::NoResources;
    image.resourceAddress = Dword(header + slotAt);
    image.resourceSize = Dword(header + slotAt + 4);
    if (image.resourceAddress == 0 || image.resourceSize == 0) return Parse::NoResources;

    std::vector<unsigned char> table(sectionCount * 40u);
    if (sectionCount && !read(static_cast<std::uint64_t>(peAt) + 24 + optionalSize, table.data(), table.size()))
        return Parse::Other;
    for (unsigned i = 0; i < sectionCount; ++i) {
        const unsigned char* at = table.data() + 40 * i;
        const Section section{Dword(at + 12), Dword(at + 8), Dword(at + 16), Dword(at + 20)};
        // Raw data that does not start on a 512-byte boundary is placed otherwise by
        // the loader than its header says: such an image is left to the system.
        if (section.rawSize != 0 && section.rawOffset % 0x200 != 0) return Parse::Other;
        image.sections.push_back(section);
    }
    return Parse::Ok;
}

// Whether `size` bytes at `at` lie inside the resource data the image declares: the
// directories are read only there, as the loader reads them.
bool Within(const Image& image, std::uint64_t at, std::uint64_t size) {
    return at <= image.resourceSize && size <= image.resourceSize - at;
}

struct Entry {
    std::uint32_t name, target;
};

// The entries of the directory at `at` (an offset into the resource data); false
// when it cannot be read whole.
bool ReadDirectory(const ReadAt& read, const Image& image, std::uint32_t at, std::vector<Entry>& named,
                   std::vector<Entry>& numbered) {
    std::uint64_t offset = 0;
    unsigned char head[16];
    if (!Within(image, at, 16) || !FileOffsetOf(image, Resource(image, at), 16, offset) ||
        !read(offset, head, sizeof(head)))
        return false;
    const unsigned namedCount = Word(head + 12), numberedCount = Word(head + 14);
    const unsigned total = namedCount + numberedCount;
    if (total > kMostEntries || !Within(image, at + 16, 8 * total)) return false;
    std::vector<unsigned char> entries(8u * total);
    if (total && (!FileOffsetOf(image, Resource(image, at + 16), 8 * total, offset) ||
                  !read(offset, entries.data(), entries.size())))
        return false;
    for (unsigned i = 0; i < total; ++i) {
        const Entry entry{Dword(entries.data() + 8 * i), Dword(entries.data() + 8 * i + 4)};
        (i < namedCount ? named : numbered).push_back(entry);
    }
    return true;
}

// Whether a named entry is called "MUI", in any case: the type of the resource
// that ties an image to the language files its texts come from.
bool NamedMui(const ReadAt& read, const Image& image, const Entry& entry, bool& readable) {
    std::uint64_t offset = 0;
    unsigned char text[2 + 2 * 3];
    const std::uint32_t at = entry.name & ~kHighBit;
    readable = Within(image, at, 2) && FileOffsetOf(image, Resource(image, at), 2, offset) && read(offset, text, 2);
    if (!readable || Word(text) != 3) return false;
    readable = Within(image, at, sizeof(text)) && FileOffsetOf(image, Resource(image, at), sizeof(text), offset) &&
               read(offset, text, sizeof(text));
    if (!readable) return false;
    const char kName[] = "MUI";
    for (int i = 0; i < 3; ++i) {
        std::uint16_t c = Word(text + 2 + 2 * i);
        if (c >= 'a' && c <= 'z') c = static_cast<std::uint16_t>(c - 'a' + 'A');
        if (c != static_cast<std::uint16_t>(kName[i])) return false;
    }
    return true;
}

const Entry* FindNumbered(const std::vector<Entry>& entries, std::uint32_t id) {
    for (const Entry& entry : entries)
        if (entry.name == id) return &entry;
    return nullptr;
}

VersionPlace Ask() { return VersionPlace(); }

}  // namespace

VersionPlace FindVersionResource(const ReadAt& read, std::uint64_t fileSize, std::uint32_t largest) {
    VersionPlace absent;
    absent.lookup = VersionLookup::Absent;
    Image image;
    const Parse parsed = ReadImage(read, image);
    if (parsed == Parse::NoResources) return absent;
    if (parsed != Parse::Ok) return Ask();

    std::vector<Entry> named, numbered;
    if (!ReadDirectory(read, image, 0, named, numbered)) return Ask();
    for (const Entry& entry : named) {
        bool readable = false;
        if (NamedMui(read, image, entry, readable) || !readable) return Ask();
    }
    const Entry* type = FindNumbered(numbered, kVersionType);
    if (!type) return absent;
    if (!(type->target & kHighBit)) return Ask();

    std::vector<Entry> names, ids;
    if (!ReadDirectory(read, image, type->target & ~kHighBit, names, ids)) return Ask();
    const Entry* id = FindNumbered(ids, kVersionId);
    if (!id || !(id->target & kHighBit)) return Ask();

    std::vector<Entry> languageNames, languages;
    if (!ReadDirectory(read, image, id->target & ~kHighBit, languageNames, languages)) return Ask();
    if (!languageNames.empty() || languages.size() != 1 || (languages[0].target & kHighBit)) return Ask();

    std::uint64_t offset = 0;
    unsigned char data[16];
    if (!Within(image, languages[0].target, 16) ||
        !FileOffsetOf(image, Resource(image, languages[0].target), 16, offset) || !read(offset, data, sizeof(data)))
        return Ask();
    VersionPlace found;
    found.size = Dword(data + 4);
    if (found.size == 0 || found.size > largest || !FileOffsetOf(image, Dword(data), found.size, found.offset) ||
        found.offset + found.size > fileSize)
        return Ask();
    found.lookup = VersionLookup::Found;
    return found;
}

}  // namespace kiv
