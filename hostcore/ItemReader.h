// How a host reads the rows of the last collection from the module: every fact
// CKiv gives about each item and, when asked, the signature of its file.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ItemRow.h"

class CKiv;

struct ReadOptions {
    // Checking a signature reads the whole file and may ask the system's catalogues:
    // a host that shows no signature leaves it out.
    bool signatures = true;
    // The MD5 of a service's library reads the whole library: a host that shows it
    // only on request (the window's properties) leaves it out.
    bool serviceDllMd5 = true;
};

// Every fact the module offers about one item (its category and location are
// left to the caller) but the signatures, which are checked for many rows at once.
ItemRow ReadItem(CKiv* kiv, unsigned id, bool serviceDllMd5);

// Every item of the last collection in the catalogue's order, each handed over
// with the index of its category.
void ReadItems(CKiv* kiv, const ReadOptions& options, const std::function<void(unsigned, ItemRow&&)>& take);
std::vector<ItemRow> ReadItems(CKiv* kiv, const ReadOptions& options = {});

// A user of the machine whose registry the last collection could not read (its
// locations there have no items), and the system's code of why.
struct UnreadUser {
    std::wstring user;
    unsigned long code = 0;
};
// Each such user once per cause, in the catalogue's order.
std::vector<UnreadUser> UnreadUsers(CKiv* kiv);
// What a host tells of it: "the registry of NAME was not read: MESSAGE".
std::wstring UnreadUserText(const UnreadUser& unread);

// The items registered since the last call, without signatures or the libraries'
// MD5: a location's items are in the map, whole, as soon as it has been read, so a
// host may show them while the collection goes on. known holds the IDs already
// handed over.
void ReadNewItems(CKiv* kiv, std::set<unsigned>& known, const std::function<void(unsigned, ItemRow&&)>& take);
