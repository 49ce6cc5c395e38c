// Three rows as a collection lists them, for the tests of the hosts' listings:
// an entry and its disabled copy under one run key, and an entry of another key
// whose texts need quoting in every format.
#pragma once

#include <vector>

#include "ItemRow.h"

namespace kivtest {

inline std::vector<ItemRow> SampleRows() {
    ItemRow a;
    a.id = 1;
    a.category = L"Run keys";
    a.location = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    a.title = L"Updater";
    a.enabled = true;
    a.filePath = L"C:\\Program Files\\Tools\\updater.exe";
    a.md5 = L"0123456789abcdef0123456789abcdef";
    ItemRow b = a;
    b.id = 2;
    b.enabled = false;
    ItemRow c = a;
    c.id = 3;
    c.location = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    c.title = L"Quote \"and\", comma\\back\tslash";
    c.publisher = L"Vendor, Inc.";
    return {a, b, c};
}

}  // namespace kivtest
