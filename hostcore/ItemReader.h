// How a host reads the rows of the last collection from the module: every fact
// CKiv gives about each item and, when asked, the signature of its file.
#pragma once

#include <functional>
#include <vector>

#include "ItemRow.h"

class CKiv;
class SignatureChecker;

struct ReadOptions {
    // Checking a signature reads the whole file and may ask the system's catalogues:
    // a host that shows no signature leaves it out.
    bool signatures = true;
};

// Every fact the module offers about one item (its category and location are
// left to the caller); the signature and signer only with a checker.
ItemRow ReadItem(CKiv* kiv, unsigned id, SignatureChecker* signatures);

// Every item of the last collection in the catalogue's order, each handed over
// with the index of its category.
void ReadItems(CKiv* kiv, const ReadOptions& options, const std::function<void(unsigned, ItemRow&&)>& take);
std::vector<ItemRow> ReadItems(CKiv* kiv, const ReadOptions& options = {});
