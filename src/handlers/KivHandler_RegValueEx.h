// Reads and changes locations that name one registry value: a single command line
// (REG_SZ, REG_EXPAND_SZ), a list of command lines (REG_MULTI_SZ, one entry per
// string), or Winlogon's "UserInit" and "Shell" lists held in one string.
#pragma once

#include <string>

#include "core/KivHandler.h"

class CKivHandler_RegValueEx : public CKivHandler {
public:
    ~CKivHandler_RegValueEx() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
};

namespace kiv {

// Winlogon's "UserInit" and "Shell" values hold a comma- or space-separated list in
// one string and are served by the list-value operations.
bool IsWinlogonList(const Location* location);

// Shows the item's location value in the registry editor: in the location's key
// while enabled, in its marker subkey once disabled. Every entry of a list or
// multi-string lives in that one value, so it is the value selected.
int GoToLocationValue(CKivItem* item);

}  // namespace kiv
