// What changed between two listings of the same machine: entries that appeared,
// entries that went away, and entries whose file, MD5, state or signer changed, or
// whose service library (path, MD5, signature, signer) did.
// An entry is the same entry when its category, location and title are the same
// (without regard to case): IDs are only valid within one run.
#pragma once

#include <string>
#include <vector>

#include "ItemRow.h"

struct FieldChange {
    std::wstring column;  // "file", "md5", "state", "signer", "signature" or a "serviceDll..." column
    std::wstring before;
    std::wstring after;
};

struct ChangedEntry {
    ItemRow before;
    ItemRow after;
    std::vector<FieldChange> changes;
};

struct ListingDiff {
    std::vector<ItemRow> added;
    std::vector<ItemRow> removed;
    std::vector<ChangedEntry> changed;

    bool Empty() const { return added.empty() && removed.empty() && changed.empty(); }
};

ListingDiff CompareListings(const std::vector<ItemRow>& before, const std::vector<ItemRow>& after);

// One line per entry: "+" added, "-" removed, "~" changed with each change below it.
std::wstring FormatDiffTable(const ListingDiff& diff);
// {"added": [...], "removed": [...], "changed": [{"category", "location", "title", "changes": [...]}]}
std::wstring FormatDiffJson(const ListingDiff& diff);
