// The window's status bar: what the last step did on the left, how many items
// are shown (or found so far) on the right.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace kivgui {

class StatusBar {
public:
    void Attach(HWND bar) { m_bar = bar; }
    HWND Handle() const { return m_bar; }
    void Say(const std::wstring& text) const { SetPart(0, text); }
    void Count(const std::wstring& text) const { SetPart(1, text); }

private:
    void SetPart(WPARAM part, const std::wstring& text) const {
        if (m_bar) SendMessageW(m_bar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text.c_str()));
    }

    HWND m_bar = nullptr;
};

}  // namespace kivgui
