// What a host shows of an item, and the facts of a row by name: each fact is
// named once here (its key, its title, how it is written and read back), so every
// listing, saved listing and window that names facts by key names the same ones.
#pragma once

#include <string>
#include <vector>

struct ItemRow {
    unsigned id = 0;
    std::wstring category;
    std::wstring location;
    std::wstring user;  // whose entry: another user's account, empty for the running user's and the machine's
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
    bool startupSwitchOff = false;  // Windows' own startup switch keeps the entry from starting
    std::wstring serviceDll;        // the library a shared service host loads for the service
    std::wstring serviceDllMd5;
    std::wstring serviceDllSignature;
    std::wstring serviceDllSigner;
    // Columns a saved listing did not hold (one written before they existed): their
    // values are unknown, not empty, so a diff does not compare them.
    std::vector<std::wstring> unknownColumns;
};

// "enabled", "disabled" or "removed".
std::wstring StateText(const ItemRow& row);

enum class ColumnKind { Text, Number, Flag };

// One fact of a row: its key (as JSON names it), its title, the widest a table
// shows it, and how its text is read from and written to a row. Flags read as
// "yes" and "no".
struct ItemColumn {
    const wchar_t* key;
    const wchar_t* title;
    size_t maxWidth;
    ColumnKind kind;
    std::wstring (*get)(const ItemRow&);
    void (*set)(ItemRow&, const std::wstring&);
};

// Every column, in the order a saved listing writes them.
const std::vector<ItemColumn>& ItemColumns();
// The column of a key, without regard to case; null for an unknown one.
const ItemColumn* FindColumn(const std::wstring& key);
// Every column's key, in that order.
std::vector<std::wstring> AllColumns();
// The text of one column of a row, as a table shows it; empty for an unknown column.
std::wstring ColumnText(const ItemRow& row, const std::wstring& column);
