#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <set>
#include <vector>

#include "Diff.h"
#include "ItemReader.h"
#include "Json.h"
#include "Listing.h"
#include "Selector.h"
#include "Signature.h"
#include "SystemMessage.h"
#include "core/Records.h"
#include "support/RegistryTestKit.h"
#include "support/SampleRows.h"
#include "support/TestSupport.h"
#include "support/WmiFake.h"

using kivtest::SampleRows;

namespace {

// Every fact of every row, one line a row, for comparing listings whole.
std::wstring AllFacts(const std::vector<ItemRow>& rows) {
    std::wstring text;
    for (const ItemRow& row : rows) {
        for (const std::wstring& column : AllColumns()) text += ColumnText(row, column) + L"|";
        text += L"\n";
    }
    return text;
}

}  // namespace

TEST(HostSelector, MatchesWholeTextsWithoutRegardToCase) {
    auto rows = SampleRows();
    Selector byTitle;
    byTitle.title = L"updater";
    EXPECT_EQ(2u, Select(rows, byTitle).size());  // the enabled and the disabled copy

    byTitle.state = L"disabled";
    ASSERT_EQ(1u, Select(rows, byTitle).size());
    EXPECT_EQ(2u, Select(rows, byTitle)[0]->id);

    Selector partial;
    partial.title = L"Update";
    EXPECT_TRUE(Select(rows, partial).empty());

    Selector byLocation;
    byLocation.location = L"hklm\\software\\microsoft\\windows\\currentversion\\run";
    ASSERT_EQ(1u, Select(rows, byLocation).size());
    EXPECT_EQ(3u, Select(rows, byLocation)[0]->id);

    Selector byId;
    byId.id = 2;
    byId.title = L"Other";
    EXPECT_TRUE(Select(rows, byId).empty());  // every given part must match

    EXPECT_TRUE(Select(rows, Selector()).empty());  // an empty selector names nothing
}

TEST(HostSelector, AUserIsNamedWholeOrByTheNameAloneAndAStarIsEveryone) {
    auto rows = SampleRows();
    rows[1].user = L"PC-0142\\Alice";
    rows[2].user = L"S-1-5-21-7-7-7-2001";  // an account that could not be looked up
    struct Case {
        const wchar_t* user;
        std::vector<unsigned> ids;
    } cases[] = {
        {L"", {1, 2, 3}}, {L"*", {1, 2, 3}}, {L"pc-0142\\alice", {2}},      {L"ALICE", {2}},
        {L"Ali", {}},     {L"PC-0142", {}},  {L"S-1-5-21-7-7-7-2001", {3}}, {L"\\alice", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kivtest::Narrow(c.user));
        Selector selector;
        selector.user = c.user;
        std::vector<unsigned> ids;
        for (const ItemRow& row : Filter(rows, selector)) ids.push_back(row.id);
        EXPECT_EQ(c.ids, ids);
        // A user alone names no single item, unless it is everyone.
        EXPECT_EQ(c.user[0] == L'\0' || c.user == std::wstring(L"*"), selector.Empty());
    }
}

TEST(HostSelector, FiltersListingsAndHidesValidSigners) {
    auto rows = SampleRows();
    rows[0].signature = L"signed";
    rows[0].signer = L"Trusted Vendor";
    rows[1].signature = L"bad signature";  // a broken signature hides nothing
    rows[1].signer = L"Trusted Vendor";
    EXPECT_EQ(3u, Filter(rows, Selector()).size());
    Selector hide;
    hide.hideSignedBy = {L"Someone Else", L"trusted vendor"};
    auto shown = Filter(rows, hide);
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(2u, shown[0].id);
    EXPECT_TRUE(Select(rows, hide).empty());  // hiding alone names no item to act on
    Selector disabled;
    disabled.state = L"disabled";
    ASSERT_EQ(1u, Filter(rows, disabled).size());
    EXPECT_EQ(2u, Filter(rows, disabled)[0].id);
}

