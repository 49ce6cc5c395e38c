#include "ItemActions.h"

#include "Clipboard.h"
#include "PropertiesDialog.h"
#include "ActionText.h"
#include "SystemMessage.h"
#include "kiv.h"

namespace kivgui {

namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

std::vector<size_t> ItemActions::RowsRemovedWith(size_t index) {
    std::vector<size_t> together;
    for (unsigned id : m_kiv->GetItemRemovalGroup(m_list.Row(index)->item.id))
        for (size_t at = 0; at < m_list.RowCount(); ++at)
            if (m_list.Row(at)->item.id == id && !m_list.Row(at)->gone) together.push_back(at);
    if (together.empty()) together.push_back(index);
    return together;
}

bool ItemActions::Allowed() const {
    if (!m_runner.Running()) return true;
    m_status.Say(L"A collection is running: wait for it to end or stop it first.");
    return false;
}

void ItemActions::SetEnabled(size_t row, bool enable) {
    GuiRow* guiRow = m_list.Row(row);
    if (!guiRow || !Allowed()) return;
    ItemRow& item = guiRow->item;
    if (item.enabled == enable) {
        m_list.ShowRowState(row);
        return;
    }
    SetLastError(ERROR_SUCCESS);
    int done = enable ? m_kiv->EnableItem(item.id) : m_kiv->DisableItem(item.id);
    DWORD error = GetLastError();
    m_list.ShowRowState(row);
    const wchar_t* verb = enable ? L"enable" : L"disable";
    if (done) m_status.Say(std::wstring(enable ? L"Enabled " : L"Disabled ") + Quoted(item.title) + L".");
    else
        m_status.Say(L"Could not " + std::wstring(verb) + L" " + Quoted(item.title) + L": " + ActionFailureText(error));
}

void ItemActions::SetSelectedEnabled(bool enable) {
    size_t index = 0;
    if (m_list.Selected(&index)) SetEnabled(index, enable);
}

void ItemActions::RemoveSelected() {
    size_t index = 0;
    GuiRow* row = m_list.Selected(&index);
    if (!row || !Allowed()) return;
    const std::vector<size_t> together = RowsRemovedWith(index);
    std::wstring question = L"Remove " + Quoted(row->item.title) + L" from " + row->item.location + L"?";
    if (together.size() > 1) {
        question += L"\n\nThis also removes the other entries of its provider:";
        for (size_t other : together) question += L"\n" + m_list.Row(other)->item.title;
    }
    question += L"\n\nWindows will no longer start it, and the entry cannot be enabled again.";
    if (MessageBoxW(m_owner, question.c_str(), L"Remove entry", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    const std::wstring title = row->item.title;
    SetLastError(ERROR_SUCCESS);
    int done = m_kiv->RemoveItem(row->item.id);
    DWORD error = GetLastError();
    if (!done) {
        m_status.Say(L"Could not remove " + Quoted(title) + L": " + ActionFailureText(error));
        return;
    }
    for (size_t gone : together) m_list.Drop(gone);
    m_status.Say(together.size() > 1 ? L"Removed " + Quoted(title) + L" and " + std::to_wstring(together.size() - 1) +
                                           L" other entries of its provider."
                                     : L"Removed " + Quoted(title) + L".");
}

void ItemActions::RestoreSelected() {
    size_t index = 0;
    GuiRow* row = m_list.Selected(&index);
    if (!row || !Allowed()) return;
    if (!row->item.removed) {
        m_status.Say(L"Could not restore " + Quoted(row->item.title) + L": " + kNothingToRestore + L".");
        return;
    }
    SetLastError(ERROR_SUCCESS);
    int done = m_kiv->RestoreItem(row->item.id);
    DWORD error = GetLastError();
    m_list.ShowRowState(index);
    m_status.Say(done ? L"Restored " + Quoted(row->item.title) + L"."
                      : L"Could not restore " + Quoted(row->item.title) + L": " + ActionFailureText(error));
}

void ItemActions::GoToSelected() {
    GuiRow* row = m_list.Selected();
    if (!row || !Allowed()) return;
    m_kiv->GoTo(row->item.id);
    m_status.Say(L"Showed " + Quoted(row->item.title) + L".");
}

void ItemActions::CopySelectedPath() {
    if (GuiRow* row = m_list.Selected()) Copy(row->item.filePath);
}

void ItemActions::CopySelectedRow() {
    if (GuiRow* row = m_list.Selected()) Copy(RowText(row->item));
}

void ItemActions::Copy(const std::wstring& text) {
    DWORD error = ERROR_SUCCESS;
    if (CopyTextToClipboard(m_owner, text, error)) m_status.Say(L"Copied to the clipboard.");
    else m_status.Say(L"Could not copy: " + SystemMessage(error));
}

void ItemActions::ShowSelectedProperties() {
    GuiRow* row = m_list.Selected();
    if (!row || !Allowed()) return;
    ShowPropertiesDialog(m_instance, m_owner, m_kiv, row->item);
}

}  // namespace kivgui
