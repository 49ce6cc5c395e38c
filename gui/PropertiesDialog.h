// The properties dialog: everything known about one item, one fact per line.
#pragma once

#include <windows.h>

#include "ItemRow.h"

class CKiv;

namespace kivgui {

// Shows the dialog of the item (modal to owner) until it is closed.
void ShowPropertiesDialog(HINSTANCE instance, HWND owner, CKiv* kiv, const ItemRow& item);

}  // namespace kivgui
