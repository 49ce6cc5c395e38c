// Files and registry data that anyone on the machine can write, made as hostile as
// their formats allow: the module must load, collect and act on them without a
// crash, a hang, a write past a buffer or a change to data it was not asked about.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>

#include "core/Records.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::MessageBoxWatcher;
using kivtest::RawValue;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;
using kivtest::Utf16Bytes;
using kivtest::WriteBesideProgram;

namespace {

// A small fixed-seed generator: the same hostile set on every run.
class Random {
public:
    explicit Random(unsigned seed) : m_state(seed) {}
    unsigned Next(unsigned below) {
        m_state = m_state * 1103515245u + 12345u;
        return below ? (m_state >> 8) % below : 0;
    }

private:
    unsigned m_state;
};

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c < 0x80 ? c : '?');
    return out;
}

const char kCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kivdata>\n"
    " <cat><name>Run &amp; more</name><icon>3</icon><locs>\n"
    "  <loc><htype>0</htype><ltype>0</ltype><path>HKCU\\Software\\KivTests\\HostileLoad</path></loc>\n"
    "  <loc><htype>1</htype><ltype>1</ltype><path>HKCU\\Software\\KivTests\\HostileLoad</path>"
    "<value>Shell</value></loc>\n"
    "  <loc><htype>2</htype><ltype>2</ltype><path>C:\\kivtests\\HostileLoad</path></loc>\n"
    " </locs></cat>\n"
    " <cat><name><![CDATA[Second]]></name><locs><loc><htype>14</htype><ltype>1</ltype>"
    "<path>HKCU\\Software\\KivTests\\HostileLoad</path><value>AppInit_DLLs</value></loc></locs></cat>\n"
    "</kivdata>\n";

// One malformed variant of the catalogue (or of a whitelist, when list is set).
std::string Mutate(const std::string& base, Random& random, bool list) {
    std::string bytes = base;
    switch (random.Next(12)) {
    case 0:
        return bytes.substr(0, random.Next(static_cast<unsigned>(bytes.size()) + 1));  // truncated
    case 1: {  // nested deeper than any reader limit, or just below it
        unsigned depth = random.Next(2) ? 250 + random.Next(20) : 5000;
        std::string open, close;
        for (unsigned i = 0; i < depth; ++i) open += "<cat>", close = "</cat>" + close;
        return "<kivdata>" + open + close + "</kivdata>";
    }
    case 2: {  // a huge attribute, name or text where the reader keeps fixed-size fields
        std::string huge(100000 + random.Next(100000), static_cast<char>('A' + random.Next(26)));
        const char* places[] = {"<kivdata a=\"%\"><cat><name>x</name></cat></kivdata>",
                                "<kivdata><cat><name>%</name><locs><loc><htype>0</htype><path>HKCU\\%</path>"
                                "<value>%</value></loc></locs></cat></kivdata>",
                                "<kivdata><%/></kivdata>", "% %|%\r\n"};
        std::string shape = places[random.Next(4)];
        for (size_t at; (at = shape.find('%')) != std::string::npos;) shape.replace(at, 1, huge);
        return shape;
    }
    case 3:  // bytes that are no valid UTF-8
        for (unsigned i = 0, n = 1 + random.Next(20); i < n; ++i)
            bytes[random.Next(static_cast<unsigned>(bytes.size()))] = static_cast<char>(0x80 + random.Next(0x80));
        return bytes;
    case 4: {  // UTF-16 with lone surrogates, a byte order mark or none, and an odd size
        std::wstring wide(bytes.begin(), bytes.end());
        for (unsigned i = 0, n = 1 + random.Next(10); i < n; ++i)
            wide[random.Next(static_cast<unsigned>(wide.size()))] = static_cast<wchar_t>(0xD800 + random.Next(0x800));
        std::string out = Utf16Bytes(wide, random.Next(2) != 0);
        if (random.Next(2)) out.pop_back();
        return out;
    }
    case 5:  // zero bytes inside
        for (unsigned i = 0, n = 1 + random.Next(8); i < n; ++i)
            bytes[random.Next(static_cast<unsigned>(bytes.size()))] = 0;
        return bytes;
    case 6:
        return std::string(random.Next(5), static_cast<char>(random.Next(256)));  // 0 to 4 bytes
    case 7: {                                                                     // numbers out of every range
        const char* numbers[] = {"99999999999999999999", "-1", "4294967296", "0x10", "", "-2147483648"};
        for (const char* tag : {"<htype>", "<ltype>", "<icon>"}) {
            size_t at = bytes.find(tag);
            if (at != std::string::npos) bytes.insert(at + strlen(tag), numbers[random.Next(6)]);
        }
        return bytes;
    }
    case 8: {  // markup cut and repeated
        std::string out;
        for (unsigned i = 0, n = 2 + random.Next(200); i < n; ++i) {
            unsigned from = random.Next(static_cast<unsigned>(bytes.size()));
            out += bytes.substr(from, random.Next(40));
        }
        return out;
    }
    case 9: {  // unclosed sections, comments and entities
        const char* pieces[] = {"<![CDATA[", "<!--", "<!DOCTYPE [", "<PRE>", "&#", "&#x;",
                                "&unknown;", "<?",   "</",          "\"",    "'"};
        bytes.insert(random.Next(static_cast<unsigned>(bytes.size())), pieces[random.Next(11)]);
        return bytes;
    }
    case 10: {  // random bytes of an odd size
        std::string out(1 + 2 * random.Next(300), '\0');
        for (char& c : out) c = static_cast<char>(random.Next(256));
        return out;
    }
    default:  // a long run of separators or bars
        return list ? std::string(65536 + random.Next(3), random.Next(2) ? '|' : '\n')
                    : bytes + std::string(70000, '<');
    }
}

