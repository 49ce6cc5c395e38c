// Registry steps shared by the registry handlers: the marker subkey that keeps
// disabled entries, bounded value reads, value enumeration and value moves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/KivHandler.h"
#include "platform/Handles.h"
#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// The rights an action asks for on a key it changes: read what is there, write
// values and create subkeys. A collection asks for KEY_READ only, so that a user
// who may read a place but not change it still sees every entry in it.
const REGSAM kKeyChangeRights = KEY_READ | KEY_WRITE;

// Opens a key to read it, as a collection and every query does.
Status OpenKeyToRead(HKEY root, const std::wstring& path, UniqueHKey& key);

// Opens a key that an action is about to change.
Status OpenKeyToChange(HKEY root, const std::wstring& path, UniqueHKey& key);

// Creates (or opens) the marker subkey below an open location key, to change it.
Status CreateMarkerKey(HKEY live, UniqueHKey& marker);

// Whether an item names its entry (registry name 0), as every change needs.
bool HasRegName(const CKivItem* item);

// Whether an item names a subkey of its location: a non-empty registry name 0 (an
// empty one would stand for the location's key itself, never for one entry).
bool NamesSubkey(const CKivItem* item);

// Opens the key a collection pass reads: the location's key in the enabled pass,
// its marker subkey in the disabled pass.
bool OpenPassKey(const Location* location, unsigned enabledPass, UniqueHKey& key);

// Registry texts are read into buffers of 260 characters (520 bytes); larger data
// counts as unreadable.
const DWORD kValueBytes = 520;
const DWORD kNameChars = 260;

struct RegValueData {
    DWORD type = REG_NONE;
    DWORD size = 0;
    BYTE data[kValueBytes + sizeof(wchar_t)] = {};  // room for a terminator the data may lack
    LONG result = ERROR_SUCCESS;                    // what the read answered, kept as the cause of a failure

    // The text of a string value: its characters up to the first NUL, never past the
    // bytes read.
    std::wstring Text() const;
    bool IsString() const { return type == REG_SZ || type == REG_EXPAND_SZ; }
};

enum class ValueRead { Ok, Absent, Unreadable };

ValueRead ReadRegValue(HKEY key, const std::wstring& name, RegValueData& value);
Status WriteRegValue(HKEY key, const std::wstring& name, const RegValueData& value);

// Writes a string value with its terminator, keeping the type given; refused when
// the text with its terminator exceeds 520 bytes.
Status WriteRegText(HKEY key, const std::wstring& name, DWORD type, const std::wstring& text);

// The strings of a multi-string, never read past the bytes given (a last string
// without its NUL ends with the data). False when a string follows an empty one:
// a list rewritten from its strings would drop what stands after that gap, so
// callers that change the list leave it alone.
bool SplitMultiString(const wchar_t* text, DWORD bytes, std::vector<std::wstring>& strings);

// Calls visit for each value that fits the buffers, from index 0 upward. An index
// whose value does not fit is skipped; any other error ends the walk, so a key
// changed during the walk cannot keep it running.
void EnumRegValues(HKEY key, const std::function<void(const std::wstring& name, const RegValueData& value)>& visit);

// The cause of a read that was not Ok: the registry's answer, or invalid data when
// the value was there but of no use.
Status ReadFailure(const RegValueData& value);

// Whether two values hold the same data: type and bytes.
bool SameRegValue(const RegValueData& a, const RegValueData& b);

// Moves a value between two open keys. A target holding a value of that name is
// never written over: when it holds the same data the move ends by deleting the
// source, otherwise it is refused with ERROR_ALREADY_EXISTS and both stay. When
// deleting the source fails, the copy made is deleted again.
Status MoveRegValue(HKEY from, HKEY to, const std::wstring& name);

// Deletes a value; the registry's answer is the outcome.
Status DeleteRegValue(HKEY key, const std::wstring& name);

}  // namespace kiv
