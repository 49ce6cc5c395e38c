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
// Reads a saved JSON listing back (members it does not know are ignored); false
// with error set when the text is not such a listing.
bool ParseJsonListing(const std::wstring& text, std::vector<ItemRow>& rows, std::wstring& error);
// A saved listing from its file: UTF-8 (with or without a byte-order mark), as the
// host writes it. False with error set (naming the file) when it cannot be read or
// is not such a listing.
bool ReadListing(const std::wstring& path, std::vector<ItemRow>& rows, std::wstring& error);
