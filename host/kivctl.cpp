// Command-line host: loads the module, collects what Windows starts on its own,
// lists it (or what changed since a saved listing), and disables, enables,
// removes, restores or shows one item.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "Diff.h"
#include "ItemReader.h"
#include "Listing.h"
#include "Report.h"
#include "Selector.h"
#include "ActionText.h"
#include "kiv.h"

namespace {

enum ExitCode { Ok = 0, ActionFailed = 1, UsageError = 2, Ambiguous = 3, NotFound = 4 };

const wchar_t kUsage[] =
    L"Usage: kivctl [list] [FILTER] [--format table|json|jsonl|csv] [--columns A,B,...] [--limit N] [--no-progress]\n"
    L"       kivctl diff OLD.json [NEW.json] [FILTER] [--format table|json]\n"
    L"       kivctl disable|enable|remove|restore|goto SELECTOR [--yes]\n"
    L"FILTER: any of --title, --location, --category, --state, --user NAME|* and --hide-signed-by NAME\n"
    L"        (repeatable), which leaves out entries whose file has a valid signature by NAME.\n"
    L"Every user of the machine is read: --user NAME keeps the entries of another user's registry and\n"
    L"profile (DOMAIN\\name, the name alone or the SID shown), * every user's and the machine's (the default).\n"
    L"Columns: id category location user title state file publisher description md5 size whitelisted\n"
    L"         signature signer created modified shortcutTarget locationType registryKey\n"
    L"         registryValue win32 enabled removed protected disabledByWindows serviceDll\n"
    L"         serviceDllMd5 serviceDllSignature serviceDllSigner (JSON always carries every one).\n"
    L"The signature and signer cost the most: each file is read whole and looked up in the system's\n"
    L"catalogues. They are checked only when a column or --hide-signed-by asks for them.\n"
    L"jsonl writes one JSON object a line, each with the machine's name and the time of the listing.\n"
    L"diff compares a listing saved with --format json or jsonl with another or with this machine now;\n"
    L"entries are the same when category, location and title are; exit code 0: no change, 1: changes.\n"
    L"SELECTOR: --title TEXT [--location PATH] [--category NAME] [--state enabled|disabled|removed]\n"
    L"          [--user NAME]\n"
    L"          or --id N (the ID shown by a listing of the same state of the machine)\n"
    L"A removal that takes other entries with it (Winsock removes a provider with all its entries)\n"
    L"names them and is done only with --yes.\n"
    L"The catalogue kivdata.dat and the whitelist kivwl.dat are read beside kivctl.exe.\n"
    L"Exit codes: 0 done, 1 the action failed, 2 usage or start-up error,\n"
    L"            3 the selector matches several items, 4 it matches none.\n";

struct Options {
    std::wstring command = L"list";
    std::wstring format = L"table";
    unsigned limit = 0;
    bool progress = true;
    bool yes = false;  // a removal may take the other entries it removes with it
    Selector selector;
    std::vector<std::wstring> columns;
    std::vector<std::wstring> listings;  // the saved listings a diff compares
};

// Text goes out as UTF-8 whatever the console's code page, so pipes and files get it whole.
void Write(FILE* stream, const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), stream);
    fflush(stream);
}

// A positive decimal number that fits 32 bits, written with digits only.
bool ParseNumber(const wchar_t* text, unsigned& value) {
    unsigned long long n = 0;
    if (!*text) return false;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9') return false;
        n = n * 10 + static_cast<unsigned>(*p - L'0');
        if (n > 0xFFFFFFFFull) return false;
    }
    if (n == 0) return false;
    value = static_cast<unsigned>(n);
    return true;
}

bool IsCommand(const std::wstring& word) {
    const wchar_t* commands[] = {L"list", L"diff", L"disable", L"enable", L"remove", L"restore", L"goto", L"show"};
    for (const wchar_t* command : commands)
        if (word == command) return true;
    return false;
}

