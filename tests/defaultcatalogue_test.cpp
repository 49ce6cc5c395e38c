// The shipped catalogue on a test machine: every place it lists gets one realistic
// entry where Windows itself reads it, a collection through the catalogue lists that
// entry with the file Windows would start, and the machine is put back as it was.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <shlwapi.h>

#include "handlers/HandlerKinds.h"
#include "platform/Environment.h"
#include "kiv.h"
#include "platform/RegPath.h"
#include "support/RegistryTestKit.h"
#include "support/ServiceTestKit.h"
#include "support/TaskTestKit.h"
#include "support/TestSupport.h"
#include "support/WmiFake.h"

using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const wchar_t kDir[] = L"C:\\kivtests\\DefaultCatalogue";
// A class with an in-process server of the test's own, and identifiers that are no class.
const wchar_t kClass[] = L"{6A1C0E52-4B7D-4E0B-9C1A-5D2E8F3B7A11}";
const wchar_t kExtensionId[] = L"{6A1C0E52-4B7D-4E0B-9C1A-5D2E8F3B7A12}";
const wchar_t kButtonId[] = L"{6A1C0E52-4B7D-4E0B-9C1A-5D2E8F3B7A13}";
const wchar_t kProgId[] = L"KivCat.AddIn";
const wchar_t kExecButtonClass[] = L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

using kiv::ExpandPlain;

std::wstring D(const std::wstring& name) { return std::wstring(kDir) + L"\\" + name; }
std::wstring Sys(const std::wstring& name) { return ExpandPlain(L"%SystemRoot%\\System32\\" + name); }
std::wstring Wow(const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    GetSystemWow64DirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}
std::wstring Quoted(const std::wstring& path, const std::wstring& arguments) {
    return L"\"" + path + L"\" " + arguments;
}

RawValue MultiValue(const std::vector<std::wstring>& strings) {
    std::wstring chars;
    for (const std::wstring& s : strings) chars += s + L'\0';
    return TextValue(REG_MULTI_SZ, chars);  // the terminator closes the list
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Changes made to the test machine, undone in reverse order when it goes: values get
// their former data back (or go), keys and folders that were made go with their
// content, files go.
class MachineEdits {
public:
    MachineEdits() = default;
    MachineEdits(const MachineEdits&) = delete;
    MachineEdits& operator=(const MachineEdits&) = delete;
    ~MachineEdits() {
        while (!m_undo.empty()) {
            m_undo.back()();
            m_undo.pop_back();
        }
    }

    void Undo(std::function<void()> step) { m_undo.push_back(std::move(step)); }

    void MakeKey(HKEY root, const std::wstring& key) {
        for (size_t end = key.find(L'\\');; end = key.find(L'\\', end + 1)) {
            const std::wstring part = key.substr(0, end);
            if (!kivtest::KeyExists(root, part)) {
                Undo([root, part] { RegDeleteTreeW(root, part.c_str()); });
                break;
            }
            if (end == std::wstring::npos) return;
        }
        HKEY made = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr));
        RegCloseKey(made);
    }

    void SetValue(HKEY root, const std::wstring& key, const std::wstring& name, const RawValue& value) {
        MakeKey(root, key);
        RawValue former;
        if (ReadRaw(root, key, name, former)) Undo([=] { WriteRaw(root, key, name, former); });
        else Undo([=] { RegDeleteKeyValueW(root, key.c_str(), name.c_str()); });
        WriteRaw(root, key, name, value);
    }

    void AddFolder(const std::wstring& path) {
        if (Exists(path)) return;
        const size_t slash = path.find_last_of(L'\\');
        if (slash != std::wstring::npos && slash > 2) AddFolder(path.substr(0, slash));
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "cannot make a folder";
        Undo([path] { kivtest::DeleteFolderTree(path); });
    }

    void AddFile(const std::wstring& path, const std::string& bytes = "MZ") {
        if (Exists(path)) return;
        AddFolder(path.substr(0, path.find_last_of(L'\\')));
        kivtest::WriteFileBytes(path, bytes);
        Undo([path] { DeleteFileW(path.c_str()); });
    }

    void WriteProfile(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                      const std::wstring& text) {
        wchar_t former[261] = {};
        const bool had = GetPrivateProfileStringW(section.c_str(), key.c_str(), L"\x01", former, 261, file.c_str()) &&
                         former[0] != L'\x01';
        const std::wstring kept = former;
        Undo([=] {
            WritePrivateProfileStringW(section.c_str(), key.c_str(), had ? kept.c_str() : nullptr, file.c_str());
        });
        ASSERT_TRUE(WritePrivateProfileStringW(section.c_str(), key.c_str(), text.c_str(), file.c_str()));
    }

private:
    std::vector<std::function<void()>> m_undo;
};

// Writes an entry into a place: the machine, the place's root and key (for a folder
// place, its expanded path) and the value a value place names.
using Seed = std::function<void(MachineEdits&, HKEY, const std::wstring&, const std::wstring&)>;

struct Place {
    std::wstring category;
    EKivHandlerType handler;
    std::wstring location;  // as the catalogue writes it
    std::wstring value;     // the value a value place names, else empty
    Seed seed;
    std::wstring file;  // the file Windows would start
};

// A value of the place's key.
Seed Named(const std::wstring& name, const std::wstring& text) {
    return [=](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
        m.SetValue(root, key, name, TextValue(REG_SZ, text));
    };
}
// The value a value place names.
Seed Own(const RawValue& data) {
    return [=](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring& value) {
        m.SetValue(root, key, value, data);
    };
}
Seed Own(const std::wstring& text) { return Own(TextValue(REG_SZ, text)); }
// A subkey of the place's key with string values (an empty name is the default value).
Seed Sub(const std::wstring& name, const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    return [=](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
        m.MakeKey(root, key + L"\\" + name);
        for (const auto& value : values)
            m.SetValue(root, key + L"\\" + name, value.first, TextValue(REG_SZ, value.second));
    };
}
// A subkey named by the test's class, as shell extensions register themselves.
Seed ClassSub() { return Sub(kClass, {{L"", kClass}}); }

// A folder place with one program in it.
Seed FolderFile(const std::wstring& name) {
    return [=](MachineEdits& m, HKEY, const std::wstring& folder, const std::wstring&) {
        m.AddFolder(folder);
        m.AddFile(folder + L"\\" + name);
    };
}

