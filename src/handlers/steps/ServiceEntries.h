// Services and drivers as entries, read from the service control manager. Items
// name their service by registry name 0; the location's key holds one subkey per
// service. An entry is disabled by setting its "Start" value to 4 in the service's
// key; the start type it had is kept beside it in the value "_disabledByKiv".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// The services of the given kinds as the manager lists them, read whole even
// while services are added; the strings follow the entries in the same buffer.
struct ServiceList {
    std::vector<ENUM_SERVICE_STATUSW> entries;
    DWORD count = 0;
};
ServiceList EnumerateServices(SC_HANDLE manager, DWORD serviceType);

// Lists the services of the given kinds (SERVICE_WIN32, SERVICE_DRIVER) whose
// image leads to an existing file and whose start state matches the pass.
void CollectServiceItems(Location* location, unsigned enabledPass, unsigned char wow64, DWORD serviceType);

// Saves "Start" in "_disabledByKiv" and sets it to 4; a service already at 4 is
// left as it is, so the start type saved before is never replaced by 4.
Status DisableServiceItem(CKivItem* item);

// Puts the saved start type back. Without a usable saved value (none, or one that
// does not start the service) a service that does not start is set to automatic
// start; a service that starts already is left as it is, its saved value included.
Status EnableServiceItem(CKivItem* item);

// Deletes the service through the service control manager.
Status DeleteServiceItem(CKivItem* item);

// Takes the service name out of every shared-process group list, as far as they
// can be read and written.
void DropFromServiceGroups(const std::wstring& service);

// What a listing needs of a service: its image and the start type the manager has.
struct ServiceConfig {
    std::wstring image;
    DWORD start = SERVICE_DEMAND_START;
};

// How a listing asks the service manager for a service's configuration. Tests
// replace it where the manager cannot be made to refuse a service (null puts the
// real query back); the previous query is returned.
using ServiceConfigQuery = bool (*)(SC_HANDLE manager, const wchar_t* service, ServiceConfig& config);
ServiceConfigQuery SetServiceConfigQuery(ServiceConfigQuery query);

// How an action changes a service's start type: through the service manager, and
// where it refuses through the service's key (see the source). Tests replace it
// where neither can be made to refuse under the test system (null puts the real
// change back); the previous change is returned.
using StartTypeChange = Status (*)(HKEY key, const std::wstring& service, DWORD start);
StartTypeChange SetStartTypeChange(StartTypeChange change);

// Opens the registry editor at the service's own key: the key stays where it is
// when the service is disabled.
int GoToServiceItem(CKivItem* item);

}  // namespace kiv
