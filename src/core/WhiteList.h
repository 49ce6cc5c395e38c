// The whitelist: MD5 texts of files known to be harmless, read from "kivwl.dat"
// beside the host's executable, and with it the protected-file check of the
// host's sibling library, which together say whether a file is harmless.
#pragma once

#include <map>
#include <string>

#include "iteminfo/FileFacts.h"

class CKivTestAccess;

namespace kiv {

class WhiteList {
public:
    // Adds the entries of a whitelist text; false when it lists none.
    bool Load(const wchar_t* text);
    // Adds the entries of a whitelist file; false for a missing name or file, or
    // one that lists nothing.
    bool LoadFile(const wchar_t* path, const wchar_t* name);
    // Reads "kivwl.dat" beside the host's executable; a message box says when it
    // could not.
    void LoadHostFile();
    // Whether a file is harmless: protected by the system, or its MD5 listed.
    bool Covers(const KivFileFacts& file) const;

private:
    friend class ::CKivTestAccess;

    std::map<std::wstring, unsigned> m_entries;
};

}  // namespace kiv
