#include "handlers/steps/WmiSubscriptions.h"

#include <windows.h>
#include <objbase.h>
#include <wbemcli.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cwchar>
#include <cwctype>
#include <deque>
#include <new>

#include "core/Records.h"
#include "handlers/steps/MarkerEntries.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/RegPath.h"
#include "platform/Text.h"
#include "platform/Variant.h"

namespace kiv {
namespace {

constexpr CLSID kClsidWbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
constexpr IID kIidWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// WMI's own answers that an operation here tells apart.
constexpr HRESULT kWbemNotFound = static_cast<HRESULT>(0x80041002L);
constexpr HRESULT kWbemAccessDenied = static_cast<HRESULT>(0x80041003L);
constexpr HRESULT kWbemInvalidClass = static_cast<HRESULT>(0x80041010L);
constexpr HRESULT kWbemAlreadyExists = static_cast<HRESULT>(0x80041019L);
// A provider that does not answer must not hold a collection for long.
const long kNextTimeoutMs = 10000;

const wchar_t kBindingClass[] = L"__FilterToConsumerBinding";
const wchar_t kNamespaceClass[] = L"__NAMESPACE";
const wchar_t kCommandLineConsumer[] = L"CommandLineEventConsumer";
const wchar_t kScriptConsumer[] = L"ActiveScriptEventConsumer";
const wchar_t kNamespaceValue[] = L"Namespace";
const wchar_t kClassValue[] = L"__CLASS";
const wchar_t kPathValue[] = L"__RELPATH";
const wchar_t* const kParts[] = {L"Filter", L"Consumer", L"Binding"};
const size_t kMaxNamespaces = 4096;
const size_t kShownChars = 1000;

Status FromWbem(HRESULT hr) {
    if (hr == kWbemNotFound) return Status::Fail(ERROR_FILE_NOT_FOUND);
    if (hr == kWbemAlreadyExists) return Status::Fail(ERROR_ALREADY_EXISTS);
    if (hr == kWbemAccessDenied) return Status::Fail(ERROR_ACCESS_DENIED);
    return Status::FromHresult(hr);
}

// ---- the system's WMI ----

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

}  // namespace

bool WmiValueText(const VARIANT& value, std::wstring& text) {
    if (value.vt == VT_BSTR) {
        text = BstrText(value.bstrVal);
        return true;
    }
    if (value.vt == VT_BOOL) {
        text = value.boolVal ? L"true" : L"false";
        return true;
    }
    if ((value.vt & (VT_ARRAY | VT_BYREF)) || value.vt == VT_NULL || value.vt == VT_EMPTY || value.vt == VT_UNKNOWN ||
        value.vt == VT_DISPATCH)
        return false;
    UniqueVariant converted;
    // The source is only read (some SDKs declare it without const).
    if (FAILED(VariantChangeTypeEx(converted.Put(), const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0, VT_BSTR)))
        return false;
    text = BstrText(converted.Get().bstrVal);
    return true;
}

Status WmiTextValue(const std::wstring& text, long type, VARIANT& value) {
    wchar_t* end = nullptr;
    switch (type) {
    case CIM_STRING:
    case CIM_REFERENCE:
    case CIM_DATETIME:
    case CIM_SINT64:
    case CIM_UINT64:  // WMI carries 64-bit numbers as text
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return value.bstrVal ? Status::Ok() : Status::Fail(ERROR_OUTOFMEMORY);
    case CIM_BOOLEAN:
        if (text != L"true" && text != L"false") return Status::Fail(ERROR_INVALID_DATA);
        value.vt = VT_BOOL;
        value.boolVal = text == L"true" ? VARIANT_TRUE : VARIANT_FALSE;
        return Status::Ok();
    case CIM_REAL32:
    case CIM_REAL64: {
        const double number = std::wcstod(text.c_str(), &end);
        if (text.empty() || *end) return Status::Fail(ERROR_INVALID_DATA);
        value.vt = type == CIM_REAL32 ? VT_R4 : VT_R8;
        if (type == CIM_REAL32) value.fltVal = static_cast<float>(number);
        else value.dblVal = number;
        return Status::Ok();
    }
    default:
        break;
    }
    // A whole number in the type's range (unsigned 16- and 32-bit ones also as WMI
    // reads them back: in a signed number); anything else is not put back cut.
    struct Range {
        long type;
        VARTYPE vt;
        long long low, high;
    };
    static const Range kRanges[] = {
        {CIM_UINT8, VT_UI1, 0, 255},
        {CIM_SINT8, VT_I2, -128, 127},
        {CIM_SINT16, VT_I2, -32768, 32767},
        {CIM_CHAR16, VT_I2, -32768, 65535},
        {CIM_UINT16, VT_I4, -32768, 65535},
        {CIM_SINT32, VT_I4, -2147483648LL, 2147483647LL},
        {CIM_UINT32, VT_I4, -2147483648LL, 4294967295LL},
    };
    const Range* range =
        std::find_if(std::begin(kRanges), std::end(kRanges), [&](const Range& r) { return r.type == type; });
    if (range == std::end(kRanges) || text.empty() || (text[0] != L'-' && !std::iswdigit(text[0])))
        return Status::Fail(ERROR_INVALID_DATA);
    errno = 0;
    const long long number = std::wcstoll(text.c_str(), &end, 10);
    if (*end || errno == ERANGE || number < range->low || number > range->high) return Status::Fail(ERROR_INVALID_DATA);
    value.vt = range->vt;
    if (range->vt == VT_UI1) value.bVal = static_cast<BYTE>(number);
    else if (range->vt == VT_I2) value.iVal = static_cast<SHORT>(number);
    else value.lVal = static_cast<LONG>(static_cast<unsigned long long>(number));
    return Status::Ok();
}

namespace {

Status ReadObject(IWbemClassObject* object, WmiObject& read) {
    UniqueVariant value;
    if (SUCCEEDED(object->Get(kClassValue, 0, value.Put(), nullptr, nullptr)))
        WmiValueText(value.Get(), read.className);
    if (SUCCEEDED(object->Get(kPathValue, 0, value.Put(), nullptr, nullptr))) WmiValueText(value.Get(), read.path);
    HRESULT hr = object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    if (FAILED(hr)) return FromWbem(hr);
    for (;;) {
        UniqueBstr name;
        std::wstring text;
        hr = object->Next(0, name.Put(), value.Put(), nullptr, nullptr);
        if (hr != WBEM_S_NO_ERROR) break;
        if (name && WmiValueText(value.Get(), text)) read.properties.emplace_back(BstrText(name.Get()), text);
    }
    object->EndEnumeration();
    return FAILED(hr) ? FromWbem(hr) : Status::Ok();
}

// The caller's own identity, as WMI expects of a client; no privilege is asked.
void SetCallSecurity(IUnknown* proxy) {
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

class SystemWmiNamespace : public WmiNamespace {
public:
    explicit SystemWmiNamespace(ComPtr<IWbemServices> services) : m_services(std::move(services)) {}

    Status Query(const std::wstring& className, std::vector<WmiObject>& found) override {
        UniqueBstr language(SysAllocString(L"WQL"));
        UniqueBstr query(SysAllocString((L"SELECT * FROM " + className).c_str()));
        if (!language || !query) return Status::Fail(ERROR_OUTOFMEMORY);
        ComPtr<IEnumWbemClassObject> listed;
        HRESULT hr = m_services->ExecQuery(
            language.Get(), query.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, listed.Put());
        // A namespace without the class has none of its instances.
        if (hr == kWbemInvalidClass || hr == kWbemNotFound) return Status::Ok();
        if (FAILED(hr)) return FromWbem(hr);
        SetCallSecurity(listed.Get());
        for (;;) {
            ComPtr<IWbemClassObject> object;
            ULONG fetched = 0;
            hr = listed->Next(kNextTimeoutMs, 1, object.Put(), &fetched);
            if (hr == kWbemInvalidClass || hr == kWbemNotFound) return Status::Ok();
            if (hr == WBEM_S_TIMEDOUT) return Status::Fail(ERROR_TIMEOUT);
            if (FAILED(hr)) return FromWbem(hr);
            if (fetched != 1) return Status::Ok();
            WmiObject read;
            if (ReadObject(object.Get(), read)) found.push_back(std::move(read));
        }
    }

    Status Get(const std::wstring& path, WmiObject& found) override {
        UniqueBstr text(SysAllocString(path.c_str()));
        if (!text) return Status::Fail(ERROR_OUTOFMEMORY);
        if (path.empty()) return Status::Fail(ERROR_FILE_NOT_FOUND);  // an empty path names the namespace's class
        ComPtr<IWbemClassObject> object;
        const HRESULT hr = m_services->GetObject(text.Get(), 0, nullptr, object.Put(), nullptr);
        if (FAILED(hr)) return FromWbem(hr);
        found = WmiObject();
        return ReadObject(object.Get(), found);
    }

    Status Create(const WmiObject& wanted) override {
        UniqueBstr className(SysAllocString(wanted.className.c_str()));
        if (!className) return Status::Fail(ERROR_OUTOFMEMORY);
        ComPtr<IWbemClassObject> definition, instance;
        HRESULT hr = m_services->GetObject(className.Get(), 0, nullptr, definition.Put(), nullptr);
        if (SUCCEEDED(hr)) hr = definition->SpawnInstance(0, instance.Put());
        if (FAILED(hr)) return FromWbem(hr);
        for (const auto& property : wanted.properties) {
            CIMTYPE type = CIM_EMPTY;
            hr = instance->Get(property.first.c_str(), 0, nullptr, &type, nullptr);
            if (FAILED(hr)) return FromWbem(hr);
            UniqueVariant value;
            const Status made = WmiTextValue(property.second, type, *value.Put());
            if (!made) return made;
            hr = instance->Put(property.first.c_str(), 0, value.In(), 0);
            if (FAILED(hr)) return FromWbem(hr);
        }
        return FromWbem(m_services->PutInstance(instance.Get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
    }

    Status Delete(const std::wstring& path) override {
        UniqueBstr text(SysAllocString(path.c_str()));
        if (!text) return Status::Fail(ERROR_OUTOFMEMORY);
        return FromWbem(m_services->DeleteInstance(text.Get(), 0, nullptr, nullptr));
    }

private:
    ComPtr<IWbemServices> m_services;
};

class SystemWmi : public WmiConnector {
public:
    Status Open(const std::wstring& name, std::unique_ptr<WmiNamespace>& opened) override {
        ComPtr<IWbemLocator> locator;
        HRESULT hr =
            CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator, locator.PutVoid());
        if (FAILED(hr)) return FromWbem(hr);
        UniqueBstr path(SysAllocString(name.c_str()));
        if (!path) return Status::Fail(ERROR_OUTOFMEMORY);
        ComPtr<IWbemServices> services;
        hr = locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                    nullptr, services.Put());
        if (FAILED(hr)) return FromWbem(hr);
        SetCallSecurity(services.Get());
        opened.reset(new (std::nothrow) SystemWmiNamespace(std::move(services)));
        return opened ? Status::Ok() : Status::Fail(ERROR_OUTOFMEMORY);
    }
};

SystemWmi g_system;
WmiConnector* g_wmi = &g_system;

// ---- entries ----

struct Subscription {
    std::wstring ns;
    WmiObject filter, consumer, binding;
};

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(folder, length) : std::wstring(L"C:\\Windows\\System32");
}

// A path that names a file whole, blanks and all, for the command-line reading.
std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// What the consumer starts: the text its file is found in and the text shown. A
// consumer of another class (an event log entry, a log file, a mail) starts no
// program and makes no entry.
bool Started(const WmiObject& consumer, std::wstring& fileText, std::wstring& shown) {
    if (EqualsNoCase(consumer.className, kCommandLineConsumer)) {
        // The program runs with the template as its command line; without a program
        // the template's first word names it.
        const std::wstring program = consumer.Property(L"ExecutablePath");
        const std::wstring line = consumer.Property(L"CommandLineTemplate");
        fileText = program.empty() ? line : Quoted(program);
        shown = line.empty() ? program : line;
    } else if (EqualsNoCase(consumer.className, kScriptConsumer)) {
        // A script kept in the consumer itself runs in WMI's script host.
        const std::wstring script = consumer.Property(L"ScriptFileName");
        fileText = script.empty() ? SystemFolder() + L"\\wbem\\scrcons.exe" : Quoted(script);
        shown = script.empty() ? consumer.Property(L"ScriptText") : script;
    } else {
        return false;
    }
    return !fileText.empty();
}

std::wstring NameOf(const WmiObject& object) {
    const std::wstring name = object.Property(L"Name");
    return name.empty() ? object.path : name;
}

// A live binding is an entry when its file exists; a kept one always is, so that it
// can be put back whatever became of its file.
void AddItem(Location* location, const Subscription& subscription, unsigned enabled, unsigned removed) {
    std::wstring file, shown;
    if (!Started(subscription.consumer, file, shown)) return;
    if (!ResolveEntry(file, 0) && enabled) return;
    const std::wstring title = NameOf(subscription.filter) + L" -> " + NameOf(subscription.consumer);
    auto* item = new CKivItem(title, file, location, GotoKind::None, 0, enabled, removed);
    item->m_regNames = {subscription.ns, subscription.binding.path, shown};
}

bool NamesBinding(const CKivItem* item) {
    return item && item->m_location && item->m_regNames.size() >= 2 && !item->m_regNames[0].empty() &&
           !item->m_regNames[1].empty();
}

// The kept definition's subkey: a digest of the namespace and the binding's path
// (FNV-1a, without case), since a path holds characters no key name may.
std::wstring KeptId(const std::wstring& ns, const std::wstring& bindingPath) {
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : AsciiLowerText(ns + L":" + bindingPath)) {
        hash ^= static_cast<unsigned long long>(c);
        hash *= 1099511628211ull;
    }
    wchar_t text[20] = {};
    swprintf(text, 20, L"%016llx", hash);
    return text;
}

std::wstring StorePath(const Location* location, const wchar_t* store) { return location->m_path + L"\\" + store; }

Status WriteText(HKEY key, const std::wstring& name, const std::wstring& text) {
    return Status::FromRegistry(RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                               reinterpret_cast<const BYTE*>(text.c_str()),
                                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

Status WriteObject(HKEY parent, const wchar_t* part, const WmiObject& object) {
    UniqueHKey key;
    Status step = Status::FromRegistry(
        RegCreateKeyExW(parent, part, 0, nullptr, 0, kKeyChangeRights, nullptr, key.Put(), nullptr));
    if (step) step = WriteText(key.Get(), kClassValue, object.className);
    if (step) step = WriteText(key.Get(), kPathValue, object.path);
    for (size_t n = 0; step && n < object.properties.size(); ++n)
        step = WriteText(key.Get(), object.properties[n].first, object.properties[n].second);
    return step;
}

// Every text value of a key, at its own size (a script may be long).
Status ReadObject(HKEY parent, const wchar_t* part, WmiObject& object) {
    UniqueHKey key;
    Status step = OpenKeyToRead(parent, part, key);
    DWORD count = 0, nameChars = 0, dataBytes = 0;
    if (step)
        step = Status::FromRegistry(RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     &count, &nameChars, &dataBytes, nullptr, nullptr));
    if (!step) return step;
    std::vector<wchar_t> name(nameChars + 1), data(dataBytes / sizeof(wchar_t) + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), bytes = dataBytes, type = REG_NONE;
        std::fill(data.begin(), data.end(), L'\0');
        const LONG rc = RegEnumValueW(key.Get(), index, name.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
        if (type != REG_SZ) continue;
        const std::wstring valueName(name.data(), nameLength), text(data.data());
        if (valueName == kClassValue) object.className = text;
        else if (valueName == kPathValue) object.path = text;
        else object.properties.emplace_back(valueName, text);
    }
    return object.className.empty() || object.path.empty() ? Status::Fail(ERROR_INVALID_DATA) : Status::Ok();
}

Status ReadKept(HKEY store, const std::wstring& id, Subscription& kept) {
    UniqueHKey key;
    Status step = OpenKeyToRead(store, id, key);
    if (!step) return step;
    DWORD bytes = 0;
    const DWORD flags = RRF_RT_REG_SZ;
    LONG rc = RegGetValueW(key.Get(), nullptr, kNamespaceValue, flags, nullptr, nullptr, &bytes);
    std::vector<wchar_t> ns(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(ns.size() * sizeof(wchar_t));
    if (rc == ERROR_SUCCESS) rc = RegGetValueW(key.Get(), nullptr, kNamespaceValue, flags, nullptr, ns.data(), &bytes);
    if (rc != ERROR_SUCCESS || !ns[0]) return Status::Fail(ERROR_INVALID_DATA);
    kept.ns = ns.data();
    WmiObject* parts[] = {&kept.filter, &kept.consumer, &kept.binding};
    for (size_t n = 0; step && n < 3; ++n) step = ReadObject(key.Get(), kParts[n], *parts[n]);
    return step ? step : Status::Fail(ERROR_INVALID_DATA);
}

Status ReadKeptAt(const Location* location, const wchar_t* store, const std::wstring& id, Subscription& kept) {
    UniqueHKey key;
    const Status step = OpenKeyToRead(location->m_root, StorePath(location, store), key);
    return step ? ReadKept(key.Get(), id, kept) : step;
}

void Forget(const Location* location, const wchar_t* store, const std::wstring& id) {
    UniqueHKey parent;
    if (OpenKeyToChange(location->m_root, StorePath(location, store), parent)) DeleteRegTree(parent.Get(), id);
    parent.Reset();
    RemoveKeyIfEmpty(location->m_root, StorePath(location, store), 0);
}

Status Keep(const Location* location, const wchar_t* store, const Subscription& subscription) {
    const std::wstring id = KeptId(subscription.ns, subscription.binding.path);
    UniqueHKey key;
    Status step =
        Status::FromRegistry(RegCreateKeyExW(location->m_root, (StorePath(location, store) + L"\\" + id).c_str(), 0,
                                             nullptr, 0, kKeyChangeRights, nullptr, key.Put(), nullptr));
    if (step) step = WriteText(key.Get(), kNamespaceValue, subscription.ns);
    const WmiObject* parts[] = {&subscription.filter, &subscription.consumer, &subscription.binding};
    for (size_t n = 0; step && n < 3; ++n) step = WriteObject(key.Get(), kParts[n], *parts[n]);
    key.Reset();
    if (!step) Forget(location, store, id);  // no half-written definition stays behind
    return step;
}

bool SameSubscription(const Subscription& a, const Subscription& b) {
    return EqualsNoCase(a.ns, b.ns) && SameWmiObject(a.filter, b.filter) && SameWmiObject(a.consumer, b.consumer) &&
           SameWmiObject(a.binding, b.binding);
}

// The filter and the consumer a binding names.
Status ReadEnds(WmiNamespace& ns, Subscription& live) {
    Status step = ns.Get(live.binding.Property(L"Filter"), live.filter);
    if (step) step = ns.Get(live.binding.Property(L"Consumer"), live.consumer);
    return step;
}

// Keeps the live definition in store, then deletes the binding. A definition kept
// there before is used again when it is the same, and never written over when not.
Status TakeAway(CKivItem* item, const wchar_t* store) {
    if (!NamesBinding(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    std::unique_ptr<WmiNamespace> ns;
    Subscription live, kept;
    live.ns = item->m_regNames[0];
    Status step = g_wmi->Open(live.ns, ns);
    if (step) step = ns->Get(item->m_regNames[1], live.binding);
    if (step) step = ReadEnds(*ns, live);
    if (!step) return step;
    const std::wstring id = KeptId(live.ns, live.binding.path);
    const bool keptBefore = ReadKeptAt(location, store, id, kept).Succeeded();
    if (keptBefore && !SameSubscription(kept, live)) return Status::Fail(ERROR_ALREADY_EXISTS);
    if (!keptBefore) step = Keep(location, store, live);
    if (step) step = ns->Delete(live.binding.path);
    if (!step && !keptBefore) Forget(location, store, id);  // the binding stays live
    return step;
}

// Makes the kept filter, consumer and binding again where they are gone, then drops
// the kept definition.
Status PutBack(CKivItem* item, const wchar_t* store) {
    if (!NamesBinding(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring id = KeptId(item->m_regNames[0], item->m_regNames[1]);
    Subscription kept;
    std::unique_ptr<WmiNamespace> ns;
    Status step = ReadKeptAt(location, store, id, kept);
    if (step) step = g_wmi->Open(kept.ns, ns);
    if (!step) return step;
    std::vector<std::wstring> made;
    for (const WmiObject* object : {&kept.filter, &kept.consumer, &kept.binding}) {
        WmiObject there;
        const Status found = ns->Get(object->path, there);
        if (found) {
            if (!SameWmiObject(there, *object)) step = Status::Fail(ERROR_ALREADY_EXISTS);
        } else {
            step = found.Code() == ERROR_FILE_NOT_FOUND ? ns->Create(*object) : found;
            if (step) made.push_back(object->path);
        }
        if (!step) break;
    }
    if (!step) {
        for (auto path = made.rbegin(); path != made.rend(); ++path) ns->Delete(*path);
        return step;
    }
    Forget(location, store, id);
    return Status::Ok();
}

void CollectLive(Location* location) {
    std::deque<std::wstring> waiting = {L"root", L"root\\subscription"};
    std::vector<std::wstring> seen;
    while (!waiting.empty() && seen.size() < kMaxNamespaces) {
        const std::wstring name = waiting.front();
        waiting.pop_front();
        if (std::any_of(seen.begin(), seen.end(), [&](const std::wstring& s) { return EqualsNoCase(s, name); }))
            continue;
        seen.push_back(name);
        std::unique_ptr<WmiNamespace> ns;
        Status step = g_wmi->Open(name, ns);
        std::vector<WmiObject> children, bindings;
        if (step) step = ns->Query(kNamespaceClass, children);
        if (step) step = ns->Query(kBindingClass, bindings);
        if (!step) {
            LogLine(L"KIV\t\t\t WMI namespace %ls cannot be read (error 0x%08lx); its subscriptions are not listed\n",
                    name.c_str(), step.Code());
            continue;
        }
        for (const WmiObject& child : children) {
            const std::wstring childName = child.Property(L"Name");
            if (!childName.empty()) waiting.push_back(name + L"\\" + childName);
        }
        for (const WmiObject& binding : bindings) {
            Subscription subscription;
            subscription.ns = name;
            subscription.binding = binding;
            step = ReadEnds(*ns, subscription);
            if (step) AddItem(location, subscription, 1, 0);
            else
                LogLine(L"KIV\t\t\t WMI binding %ls of %ls cannot be read whole (error 0x%08lx)\n",
                        binding.path.c_str(), name.c_str(), step.Code());
        }
    }
}

}  // namespace

std::wstring WmiObject::Property(const std::wstring& name) const {
    for (const auto& property : properties)
        if (EqualsNoCase(property.first, name)) return property.second;
    return L"";
}

bool SameWmiObject(const WmiObject& a, const WmiObject& b) {
    if (!EqualsNoCase(a.className, b.className) || !EqualsNoCase(a.path, b.path) ||
        a.properties.size() != b.properties.size())
        return false;
    for (const auto& property : a.properties) {
        auto match = std::find_if(b.properties.begin(), b.properties.end(),
                                  [&](const auto& other) { return EqualsNoCase(other.first, property.first); });
        if (match == b.properties.end() || match->second != property.second) return false;
    }
    return true;
}

WmiConnector& CurrentWmi() { return *g_wmi; }

WmiConnector* SetWmi(WmiConnector* connector) {
    WmiConnector* previous = g_wmi;
    g_wmi = connector ? connector : &g_system;
    return previous;
}

void CollectWmiSubscriptions(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || wow64) return;
    if (enabledPass) {
        CollectLive(location);
        return;
    }
    ForEachKeptEntry(location, [&](HKEY store, const std::wstring& id, bool removed) {
        Subscription subscription;
        if (ReadKept(store, id, subscription)) AddItem(location, subscription, 0, removed);
    });
}

Status DisableWmiSubscription(CKivItem* item) { return TakeAway(item, kMarker); }

Status EnableWmiSubscription(CKivItem* item) { return PutBack(item, kMarker); }

Status RemoveWmiSubscription(CKivItem* item) {
    if (!NamesBinding(item) || item->m_removed) return Status::Fail(ERROR_NOT_SUPPORTED);
    Status step;
    if (item->m_enabled) {
        step = TakeAway(item, kRemovedMarker);
    } else {
        // A disabled binding is gone from WMI already: its kept definition moves.
        const Location* location = item->m_location;
        UniqueHKey marker, removed;
        step = OpenKeyToChange(location->m_root, StorePath(location, kMarker), marker);
        if (step)
            step =
                Status::FromRegistry(RegCreateKeyExW(location->m_root, StorePath(location, kRemovedMarker).c_str(), 0,
                                                     nullptr, 0, kKeyChangeRights, nullptr, removed.Put(), nullptr));
        if (step) step = MoveRegSubkey(marker.Get(), removed.Get(), KeptId(item->m_regNames[0], item->m_regNames[1]));
        marker.Reset();
        removed.Reset();
        RemoveKeyIfEmpty(location->m_root, StorePath(location, step ? kMarker : kRemovedMarker), 0);
    }
    if (step) item->m_removed = 1;
    return step;
}

Status RestoreWmiSubscription(CKivItem* item) {
    const Status step = PutBack(item, kRemovedMarker);
    if (step) item->m_enabled = 1;  // the binding is live again
    return step;
}

void WmiSubscriptionRegLocation(const CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!NamesBinding(item)) return;
    key = item->m_regNames[0] + L":" + item->m_regNames[1];
    value = item->m_regNames.size() > 2 ? item->m_regNames[2] : L"";
    for (wchar_t& c : value)
        if (std::iswcntrl(c)) c = L' ';
    if (value.size() > kShownChars) value = value.substr(0, kShownChars - 3) + L"...";
}

}  // namespace kiv