// Every catalogue query over what was loaded; the indices past the counts as well.
void ReadEverything(CKiv* kiv) {
    unsigned categories = kiv->GetCategoryCount();
    for (unsigned c = 0; c <= categories; ++c) {
        ASSERT_NE(nullptr, kiv->GetCategoryName(c));
        unsigned locations = kiv->GetLocationCount(c);
        for (unsigned l = 0; l <= locations; ++l) {
            ASSERT_NE(nullptr, kiv->GetLocationPath(c, l));
            kiv->GetLocationType(c, l);
            kiv->GetLocationHandlerType(c, l);
        }
    }
}

}  // namespace

TEST(HostileFiles, MalformedCataloguesAndWhitelistsLoadWithoutHarm) {
    ScratchFolder folder(L"HostileLoad");
    MessageBoxWatcher whitelistBoxes(L"Quorvel KIV");
    MessageBoxWatcher errorBoxes(L"Error");
    const std::string whitelist = Utf8(L"0123456789abcdef0123456789abcdef|1\r\nfedcba9876543210fedcba9876543210|7 x");

    // The unchanged catalogue loads whole, so the variants start from something real.
    WriteBesideProgram(L"kivdata.dat", kCatalogue);
    WriteBesideProgram(L"kivwl.dat", Utf16Bytes(L"0123456789abcdef0123456789abcdef|1", false));
    CKiv* kiv = CKiv::Init();
    ASSERT_EQ(2u, kiv->GetCategoryCount());
    EXPECT_EQ(std::wstring(L"Run & more"), kiv->GetCategoryName(0));
    CKiv::Dispose();

    // Every tenth pair goes through a whole Init; the others through the same loading
    // step on one live facade, whose catalogue and whitelist are emptied in between.
    Random random(20261209);
    const auto start = std::chrono::steady_clock::now();
    kiv = CKiv::Init();
    for (int round = 0; round < 1000; ++round) {
        std::string catalogue = Mutate(kCatalogue, random, false);
        // Most whitelists keep one readable entry, so few rounds stop at the error box.
        std::string list = random.Next(8) ? Utf16Bytes(std::wstring(1, L'x'), false) : std::string();
        std::string bad = Mutate(whitelist, random, true);
        list += random.Next(2) ? bad : Utf16Bytes(std::wstring(bad.begin(), bad.end()), random.Next(2) != 0);
        WriteBesideProgram(L"kivdata.dat", catalogue);
        WriteBesideProgram(L"kivwl.dat", list);
        if (round % 10 == 0) {
            CKiv::Dispose();
            kiv = CKiv::Init();
            ASSERT_NE(nullptr, kiv) << round;
        } else {
            CKivTestAccess::Categories(kiv).clear();
            CKivTestAccess::WhiteList(kiv).clear();
            CKivTestAccess::LoadData(kiv);
        }
        ReadEverything(kiv);
    }
    CKiv::Dispose();
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("1000 malformed catalogue and whitelist pairs loaded in %.1f s (%zu + %zu error boxes)\n", seconds,
                errorBoxes.Seen().size(), whitelistBoxes.Seen().size());
    kivtest::DeleteBesideProgram(L"kivdata.dat");
    kivtest::DeleteBesideProgram(L"kivwl.dat");
}

