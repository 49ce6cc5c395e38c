// Start entries kept in the old initialisation profiles (win.ini, system.ini).
// A profile entry's state is the name of its key: disabling and removing append
// markers to the key, enabling and restoring take them off again, and the entry's
// text moves with the key.
#pragma once

#include <string>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// The suffix of the key of a removed entry (after the disable marker, if any).
extern const wchar_t kRemovedMarker[];

// A profile's values are read into a buffer of 261 characters: values of up to 260
// characters. A longer value counts as unreadable rather than being cut, so that
// no action writes back a shortened entry.
const unsigned kProfileValueChars = 260;

// One section of one profile: of the system's win.ini through the system's profile
// functions when no file is named, otherwise of the named profile file.
struct ProfileSection {
    const wchar_t* section = nullptr;
    std::wstring file;
};

enum class ProfileRead { Ok, Empty, TooLong };

// An absent key reads as Empty.
ProfileRead ReadProfileKey(const ProfileSection& where, const std::wstring& key, std::wstring& text);

// Writes key = text; a null text deletes the key.
Status WriteProfileKey(const ProfileSection& where, const std::wstring& key, const wchar_t* text);

// Moves the text of key from to key to and deletes from. Refused when from is empty
// or unreadable, or when to already holds another text (it would be overwritten);
// when deleting from fails, a copy that this call made is deleted again, so the
// profile stays as it was.
Status MoveProfileKey(const ProfileSection& where, const std::wstring& from, const std::wstring& to);

// The base keys a profile handler serves, in the order they are read, and the
// shortest text that counts as an entry.
struct ProfileKeys {
    const wchar_t* first;
    const wchar_t* second;
    std::size_t minLength;
};

// Reads both base keys in the pass (the base key, or its disabled form), each also
// with the removed suffix, and builds one item per key whose text names an
// existing file.
void CollectProfileKeys(Location* location, unsigned enabledPass, const ProfileSection& where, const ProfileKeys& keys);

// The actions on an item of a profile handler; each moves the entry's text from
// the key that holds it to the key of the new state.
Status DisableProfileItem(CKivItem* item, const ProfileSection& where);
Status EnableProfileItem(CKivItem* item, const ProfileSection& where);
Status RemoveProfileItem(CKivItem* item, const ProfileSection& where);
Status RestoreProfileItem(CKivItem* item, const ProfileSection& where);

}  // namespace kiv
