#include "ItemListView.h"

#include <algorithm>
#include <set>
#include <utility>

#include "Dpi.h"
#include "ItemReader.h"
#include "kiv.h"

namespace kivgui {

namespace {

int CALLBACK CompareListRows(LPARAM a, LPARAM b, LPARAM context) {
    auto* order = reinterpret_cast<std::pair<const std::vector<GuiRow>*, int>*>(context);
    const std::vector<GuiRow>& rows = *order->first;
    int column = order->second >= 0 ? order->second : -order->second - 1;
    int result = CompareRows(rows[static_cast<size_t>(a)].item, rows[static_cast<size_t>(b)].item, column);
    return order->second >= 0 ? result : -result;
}

}  // namespace

HWND ItemListView::Create(HWND owner, HINSTANCE instance, int id, const Settings& settings, UINT dpi) {
    m_owner = owner;
    m_hideWhitelisted = settings.hideWhitelisted;
    m_list = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"Startup entries",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS, 0, 0,
        10, 10, owner, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER |
                                                  LVS_EX_HEADERDRAGDROP | LVS_EX_LABELTIP);
    ListView_EnableGroupView(m_list, TRUE);
    for (int column = 0; column < ColumnCount; ++column) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        lvc.pszText = const_cast<wchar_t*>(ColumnTitle(column));
        lvc.cx = Scale(settings.columnWidths[static_cast<size_t>(column)], dpi);
        lvc.iSubItem = column;
        ListView_InsertColumn(m_list, column, &lvc);
    }
    return m_list;
}

void ItemListView::Clear() {
    m_updatingList = true;
    ListView_DeleteAllItems(m_list);
    m_updatingList = false;
    m_rows.clear();
    m_known.clear();
}

// The window shows no signature, so the rows are read without checking one, and
// a library's MD5 only in an item's properties.
void ItemListView::Load() {
    m_rows.clear();
    m_known.clear();
    ReadOptions options;
    options.signatures = false;
    options.serviceDllMd5 = false;
    ReadItems(m_kiv, options, [this](unsigned category, ItemRow&& item) {
        GuiRow row;
        row.item = std::move(item);
        row.category = category;
        m_rows.push_back(std::move(row));
    });
}

void ItemListView::LoadNew() {
    const size_t first = m_rows.size();
    ReadNewItems(m_kiv, m_known, [this](unsigned category, ItemRow&& item) {
        GuiRow row;
        row.item = std::move(item);
        row.category = category;
        m_rows.push_back(std::move(row));
    });
    if (first == m_rows.size()) return;
    m_updatingList = true;
    for (size_t r = first; r < m_rows.size(); ++r) InsertRow(r);
    m_updatingList = false;
    UpdateCountText();
}

// The image list holds copies of the items' icons at the window's current size;
// image 0 stands in for an item without an icon.
void ItemListView::BuildImages(UINT dpi) {
    int size = Scale(16, dpi);
    UniqueImageList images(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 16, 16));
    if (!images) return;
    ImageList_ReplaceIcon(images.Get(), -1, LoadIconW(nullptr, IDI_APPLICATION));
    for (GuiRow& row : m_rows) {
        HICON icon = m_kiv->GetItemIcon(row.item.id);
        int index = icon ? ImageList_ReplaceIcon(images.Get(), -1, icon) : -1;
        row.image = index >= 0 ? index : 0;
    }
    ListView_SetImageList(m_list, images.Get(), LVSIL_SMALL);
    m_images = std::move(images);
    if (ListView_GetItemCount(m_list) > 0) Populate();
}

void ItemListView::SetFilter(const std::wstring& text) {
    m_filterText = text;
    Populate();
}

void ItemListView::SetHideWhitelisted(bool hide) {
    m_hideWhitelisted = hide;
    Populate();
}

void ItemListView::Populate() {
    m_updatingList = true;
    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_list);
    ListView_RemoveAllGroups(m_list);
    for (size_t r = 0; r < m_rows.size(); ++r) InsertRow(r);
    if (m_sortColumn >= 0) Sort(m_sortColumn, false);
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
    m_updatingList = false;
    UpdateCountText();
}

void ItemListView::InsertRow(size_t r) {
    GuiRow& row = m_rows[r];
    if (row.gone || !MatchesFilter(row.item, m_filterText, m_hideWhitelisted)) return;
    const int groupId = static_cast<int>(row.category) + 1;
    if (!ListView_HasGroup(m_list, groupId)) {
        LVGROUP group = {};
        group.cbSize = sizeof(group);
        group.mask = LVGF_HEADER | LVGF_GROUPID;
        group.pszHeader = const_cast<wchar_t*>(row.item.category.c_str());
        group.iGroupId = groupId;
        ListView_InsertGroup(m_list, -1, &group);
    }
    LVITEMW lvi = {};
    lvi.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_GROUPID;
    lvi.iItem = ListView_GetItemCount(m_list);
    lvi.pszText = const_cast<wchar_t*>(row.item.title.c_str());
    lvi.iImage = row.image;
    lvi.lParam = static_cast<LPARAM>(r);
    lvi.iGroupId = groupId;
    int at = ListView_InsertItem(m_list, &lvi);
    if (at < 0) return;
    for (int column = 1; column < ColumnCount; ++column) {
        std::wstring text = CellText(row.item, column);
        ListView_SetItemText(m_list, at, column, &text[0]);
    }
    ListView_SetCheckState(m_list, at, row.item.enabled);
}