namespace {

// Every value below a key, by "subkey path|value name".
using Snapshot = std::map<std::wstring, RawValue>;

void Dump(HKEY root, const std::wstring& key, Snapshot& out) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    std::vector<std::wstring> names, subkeys;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = 16384;
        if (RegEnumValueW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(name, length);
    }
    RegCloseKey(opened);
    for (const std::wstring& value : names) kivtest::ReadRaw(root, key, value, out[key + L"|" + value]);
    for (const std::wstring& subkey : subkeys) Dump(root, key + L"\\" + subkey, out);
}

Snapshot Take(const std::wstring& key) {
    Snapshot snapshot;
    Dump(HKEY_CURRENT_USER, key, snapshot);
    return snapshot;
}

// The hostile forms a registry value can take, for a given type.
std::vector<RawValue> HostileValues(DWORD type, const std::wstring& file) {
    auto raw = [type](std::vector<BYTE> bytes) {
        RawValue value;
        value.type = type;
        value.bytes = std::move(bytes);
        return value;
    };
    std::vector<RawValue> values;
    values.push_back(raw({}));                                                 // no data
    values.push_back(raw({'C'}));                                              // one byte
    values.push_back(raw({'C', 0, ':', 0, '\\'}));                             // odd count
    values.push_back(TextValue(type, file, false));                            // no terminator
    values.push_back(TextValue(type, std::wstring(32768, L'A'), false));       // 64 KiB, no terminator
    values.push_back(TextValue(type, std::wstring(32767, L'\\') + L"x.exe"));  // 64 KiB with one
    values.push_back(TextValue(type, file + std::wstring(L"\0C:\\x.exe\0\0\0junk", 16), false));     // NULs
    values.push_back(TextValue(type, std::wstring(L"\xD800\xDFFF\xDC00 \"\xFFFF\"") + file, true));  // bad UTF-16
    values.push_back(TextValue(type, L"rundll32 " + std::wstring(4000, L'%') + L",x", true));
    values.push_back(TextValue(type, std::wstring(600, L'~') + L".exe", true));
    return values;
}

const DWORD kTypes[] = {REG_NONE, REG_SZ,       REG_EXPAND_SZ,     REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                        REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST, REG_QWORD,  0x7777};

class HostileRegistry : public kivtest::FacadeTest {
protected:
    HostileRegistry() : m_key(L"HostileValues"), m_folder(L"HostileValues") {}

    Location* Add(const std::wstring& key, EKivHandlerType type, unsigned ltype, const std::wstring& value) {
        Location* location = AddLocation(L"HKCU\\" + key, value, ltype, type);
        m_keys[location] = key;
        return location;
    }

    // Runs an action and checks that no value outside the item's own location moved,
    // and inside it, no value of another name in the location's own key.
    void Act(Location* location, CKivItem* item, const char* what, const std::function<void()>& action) {
        const std::wstring own = m_keys[location];
        // Locations share no key except the list keys, where both lists sit side by side.
        const Snapshot before = Take(own);
        action();
        const Snapshot after = Take(own);
        // A list item names its entry; the value holding the list is the location's.
        auto named = [&](const std::wstring& name) {
            if (!location->m_value.empty() && name == location->m_value) return true;
            for (const std::wstring& regName : item->m_regNames)
                if (name == regName) return true;
            return false;
        };
        // The item's own values, its own subkey, and the location's marker subkey.
        auto aboutItem = [&](const std::wstring& entry) {
            size_t bar = entry.rfind(L'|');
            const std::wstring key = entry.substr(0, bar);
            if (key == own) return named(entry.substr(bar + 1));
            if (key.compare(0, own.size() + 1, own + L"\\") != 0) return false;
            std::wstring first = key.substr(own.size() + 1);
            first = first.substr(0, first.find(L'\\'));
            return first == L"_disabledByKiv" || named(first);
        };
        for (const auto& entry : before) {
            if (aboutItem(entry.first)) continue;
            auto found = after.find(entry.first);
            ASSERT_TRUE(found != after.end()) << what << " removed " << Utf8(entry.first);
            EXPECT_TRUE(found->second == entry.second)
                << what << " of " << Utf8(item->m_regNames.empty() ? L"" : item->m_regNames[0]) << " changed "
                << Utf8(entry.first);
        }
        for (const auto& entry : after)
            EXPECT_TRUE(aboutItem(entry.first) || before.count(entry.first)) << what << " added " << Utf8(entry.first);
    }

    ScratchKey m_key;
    ScratchFolder m_folder;
    std::map<Location*, std::wstring> m_keys;
};

}  // namespace

