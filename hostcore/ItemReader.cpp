#include "ItemReader.h"

#include "Signature.h"
#include "SystemMessage.h"
#include "kiv.h"
#include "sigvault.h"

#include <utility>
#include <vector>

namespace {

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

}  // namespace

ItemRow ReadItem(CKiv* kiv, unsigned id, bool serviceDllMd5) {
    ItemRow row;
    row.id = id;
    row.title = Text(kiv->GetItemTitle(id));
    row.locationType = kiv->GetItemLocationType(id);
    row.enabled = kiv->GetItemEnabled(id) != 0;
    row.removed = kiv->IsRemoved(id) != 0;
    row.win32 = kiv->GetItemWin32(id) != 0;
    row.filePath = Text(kiv->GetItemFilePath(id));
    row.publisher = Text(kiv->GetItemFilePublisher(id));
    row.description = Text(kiv->GetItemFileDescription(id));
    row.md5 = Text(kiv->GetItemFileMd5(id));
    row.size = kiv->GetItemFileSize(id);
    row.shortcutTarget = Text(kiv->GetItemFileShortcutTarget(id));
    // Both dates come back in one shared buffer: copy each before the next call.
    row.created = Text(kiv->GetItemFileCreated(id));
    row.modified = Text(kiv->GetItemFileModified(id));
    wchar_t key[1024] = L"", value[1024] = L"";
    kiv->Ostrel_GetItemRegLocation(id, key, value, 1024, 1024);
    row.registryKey = key;
    row.registryValue = value;
    row.whitelisted = kiv->IsWhiteListed(id);
    row.startupSwitchOff = kiv->GetItemStartupSwitchOff(id) != 0;
    row.user = Text(kiv->GetItemUser(id));
    row.serviceDll = Text(kiv->GetItemServiceDll(id));
    if (serviceDllMd5) row.serviceDllMd5 = Text(kiv->GetItemServiceDllMd5(id));
    row.isProtected = !row.filePath.empty() && CSigvault::Get().IsFileProtected(row.filePath.c_str());
    return row;
}

void ReadItems(CKiv* kiv, const ReadOptions& options, const std::function<void(unsigned, ItemRow&&)>& take) {
    // The facts first, then the signatures of the distinct files all at once on
    // every processor, then each row with its signature.
    std::vector<std::pair<unsigned, ItemRow>> rows;
    for (unsigned c = 0; c < kiv->GetCategoryCount(); ++c) {
        for (unsigned l = 0; l < kiv->GetLocationCount(c); ++l) {
            for (unsigned i = 0; i < kiv->GetItemCount(c, l); ++i) {
                ItemRow row = ReadItem(kiv, kiv->GetItemGlobalID(c, l, i), options.serviceDllMd5);
                row.category = kiv->GetCategoryName(c);
                row.location = kiv->GetLocationPath(c, l);
                rows.emplace_back(c, std::move(row));
            }
        }
    }
    if (options.signatures) {
        SignatureChecker signatures;
        std::vector<std::wstring> paths;
        for (const auto& row : rows) {
            paths.push_back(row.second.filePath);
            if (!row.second.serviceDll.empty()) paths.push_back(row.second.serviceDll);
        }
        signatures.CheckAll(paths);
        for (auto& row : rows) {
            const SignatureInfo signature = signatures.Check(row.second.filePath);
            row.second.signature = SignatureStateText(signature.state);
            row.second.signer = signature.signer;
            if (row.second.serviceDll.empty()) continue;
            const SignatureInfo library = signatures.Check(row.second.serviceDll);
            row.second.serviceDllSignature = SignatureStateText(library.state);
            row.second.serviceDllSigner = library.signer;
        }
    }
    for (auto& row : rows) take(row.first, std::move(row.second));
}

std::vector<ItemRow> ReadItems(CKiv* kiv, const ReadOptions& options) {
    std::vector<ItemRow> rows;
    ReadItems(kiv, options, [&rows](unsigned, ItemRow&& row) { rows.push_back(std::move(row)); });
    return rows;
}

void ReadNewItems(CKiv* kiv, std::set<unsigned>& known, const std::function<void(unsigned, ItemRow&&)>& take) {
    for (unsigned c = 0; c < kiv->GetCategoryCount(); ++c) {
        for (unsigned l = 0; l < kiv->GetLocationCount(c); ++l) {
            for (unsigned i = 0; i < kiv->GetItemCount(c, l); ++i) {
                const unsigned id = kiv->GetItemGlobalID(c, l, i);
                if (id == 0 || !known.insert(id).second) continue;
                ItemRow row = ReadItem(kiv, id, false);
                row.category = kiv->GetCategoryName(c);
                row.location = kiv->GetLocationPath(c, l);
                take(c, std::move(row));
            }
        }
    }
}

std::vector<UnreadUser> UnreadUsers(CKiv* kiv) {
    std::vector<UnreadUser> unread;
    for (unsigned c = 0, categories = kiv->GetCategoryCount(); c < categories; ++c)
        for (unsigned l = 0, locations = kiv->GetLocationCount(c); l < locations; ++l) {
            const unsigned code = kiv->GetLocationReadError(c, l);
            if (code == 0) continue;
            const std::wstring user = Text(kiv->GetLocationUser(c, l));
            bool known = false;
            for (const UnreadUser& seen : unread) known = known || (seen.user == user && seen.code == code);
            if (!known) unread.push_back({user, code});
        }
    return unread;
}

std::wstring UnreadUserText(const UnreadUser& unread) {
    return L"the registry of " + unread.user + L" was not read: " + SystemMessage(unread.code);
}