TEST(HostReport, JsonEscapesEveryTextField) {
    std::wstring json = FormatJson(SampleRows());
    EXPECT_NE(std::wstring::npos, json.find(L"\"title\": \"Quote \\\"and\\\", comma\\\\back\\tslash\""));
    EXPECT_NE(std::wstring::npos, json.find(L"\"state\": \"disabled\""));
    EXPECT_NE(std::wstring::npos, json.find(L"\"whitelisted\": false"));
    EXPECT_EQ(L"[]\n", FormatJson({}));
    ItemRow control;
    control.title = std::wstring(1, L'\x01');
    EXPECT_NE(std::wstring::npos, FormatJson({control}).find(L"\\u0001"));
}

// A listing written as JSON reads back with every fact, and text that is not
// such a listing is refused with the place of the fault.
TEST(HostReport, JsonListingReadsBackWhatWasWritten) {
    auto rows = SampleRows();
    ItemRow& r = rows[2];
    r.removed = true;
    r.enabled = true;
    r.size = 12345678901ull;
    r.win32 = true;
    r.isProtected = true;
    r.signature = L"untrusted root";
    r.signer = L"\x00e9quipe \x4e2d";
    r.registryKey = L"HKLM\\SOFTWARE\\Run";
    r.locationType = 2;
    std::vector<ItemRow> back;
    std::wstring error;
    ASSERT_TRUE(ParseJsonListing(FormatJson(rows), back, error)) << error;
    ASSERT_EQ(3u, back.size());
    EXPECT_EQ(AllFacts(rows), AllFacts(back));
    EXPECT_TRUE(back[2].enabled && back[2].removed);

    ASSERT_TRUE(
        ParseJsonListing(L"[{\"title\": \"A\\u0041\", \"state\": \"disabled\", \"extra\": [1, {}]}]", back, error));
    EXPECT_EQ(L"AA", back[0].title);
    EXPECT_FALSE(back[0].enabled);
    for (const wchar_t* bad : {L"{\"title\": 1}", L"[{\"title\": \"x}]", L"[1, 2", L"[{}] x", L"[\"\\q\"]", L""})
        EXPECT_FALSE(ParseJsonListing(bad, back, error)) << bad;
    EXPECT_FALSE(ParseJsonListing(std::wstring(100000, L'['), back, error));  // refused, not a stack overflow
    EXPECT_NE(std::wstring::npos, error.find(L"deep"));
}

TEST(HostDiff, MatchesEntriesByPlaceAndTitleAndReportsWhatChanged) {
    auto before = SampleRows();
    auto after = SampleRows();
    for (ItemRow& row : after) row.id += 100;  // IDs of another run mean nothing
    after[0].title = L"UPDATER";
    after[0].filePath = L"c:\\program files\\tools\\UPDATER.EXE";  // same path, other case
    std::swap(after[0], after[1]);  // the disabled copy now comes first: still paired by state
    EXPECT_TRUE(CompareListings(before, after).Empty());
    EXPECT_EQ(L"No changes.\n", FormatDiffTable(CompareListings(before, after)));

    after[0].enabled = true;  // the disabled copy was enabled again, beside the enabled one
    after[2].md5 = L"ffffffffffffffffffffffffffffffff";
    after[2].signer = L"New Signer";
    ItemRow added = before[0];
    added.title = L"Newcomer";
    after.push_back(added);
    before.push_back(added);
    before.back().title = L"Gone";
    ListingDiff diff = CompareListings(before, after);
    ASSERT_EQ(1u, diff.added.size());
    EXPECT_EQ(L"Newcomer", diff.added[0].title);
    ASSERT_EQ(1u, diff.removed.size());
    EXPECT_EQ(L"Gone", diff.removed[0].title);
    ASSERT_EQ(2u, diff.changed.size());
    EXPECT_EQ(L"state", diff.changed[0].changes.at(0).column);
    EXPECT_EQ(L"disabled", diff.changed[0].changes[0].before);
    ASSERT_EQ(2u, diff.changed[1].changes.size());
    EXPECT_EQ(L"md5", diff.changed[1].changes[0].column);
    EXPECT_EQ(L"signer", diff.changed[1].changes[1].column);

    std::wstring table = FormatDiffTable(diff);
    EXPECT_NE(std::wstring::npos,
              table.find(L"+ Run keys | HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run | Newcomer"));
    EXPECT_NE(std::wstring::npos, table.find(L"    signer:  -> New Signer\n"));
    JsonValueNode json;
    std::wstring error;
    ASSERT_TRUE(ParseJson(FormatDiffJson(diff), json, error)) << error;
    ASSERT_EQ(3u, json.members.size());
    EXPECT_EQ(L"changed", json.members[2].first);
    EXPECT_EQ(2u, json.members[2].second.elements.size());
}