TEST_F(HostileRegistry, ValuesOfEveryTypeAndShapeThroughCollectAndEveryAction) {
    const std::wstring file = m_folder.AddFile(L"app.exe");
    const std::wstring base = m_key.Path();
    // Run-key values: one key with every type and shape side by side.
    Location* run = Add(base + L"\\Run", RegValue, 0, L"");
    int n = 0;
    for (DWORD type : kTypes)
        for (const RawValue& value : HostileValues(type, file))
            kivtest::WriteRaw(HKEY_CURRENT_USER, base + L"\\Run", L"V" + std::to_wstring(n++), value);
    kivtest::WriteRaw(HKEY_CURRENT_USER, base + L"\\Run", L"Plain", TextValue(REG_SZ, file));
    // List values (a Winlogon-style list and the AppInit list): one key per shape.
    int k = 0;
    for (DWORD type : {REG_SZ, REG_MULTI_SZ, REG_BINARY}) {
        for (const RawValue& value : HostileValues(type, file + L"," + file)) {
            const std::wstring key = base + L"\\List" + std::to_wstring(k++);
            kivtest::WriteRaw(HKEY_CURRENT_USER, key, L"Shell", value);
            kivtest::WriteRaw(HKEY_CURRENT_USER, key, L"AppInit_DLLs", value);
            kivtest::WriteRaw(HKEY_CURRENT_USER, key, L"Neighbour", TextValue(REG_SZ, file));
            Add(key, RegValueEx, 1, L"Shell");
            Add(key, AppInitDll, 1, L"AppInit_DLLs");
        }
    }
    // Class keys whose subkeys hold hostile values.
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY}) {
        const std::wstring key = base + L"\\Classes" + std::to_wstring(type);
        int s = 0;
        for (const RawValue& value : HostileValues(type, file)) {
            const std::wstring sub = key + L"\\Sub" + std::to_wstring(s++);
            kivtest::WriteRaw(HKEY_CURRENT_USER, sub, L"", value);
            kivtest::WriteRaw(HKEY_CURRENT_USER, sub, L"CLSID", value);
            kivtest::WriteRaw(HKEY_CURRENT_USER, sub, L"Run", value);
        }
        Add(key, CoIdInKey, 0, L"");
        Add(key, CoIdInKeyValue, 0, L"");
    }

    m_kiv->Collect();
    ASSERT_NE(nullptr, FindTitle(run, L"Plain"));  // the collection got through the hostile values
    std::vector<std::pair<Location*, unsigned>> items;
    for (const std::unique_ptr<Location>& location : m_category->m_locations)
        for (unsigned id : location->m_itemIds) items.emplace_back(location.get(), id);
    ASSERT_GT(items.size(), 5u);

    for (const auto& entry : items) {
        CKivItem* item = m_kiv->ItemMapGet(entry.second);
        ASSERT_NE(nullptr, item);
        const unsigned id = entry.second;
        // Every query, and the caller's buffers filled only within the sizes given.
        ASSERT_NE(nullptr, m_kiv->GetItemTitle(id));
        ASSERT_NE(nullptr, m_kiv->GetItemFilePath(id));
        ASSERT_NE(nullptr, m_kiv->GetItemFileMd5(id));
        ASSERT_NE(nullptr, m_kiv->GetItemFileCreated(id));
        ASSERT_NE(nullptr, m_kiv->GetItemLocationPath(id));
        ASSERT_NE(nullptr, m_kiv->GetItemLocationValue(id));
        m_kiv->GetItemIcon(id);
        m_kiv->IsWhiteListed(id);
        m_kiv->Ostrel_ItemCompatible(id);
        for (unsigned size : {1u, 8u, 260u}) {
            std::vector<wchar_t> key(size + 16, L'#'), value(size + 16, L'#');
            m_kiv->Ostrel_GetItemRegLocation(id, key.data(), value.data(), size, size);
            for (unsigned i = size; i < size + 16; ++i) ASSERT_TRUE(key[i] == L'#' && value[i] == L'#') << size;
        }
        Act(entry.first, item, "disable", [&] { m_kiv->DisableItem(id); });
        Act(entry.first, item, "enable", [&] { m_kiv->EnableItem(id); });
    }
    for (const auto& entry : items) {
        CKivItem* item = m_kiv->ItemMapGet(entry.second);
        Act(entry.first, item, "remove", [&] { m_kiv->RemoveItem(entry.second); });
        Act(entry.first, item, "restore", [&] { m_kiv->RestoreItem(entry.second); });
    }
    // A second collection reads whatever the actions left behind.
    m_kiv->Collect();
}
