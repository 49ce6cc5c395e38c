// Lists the providers of the Winsock catalogues from their registry entries and
// removes a provider through the Winsock provider interface of its own catalogue.
// Providers cannot be disabled.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "handlers/KivHandler.h"

class CKivHandler_LspChain : public CKivHandler {
public:
    ~CKivHandler_LspChain() override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
    int ItemCompatible(CKivItem* item) override;
};

namespace kiv {

// 64-bit Windows keeps the catalogue twice: the native providers under
// "Catalog_Entries64", those that 32-bit programs load under "Catalog_Entries".
enum class ProviderCatalogue { Native, Wow32 };

// The calls of one catalogue: listing its providers, shaped and answering as
// WSCEnumProtocols, and taking one out, shaped and answering as WSCDeinstallProvider
// (0 on success).
using ProviderEnumerate = int(__stdcall*)(int* protocols, WSAPROTOCOL_INFOW* records, DWORD* bytes, int* error);
using ProviderDeinstall = int(__stdcall*)(GUID* providerId, int* error);
struct ProviderCalls {
    ProviderEnumerate enumerate = nullptr;
    ProviderDeinstall deinstall = nullptr;
};

// Replaces the calls of one catalogue and returns those replaced; a null member
// puts the system's call back. Only tests do this: the systems they run on do not
// remove built-in providers (so the tests record the request instead), and some
// have no 32-bit catalogue calls at all.
ProviderCalls SetProviderCalls(ProviderCatalogue catalogue, ProviderCalls calls);

}  // namespace kiv