// Files signed under a test authority are checked under Wine end to end; this
// covers the verdicts Wine never gives.
TEST(HostSignature, VerdictsMapToTheStatesAnAdministratorReads) {
    EXPECT_EQ(L"signed", SignatureStateText(SignatureStateFromTrust(ERROR_SUCCESS, 0)));
    EXPECT_EQ(L"not signed", SignatureStateText(SignatureStateFromTrust(TRUST_E_NOSIGNATURE, 0)));
    EXPECT_EQ(L"not signed", SignatureStateText(SignatureStateFromTrust(TRUST_E_SUBJECT_FORM_UNKNOWN, 0)));
    EXPECT_EQ(L"untrusted root", SignatureStateText(SignatureStateFromTrust(CERT_E_UNTRUSTEDROOT, 0)));
    EXPECT_EQ(L"untrusted root", SignatureStateText(SignatureStateFromTrust(CERT_E_CHAINING, 0)));
    EXPECT_EQ(L"untrusted root",
              SignatureStateText(SignatureStateFromTrust(ERROR_SUCCESS, CERT_TRUST_IS_PARTIAL_CHAIN)));
    EXPECT_EQ(L"bad signature", SignatureStateText(SignatureStateFromTrust(TRUST_E_BAD_DIGEST, 0)));
    EXPECT_EQ(L"bad signature", SignatureStateText(SignatureStateFromTrust(CERT_E_REVOKED, 0)));
    EXPECT_EQ(L"bad signature", SignatureStateText(SignatureStateFromTrust(TRUST_E_EXPLICIT_DISTRUST, 0)));
    EXPECT_EQ(L"", SignatureChecker().Check(L"").signer);
    EXPECT_EQ(L"", SignatureStateText(SignatureChecker().Check(L"").state));
    EXPECT_EQ(L"", SignatureStateText(SignatureChecker().Check(L"C:\\kivtests\\no such file.exe").state));
}

// The system's own words differ between versions ("Access is denied.", Wine's
// "Access denied."): what matters is one line, the system's text, and a fallback.
TEST(HostMessage, SystemTextsComeOnOneLineWithAFallback) {
    std::wstring denied = SystemMessage(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0u, denied.find(L"Access")) << denied;
    EXPECT_EQ(std::wstring::npos, denied.find_first_of(L"\r\n")) << denied;
    EXPECT_EQ(L'.', denied.back()) << denied;
    EXPECT_EQ(L"the system gave no reason.", SystemMessage(ERROR_SUCCESS));
    EXPECT_EQ(L"error 536936447.", SystemMessage(0x2000FFFFu));  // a customer code without a text
}

// The signatures of a run are checked together, each distinct file once; what was
// found then answers for the file, even once it is gone.
TEST(HostSignature, FilesCheckedTogetherAnswerFromThatCheck) {
    kivtest::ScratchFolder folder(L"HostSignatures");
    const std::wstring kept = folder.AddFile(L"kept.exe"), gone = folder.AddFile(L"gone.exe");
    const SignatureState verdict = SignatureChecker().Check(kept).state;  // both files hold the same bytes
    ASSERT_NE(SignatureState::Unknown, verdict);
    SignatureChecker checker;
    checker.CheckAll({kept, gone, gone, L"", folder.Path() + L"\\missing.exe"});
    ASSERT_TRUE(DeleteFileW(gone.c_str()));
    EXPECT_EQ(verdict, checker.Check(kept).state);
    EXPECT_EQ(verdict, checker.Check(gone).state);
    EXPECT_EQ(L"", SignatureStateText(SignatureChecker().Check(gone).state));
}

