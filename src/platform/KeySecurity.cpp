#include "platform/KeySecurity.h"

#include <aclapi.h>

#include "platform/Handles.h"
#include "platform/Privileges.h"

namespace kiv {
namespace {

const SECURITY_INFORMATION kKeptParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The entries of an access list that were set on the key itself, without those it
// inherited from its parent. False when the list cannot be walked.
bool OwnEntries(const ACL* dacl, std::vector<BYTE>& own, bool& any) {
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(const_cast<ACL*>(dacl), &size, sizeof(size), AclSizeInformation)) return false;
    own.assign(size.AclBytesInUse, 0);
    ACL* list = reinterpret_cast<ACL*>(own.data());
    if (!InitializeAcl(list, static_cast<DWORD>(own.size()), ACL_REVISION)) return false;
    any = false;
    for (DWORD index = 0; index < size.AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), index, &ace)) return false;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceFlags & INHERITED_ACE) continue;
        if (!AddAce(list, ACL_REVISION, MAXDWORD, ace, header->AceSize)) return false;
        any = true;
    }
    return true;
}

// An inherited list keeps its own entries; the system adds those the key inherits.
Status SetOwnEntries(HKEY key, ACL* dacl) {
    const DWORD rc =
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, dacl, nullptr);
    return Status::FromRegistry(static_cast<LONG>(rc));
}

// Without the right to restore files the key stays owned by the one who wrote it,
// which is all the process can do.
void GiveOwner(HKEY key, PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) return;
    // A key made by the owner it had needs no change (and no second write of its
    // descriptor).
    KeySecurity current;
    PSID currentOwner = nullptr;
    if (ReadKeySecurity(key, current) &&
        GetSecurityDescriptorOwner(current.descriptor.data(), &currentOwner, &defaulted) && currentOwner &&
        EqualSid(owner, currentOwner))
        return;
    // Only with the right to restore files may a key be given an owner other than
    // the one who writes it; an elevated administrator holds it, switched off.
    ThreadPrivileges restore({SE_RESTORE_NAME});
    UniqueHKey writable;
    if (RegOpenKeyExW(key, L"", 0, WRITE_OWNER, writable.Put()) != ERROR_SUCCESS) return;
    SetSecurityInfo(writable.Get(), SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr);
}

}  // namespace

Status ReadKeySecurity(HKEY key, KeySecurity& security) {
    DWORD bytes = 0;
    const LONG sized = RegGetKeySecurity(key, kKeptParts, nullptr, &bytes);
    if (sized != ERROR_INSUFFICIENT_BUFFER) return Status::Fail(sized == ERROR_SUCCESS ? ERROR_INVALID_DATA : sized);
    security.descriptor.assign(bytes, 0);
    return Status::FromRegistry(RegGetKeySecurity(key, kKeptParts, security.descriptor.data(), &bytes));
}

Status ApplyKeySecurity(HKEY key, const KeySecurity& security) {
    if (security.descriptor.empty()) return Status::Ok();
    auto* descriptor = const_cast<BYTE*>(security.descriptor.data());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return Status::FromLastError();
    // The owner first, while the key still has the list it inherited (which lets an
    // administrator change it); the handle keeps its right to set the list after.
    GiveOwner(key, descriptor);
    Status step;
    if (present && (control & SE_DACL_PROTECTED)) {
        // The descriptor itself says the list is protected; the registry keeps that
        // mark with the list.
        step = Status::FromRegistry(
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor));
    } else if (present && dacl) {
        // Only entries of its own: a key that inherits everything already inherits
        // from its new parent as it did from its old one.
        std::vector<BYTE> own;
        bool any = false;
        if (!OwnEntries(dacl, own, any)) return Status::FromLastError();
        if (any) step = SetOwnEntries(key, reinterpret_cast<ACL*>(own.data()));
    }
    return step;
}

}  // namespace kiv
