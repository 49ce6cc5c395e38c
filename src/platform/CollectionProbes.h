// What the file system answered during one collection, kept for the rest of it.
// Entries are resolved by probing many folders for names that are mostly absent,
// and each miss in a large folder makes the file system scan that folder for a
// name in another case. While a collection runs, a folder is listed once and the
// probes for plain names in it are answered from the listing.
#pragma once

#include <string>

namespace kiv {

// Keeps probe answers from its construction to its destruction on the thread that
// made it (the collecting thread); nested scopes share the outermost one.
class CollectionProbes {
public:
    CollectionProbes();
    ~CollectionProbes();
    CollectionProbes(const CollectionProbes&) = delete;
    CollectionProbes& operator=(const CollectionProbes&) = delete;

private:
    bool m_outermost;
};

// 1 when the path names an existing file or folder, 0 when it names none, -1 when
// the answer is not kept: no collection runs on this thread, or the path is not a
// folder followed by a plain name (wildcards, short-name markers, a trailing dot
// or space, relative paths), or the folder cannot be listed.
int KnownProbe(const std::wstring& path);

// Nonzero while a collection runs on this thread, and different for each
// collection: a value derived from the machine's state may be kept while it stays.
unsigned CollectionGeneration();

}  // namespace kiv