// While a collection runs, a host takes each location's items once, as soon as
// they are registered, with their place.
class HostReadTest : public kivtest::FacadeTest {};

TEST_F(HostReadTest, NewItemsAreHandedOverOnceWithTheirPlace) {
    kivtest::ScratchKey key(L"HostNewItems");
    kivtest::ScratchFolder folder(L"HostNewItems");
    const std::wstring app = folder.AddFile(L"app.exe");
    for (const wchar_t* name : {L"A", L"B", L"C"})
        kivtest::WriteRaw(HKEY_CURRENT_USER, key.Path(), name, kivtest::TextValue(REG_SZ, app));
    Location* run = AddLocation(L"HKCU\\" + key.Path(), L"", 0, RegValue);
    m_kiv->Collect();
    ASSERT_EQ(3u, run->m_itemIds.size());
    std::set<unsigned> known{run->m_itemIds[1]};
    std::vector<ItemRow> rows;
    auto take = [&rows](unsigned, ItemRow&& row) { rows.push_back(std::move(row)); };
    ReadNewItems(m_kiv, known, take);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(run->m_itemIds[0], rows[0].id);
    EXPECT_EQ(run->m_itemIds[2], rows[1].id);
    EXPECT_NE(std::wstring::npos, rows[0].location.find(key.Path()));
    EXPECT_EQ(kivtest::Lower(app), kivtest::Lower(rows[1].filePath));
    EXPECT_EQ(L"", rows[1].signature);
    ReadNewItems(m_kiv, known, take);
    EXPECT_EQ(2u, rows.size());
}

// One object a line, stamped with the machine and the time, reading back whole.
TEST(HostReport, JsonLinesCarryTheMachineAndTimeAndReadBack) {
    auto rows = SampleRows();
    rows[1].startupSwitchOff = true;
    rows[2].serviceDll = L"C:\\Windows\\System32\\lib \"x\".dll";
    rows[2].serviceDllMd5 = L"00112233445566778899aabbccddeeff";
    rows[2].serviceDllSignature = L"signed";
    rows[2].serviceDllSigner = L"Signer";
    const std::wstring text = FormatJsonLines(rows, L"PC-\"01\"", L"2026-12-09T10:05:09Z");
    size_t lines = 0;
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1, ++lines) {
        JsonValueNode line;
        std::wstring error;
        ASSERT_TRUE(ParseJson(text.substr(start, end - start), line, error)) << error;
        ASSERT_GE(line.members.size(), 2u);
        EXPECT_EQ(L"machine", line.members[0].first);
        EXPECT_EQ(L"PC-\"01\"", line.members[0].second.text);
        EXPECT_EQ(L"2026-12-09T10:05:09Z", line.members[1].second.text);
    }
    EXPECT_EQ(3u, lines);
    EXPECT_EQ(L"", FormatJsonLines({}, L"PC", L"t"));
    std::vector<ItemRow> back;
    std::wstring error;
    ASSERT_TRUE(ParseJsonListing(L"\r\n" + text + L"\r\n", back, error)) << error;
    EXPECT_EQ(AllFacts(rows), AllFacts(back));
    for (const wchar_t* bad : {L"{\"machine\": \"a\", \"listed\": \"t\"}\n{\"title\": \"x\"}",
                               L"{\"machine\": \"a\", \"listed\": \"t\"} {}", L"{\"machine\": \"a\"\n, \"listed\": 1}"})
        EXPECT_FALSE(ParseJsonListing(bad, back, error)) << bad;
    EXPECT_NE(std::wstring::npos, error.find(L"line 1"));
}

