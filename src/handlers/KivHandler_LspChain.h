// Lists the providers of the Winsock catalogue from its registry entries and removes
// a provider through the Winsock provider interface. Providers cannot be disabled.
#pragma once

#include <windows.h>

#include "core/KivHandler.h"

class CKivHandler_LspChain : public CKivHandler {
public:
    ~CKivHandler_LspChain() override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
    int ItemCompatible(CKivItem* item) override;
};

namespace kiv {

// The call that takes a provider out of the Winsock catalogue, shaped and answering
// as WSCDeinstallProvider (0 on success).
using ProviderDeinstall = int(__stdcall*)(GUID* providerId, int* error);

// Replaces that call and returns the one replaced. Only tests do this: the systems
// they run on do not remove built-in providers, so they record the request instead.
ProviderDeinstall SetProviderDeinstall(ProviderDeinstall call);

}  // namespace kiv
