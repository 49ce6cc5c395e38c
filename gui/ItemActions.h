// What a person does to the selected item: disable, enable, remove (after a
// confirmation), restore, go to, copy, and its properties. Each says in the status
// bar what it did, or the system's reason why it could not.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "CollectionRunner.h"
#include "ItemListView.h"
#include "StatusBar.h"

class CKiv;

namespace kivgui {

class ItemActions {
public:
    ItemActions(CKiv* kiv, ItemListView& list, const CollectionRunner& runner, const StatusBar& status)
        : m_kiv(kiv), m_list(list), m_runner(runner), m_status(status) {}

    void Attach(HWND owner, HINSTANCE instance) {
        m_owner = owner;
        m_instance = instance;
    }

    // A row's check box or the Disable and Enable commands.
    void SetEnabled(size_t row, bool enable);
    void SetSelectedEnabled(bool enable);
    void RemoveSelected();
    void RestoreSelected();
    void GoToSelected();
    void CopySelectedPath();
    void CopySelectedRow();
    void ShowSelectedProperties();

private:
    // The module's items must not be touched while a collection runs.
    bool Allowed() const;
    // The rows whose entries a removal of the row's entry takes with it, its own
    // first (Winsock removes a provider with all its entries).
    std::vector<size_t> RowsRemovedWith(size_t index);
    void Copy(const std::wstring& text);

    CKiv* m_kiv;
    ItemListView& m_list;
    const CollectionRunner& m_runner;
    const StatusBar& m_status;
    HWND m_owner = nullptr;
    HINSTANCE m_instance = nullptr;
};

}  // namespace kivgui
