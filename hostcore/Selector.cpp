#include "Selector.h"

#include <cwchar>

namespace {
bool SameText(const std::wstring& given, const std::wstring& actual) {
    return given.empty() || _wcsicmp(given.c_str(), actual.c_str()) == 0;
}
// An account as shown ("DOMAIN\name") is named whole or by its name alone.
bool SameUser(const std::wstring& given, const std::wstring& user) {
    if (given.empty() || given == L"*") return true;
    if (user.empty()) return false;
    if (_wcsicmp(given.c_str(), user.c_str()) == 0) return true;
    const size_t slash = user.rfind(L'\\');
    return slash != std::wstring::npos && _wcsicmp(given.c_str(), user.c_str() + slash + 1) == 0;
}
}  // namespace

bool Matches(const ItemRow& row, const Selector& selector) {
    if (selector.id != 0 && selector.id != row.id) return false;
    if (row.signature == L"signed")
        for (const std::wstring& signer : selector.hideSignedBy)
            if (_wcsicmp(signer.c_str(), row.signer.c_str()) == 0) return false;
    return SameText(selector.title, row.title) && SameText(selector.location, row.location) &&
           SameText(selector.category, row.category) && SameText(selector.state, StateText(row)) &&
           SameUser(selector.user, row.user);
}

std::vector<const ItemRow*> Select(const std::vector<ItemRow>& rows, const Selector& selector) {
    std::vector<const ItemRow*> found;
    if (selector.Empty()) return found;
    for (const ItemRow& row : rows)
        if (Matches(row, selector)) found.push_back(&row);
    return found;
}

std::vector<ItemRow> Filter(const std::vector<ItemRow>& rows, const Selector& selector) {
    std::vector<ItemRow> shown;
    for (const ItemRow& row : rows)
        if (Matches(row, selector)) shown.push_back(row);
    return shown;
}