// One option and its value; false with error set when it is unknown or malformed.
bool ParseOption(const std::wstring& name, const wchar_t* value, Options& options, std::wstring& error) {
    if (name == L"--format") options.format = value;
    else if (name == L"--title") options.selector.title = value;
    else if (name == L"--location") options.selector.location = value;
    else if (name == L"--category") options.selector.category = value;
    else if (name == L"--state") options.selector.state = value;
    else if (name == L"--user") options.selector.user = value;
    else if (name == L"--hide-signed-by") options.selector.hideSignedBy.push_back(value);
    else if (name == L"--columns") return ParseColumns(value, options.columns, error);
    else if (!((name == L"--limit" && ParseNumber(value, options.limit)) ||
               (name == L"--id" && ParseNumber(value, options.selector.id)))) {
        error = L"unknown or malformed option " + name;
        return false;
    }
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options, std::wstring& error) {
    bool commandGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.compare(0, 2, L"--") != 0) {
            if (commandGiven && options.command == L"diff" && options.listings.size() < 2) {
                options.listings.push_back(arg);
                continue;
            }
            if (commandGiven || !IsCommand(arg)) {
                error = L"unexpected \"" + arg + L"\"";
                return false;
            }
            options.command = arg == L"show" ? L"goto" : arg;
            commandGiven = true;
        } else if (arg == L"--no-progress") {
            options.progress = false;
        } else if (arg == L"--yes") {
            options.yes = true;
        } else if (i + 1 >= argc) {
            error = L"missing value after " + arg;
            return false;
        } else if (!ParseOption(arg, argv[++i], options, error)) {
            return false;
        }
    }
    if (options.format != L"table" && options.format != L"json" && options.format != L"jsonl" &&
        options.format != L"csv") {
        error = L"unknown format \"" + options.format + L"\"";
        return false;
    }
    const std::wstring& state = options.selector.state;
    if (!state.empty() && _wcsicmp(state.c_str(), L"enabled") != 0 && _wcsicmp(state.c_str(), L"disabled") != 0 &&
        _wcsicmp(state.c_str(), L"removed") != 0) {
        error = L"unknown state \"" + state + L"\" (enabled, disabled or removed)";
        return false;
    }
    if (options.command == L"diff" &&
        (options.listings.empty() || options.format == L"csv" || options.format == L"jsonl")) {
        error = L"diff needs a saved JSON listing and prints a table or JSON";
        return false;
    }
    if (options.command != L"list" && options.command != L"diff" && options.selector.Empty()) {
        error = L"the " + options.command + L" command needs a selector";
        return false;
    }
    return true;
}

std::atomic<bool> g_collecting{false};

// Ctrl+C during a collection stops it cleanly; what was found is still listed.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_collecting) {
        if (CKiv* kiv = CKiv::Get()) kiv->StopCollect();
        return TRUE;
    }
    return FALSE;
}

unsigned CountItems(CKiv* kiv) {
    unsigned count = 0;
    while (kiv->ItemMapGet(count + 1)) ++count;
    return count;
}

// Collects on this thread (COM is initialised here) while a second thread reports
// progress through the one lookup allowed during a run and applies the limit.
void CollectWithProgress(CKiv* kiv, const Options& options) {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        unsigned seen = 0;
        bool stopped = false;
        while (!done) {
            while (kiv->ItemMapGet(seen + 1)) ++seen;
            if (options.progress) Write(stderr, L"\rCollecting... " + std::to_wstring(seen) + L" item(s)");
            if (options.limit && seen >= options.limit && !stopped) {
                kiv->StopCollect();
                stopped = true;
            }
            Sleep(50);
        }
    });
    g_collecting = true;
    kiv->Collect();
    g_collecting = false;
    done = true;
    watcher.join();
    if (options.progress) Write(stderr, L"\rCollected " + std::to_wstring(CountItems(kiv)) + L" item(s).    \n");
}

// Signatures are checked only when something shown or filtered needs them: a diff
// compares them, a listing may show them, --hide-signed-by filters by them.
ReadOptions ReadFor(const Options& options) {
    ReadOptions read;
    read.signatures = options.command == L"diff" || !options.selector.hideSignedBy.empty() ||
                      (options.command == L"list" && ShowsSignatures(options.format, options.columns));
    return read;
}

// The machine's name as the network knows it (its NetBIOS name where there is no other).
std::wstring MachineName() {
    wchar_t name[256] = L"";
    DWORD size = 256;
    if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) && name[0]) return name;
    size = 256;
    return GetComputerNameW(name, &size) ? name : L"";
}

// Now in UTC, as ISO 8601 ("2026-12-09T10:05:09Z"), which log shippers read as a time.
std::wstring UtcNow() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    return text;
}

int List(const std::vector<ItemRow>& all, const Options& options) {
    std::vector<ItemRow> rows = Filter(all, options.selector);
    if (options.format == L"json") Write(stdout, FormatJson(rows));
    else if (options.format == L"jsonl") Write(stdout, FormatJsonLines(rows, MachineName(), UtcNow()));
    else if (options.format == L"csv")
        Write(stdout, FormatCsv(rows, options.columns.empty() ? AllColumns() : options.columns));
    else Write(stdout, FormatTable(rows, options.columns.empty() ? DefaultTableColumns(rows) : options.columns));
    return Ok;
}

int Diff(const std::vector<ItemRow>& before, const std::vector<ItemRow>& after, const Options& options) {
    ListingDiff diff = CompareListings(Filter(before, options.selector), Filter(after, options.selector));
    Write(stdout, options.format == L"json" ? FormatDiffJson(diff) : FormatDiffTable(diff));
    return diff.Empty() ? Ok : ActionFailed;
}

// The rows of the items a removal of the row's entry removes with it, its own first;
// only the row itself for every kind whose removal takes one entry.
std::vector<ItemRow> RemovedTogether(CKiv* kiv, const std::vector<ItemRow>& rows, const ItemRow& row) {
    std::vector<ItemRow> together;
    for (unsigned id : kiv->GetItemRemovalGroup(row.id))
        for (const ItemRow& other : rows)
            if (other.id == id) together.push_back(other);
    return together;
}

