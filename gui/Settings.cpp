#include "Settings.h"

#include <windows.h>

#include "GuiModel.h"
#include "platform/Handles.h"

namespace kivgui {

const wchar_t kSettingsKey[] = L"Software\\kiv\\kivgui";

namespace {
const wchar_t kWidthsValue[] = L"ColumnWidths";
const wchar_t kHideValue[] = L"HideWhitelisted";
}  // namespace

Settings LoadSettings() {
    Settings settings;
    settings.columnWidths = DefaultColumnWidths();
    kiv::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return settings;
    wchar_t text[260] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key.Get(), kWidthsValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        std::vector<int> widths = ParseWidths(text, ColumnCount);
        if (!widths.empty()) settings.columnWidths = widths;
    }
    DWORD hide = 0;
    size = sizeof(hide);
    if (RegQueryValueExW(key.Get(), kHideValue, nullptr, &type, reinterpret_cast<BYTE*>(&hide), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD)
        settings.hideWhitelisted = hide != 0;
    return settings;
}

void SaveSettings(const Settings& settings) {
    kiv::UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return;
    std::wstring widths = FormatWidths(settings.columnWidths);
    RegSetValueExW(key.Get(), kWidthsValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(widths.c_str()),
                   static_cast<DWORD>((widths.size() + 1) * sizeof(wchar_t)));
    DWORD hide = settings.hideWhitelisted ? 1 : 0;
    RegSetValueExW(key.Get(), kHideValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hide), sizeof(hide));
}

}  // namespace kivgui
