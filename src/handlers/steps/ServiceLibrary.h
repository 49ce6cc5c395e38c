// The library of a service run inside a shared host process. Such a service's
// image is the host (svchost.exe, shared by hundreds of services); what it really
// runs is the library the host loads for it, named by "ServiceDll".
#pragma once

#include <string>

class Location;

namespace kiv {

// The service's library: "ServiceDll" of its "Parameters" key, else of its own
// key (below the location's key), with environment strings expanded. The existing
// file it names when there is one, the expanded text when it names none (a
// library that is gone is worth seeing); empty for a service without one.
std::wstring ServiceLibrary(const Location* location, const std::wstring& service);

}  // namespace kiv
