// Saved listings: a JSON array of objects, one per item with every column, as
// `kivctl list --format json` writes it and `diff` reads it back.
#pragma once

#include <string>
#include <vector>

#include "ItemRow.h"

// JSON's quoted form of a text.
std::wstring JsonString(const std::wstring& text);
// A JSON array of objects, one per item, with every column.
std::wstring FormatJson(const std::vector<ItemRow>& rows);
// One JSON object a line, one line per item with every column, each also naming the
// machine ("machine") and the time of the listing ("listed"), as log shippers take
// them line by line.
std::wstring FormatJsonLines(const std::vector<ItemRow>& rows, const std::wstring& machine, const std::wstring& listed);
// Reads a saved JSON listing back, an array or JSON lines (members it does not know are ignored); false
// with error set when the text is not such a listing.
bool ParseJsonListing(const std::wstring& text, std::vector<ItemRow>& rows, std::wstring& error);
// A saved listing from its file: UTF-8 (with or without a byte-order mark), as the
// host writes it. False with error set (naming the file) when it cannot be read or
// is not such a listing.
bool ReadListing(const std::wstring& path, std::vector<ItemRow>& rows, std::wstring& error);
