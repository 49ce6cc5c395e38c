// Windows' own startup switch. Beside the run values of the machine and the user
// and the files of the startup folders, Windows 10 and later keep a state of
// their own, written by the Settings app and Task Manager: a binary value named
// as the entry under Explorer\StartupApproved ("Run", "Run32" or
// "StartupFolder", of the machine or the user), whose first byte is even while
// the entry may start and odd once it may not (2 and 3 as Task Manager writes
// them), followed by the time of the change. An entry switched off there does not
// start, wherever it stands; one without a value starts.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handles.h"
#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// The key that holds the switches of a location's entries: the run key of the
// machine or the user (Run, or Run32 for the machine's 32-bit view), or the
// startup folder of the user or of all users. An empty path when Windows keeps no
// switch for the location.
struct StartupSwitchPlace {
    HKEY root = nullptr;
    std::wstring path;
};
StartupSwitchPlace StartupSwitchPlaceOf(const Location* location);

// The switches of one location, read once per collection pass with read rights.
class StartupSwitches {
public:
    explicit StartupSwitches(const Location* location);
    // Whether Windows' switch of the named entry is off.
    bool Off(const std::wstring& name) const;

private:
    UniqueHKey m_key;
};

// Whether a switch value says "off": present, binary data whose first byte is odd.
bool SwitchValueOff(DWORD type, const BYTE* data, DWORD size);

// Enables an entry that Windows' switch or the library's marker (or both) keeps
// from starting: the switch is turned back on first, as Task Manager writes it
// (2 followed by a zero time), then, when the entry lies in its disabled place,
// moveBack puts it back. The switch stays on when the move fails, and the item
// then reads as disabled by the marker alone. An entry in its place whose switch
// was on goes to moveBack, which refuses it.
Status EnableSwitchedEntry(CKivItem* item, const std::wstring& name, Status (*moveBack)(CKivItem* item));

}  // namespace kiv