void ItemListView::Sort(int column, bool toggle) {
    if (toggle) {
        m_sortAscending = column == m_sortColumn ? !m_sortAscending : true;
        m_sortColumn = column;
    }
    std::pair<const std::vector<GuiRow>*, int> context(&m_rows, m_sortAscending ? column : -column - 1);
    ListView_SortItems(m_list, CompareListRows, reinterpret_cast<LPARAM>(&context));
    HWND header = ListView_GetHeader(m_list);
    for (int i = 0; i < ColumnCount; ++i) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column) item.fmt |= m_sortAscending ? HDF_SORTUP : HDF_SORTDOWN;
        Header_SetItem(header, i, &item);
    }
}

int ItemListView::ListIndexOfRow(size_t row) const {
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = static_cast<LPARAM>(row);
    return ListView_FindItem(m_list, -1, &find);
}

GuiRow* ItemListView::Selected(size_t* index) {
    int at = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    if (at < 0) return nullptr;
    LVITEMW lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = at;
    if (!ListView_GetItem(m_list, &lvi) || static_cast<size_t>(lvi.lParam) >= m_rows.size()) return nullptr;
    if (index) *index = static_cast<size_t>(lvi.lParam);
    return &m_rows[static_cast<size_t>(lvi.lParam)];
}

void ItemListView::ShowRowState(size_t row) {
    ItemRow& item = m_rows[row].item;
    item.enabled = m_kiv->GetItemEnabled(item.id) != 0;
    item.removed = m_kiv->IsRemoved(item.id) != 0;
    int at = ListIndexOfRow(row);
    if (at < 0) return;
    m_updatingList = true;
    std::wstring state = StateText(item);
    ListView_SetItemText(m_list, at, ColState, &state[0]);
    ListView_SetCheckState(m_list, at, item.enabled);
    m_updatingList = false;
}

// The item stays in the module's results until the next collection; the list drops it now.
void ItemListView::Drop(size_t row) {
    m_rows[row].gone = true;
    int at = ListIndexOfRow(row);
    if (at >= 0) ListView_DeleteItem(m_list, at);
    UpdateCountText();
}

void ItemListView::UpdateCountText() {
    size_t total =
        static_cast<size_t>(std::count_if(m_rows.begin(), m_rows.end(), [](const GuiRow& r) { return !r.gone; }));
    m_status.Count(std::to_wstring(ListView_GetItemCount(m_list)) + L" of " + std::to_wstring(total) + L" shown");
}

bool ItemListView::OnNotify(const NMHDR* header) {
    if (header->hwndFrom != m_list) return false;
    if (header->code == LVN_ITEMCHANGED) OnItemChanged(reinterpret_cast<const NMLISTVIEW*>(header));
    else if (header->code == LVN_COLUMNCLICK) Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, true);
    else return false;
    return true;
}

// A check box changed by a person (by mouse, space bar or another program) asks
// for the matching action; the window's own changes are ignored.
void ItemListView::OnItemChanged(const NMLISTVIEW* change) {
    if (m_updatingList || !(change->uChanged & LVIF_STATE)) return;
    UINT before = (change->uOldState & LVIS_STATEIMAGEMASK) >> 12;
    UINT after = (change->uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (before == 0 || after == 0 || before == after) return;
    // Acting later keeps the list view out of its own notification.
    PostMessageW(m_owner, kMsgToggle, static_cast<WPARAM>(change->lParam), after == 2);
}

void ItemListView::ScaleColumns(UINT oldDpi, UINT newDpi) {
    for (int column = 0; column < ColumnCount; ++column)
        ListView_SetColumnWidth(
            m_list, column,
            MulDiv(ListView_GetColumnWidth(m_list, column), static_cast<int>(newDpi), static_cast<int>(oldDpi)));
}

// Widths are kept at 96 dots per inch so that they suit any monitor.
std::vector<int> ItemListView::StoredWidths(UINT dpi) const {
    std::vector<int> widths;
    for (int column = 0; column < ColumnCount; ++column)
        widths.push_back(MulDiv(ListView_GetColumnWidth(m_list, column), 96, static_cast<int>(dpi)));
    return widths;
}

}  // namespace kivgui
