#include "handlers/steps/RegistryTree.h"

#include <shlwapi.h>

#include <utility>
#include <vector>

#include "handlers/steps/RegistryValues.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

// A subkey's whole content held in memory, so that a move can put an older target
// back exactly as it was.
struct KeyTree {
    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    std::vector<Value> values;
    std::vector<std::wstring> names;
    std::vector<KeyTree> subkeys;
};

enum class TreeRead { Ok, Absent, Unreadable };

Status ReadTree(HKEY key, KeyTree& tree);

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

Status ReadTreeSubkeys(HKEY key, DWORD maxKey, KeyTree& tree) {
    for (DWORD index = 0;; ++index) {
        std::vector<wchar_t> name(maxKey + 1);
        DWORD nameChars = maxKey + 1;
        LONG rc = RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return Status::Ok();
        if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
        UniqueHKey child;
        Status step = Status::FromRegistry(RegOpenKeyExW(key, name.data(), 0, KEY_READ, child.Put()));
        KeyTree subtree;
        if (step) step = ReadTree(child.Get(), subtree);
        if (!step) return step;
        tree.names.emplace_back(name.data(), nameChars);
        tree.subkeys.push_back(std::move(subtree));
    }
}

Status ReadTree(HKEY key, KeyTree& tree) {
    DWORD maxKey = 0, maxName = 0, maxData = 0;
    Status step = Status::FromRegistry(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxKey, nullptr,
                                                        nullptr, &maxName, &maxData, nullptr, nullptr));
    if (step) step = ReadTreeValues(key, maxName, maxData, tree);
    if (step) step = ReadTreeSubkeys(key, maxKey, tree);
    return step;
}

// An absent subkey is no failure: cause stays Ok. An unreadable one keeps the
// registry's answer.
TreeRead ReadSubtree(HKEY parent, const std::wstring& name, KeyTree& tree, Status& cause) {
    UniqueHKey key;
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Put());
    cause = Status::Ok();
    if (rc == ERROR_FILE_NOT_FOUND) return TreeRead::Absent;
    cause = Status::FromRegistry(rc);
    if (cause) cause = ReadTree(key.Get(), tree);
    return cause ? TreeRead::Ok : TreeRead::Unreadable;
}

bool WriteTree(HKEY parent, const std::wstring& name, const KeyTree& tree) {
    UniqueHKey key;
    if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool whole = true;
    for (const KeyTree::Value& value : tree.values)
        whole &= RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
    for (size_t i = 0; i < tree.subkeys.size(); ++i) whole &= WriteTree(key.Get(), tree.names[i], tree.subkeys[i]);
    return whole;
}

// The target as it was before the move: the older tree, or nothing at all.
void PutBack(HKEY parent, const std::wstring& name, const KeyTree* before) {
    DeleteRegTree(parent, name);
    if (before) WriteTree(parent, name, *before);
}

// Copies from\name with everything below it into to\name (created when missing);
// what to\name already holds and the source lacks stays.
Status CopyTree(HKEY from, HKEY to, const std::wstring& name) {
    UniqueHKey target;
    const Status created = Status::FromRegistry(
        RegCreateKeyExW(to, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.Put(), nullptr));
    if (!created) return created;
    return Status::FromRegistry(SHCopyKeyW(from, name.c_str(), target.Get(), 0));
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
    return Status::FromRegistry(SHDeleteKeyW(parent, name.c_str()));
}

Status MoveRegSubkey(HKEY from, HKEY to, const std::wstring& name, DeleteTreeFn deleteSource) {
    // An empty name would be the whole key, not a subkey of it.
    if (name.empty()) return Status::Fail(ERROR_INVALID_PARAMETER);
    {
        UniqueHKey source;
        const Status opened = Status::FromRegistry(RegOpenKeyExW(from, name.c_str(), 0, KEY_READ, source.Put()));
        if (!opened) return opened;
    }
    KeyTree older;
    Status unreadable;
    const TreeRead target = ReadSubtree(to, name, older, unreadable);
    if (target == TreeRead::Unreadable) return unreadable;
    const KeyTree* before = target == TreeRead::Ok ? &older : nullptr;
    // The entry moved in replaces an older one of the same name rather than mixing with it.
    Status step = before ? DeleteRegTree(to, name) : Status::Ok();
    if (step) step = CopyTree(from, to, name);
    if (!step) {
        PutBack(to, name, before);
        return step;
    }
    step = deleteSource(from, name);
    if (step) return step;
    // A delete that failed half way has taken part of the source with it: the copy
    // makes it whole again. Only then may the copy go; otherwise it is all we have.
    if (CopyTree(to, from, name)) PutBack(to, name, before);
    return step;
}

}  // namespace kiv
