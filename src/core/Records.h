// The records of the catalogue (categories and their locations) and of a
// collection run (items).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "iteminfo/FileFacts.h"
#include "kiv.h"

// How the base go-to shows an item: its registry key or value in the registry
// editor, or its location's folder in Explorer. Other kinds have no go-to.
enum class GotoKind : unsigned { RegistryKey = 0, RegistryValue = 1, Explorer = 2, None = 3 };

// One place from which Windows starts programs, read by one handler.
class Location {
public:
    enum Type : unsigned { RegistryKey = 0, RegistryValue = 1, Folder = 2 };

    Location(const std::wstring& path, const std::wstring& value, unsigned type, EKivHandlerType handlerType,
             unsigned char wow64);

    void RemoveItemId(unsigned id);
    void ClearItemIds() { m_itemIds.clear(); }

    std::wstring m_path;
    std::wstring m_value;
    std::wstring m_fullPath;
    HKEY m_root;
    unsigned m_type;
    unsigned char m_wow64;
    std::vector<unsigned> m_itemIds;
    EKivHandlerType m_handlerType;
    CKivHandler* m_handler;

private:
    // Facts of places the file has left, kept for the pointers the host still holds.
    std::vector<std::unique_ptr<KivFileFacts>> m_superseded;
};

// A group of locations for the host's display; owns its locations.
class Category {
public:
    Category(const std::wstring& name, int icon);
    ~Category();
    Category(const Category&) = delete;
    Category& operator=(const Category&) = delete;

    std::wstring m_name;
    int m_icon;
    std::vector<Location*> m_locations;
};

// One entry found in a location during a collection run. Made by a handler,
// owned and destroyed by the facade.
class CKivItem {
public:
    CKivItem(const std::wstring& title, const std::wstring& fileText, Location* location, GotoKind gotoKind,
             unsigned win32, unsigned enabled, unsigned removed);
    ~CKivItem();
    CKivItem(const CKivItem&) = delete;
    CKivItem& operator=(const CKivItem&) = delete;

    // Describes the item's file at its new place after an action moved it. The
    // texts and the icon handed out before stay valid until the item goes.
    void RefillFacts(const std::wstring& path);

    std::wstring m_title;
    KivFileFacts m_file;
    std::vector<std::wstring> m_regNames;
    unsigned m_win32;
    unsigned m_enabled;
    unsigned m_removed;
    GotoKind m_gotoKind;
    unsigned m_globalId;
    Location* m_location;
    CKivHandler* m_handler;

private:
    // Facts of places the file has left, kept for the pointers the host still holds.
    std::vector<std::unique_ptr<KivFileFacts>> m_superseded;
};
