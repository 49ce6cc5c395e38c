// What the window remembers between runs, kept per user in
// HKCU\Software\kiv\kivgui: the column widths and the "hide whitelisted" choice.
#pragma once

#include <string>
#include <vector>

namespace kivgui {

struct Settings {
    std::vector<int> columnWidths;  // at 96 dots per inch
    bool hideWhitelisted = false;
};

extern const wchar_t kSettingsKey[];

// Missing or malformed values give the defaults.
Settings LoadSettings();
void SaveSettings(const Settings& settings);

}  // namespace kivgui
