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
    std::wstring shortcutTarget;
    std::wstring created;  // "YYYY-MM-DD hh:mm", as the module gives it
    std::wstring modified;
    unsigned locationType = 0;  // 0 registry key, 1 registry value, 2 folder
    std::wstring registryKey;   // where the entry lives in the registry, when it does
    std::wstring registryValue;
    bool win32 = false;  // found in the 32-bit registry view
    bool isProtected = false;
    std::wstring signature;  // "signed", "not signed", "bad signature", "untrusted root"
    std::wstring signer;
};

std::wstring StateText(const ItemRow& row);

// Columns are named by their JSON keys ("id", "title", "signer", ...), without regard to case.
std::vector<std::wstring> AllColumns();
std::vector<std::wstring> DefaultTableColumns();
// A comma-separated list of column names; false with error set when one is unknown.
bool ParseColumns(const std::wstring& list, std::vector<std::wstring>& columns, std::wstring& error);

// A readable table with aligned columns (long texts are cut with "...").
std::wstring FormatTable(const std::vector<ItemRow>& rows);
std::wstring FormatTable(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& columns);
// A JSON array of objects, one per item, with every column.
std::wstring FormatJson(const std::vector<ItemRow>& rows);
// Comma-separated values with a header line; fields quoted where they need it.
std::wstring FormatCsv(const std::vector<ItemRow>& rows);
std::wstring FormatCsv(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& columns);

// The text of one column of a row, as a table shows it; empty for an unknown column.
std::wstring ColumnText(const ItemRow& row, const std::wstring& column);
// Reads a saved JSON listing back (members it does not know are ignored); false
// with error set when the text is not such a listing.
bool ParseJsonListing(const std::wstring& text, std::vector<ItemRow>& rows, std::wstring& error);
// JSON's quoted form of a text.
std::wstring JsonString(const std::wstring& text);