// A Winsock catalogue entry: the provider's path in the ANSI code page, then its
// protocol record, whose name lies 376 bytes in.
Seed WinsockEntry(const std::string& providerPath, const std::wstring& protocol) {
    return [=](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
        RawValue packed;
        packed.type = REG_BINARY;
        packed.bytes.assign(888, 0);
        std::copy(providerPath.begin(), providerPath.end(), packed.bytes.begin());
        const BYTE* name = reinterpret_cast<const BYTE*>(protocol.c_str());
        std::copy(name, name + protocol.size() * sizeof(wchar_t), packed.bytes.begin() + 376);
        // Both catalogues: the 32-bit one and the native one of 64-bit Windows.
        for (const wchar_t* entries : {L"\\Catalog_Entries\\000000009901", L"\\Catalog_Entries64\\000000009901"})
            m.SetValue(root, key + entries, L"PackedCatalogItem", packed);
    };
}

Seed Service(const std::wstring& name, DWORD type, const std::wstring& image) {
    return [=](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
        auto service = std::make_shared<kivtest::TestService>(name, type, SERVICE_DEMAND_START, image);
        m.Undo([service] {});
    };
}

const std::wstring kCV = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::wstring kUserCV = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion";
const std::wstring kNT = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const std::wstring kCCS = L"HKLM\\SYSTEM\\CurrentControlSet";

