// The list of every item the last collection found, grouped by category: its
// columns, icons, sort order, filter and check boxes. A check box changed by a
// person asks the owner for the matching action.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "GuiHandles.h"
#include "GuiModel.h"
#include "Settings.h"
#include "StatusBar.h"

class CKiv;

namespace kivgui {

class ItemListView {
public:
    // Posted to the owner when a person changed a check box: wParam the row,
    // lParam nonzero to enable.
    static constexpr UINT kMsgToggle = WM_APP + 2;

    ItemListView(CKiv* kiv, const StatusBar& status) : m_kiv(kiv), m_status(status) {}

    // Makes the list view, with its columns at the stored widths (at 96 dots per inch)
    // and the stored choice to hide whitelisted items.
    HWND Create(HWND owner, HINSTANCE instance, int id, const Settings& settings, UINT dpi);
    HWND Handle() const { return m_list; }

    // Forgets every row and list entry: a new collection destroys their items.
    void Clear();
    // Reads the rows of the last collection from the module.
    void Load();
    // Copies the items' icons at the size for dpi.
    void BuildImages(UINT dpi);
    // Fills the list with the rows the filter shows, in the chosen order.
    void Populate();
    void SetFilter(const std::wstring& text);
    void SetHideWhitelisted(bool hide);

    size_t RowCount() const { return m_rows.size(); }
    // The selected row, or null; index gets its place among the rows.
    GuiRow* Selected(size_t* index = nullptr);
    GuiRow* Row(size_t index) { return index < m_rows.size() ? &m_rows[index] : nullptr; }
    // Shows the module's view of a row again after an action, check box included.
    void ShowRowState(size_t row);
    // A row removed through the window: no longer shown.
    void Drop(size_t row);

    // The list's own notifications: check boxes and sorting; false for the others.
    bool OnNotify(const NMHDR* header);
    // Column widths follow the monitor's dots per inch.
    void ScaleColumns(UINT oldDpi, UINT newDpi);
    // The column widths at 96 dots per inch, to be kept.
    std::vector<int> StoredWidths(UINT dpi) const;

private:
    void Sort(int column, bool toggle);
    int ListIndexOfRow(size_t row) const;
    void UpdateCountText();
    void OnItemChanged(const NMLISTVIEW* change);

    CKiv* m_kiv;
    const StatusBar& m_status;
    HWND m_owner = nullptr;
    HWND m_list = nullptr;
    UniqueImageList m_images;
    std::vector<GuiRow> m_rows;
    std::wstring m_filterText;
    bool m_hideWhitelisted = false;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    bool m_updatingList = false;  // check box changes made by the window itself
};

}  // namespace kivgui
