#include "handlers/steps/RegistryTree.h"

#include <shlwapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "handlers/steps/RegistryValues.h"
#include "platform/Handles.h"
#include "platform/KeySecurity.h"
#include "platform/Text.h"

namespace kiv {
namespace {

// A subkey's whole content held in memory, its owner and access list included, so
// that a move writes it whole at its new place and can make its source whole again.
struct KeyTree {
    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::vector<Value> values;
    std::vector<std::wstring> names;
    std::vector<KeyTree> subkeys;
    KeySecurity security;
};

enum class TreeRead { Ok, Absent, Unreadable };

// What a move asks for on each key it writes: its content, and its access list and
// owner, which are set last, once nothing more is written below it.
const REGSAM kTreeWriteRights = kKeyChangeRights | WRITE_DAC;

Status ReadTree(HKEY key, REGSAM access, KeyTree& tree);

// Unlike a collection walk, a copy that is to be put back must be whole: any entry
// that cannot be read makes the whole read fail.
Status ReadTreeValues(HKEY key, DWORD maxName, DWORD maxData, KeyTree& tree) {
    for (DWORD index = 0;; ++index) {
        std::vector<wchar_t> name(maxName + 1);
        DWORD nameChars = maxName + 1;
        KeyTree::Value value;
        value.data.resize(maxData + 1);
        DWORD size = maxData + 1;
        LONG rc = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &value.type, value.data.data(), &size);
        if (rc == ERROR_NO_MORE_ITEMS) return Status::Ok();
        if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
        value.name.assign(name.data(), nameChars);
        value.data.resize(size);
        tree.values.push_back(std::move(value));
    }
}

Status ReadTreeSubkeys(HKEY key, REGSAM access, DWORD maxKey, KeyTree& tree) {
    for (DWORD index = 0;; ++index) {
        std::vector<wchar_t> name(maxKey + 1);
        DWORD nameChars = maxKey + 1;
        LONG rc = RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return Status::Ok();
        if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
        UniqueHKey child;
        Status step = Status::FromRegistry(RegOpenKeyExW(key, name.data(), 0, access, child.Put()));
        KeyTree subtree;
        if (step) step = ReadTree(child.Get(), access, subtree);
        if (!step) return step;
        tree.names.emplace_back(name.data(), nameChars);
        tree.subkeys.push_back(std::move(subtree));
    }
}

Status ReadTree(HKEY key, REGSAM access, KeyTree& tree) {
    DWORD maxKey = 0, maxName = 0, maxData = 0;
    Status step = Status::FromRegistry(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxKey, nullptr,
                                                        nullptr, &maxName, &maxData, nullptr, nullptr));
    if (step) step = ReadKeySecurity(key, tree.security);
    if (step) step = ReadTreeValues(key, maxName, maxData, tree);
    if (step) step = ReadTreeSubkeys(key, access, maxKey, tree);
    return step;
}

// Reads parent\name whole, opening every key of it with the rights given. An
// absent subkey is no failure: cause stays Ok. An unreadable one keeps the
// registry's answer.
TreeRead ReadSubtree(HKEY parent, const std::wstring& name, REGSAM access, KeyTree& tree, Status& cause) {
    UniqueHKey key;
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, access, key.Put());
    cause = Status::Ok();
    if (rc == ERROR_FILE_NOT_FOUND) return TreeRead::Absent;
    cause = Status::FromRegistry(rc);
    if (cause) cause = ReadTree(key.Get(), access, tree);
    return cause ? TreeRead::Ok : TreeRead::Unreadable;
}