int Act(CKiv* kiv, const std::vector<ItemRow>& rows, const Options& options) {
    std::vector<const ItemRow*> found = Select(rows, options.selector);
    if (found.empty()) {
        Write(stderr, L"kivctl: no item matches the selector\n");
        return NotFound;
    }
    if (found.size() > 1) {
        Write(stderr, L"kivctl: the selector matches " + std::to_wstring(found.size()) +
                          L" items; narrow it with --location, --category or --state:\n");
        std::vector<ItemRow> matches;
        for (const ItemRow* row : found) matches.push_back(*row);
        // An action reads no signatures unless a filter asked for them.
        std::vector<std::wstring> columns;
        for (const std::wstring& column : DefaultTableColumns())
            if (ReadFor(options).signatures || (column != L"signature" && column != L"signer"))
                columns.push_back(column);
        Write(stderr, FormatTable(matches, columns));
        return Ambiguous;
    }
    const ItemRow& row = *found.front();
    const std::wstring& command = options.command;
    if (command == L"restore" && !row.removed) {
        Write(stderr, L"restore: " + std::wstring(kNothingToRestore) + L"\n");
        return ActionFailed;
    }
    const std::vector<ItemRow> together =
        command == L"remove" ? RemovedTogether(kiv, rows, row) : std::vector<ItemRow>();
    if (together.size() > 1 && !options.yes) {
        Write(stderr, L"remove: this also removes the other entries of its provider:\n" + FormatTable(together) +
                          L"run again with --yes to remove all " + std::to_wstring(together.size()) + L"\n");
        return ActionFailed;
    }
    int result = 1;
    if (command == L"disable") result = kiv->DisableItem(row.id);
    else if (command == L"enable") result = kiv->EnableItem(row.id);
    else if (command == L"remove") result = kiv->RemoveItem(row.id);
    else if (command == L"restore") result = kiv->RestoreItem(row.id);
    else kiv->GoTo(row.id);
    // The module leaves the cause of a failure, and only then, as the last error.
    const DWORD cause = GetLastError();
    if (!result || cause != ERROR_SUCCESS) {
        Write(stderr, command + L": " + ActionFailureText(cause != ERROR_SUCCESS ? cause : ERROR_GEN_FAILURE) + L"\n");
        return ActionFailed;
    }
    if (together.empty()) Write(stdout, command + L": \"" + row.title + L"\" in " + row.location + L"\n");
    for (const ItemRow& gone : together)
        Write(stdout, command + L": \"" + gone.title + L"\" in " + gone.location + L"\n");
    return Ok;
}

// The module, loaded and filled from the live machine; null once the failure is told.
CKiv* StartCollected(const Options& options) {
    CKiv* kiv = CKiv::Init();
    if (!kiv) {
        Write(stderr, L"kivctl: the module could not be initialised\n");
        return nullptr;
    }
    // The module has already shown its own message when the catalogue was missing.
    if (kiv->GetCategoryCount() == 0) {
        Write(stderr, L"kivctl: no catalogue loaded: kivdata.dat beside kivctl.exe is missing or lists nothing\n");
        CKiv::Dispose();
        return nullptr;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    CollectWithProgress(kiv, options);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    // A user whose entries could not be read is never silently missing from a listing.
    for (const UnreadUser& unread : UnreadUsers(kiv))
        Write(stderr, L"kivctl: warning: " + UnreadUserText(unread) + L"\n");
    return kiv;
}

int RunDiff(const Options& options) {
    std::vector<ItemRow> before, after;
    std::wstring error;
    bool read = ReadListing(options.listings[0], before, error) &&
                (options.listings.size() < 2 || ReadListing(options.listings[1], after, error));
    if (!read) {
        Write(stderr, L"kivctl: " + error + L"\n");
        return UsageError;
    }
    if (options.listings.size() < 2) {
        CKiv* kiv = StartCollected(options);
        if (!kiv) return UsageError;
        after = ReadItems(kiv, ReadFor(options));
        CKiv::Dispose();
    }
    return Diff(before, after, options);
}

int Run(const Options& options) {
    if (options.command == L"diff") return RunDiff(options);
    CKiv* kiv = StartCollected(options);
    if (!kiv) return UsageError;
    std::vector<ItemRow> rows = ReadItems(kiv, ReadFor(options));
    int code = options.command == L"list" ? List(rows, options) : Act(kiv, rows, options);
    CKiv::Dispose();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    std::wstring error;
    if (argc > 1 && (wcscmp(argv[1], L"--help") == 0 || wcscmp(argv[1], L"-h") == 0)) {
        Write(stdout, kUsage);
        return Ok;
    }
    if (!ParseOptions(argc, argv, options, error)) {
        Write(stderr, L"kivctl: " + error + L"\n" + kUsage);
        return UsageError;
    }
    // Progress is for people at a terminal; scripts get only the listing.
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_CHAR) options.progress = false;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = Run(options);
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
