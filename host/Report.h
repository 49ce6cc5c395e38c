// What the host shows of an item, and the three ways it prints a list of them.
#pragma once

#include <string>
#include <vector>

struct ItemRow {
    unsigned id = 0;
    std::wstring category;
    std::wstring location;
    std::wstring title;
    bool enabled = false;
    bool removed = false;
    std::wstring filePath;
    std::wstring publisher;
    std::wstring description;
    std::wstring md5;
    unsigned long long size = 0;
    bool whitelisted = false;
};

std::wstring StateText(const ItemRow& row);

// A readable table with aligned columns (long texts are cut with "...").
std::wstring FormatTable(const std::vector<ItemRow>& rows);
// A JSON array of objects, one per item.
std::wstring FormatJson(const std::vector<ItemRow>& rows);
// Comma-separated values with a header line; fields quoted where they need it.
std::wstring FormatCsv(const std::vector<ItemRow>& rows);
