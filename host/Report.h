// kivctl's own ways to print a list of items beside the saved listing's JSON: a
// readable table and comma-separated values, each with the columns a person chose.
#pragma once

#include <string>
#include <vector>

#include "ItemRow.h"

std::vector<std::wstring> DefaultTableColumns();
// The same, with the user after the location when some row is another user's.
std::vector<std::wstring> DefaultTableColumns(const std::vector<ItemRow>& rows);
// A comma-separated list of column names; false with error set when one is unknown.
bool ParseColumns(const std::wstring& list, std::vector<std::wstring>& columns, std::wstring& error);

// A readable table with aligned columns (long texts are cut with "...").
std::wstring FormatTable(const std::vector<ItemRow>& rows);
std::wstring FormatTable(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& columns);
// Comma-separated values with a header line; fields quoted where they need it.
std::wstring FormatCsv(const std::vector<ItemRow>& rows);
std::wstring FormatCsv(const std::vector<ItemRow>& rows, const std::vector<std::wstring>& columns);

// Whether a listing in that format with those columns (none chosen: the format's
// own) shows a signature or a signer; JSON carries every column.
bool ShowsSignatures(const std::wstring& format, const std::vector<std::wstring>& columns);
