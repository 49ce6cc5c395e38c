// WMI event subscriptions that start a program: a binding
// (__FilterToConsumerBinding) of an event filter to a CommandLineEventConsumer or
// an ActiveScriptEventConsumer runs the consumer, as the system account, each time
// the filter's event fires, and WMI keeps it across restarts. Items name the
// binding's namespace by registry name 0, the binding's path by 1, and the text
// the consumer runs (its command line, script file or script text) by 2.
//
// WMI keeps no disabled state of its own, so the location's key keeps what an
// action takes away: the binding, its filter and its consumer, each in a subkey
// "Binding", "Filter", "Consumer" of "_disabledByKiv\<id>" (disable) or
// "_removedByKiv\<id>" (remove), with the value "Namespace" beside them. Each
// object's subkey holds its class ("__CLASS"), its path ("__RELPATH") and one text
// value per property that has a value, as WMI gives it as text; an enable or a
// restore makes the objects again from these, with the types their classes give.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// One WMI object as the library reads and keeps it: its class, its path relative
// to its namespace, and its own properties that have a value, as text (booleans
// "true" or "false", numbers in decimal). Properties WMI sets itself (the
// creator's security identifier) and array properties are not read: none of the
// classes an entry is made of has one that could be put back.
struct WmiObject {
    std::wstring className;
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> properties;

    // The text of a property (names compared without case); empty when unset.
    std::wstring Property(const std::wstring& name) const;
};

// Whether two objects are the same definition: the same class, path and
// properties (names compared without case, texts exactly).
bool SameWmiObject(const WmiObject& a, const WmiObject& b);

// A property's value as the text kept for it: false for no value, an array or an
// object.
bool WmiValueText(const VARIANT& value, std::wstring& text);
// The kept text as a value of the property's CIM type (CIMTYPE), in the form WMI
// takes it: 64-bit numbers as text, 16- and 32-bit unsigned ones in a signed 32-bit
// number. ERROR_INVALID_DATA for a text the type cannot hold.
Status WmiTextValue(const std::wstring& text, long type, VARIANT& value);

// One open WMI namespace: what the library asks of it.
class WmiNamespace {
public:
    virtual ~WmiNamespace() = default;
    // Every instance of the class (none when the namespace has no such class).
    virtual Status Query(const std::wstring& className, std::vector<WmiObject>& found) = 0;
    // The object at the path; ERROR_FILE_NOT_FOUND when there is none.
    virtual Status Get(const std::wstring& path, WmiObject& found) = 0;
    // Makes a new instance of the object's class with its properties; an object
    // already at its path is never written over (ERROR_ALREADY_EXISTS).
    virtual Status Create(const WmiObject& object) = 0;
    virtual Status Delete(const std::wstring& path) = 0;
};

// Opens namespaces by their path ("root\subscription"). The system's goes through
// WMI's COM interfaces with the caller's own rights; tests hand their own where
// the test system's WMI has no subscriptions (Wine's has no root\subscription).
class WmiConnector {
public:
    virtual ~WmiConnector() = default;
    virtual Status Open(const std::wstring& name, std::unique_ptr<WmiNamespace>& opened) = 0;
};

// The connector in use; tests replace it (null puts the system's back) and get the
// one replaced.
WmiConnector& CurrentWmi();
WmiConnector* SetWmi(WmiConnector* connector);

// The enabled pass walks every namespace from "root" (and "root\subscription",
// which the walk normally reaches), each one's bindings with their filter and
// consumer; a namespace that cannot be opened or read is logged and skipped. The
// disabled pass lists the kept definitions.
void CollectWmiSubscriptions(Location* location, unsigned enabledPass, unsigned char wow64);
// Keeps the definition under the marker, then deletes the binding; the filter and
// the consumer stay. A binding that cannot be deleted takes its kept definition
// back out.
Status DisableWmiSubscription(CKivItem* item);
// Puts the binding back, and its filter and consumer where they are gone. An object
// now at one of their paths with another definition is never written over
// (ERROR_ALREADY_EXISTS); a step that fails deletes what the earlier steps made.
Status EnableWmiSubscription(CKivItem* item);
// Keeps the definition where a restore finds it, then deletes the binding (a
// disabled entry's kept definition moves there).
Status RemoveWmiSubscription(CKivItem* item);
Status RestoreWmiSubscription(CKivItem* item);
// The namespace with the binding's path, and the text the consumer runs (control
// characters as blanks, cut at 1,000 characters).
void WmiSubscriptionRegLocation(const CKivItem* item, std::wstring& key, std::wstring& value);

}  // namespace kiv