TEST(HostDiff, AServiceLibraryIsComparedByPathMd5AndSignature) {
    struct Case {
        void (*change)(ItemRow&);
        const wchar_t* column;  // null: no change
    } cases[] = {
        {[](ItemRow& r) { r.serviceDll = L"C:\\WINDOWS\\SYSTEM32\\LIB.DLL"; }, nullptr},
        {[](ItemRow& r) { r.serviceDll = L"C:\\Windows\\System32\\other.dll"; }, L"serviceDll"},
        {[](ItemRow& r) { r.serviceDllMd5 = L"ffffffffffffffffffffffffffffffff"; }, L"serviceDllMd5"},
        {[](ItemRow& r) { r.serviceDllSignature = L"bad signature"; }, L"serviceDllSignature"},
        {[](ItemRow& r) { r.serviceDllSigner = L"Someone Else"; }, L"serviceDllSigner"},
        {[](ItemRow& r) { r.startupSwitchOff = true; }, nullptr},
    };
    auto before = SampleRows();
    before[0].serviceDll = L"C:\\Windows\\System32\\lib.dll";
    before[0].serviceDllMd5 = L"00112233445566778899aabbccddeeff";
    before[0].serviceDllSignature = L"signed";
    before[0].serviceDllSigner = L"Maker";
    for (const Case& c : cases) {
        auto after = before;
        c.change(after[0]);
        const ListingDiff diff = CompareListings(before, after);
        if (!c.column) {
            EXPECT_TRUE(diff.Empty());
            continue;
        }
        ASSERT_EQ(1u, diff.changed.size()) << c.column;
        ASSERT_EQ(1u, diff.changed[0].changes.size());
        EXPECT_EQ(c.column, diff.changed[0].changes[0].column);
    }
    // A listing saved before the library columns existed does not know them: only what
    // it held is compared, so its services do not all read as changed.
    const ItemRow& row = before[0];
    std::vector<ItemRow> old;
    std::wstring error;
    ASSERT_TRUE(ParseJsonListing(L"[{\"category\": " + JsonString(row.category) + L", \"location\": " +
                                     JsonString(row.location) + L", \"title\": " + JsonString(row.title) +
                                     L", \"state\": \"enabled\", \"file\": \"C:\\\\other.exe\"}]",
                                 old, error))
        << error;
    const ListingDiff diff = CompareListings(old, {row});
    ASSERT_EQ(1u, diff.changed.size());
    ASSERT_EQ(1u, diff.changed[0].changes.size());  // the file; the MD5 and the rest it did not hold
    EXPECT_EQ(L"file", diff.changed[0].changes[0].column);
}

// A WMI subscription reaches both hosts through the same item reading: its place is
// the namespace and binding, its value the command the consumer runs.
TEST_F(HostReadTest, AWmiSubscriptionIsReadWithItsBindingAndCommand) {
    kivtest::ScratchKey key(L"HostWmi");
    kivtest::ScratchFolder folder(L"HostWmi");
    const std::wstring program = folder.AddFile(L"payload.exe");
    kivtest::FakeWmi wmi;
    wmi.AddNamespace(L"root\\subscription");
    wmi.Subscribe(L"root\\subscription", kivtest::FakeWmi::Filter(L"Every minute"),
                  kivtest::FakeWmi::Consumer(L"CommandLineEventConsumer", L"Beacon",
                                             {{L"CommandLineTemplate", program + L" --beacon"}}));
    kiv::SetWmi(&wmi);
    AddLocation(L"HKCU\\" + key.Path(), L"", 0, WmiSubscriptions);
    m_kiv->Collect();
    kiv::SetWmi(nullptr);
    std::vector<ItemRow> rows;
    ReadItems(m_kiv, ReadOptions{false}, [&rows](unsigned, ItemRow&& row) { rows.push_back(std::move(row)); });
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(L"Every minute -> Beacon", ColumnText(rows[0], L"title"));
    EXPECT_EQ(kivtest::Lower(program), kivtest::Lower(ColumnText(rows[0], L"file")));
    EXPECT_EQ(0u, ColumnText(rows[0], L"registryKey").find(L"root\\subscription:__FilterToConsumerBinding."));
    EXPECT_EQ(program + L" --beacon", ColumnText(rows[0], L"registryValue"));
}
