#include "Diff.h"

#include <cwctype>
#include <map>
#include <tuple>

#include "Listing.h"

namespace {

using EntryKey = std::tuple<std::wstring, std::wstring, std::wstring>;

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

EntryKey KeyOf(const ItemRow& row) { return {Folded(row.category), Folded(row.location), Folded(row.title)}; }

const wchar_t* const kComparedColumns[] = {L"file",
                                           L"md5",
                                           L"state",
                                           L"signature",
                                           L"signer",
                                           L"serviceDll",
                                           L"serviceDllMd5",
                                           L"serviceDllSignature",
                                           L"serviceDllSigner"};

bool IsPath(const std::wstring& column) { return column == L"file" || column == L"serviceDll"; }

bool Unknown(const ItemRow& row, const wchar_t* column) {
    for (const std::wstring& unknown : row.unknownColumns)
        if (unknown == column) return true;
    return false;
}

std::vector<FieldChange> Changes(const ItemRow& before, const ItemRow& after) {
    std::vector<FieldChange> changes;
    for (const wchar_t* column : kComparedColumns) {
        if (Unknown(before, column) || Unknown(after, column)) continue;
        std::wstring was = ColumnText(before, column), now = ColumnText(after, column);
        // Paths are compared as Windows compares them; the rest exactly.
        bool same = IsPath(column) ? Folded(was) == Folded(now) : was == now;
        if (!same) changes.push_back({column, was, now});
    }
    return changes;
}

struct Group {
    std::vector<const ItemRow*> before;
    std::vector<const ItemRow*> after;
};

// Within one key (an entry and its disabled copy share it), entries of the same
// state pair first, so disabling one of two copies reads as one change.
void PairGroup(Group& group, ListingDiff& diff) {
    std::vector<bool> used(group.after.size(), false);
    std::vector<const ItemRow*> unpaired;
    for (const ItemRow* old : group.before) {
        size_t match = group.after.size();
        for (size_t i = 0; i < group.after.size() && match == group.after.size(); ++i)
            if (!used[i] && StateText(*group.after[i]) == StateText(*old)) match = i;
        if (match == group.after.size()) {
            unpaired.push_back(old);
            continue;
        }
        used[match] = true;
        std::vector<FieldChange> changes = Changes(*old, *group.after[match]);
        if (!changes.empty()) diff.changed.push_back({*old, *group.after[match], changes});
    }
    size_t next = 0;
    for (const ItemRow* old : unpaired) {
        while (next < used.size() && used[next]) ++next;
        if (next == used.size()) {
            diff.removed.push_back(*old);
            continue;
        }
        used[next] = true;
        diff.changed.push_back({*old, *group.after[next], Changes(*old, *group.after[next])});
    }
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i]) diff.added.push_back(*group.after[i]);
}

std::wstring Entry(const ItemRow& row) { return row.category + L" | " + row.location + L" | " + row.title; }

std::wstring EntryJson(const ItemRow& row) {
    return L"\"category\": " + JsonString(row.category) + L", \"location\": " + JsonString(row.location) +
           L", \"title\": " + JsonString(row.title);
}

std::wstring RowsJson(const std::vector<ItemRow>& rows) {
    std::wstring out = L"[";
    for (size_t i = 0; i < rows.size(); ++i)
        out += (i ? L", {" : L"{") + EntryJson(rows[i]) + L", \"state\": " + JsonString(StateText(rows[i])) +
               L", \"file\": " + JsonString(rows[i].filePath) + L", \"md5\": " + JsonString(rows[i].md5) +
               L", \"signer\": " + JsonString(rows[i].signer) + L"}";
    return out + L"]";
}

}  // namespace

ListingDiff CompareListings(const std::vector<ItemRow>& before, const std::vector<ItemRow>& after) {
    // Keys in the order of the new listing, then keys only the old one has.
    std::map<EntryKey, Group> groups;
    std::vector<EntryKey> order;
    for (const ItemRow& row : after) {
        Group& group = groups[KeyOf(row)];
        if (group.after.empty() && group.before.empty()) order.push_back(KeyOf(row));
        group.after.push_back(&row);
    }
    for (const ItemRow& row : before) {
        Group& group = groups[KeyOf(row)];
        if (group.after.empty() && group.before.empty()) order.push_back(KeyOf(row));
        group.before.push_back(&row);
    }
    ListingDiff diff;
    for (const EntryKey& key : order) PairGroup(groups[key], diff);
    return diff;
}

std::wstring FormatDiffTable(const ListingDiff& diff) {
    if (diff.Empty()) return L"No changes.\n";
    std::wstring out;
    for (const ItemRow& row : diff.added) out += L"+ " + Entry(row) + L"  (" + row.filePath + L")\n";
    for (const ItemRow& row : diff.removed) out += L"- " + Entry(row) + L"  (" + row.filePath + L")\n";
    for (const ChangedEntry& entry : diff.changed) {
        out += L"~ " + Entry(entry.after) + L"\n";
        for (const FieldChange& change : entry.changes)
            out += L"    " + change.column + L": " + change.before + L" -> " + change.after + L"\n";
    }
    return out;
}

std::wstring FormatDiffJson(const ListingDiff& diff) {
    std::wstring out =
        L"{\"added\": " + RowsJson(diff.added) + L",\n \"removed\": " + RowsJson(diff.removed) + L",\n \"changed\": [";
    for (size_t i = 0; i < diff.changed.size(); ++i) {
        out += (i ? L",\n   {" : L"\n   {") + EntryJson(diff.changed[i].after) + L", \"changes\": [";
        const std::vector<FieldChange>& changes = diff.changed[i].changes;
        for (size_t c = 0; c < changes.size(); ++c)
            out += (c ? L", {\"column\": " : L"{\"column\": ") + JsonString(changes[c].column) + L", \"before\": " +
                   JsonString(changes[c].before) + L", \"after\": " + JsonString(changes[c].after) + L"}";
        out += L"]}";
    }
    return out + L"]}\n";
}