// Writes the tree as parent\name (created when missing). Each key gets its owner
// and access list as soon as it is made, so that the keys below it inherit from
// that list as they did at their old place; the handle the key was made with keeps
// the rights to fill it whatever the list says.
Status WriteTree(HKEY parent, const std::wstring& name, const KeyTree& tree) {
    UniqueHKey key;
    Status step = Status::FromRegistry(
        RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, kTreeWriteRights, nullptr, key.Put(), nullptr));
    if (step) step = ApplyKeySecurity(key.Get(), tree.security);
    for (size_t i = 0; step && i < tree.values.size(); ++i) {
        const KeyTree::Value& value = tree.values[i];
        step = Status::FromRegistry(RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                                                   static_cast<DWORD>(value.data.size())));
    }
    for (size_t i = 0; step && i < tree.subkeys.size(); ++i)
        step = WriteTree(key.Get(), tree.names[i], tree.subkeys[i]);
    return step;
}

// Registry names are compared as the registry compares them: case-blind.
bool SameName(const std::wstring& a, const std::wstring& b) { return EqualsNoCase(a, b); }

// Whether two trees hold the same entry: the same values (names, types and bytes)
// and the same subkeys, whatever order the registry lists them in.
bool SameTree(const KeyTree& a, const KeyTree& b) {
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
    for (const KeyTree::Value& value : a.values) {
        const auto match = std::find_if(b.values.begin(), b.values.end(), [&](const KeyTree::Value& other) {
            return SameName(value.name, other.name) && value.type == other.type && value.data == other.data;
        });
        if (match == b.values.end()) return false;
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i) {
        size_t j = 0;
        while (j < b.subkeys.size() && !SameName(a.names[i], b.names[j])) ++j;
        if (j == b.subkeys.size() || !SameTree(a.subkeys[i], b.subkeys[j])) return false;
    }
    return true;
}

// After a delete of the source failed part way, the source is made whole again
// from the tree read before; only then may the copy at the target go, since
// otherwise it is all that is left of the entry.
Status MendSource(HKEY from, HKEY to, const std::wstring& name, const KeyTree& moving, bool dropCopy) {
    const Status mended = WriteTree(from, name, moving);
    if (mended && dropCopy) DeleteRegTree(to, name);
    return mended;
}

}  // namespace

void EnumRegSubkeys(HKEY key, const std::function<void(const std::wstring&)>& visit) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars] = {};
        DWORD nameChars = kNameChars;
        LONG rc = RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        visit(std::wstring(name, nameChars));
    }
}

Status DeleteRegTree(HKEY parent, const std::wstring& name) {
    KeyTree whole;
    Status cause;
    if (ReadSubtree(parent, name, KEY_READ | DELETE, whole, cause) != TreeRead::Ok)
        return cause ? Status::Fail(ERROR_FILE_NOT_FOUND) : cause;
    return Status::FromRegistry(SHDeleteKeyW(parent, name.c_str()));
}

Status MoveRegSubkey(HKEY from, HKEY to, const std::wstring& name, DeleteTreeFn deleteSource) {
    // An empty name would be the whole key, not a subkey of it.
    if (name.empty()) return Status::Fail(ERROR_INVALID_PARAMETER);
    KeyTree moving, there;
    Status cause;
    // The source must be read whole, its access lists included, or it could not be
    // written whole at its new place; and each of its keys must be one the process
    // may delete, or the move would stop half way with the entry in both places.
    if (ReadSubtree(from, name, KEY_READ | DELETE, moving, cause) != TreeRead::Ok)
        return cause ? Status::Fail(ERROR_FILE_NOT_FOUND) : cause;
    const TreeRead target = ReadSubtree(to, name, KEY_READ, there, cause);
    // A target we cannot read may be another entry: it is never written over.
    if (target == TreeRead::Unreadable) return cause;
    if (target == TreeRead::Ok && !SameTree(moving, there)) return Status::Fail(ERROR_ALREADY_EXISTS);
    // The same entry on both sides already stands where it goes: only the source goes.
    const bool copied = target == TreeRead::Absent;
    if (copied) {
        const Status written = WriteTree(to, name, moving);
        if (!written) {
            DeleteRegTree(to, name);
            return written;
        }
    }
    const Status deleted = deleteSource(from, name);
    if (!deleted) MendSource(from, to, name, moving, copied);
    return deleted;
}

}  // namespace kiv