// The places no registry value or folder shows: a service's recovery command (kept
// in its key, as the service manager keeps it), a program the logon screen starts
// (the loop below writes the file), a task only the scheduler's cache holds and a
// WMI subscription.
template <typename Add>
void AddPlacesBeyondValuesAndFolders(Add& add) {
    add(
        L"Services", ServiceRecovery, kCCS + L"\\Services", L"",
        [](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
            auto service = std::make_shared<kivtest::TestService>(L"KivCatRecovery", SERVICE_WIN32_OWN_PROCESS,
                                                                  SERVICE_DEMAND_START, Sys(L"svchost.exe"));
            m.Undo([service] {});
            m.SetValue(root, key + L"\\KivCatRecovery", L"FailureCommand",
                       TextValue(REG_SZ, Quoted(D(L"recovery.exe"), L"--restart")));
        },
        D(L"recovery.exe"));
    add(
        L"Image hijacks", AccessibilityPrograms, L"%SystemRoot%\\System32", L"",
        [](MachineEdits&, HKEY, const std::wstring&, const std::wstring&) {}, Sys(L"sethc.exe"));
    add(
        L"Scheduled tasks", HiddenTasks, kNT + L"\\Schedule\\TaskCache", L"",
        [](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
            const std::wstring task = key + L"\\Tasks\\{6B1D5C3A-0000-4000-8000-00000000CA7A}";
            m.SetValue(root, task, L"Path", TextValue(REG_SZ, L"\\KivCatHidden"));
            const std::wstring program = D(L"hidden-task.exe");
            std::vector<BYTE> actions;
            auto put = [&](const void* data, size_t size) {
                actions.insert(actions.end(), static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
            };
            auto text = [&](const std::wstring& t) {
                const DWORD bytes = static_cast<DWORD>(t.size() * sizeof(wchar_t));
                put(&bytes, sizeof(bytes));
                put(t.data(), bytes);
            };
            const WORD version = 3, exec = 0x6666;
            put(&version, sizeof(version));
            text(L"Author");
            put(&exec, sizeof(exec));
            for (const std::wstring& part : {std::wstring(), program, std::wstring(L"/hidden"), std::wstring()})
                text(part);
            m.SetValue(root, task, L"Actions", RawValue{REG_BINARY, actions});
        },
        D(L"hidden-task.exe"));
    // Wine's WMI has no root\subscription: the collection is handed WMI's seam with
    // one binding whose consumer runs the program.
    add(
        L"Scheduled tasks", WmiSubscriptions, L"HKLM\\SOFTWARE\\Microsoft\\Wbem\\ESS", L"",
        [](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
            auto wmi = std::make_shared<kivtest::FakeWmi>();
            wmi->AddNamespace(L"root\\subscription");
            wmi->Subscribe(L"root\\subscription", kivtest::FakeWmi::Filter(L"KivCat"),
                           kivtest::FakeWmi::Consumer(L"CommandLineEventConsumer", L"KivCat",
                                                      {{L"ExecutablePath", D(L"wmi-consumer.exe")}}));
            kiv::SetWmi(wmi.get());
            m.Undo([wmi] { kiv::SetWmi(nullptr); });
        },
        D(L"wmi-consumer.exe"));
}

std::vector<Place> Places() {
    const std::wstring ext = D(L"kivext.dll");
    const std::wstring lsa = kCCS + L"\\Control\\Lsa";
    std::vector<Place> places;
    auto add = [&](const wchar_t* category, EKivHandlerType handler, const std::wstring& location, const wchar_t* value,
                   Seed seed, const std::wstring& file) {
        places.push_back({category, handler, location, value, std::move(seed), file});
    };
    auto run = [&](const wchar_t* category, const std::wstring& key, const std::wstring& file) {
        add(category, RegValue, key, L"", Named(L"KivCat " + file, Quoted(D(file), L"/background")), D(file));
    };
    run(L"Run keys", kCV + L"\\Run", L"run-machine.exe");
    run(L"Run keys", kUserCV + L"\\Run", L"run-user.exe");
    run(L"Run keys", L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", L"run-32bit.exe");
    run(L"Run keys", kCV + L"\\RunOnce", L"runonce-machine.exe");
    run(L"Run keys", kUserCV + L"\\RunOnce", L"runonce-user.exe");
    run(L"Run keys", kCV + L"\\RunServices", L"runservices.exe");
    run(L"Run keys", kCV + L"\\RunServicesOnce", L"runservicesonce.exe");
    run(L"Run keys", kCV + L"\\Policies\\Explorer\\Run", L"policy-machine.exe");
    run(L"Run keys", kUserCV + L"\\Policies\\Explorer\\Run", L"policy-user.exe");
    run(L"Run keys", kUserCV + L"\\RunServices", L"runservices-user.exe");
    run(L"Run keys", kUserCV + L"\\RunServicesOnce", L"runservicesonce-user.exe");
    add(L"Run keys", RegValue, kCV + L"\\RunOnceEx", L"",
        Sub(L"0001", {{L"", L"KivCat Section"}, {L"1", L"||" + D(L"runonceex.exe")}}), D(L"runonceex.exe"));
    add(L"Run keys", RegValue, kCV + L"\\RunOnceEx", L"", Sub(L"0002\\Depend", {{L"1", D(L"depend.dll")}}),
        D(L"depend.dll"));
    add(L"Run keys", RegValue, kCV + L"\\RunEx", L"", Sub(L"0001", {{L"1", Quoted(D(L"runex.exe"), L"/q")}}),
        D(L"runex.exe"));

    add(L"Shell service objects", CoIdInValue, kCV + L"\\ShellServiceObjectDelayLoad", L"",
        Named(L"KivCat Tray", kClass), ext);
    add(L"Shell service objects", CoIdInValue, kUserCV + L"\\ShellServiceObjectDelayLoad", L"",
        Named(L"KivCat Tray", kClass), ext);
    add(L"Shell service objects", CoIdInValue, kCV + L"\\Explorer\\SharedTaskScheduler", L"",
        Named(kClass, L"KivCat Task"), ext);

    const std::wstring winlogon = kNT + L"\\Winlogon";
    add(L"Winlogon", RegValueEx, winlogon, L"Userinit",
        Own(Sys(L"userinit.exe") + L"," + D(L"userinit-extra.exe") + L","), D(L"userinit-extra.exe"));
    add(L"Winlogon", RegValueEx, winlogon, L"Shell", Own(L"explorer.exe, " + D(L"shell-extra.exe")),
        D(L"shell-extra.exe"));
    add(L"Winlogon", RegValueEx, L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell",
        Own(D(L"shell-user.exe")), D(L"shell-user.exe"));
    add(L"Winlogon", RegValueEx, kUserCV + L"\\Policies\\System", L"Shell", Own(D(L"shell-policy.exe")),
        D(L"shell-policy.exe"));
    add(L"Winlogon", RegValueEx, winlogon, L"VmApplet", Own(D(L"vmapplet.exe") + L" /pagefile"), D(L"vmapplet.exe"));
    add(L"Winlogon", CoIdInKey, winlogon + L"\\Notify", L"",
        Sub(L"KivCatNotify", {{L"DllName", D(L"notify.dll")}, {L"Logon", L"KivCatLogon"}}), D(L"notify.dll"));
    add(L"Winlogon", CoIdInKey, winlogon + L"\\GPExtensions", L"",
        Sub(kExtensionId,
            {{L"", L"KivCat Policy"}, {L"DllName", D(L"gpext.dll")}, {L"ProcessGroupPolicy", L"ProcessKivCatPolicy"}}),
        D(L"gpext.dll"));
    add(L"Winlogon", RegValueEx, kCCS + L"\\Control\\Session Manager", L"BootExecute",
        Own(MultiValue({L"autocheck autochk *", L"kivcatboot"})), Sys(L"kivcatboot.exe"));
    add(L"Winlogon", RegValueEx, kCCS + L"\\Control\\SafeBoot", L"AlternateShell", Own(L"kivcatcmd.exe"),
        Sys(L"kivcatcmd.exe"));
    add(L"Winlogon", RegValueEx, L"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Userinit",
        Own(D(L"userinit-user.exe")), D(L"userinit-user.exe"));
    for (const wchar_t* value : {L"Taskman", L"System", L"mpnotify", L"AppSetup", L"GinaDLL", L"UIHost"})
        add(L"Winlogon", RegValueEx, winlogon, value, Own(D(std::wstring(L"winlogon-") + value + L".exe")),
            D(std::wstring(L"winlogon-") + value + L".exe"));
    for (const wchar_t* value : {L"Shell", L"Userinit"})
        add(L"Winlogon", RegValueEx, kCV + L"\\Policies\\System", value,
            Own(D(std::wstring(L"policy-") + value + L".exe")), D(std::wstring(L"policy-") + value + L".exe"));

    const std::wstring session = kCCS + L"\\Control\\Session Manager";
    for (const wchar_t* list : {L"BootExecuteNoPnpSync", L"SetupExecute", L"Execute", L"PlatformExecute"})
        add(L"Boot and logon", RegValueEx, session, list, Own(MultiValue({std::wstring(L"kivcat") + list})),
            Sys(std::wstring(L"kivcat") + list + L".exe"));
    add(L"Boot and logon", RegValue, session + L"\\AppCertDlls", L"", Named(L"KivCat", D(L"appcert.dll")),
        D(L"appcert.dll"));
    add(L"Boot and logon", RegValueEx, kCCS + L"\\Control\\BootVerificationProgram", L"ImagePath",
        Own(D(L"bootverify.exe")), D(L"bootverify.exe"));
    add(L"Boot and logon", RegValueEx, L"HKLM\\SYSTEM\\Setup", L"CmdLine", Own(Quoted(D(L"setupcmd.exe"), L"/oobe")),
        D(L"setupcmd.exe"));
    add(L"Boot and logon", RegValueEx, L"HKCU\\Environment", L"UserInitMprLogonScript", Own(D(L"mprlogon.bat")),
        D(L"mprlogon.bat"));
    const std::wstring userPolicy = L"HKCU\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\";
    const std::wstring machinePolicy = L"HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows\\System\\Scripts\\";
    for (const auto& scripts :
         {std::make_pair(kUserCV + L"\\Group Policy\\Scripts\\", L"Logon"),
          std::make_pair(kUserCV + L"\\Group Policy\\Scripts\\", L"Logoff"),
          std::make_pair(kCV + L"\\Group Policy\\Scripts\\", L"Startup"),
          std::make_pair(kCV + L"\\Group Policy\\Scripts\\", L"Shutdown"), std::make_pair(userPolicy, L"Logon"),
          std::make_pair(userPolicy, L"Logoff"), std::make_pair(machinePolicy, L"Startup"),
          std::make_pair(machinePolicy, L"Shutdown")}) {
        const std::wstring script = std::wstring(L"gp-") + scripts.second + L".bat";
        add(L"Boot and logon", RegValue, scripts.first + scripts.second, L"",
            Sub(L"0\\0", {{L"Script", D(script)}, {L"Parameters", L""}}), D(script));
    }
    add(L"Boot and logon", RegValue, L"HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components", L"",
        Sub(kExtensionId, {{L"", L"KivCat Component"}, {L"StubPath", Quoted(D(L"stub.exe"), L"/UserInstall")}}),
        D(L"stub.exe"));

    add(L"AppInit DLLs", AppInitDll, kNT + L"\\Windows", L"AppInit_DLLs", Own(D(L"appinit.dll")), D(L"appinit.dll"));
    add(L"AppInit DLLs", AppInitDll, L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
        L"AppInit_DLLs", Own(D(L"appinit32.dll")), D(L"appinit32.dll"));
    add(L"Winsock providers", LspChain, kCCS + L"\\Services\\WinSock2\\Parameters\\Protocol_Catalog9", L"",
        WinsockEntry("C:\\kivtests\\DefaultCatalogue\\kivlsp.dll", L"KivCat Layered Provider"), D(L"kivlsp.dll"));
    add(L"Startup folders", SimpleFile, L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", L"",
        FolderFile(L"kivcat-user.exe"),
        ExpandPlain(L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\kivcat-user.exe"));
    add(L"Startup folders", SimpleFile, L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp", L"",
        FolderFile(L"kivcat-common.exe"),
        ExpandPlain(L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\kivcat-common.exe"));
    add(L"Services", Services, kCCS + L"\\Services", L"",
        Service(L"KivCatService", SERVICE_WIN32_OWN_PROCESS, Quoted(D(L"service.exe"), L"-service")),
        D(L"service.exe"));
    add(L"Drivers", Drivers, kCCS + L"\\Services", L"",
        Service(L"KivCatDriver", SERVICE_KERNEL_DRIVER, L"system32\\drivers\\kivcatdrv.sys"),
        Sys(L"drivers\\kivcatdrv.sys"));

    auto hook = [&](EKivHandlerType handler, const std::wstring& key, Seed seed) {
        add(L"Class hooks", handler, key, L"", std::move(seed), ext);
    };
    hook(CoIdInKey, kCV + L"\\Explorer\\ShellServiceObjects", Sub(kClass, {{L"", L"KivCat Hook"}}));
    for (const wchar_t* kind : {L"Credential Providers", L"Credential Provider Filters", L"PLAP Providers"})
        hook(CoIdInKey, kCV + L"\\Authentication\\" + kind, Sub(kClass, {{L"", L"KivCat Provider"}}));
    hook(CoIdInKeyValue, L"HKCR\\Protocols\\Filter", Sub(L"text/kivcat", {{L"CLSID", kClass}}));
    hook(CoIdInKeyValue, L"HKCR\\Protocols\\Handler", Sub(L"kivcat", {{L"", L"KivCat Protocol"}, {L"CLSID", kClass}}));
    hook(CoIdInKey, kUserCV + L"\\Explorer\\ShellServiceObjects", Sub(kClass, {}));
    // The user's own server for a class the machine registers too.
    add(L"Class hooks", CoIdInKey, L"HKCU\\Software\\Classes\\CLSID", L"",
        Sub(std::wstring(kClass) + L"\\InprocServer32", {{L"", D(L"user-override.dll")}}), D(L"user-override.dll"));
    add(L"Class hooks", CoIdInKey, L"HKCU\\Software\\Classes\\Wow6432Node\\CLSID", L"",
        Sub(std::wstring(kClass) + L"\\LocalServer32", {{L"", Quoted(D(L"user-override32.exe"), L"-Embedding")}}),
        D(L"user-override32.exe"));

    // The profile place of win.ini: Windows keeps its "windows" section in the user's registry.
    add(
        L"Profiles", WinIni, L"%SystemRoot%\\win.ini", L"",
        [](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
            m.SetValue(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"Load",
                       TextValue(REG_SZ, D(L"winini-load.exe")));
        },
        D(L"winini-load.exe"));
    add(
        L"Profiles", SystemIni, L"%SystemRoot%\\system.ini", L"",
        [](MachineEdits& m, HKEY, const std::wstring& file, const std::wstring&) {
            m.WriteProfile(file, L"boot", L"shell", L"explorer.exe " + D(L"sysini-shell.exe"));
        },
        D(L"sysini-shell.exe"));
    add(
        L"Autorun", AutorunInf, L"%SystemDrive%\\", L"",
        [](MachineEdits& m, HKEY, const std::wstring& root, const std::wstring&) {
            m.AddFile(root + L"autorun.inf",
                      "[autorun]\r\nopen=" + std::string("C:\\kivtests\\DefaultCatalogue\\") + "autorun.exe\r\n");
        },
        D(L"autorun.exe"));
    add(
        L"Autorun", DesktopIniObj, L"%SystemDrive%\\", L"",
        [](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
            const std::wstring folder = D(L"Shelled");
            m.AddFolder(folder);
            SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_SYSTEM);
            m.Undo([folder] { SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL); });
            std::string text = "[.ShellClassInfo]\r\nCLSID=";
            for (const wchar_t* c = kClass; *c; ++c) text += static_cast<char>(*c);
            m.AddFile(folder + L"\\desktop.ini", text + "\r\n");
        },
        ext);
    // The autorun file written just above stands for the fixed drive's AutoPlay; the
    // test's removable (w:) and CD (x:) drives get one of their own.
    add(
        L"Autorun", AutoPlay, kCV + L"\\Policies\\Explorer", L"3",
        [](MachineEdits&, HKEY, const std::wstring&, const std::wstring&) {},
        ExpandPlain(L"%SystemDrive%\\autorun.inf"));
    for (const auto& drive : {std::make_pair(L"2", L"W:\\AutoRun.inf"), std::make_pair(L"5", L"X:\\AutoRun.inf")}) {
        const std::wstring inf = drive.second;
        add(
            L"Autorun", AutoPlay, kCV + L"\\Policies\\Explorer", drive.first,
            [inf](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
                m.AddFile(inf, "[autorun]\r\nopen=setup.exe\r\n");
            },
            inf);
    }
    // A network drive (y:) is listed with the file on its share; the test machine has
    // no share, so the call that names a letter's share answers a folder here.
    add(
        L"Autorun", AutoPlay, kCV + L"\\Policies\\Explorer", L"4",
        [](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
            m.AddFile(D(L"Share\\AutoRun.inf"), "[autorun]\r\nopen=setup.exe\r\n");
        },
        D(L"Share\\AutoRun.inf"));
    add(
        L"Scheduled tasks", TaskScheduler, L"%windir%\\System32\\Tasks", L"",
        [](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
            auto task = std::make_shared<kivtest::TestTask>(L"KivCatTask", D(L"task.exe"), 0);
            m.Undo([task] {});
        },
        D(L"task.exe"));

    // Every family of every owner, in turn registered under the class and under a
    // name whose default value names the class.
    int form = 0;
    for (const wchar_t* family :
         {L"ContextMenuHandlers", L"PropertySheetHandlers", L"CopyHookHandlers", L"DragDropHandlers"})
        for (const wchar_t* owner :
             {L"*", L"AllFileSystemObjects", L"Directory", L"Directory\\Background", L"Drive", L"Folder", L"lnkfile"})
            add(L"Shell extensions", CoIdInKey, std::wstring(L"HKCR\\") + owner + L"\\shellex\\" + family, L"",
                ++form % 2 ? ClassSub() : Sub(L"KivCat Handler", {{L"", kClass}}), ext);
    add(L"Shell extensions", CoIdInKey, L"HKCR\\Drive\\shellex\\FolderExtensions", L"",
        Sub(kClass, {{L"DriveMask", L"255"}}), ext);
    add(L"Shell extensions", CoIdInKey, L"HKCR\\Folder\\shellex\\ColumnHandlers", L"", Sub(kClass, {}), ext);
    add(L"Shell extensions", CoIdInKey, kCV + L"\\Explorer\\ShellIconOverlayIdentifiers", L"", ClassSub(), ext);
    add(L"Shell extensions", CoIdInKey, kUserCV + L"\\Explorer\\ShellIconOverlayIdentifiers", L"",
        Sub(L"  KivCatOverlay", {{L"", kClass}}), ext);
    add(L"Shell extensions", RegValueEx, L"HKCU\\Control Panel\\Desktop", L"SCRNSAVE.EXE", Own(D(L"kivcat.scr")),
        D(L"kivcat.scr"));
    add(L"Shell extensions", RegValueEx, L"HKCU\\Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop",
        L"SCRNSAVE.EXE", Own(D(L"kivcat-policy.scr")), D(L"kivcat-policy.scr"));

    add(L"Browser", CoIdInKey, kCV + L"\\Explorer\\Browser Helper Objects", L"", Sub(kClass, {{L"NoExplorer", L"1"}}),
        ext);
    const std::wstring ie = L"SOFTWARE\\Microsoft\\Internet Explorer";
    for (const wchar_t* root : {L"HKLM\\", L"HKCU\\"}) {
        const std::wstring exec = root[2] == L'L' ? L"toolbar-machine.exe" : L"toolbar-user.exe";
        add(L"Browser", CoIdInKey,
            root + (root[2] == L'L' ? ie : L"Software\\Microsoft\\Internet Explorer") + L"\\Extensions", L"",
            Sub(kButtonId, {{L"ButtonText", L"KivCat"},
                            {L"CLSID", kExecButtonClass},
                            {L"Default Visible", L"Yes"},
                            {L"Exec", D(exec)}}),
            D(exec));
    }
    add(L"Browser", CoIdInValue, L"HKCU\\Software\\Microsoft\\Internet Explorer\\URLSearchHooks", L"",
        Named(kClass, L""), ext);
    add(L"Browser", CoIdInValue, L"HKLM\\" + ie + L"\\Toolbar", L"", Named(kClass, L"KivCat Toolbar"), ext);
    add(L"Browser", CoIdInKey, kUserCV + L"\\Explorer\\Browser Helper Objects", L"", Sub(kClass, {}), ext);
    add(L"Browser", CoIdInValue, L"HKCU\\Software\\Microsoft\\Internet Explorer\\Toolbar", L"",
        Named(kClass, L"KivCat Toolbar"), ext);

    // Codecs: the 32-bit view keeps its own list, whose files lie in the 32-bit system folder.
    add(L"Codecs", RegValue, kNT + L"\\Drivers32", L"", Named(L"msacm.kivcat", L"kivcat.acm"), Sys(L"kivcat.acm"));
    add(L"Codecs", RegValue, L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", L"",
        Named(L"msacm.kivcat", L"kivcat.acm"), Wow(L"kivcat.acm"));
    const std::wstring filters = L"CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance";
    const Seed filter = Sub(kClass, {{L"CLSID", kClass}, {L"FriendlyName", L"KivCat Filter"}});
    add(L"Codecs", CoIdInKeyValue, L"HKCR\\" + filters, L"", filter, ext);
    add(L"Codecs", CoIdInKeyValue, L"HKCR\\Wow6432Node\\" + filters, L"", filter, ext);

    add(L"Print monitors", CoIdInKey, kCCS + L"\\Control\\Print\\Monitors", L"",
        Sub(L"KivCat Port", {{L"Driver", L"kivcatmon.dll"}}), Sys(L"kivcatmon.dll"));
    add(L"Print monitors", CoIdInKey, kCCS + L"\\Control\\Print\\Providers", L"",
        Sub(L"KivCat Print Provider", {{L"Name", L"kivcatpp.dll"}}), Sys(L"kivcatpp.dll"));

    // Packages are named without their extension and loaded from the system folder.
    add(L"LSA providers", RegValueEx, lsa, L"Authentication Packages", Own(MultiValue({L"msv1_0", L"kivcatap"})),
        Sys(L"kivcatap.dll"));
    add(L"LSA providers", RegValueEx, lsa, L"Notification Packages", Own(MultiValue({L"scecli", L"kivcatnp"})),
        Sys(L"kivcatnp.dll"));
    add(L"LSA providers", RegValueEx, lsa, L"Security Packages", Own(MultiValue({L"kerberos", L"kivcatsp"})),
        Sys(L"kivcatsp.dll"));
    add(L"LSA providers", RegValueEx, lsa + L"\\OSConfig", L"Security Packages", Own(MultiValue({L"kivcatosp"})),
        Sys(L"kivcatosp.dll"));
    add(L"LSA providers", RegValueEx, kCCS + L"\\Control\\LsaExtensionConfig\\LsaSrv", L"Extensions",
        Own(MultiValue({D(L"lsaext.dll")})), D(L"lsaext.dll"));
    add(L"LSA providers", AppInitDll, kCCS + L"\\Control\\SecurityProviders", L"SecurityProviders",
        Own(L"credssp.dll, kivcatssp.dll"), Sys(L"kivcatssp.dll"));

    add(L"Image hijacks", CoIdInKey, kNT + L"\\Image File Execution Options", L"",
        Sub(L"kivcat-target.exe", {{L"Debugger", Quoted(D(L"debugger.exe"), L"-attach")}}), D(L"debugger.exe"));
    add(L"Image hijacks", RegValue, kNT + L"\\Image File Execution Options", L"",
        Sub(L"kivcat-verified.exe", {{L"VerifierDlls", L"kivcatverifier.dll"}}), Sys(L"kivcatverifier.dll"));

    const std::wstring ts = kCCS + L"\\Control\\Terminal Server";
    add(L"Terminal Server", RegValueEx, ts + L"\\Wds\\rdpwd", L"StartupPrograms", Own(L"kivcatclip"),
        Sys(L"kivcatclip.exe"));
    add(L"Terminal Server", RegValueEx, ts + L"\\WinStations\\RDP-Tcp", L"InitialProgram", Own(D(L"initial.exe")),
        D(L"initial.exe"));
    const std::wstring install = kNT + L"\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion";
    run(L"Terminal Server", install + L"\\Run", L"ts-run.exe");
    run(L"Terminal Server", install + L"\\RunOnce", L"ts-runonce.exe");

    add(L"Font drivers", RegValue, kNT + L"\\Font Drivers", L"", Named(L"KivCat Type Manager", L"kivcatfnt.dll"),
        Sys(L"kivcatfnt.dll"));

    const wchar_t* loaded = L"Loaded libraries";
    add(loaded, RegValue, session + L"\\KnownDLLs", L"", Named(L"kivcatknown", L"kivcatknown.dll"),
        Sys(L"kivcatknown.dll"));
    add(loaded, RegValue, session + L"\\KnownDLLs", L"", Named(L"kivcatknown32", L"kivcatknown32.dll"),
        Wow(L"kivcatknown32.dll"));
    add(loaded, RegValueEx, kCCS + L"\\Services\\WinSock2\\Parameters", L"AutodialDLL", Own(D(L"autodial.dll")),
        D(L"autodial.dll"));
    for (const wchar_t* value : {L"LsaDbExtPt", L"DirectoryServiceExtPt"})
        add(loaded, RegValueEx, kCCS + L"\\Services\\NTDS", value, Own(D(L"ntdsext.dll")), D(L"ntdsext.dll"));
    add(loaded, RegValueEx, kCCS + L"\\Services\\DNS\\Parameters", L"ServerLevelPluginDll", Own(D(L"dnsplugin.dll")),
        D(L"dnsplugin.dll"));
    add(loaded, RegValue, L"HKLM\\SOFTWARE\\Microsoft\\NetSh", L"", Named(L"kivcat", L"kivcatnetsh.dll"),
        Sys(L"kivcatnetsh.dll"));
    add(loaded, RegValue, kCCS + L"\\Services\\W32Time\\TimeProviders", L"",
        Sub(L"KivCatTime", {{L"DllName", D(L"timeprov.dll")}}), D(L"timeprov.dll"));
    const std::wstring print = kCCS + L"\\Control\\Print\\Environments\\";
    add(loaded, RegValue, print + L"Windows x64\\Print Processors", L"",
        Sub(L"KivCatProc", {{L"Driver", L"kivcatproc.dll"}}), Sys(L"spool\\prtprocs\\x64\\kivcatproc.dll"));
    add(loaded, RegValue, print + L"Windows NT x86\\Print Processors", L"",
        Sub(L"KivCatProc", {{L"Driver", L"kivcatproc32.dll"}}), Sys(L"spool\\prtprocs\\W32X86\\kivcatproc32.dll"));
    add(
        loaded, AppInitDll, kCCS + L"\\Control\\NetworkProvider\\Order", L"ProviderOrder",
        [](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring& value) {
            m.SetValue(root, L"SYSTEM\\CurrentControlSet\\Services\\KivCatNet\\NetworkProvider", L"ProviderPath",
                       TextValue(REG_EXPAND_SZ, D(L"netprovider.dll")));
            m.SetValue(root, key, value, TextValue(REG_SZ, L"KivCatNet"));
        },
        D(L"netprovider.dll"));
    add(loaded, CoIdInKey, L"HKLM\\SOFTWARE\\Microsoft\\AMSI\\Providers", L"", Sub(kClass, {}), ext);
    for (const wchar_t* root : {L"HKLM\\SOFTWARE", L"HKCU\\Software"})
        add(loaded, RegValueEx, root + std::wstring(L"\\Microsoft\\Command Processor"), L"AutoRun",
            Own(D(L"cmd-autorun.bat")), D(L"cmd-autorun.bat"));
    for (const std::wstring& environment : {session + L"\\Environment", std::wstring(L"HKCU\\Environment")})
        for (const wchar_t* variable : {L"COR_PROFILER_PATH", L"CORECLR_PROFILER_PATH", L"DOTNET_STARTUP_HOOKS"})
            add(loaded, RegValueEx, environment, variable, Own(D(L"profiler.dll")), D(L"profiler.dll"));
    for (const wchar_t* root : {L"HKCU\\Software", L"HKLM\\SOFTWARE"}) {
        add(loaded, RegValueEx, root + std::wstring(L"\\Microsoft\\Office test\\Special\\Perf"), L"",
            Own(D(L"officetest.dll")), D(L"officetest.dll"));
        for (const wchar_t* app : {L"Word", L"Excel", L"PowerPoint", L"Outlook"})
            add(loaded, CoIdInKey, root + std::wstring(L"\\Microsoft\\Office\\") + app + L"\\Addins", L"",
                Sub(kProgId, {{L"FriendlyName", L"KivCat Add-in"}}), ext);
        add(loaded, CoIdInKey, root + std::wstring(L"\\Microsoft\\CTF\\LangBarAddin"), L"",
            Sub(L"KivCatLangBar", {{L"FilePath", D(L"langbar.dll")}}), D(L"langbar.dll"));
    }
    add(loaded, CoIdInKey, kCV + L"\\Explorer\\VolumeCaches", L"", Sub(L"KivCat Cleaner", {{L"", kClass}}), ext);
    add(loaded, CoIdInValue, kCV + L"\\Explorer\\ShellExecuteHooks", L"", Named(kClass, L""), ext);
    add(loaded, RegValue, kNT + L"\\Accessibility\\ATs", L"", Sub(L"kivcatat", {{L"StartExe", D(L"at.exe")}}),
        D(L"at.exe"));
    add(loaded, RegValue, kCCS + L"\\Control\\Terminal Server\\AddIns", L"",
        Sub(L"KivCatAddIn", {{L"Path", D(L"tsaddin.dll")}}), D(L"tsaddin.dll"));

    add(L"Debuggers", RegValueEx, kNT + L"\\AeDebug", L"Debugger", Own(Quoted(D(L"aedebug.exe"), L"-p %ld")),
        D(L"aedebug.exe"));
    add(L"Debuggers", RegValueEx, L"HKLM\\SOFTWARE\\Microsoft\\.NETFramework", L"DbgManagedDebugger",
        Own(Quoted(D(L"managed.exe"), L"attach %d")), D(L"managed.exe"));
    for (const wchar_t* value : {L"Debugger", L"ReflectDebugger"})
        add(L"Debuggers", RegValueEx, L"HKLM\\SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\Hangs", value,
            Own(D(L"hang.exe")), D(L"hang.exe"));
    // A monitor runs when its program exits, once the program's GlobalFlag asks for it.
    add(
        L"Debuggers", RegValue, kNT + L"\\SilentProcessExit", L"",
        [](MachineEdits& m, HKEY root, const std::wstring& key, const std::wstring&) {
            RawValue flag;
            flag.type = REG_DWORD;
            flag.bytes = {0, 2, 0, 0};
            m.SetValue(
                root, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\kivcat-exit.exe",
                L"GlobalFlag", flag);
            m.SetValue(root, key + L"\\kivcat-exit.exe", L"MonitorProcess", TextValue(REG_SZ, D(L"monitor.exe")));
        },
        D(L"monitor.exe"));
    add(L"Debuggers", RegValue, kNT + L"\\AppCompatFlags\\InstalledSDB", L"",
        Sub(kButtonId, {{L"DatabaseDescription", L"KivCat Shims"}, {L"DatabasePath", D(L"kivcat.sdb")}}),
        D(L"kivcat.sdb"));

    for (const wchar_t* type : {L"exefile", L"comfile", L"batfile", L"cmdfile", L"piffile", L"scrfile", L"htmlfile",
                                L"mscfile", L"ms-settings"})
        add(L"File types", RegValue, std::wstring(L"HKCR\\") + type + L"\\shell", L"",
            Sub(L"kivcatverb\\command", {{L"", Quoted(D(L"wrapper.exe"), L"\"%1\" %*")}}), D(L"wrapper.exe"));

    const wchar_t* scripts = L"Scripts and documents";
    const auto file = [&](const std::wstring& folder, const std::wstring& name) {
        add(scripts, SimpleFile, folder, L"", FolderFile(name), ExpandPlain(folder + L"\\" + name));
    };
    file(L"%SystemRoot%\\System32\\WindowsPowerShell\\v1.0", L"profile.ps1");
    file(L"%ProgramFiles%\\PowerShell\\7", L"Microsoft.PowerShell_profile.ps1");
    // The user's profiles: the one running the test and one more in the profile list.
    for (const wchar_t* shell : {L"WindowsPowerShell", L"PowerShell"}) {
        const std::wstring below = std::wstring(L"Documents\\") + shell;
        add(
            scripts, SimpleFile, below, L"",
            [below](MachineEdits& m, HKEY, const std::wstring&, const std::wstring&) {
                m.SetValue(HKEY_LOCAL_MACHINE,
                           L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-7-7-7-1078",
                           L"ProfileImagePath", TextValue(REG_EXPAND_SZ, D(L"OtherUser")));
                m.AddFile(ExpandPlain(L"%USERPROFILE%\\" + below + L"\\profile.ps1"));
            },
            D(L"OtherUser\\" + below + L"\\Microsoft.PowerShell_profile.ps1"));
    }
    file(L"%APPDATA%\\Microsoft\\Word\\STARTUP", L"kivcat.dotm");
    file(L"%APPDATA%\\Microsoft\\Excel\\XLSTART", L"kivcat.xlam");
    file(L"%ProgramFiles%\\Microsoft Office\\root\\Office16\\STARTUP", L"kivcat.wll");
    file(L"%ProgramFiles%\\Microsoft Office\\root\\Office16\\XLSTART", L"kivcat.xll");
    // Word's global template and Outlook's macro project run their macros at every start.
    file(L"%APPDATA%\\Microsoft\\Templates", L"Normal.dotm");
    file(L"%APPDATA%\\Microsoft\\Outlook", L"VbaProject.OTM");
    file(L"%SystemRoot%\\Setup\\Scripts", L"SetupComplete.cmd");
    AddPlacesBeyondValuesAndFolders(add);
    return places;
}

// Places of the catalogue that no entry is seeded for here: how many, by the start
// of their key, and why: Wine's transfer service keeps no job's command line.
const std::map<std::wstring, int> kUnseeded = {{L"Scheduled tasks|19|", 1}};

// The share behind the test's network drive y:.
DWORD __stdcall TestShare(const wchar_t* local, wchar_t* remote, DWORD* length) {
    const std::wstring share = D(L"Share");
    if (_wcsicmp(local, L"Y:") != 0) return ERROR_NOT_CONNECTED;
    if (*length <= share.size()) return ERROR_MORE_DATA;
    wcscpy_s(remote, *length, share.c_str());
    return NO_ERROR;
}

// The key of a place: category, handler and path (value places of one key differ
// only in their value, so they count up under the same key).
std::wstring PlaceKey(const std::wstring& category, EKivHandlerType handler, const std::wstring& path) {
    return category + L"|" + std::to_wstring(static_cast<int>(handler)) + L"|" + path;
}

struct NoCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};
using PlaceCounts = std::map<std::wstring, int, NoCase>;

bool IsTwin(const std::wstring& path) { return StrStrIW(path.c_str(), L"\\Wow6432Node\\") != nullptr; }

using kivtest::Narrow;

bool IsFolderPlace(const Place& place) {
    return place.handler == SimpleFile || place.handler == TaskScheduler || place.handler == WinIni ||
           place.handler == SystemIni || place.handler == AutorunInf || place.handler == DesktopIniObj ||
           place.handler == AccessibilityPrograms;
}

class DefaultCatalogueTest : public ::testing::Test {
protected:
    // Work items and shortcuts are read through COM, which a host initialises.
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override {
        CKiv::Dispose();
        CoUninitialize();
    }

    // The files listed, enabled, at a place (matched by category, handler, path and value).
    std::vector<std::wstring> FilesAt(const Place& place, const std::wstring& path) {
        std::vector<std::wstring> files;
        for (unsigned c = 0; c < m_kiv->GetCategoryCount(); ++c) {
            if (place.category != m_kiv->GetCategoryName(c)) continue;
            for (unsigned l = 0; l < m_kiv->GetLocationCount(c); ++l) {
                if (m_kiv->GetLocationHandlerType(c, l) != place.handler ||
                    _wcsicmp(m_kiv->GetLocationPath(c, l), path.c_str()) != 0)
                    continue;
                for (unsigned i = 0; i < m_kiv->GetItemCount(c, l); ++i) {
                    const unsigned id = m_kiv->GetItemGlobalID(c, l, i);
                    if (!place.value.empty() && place.value != m_kiv->GetItemLocationValue(id)) continue;
                    if (m_kiv->GetItemEnabled(id)) files.push_back(m_kiv->GetItemFilePath(id));
                }
            }
        }
        return files;
    }

    CKiv* m_kiv = nullptr;
};

}  // namespace

TEST_F(DefaultCatalogueTest, EveryPlaceListsItsSeededEntryWithTheFileWindowsStarts) {
    const std::vector<Place> places = Places();
    MachineEdits machine;
    machine.AddFolder(kDir);
    machine.SetValue(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass, L"", TextValue(REG_SZ, L"KivCat Extension"));
    machine.SetValue(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass + L"\\InprocServer32", L"",
                     TextValue(REG_SZ, D(L"kivext.dll")));
    // The 32-bit places look their classes up in the 32-bit view, as 32-bit programs do.
    machine.SetValue(HKEY_CLASSES_ROOT, std::wstring(L"Wow6432Node\\CLSID\\") + kClass, L"",
                     TextValue(REG_SZ, L"KivCat Extension"));
    machine.SetValue(HKEY_CLASSES_ROOT, std::wstring(L"Wow6432Node\\CLSID\\") + kClass + L"\\InprocServer32", L"",
                     TextValue(REG_SZ, D(L"kivext.dll")));
    // Office add-ins name their class by a program identifier.
    machine.SetValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", L"", TextValue(REG_SZ, kClass));
    std::vector<std::wstring> paths;
    for (const Place& place : places) {
        std::wstring path = place.location;
        HKEY root = nullptr;
        std::wstring key = path;
        if (IsFolderPlace(place)) path = key = ExpandPlain(path);
        else ASSERT_NE(0, kiv::SplitRootPrefix(key, root)) << Narrow(path);
        machine.AddFile(place.file);
        place.seed(machine, root, key, place.value);
        paths.push_back(path);
    }

    m_kiv = CKiv::Init();
    ASSERT_NE(nullptr, m_kiv);
    const kiv::DriveConnection system = kiv::SetDriveConnectionCall(&TestShare);
    m_kiv->Collect();
    kiv::SetDriveConnectionCall(system);

    // Every place of the catalogue has its entry here, twins of the 32-bit view and
    // other users' copies aside. The profile list's other user has no hive file: each
    // registry copy of its own says so (its classes are merely absent).
    PlaceCounts listed, seeded;
    for (unsigned c = 0; c < m_kiv->GetCategoryCount(); ++c)
        for (unsigned l = 0; l < m_kiv->GetLocationCount(c); ++l) {
            const std::wstring path = m_kiv->GetLocationPath(c, l);
            if (*m_kiv->GetLocationUser(c, l)) {
                const bool ownHive =
                    m_kiv->GetLocationType(c, l) != 2 && path.find(L"_Classes\\") == std::wstring::npos;
                EXPECT_EQ(ownHive ? ERROR_FILE_NOT_FOUND : 0u, m_kiv->GetLocationReadError(c, l)) << Narrow(path);
                continue;
            }
            if (IsTwin(path)) continue;
            ++listed[PlaceKey(m_kiv->GetCategoryName(c), m_kiv->GetLocationHandlerType(c, l), path)];
        }
    for (size_t p = 0; p < places.size(); ++p)
        if (!IsTwin(paths[p])) ++seeded[PlaceKey(places[p].category, places[p].handler, paths[p])];
    for (const auto& place : listed) {
        int expected = place.second;
        for (const auto& skip : kUnseeded)
            if (_wcsnicmp(place.first.c_str(), skip.first.c_str(), skip.first.size()) == 0) expected -= skip.second;
        EXPECT_EQ(expected, seeded[place.first]) << "entries seeded for " << Narrow(place.first);
    }
    for (const auto& place : seeded)
        EXPECT_EQ(1u, listed.count(place.first)) << "not in the catalogue: " << Narrow(place.first);

    for (size_t p = 0; p < places.size(); ++p) {
        const std::vector<std::wstring> files = FilesAt(places[p], paths[p]);
        bool found = false;
        std::string seen;
        for (const std::wstring& file : files) {
            found = found || _wcsicmp(file.c_str(), places[p].file.c_str()) == 0;
            seen += " [" + Narrow(file) + "]";
        }
        EXPECT_TRUE(found) << Narrow(places[p].category) << " | " << Narrow(paths[p]) << " | "
                           << Narrow(places[p].value) << ": expected " << Narrow(places[p].file) << ", listed" << seen;
    }
}
