// Names one item in a way that survives a new collection: its location and
// title (and, where needed, its category or state), or the global ID of this run.
#pragma once

#include <string>
#include <vector>

#include "ItemRow.h"

struct Selector {
    unsigned id = 0;  // 0: not given
    std::wstring title;
    std::wstring location;
    std::wstring category;
    std::wstring state;  // "enabled", "disabled", "removed" or empty
    // Another user's account ("DOMAIN\name", the name alone, or the SID text shown
    // for it): only that user's entries. Empty or "*": every user's and the machine's.
    std::wstring user;
    // Entries whose file carries a valid signature by one of these signers are left out.
    std::vector<std::wstring> hideSignedBy;

    bool Empty() const {
        return id == 0 && title.empty() && location.empty() && category.empty() && state.empty() &&
               (user.empty() || user == L"*");
    }
};

// Texts are compared whole, without regard to case.
bool Matches(const ItemRow& row, const Selector& selector);
// The one item an action names: nothing for a selector that names no item.
std::vector<const ItemRow*> Select(const std::vector<ItemRow>& rows, const Selector& selector);
// The items a listing shows: every item when the selector is empty.
std::vector<ItemRow> Filter(const std::vector<ItemRow>& rows, const Selector& selector);
