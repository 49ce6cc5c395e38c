#include "Signature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <cwctype>
#include <vector>

#include "platform/Handles.h"

namespace {

struct CatAdminTraits {
    static HCATADMIN Invalid() noexcept { return nullptr; }
    static void Close(HCATADMIN admin) noexcept { CryptCATAdminReleaseContext(admin, 0); }
};
using UniqueCatAdmin = kiv::UniqueResource<HCATADMIN, CatAdminTraits>;

// A catalogue found for a hash belongs to the administrator context that found it.
class CatalogContext {
public:
    CatalogContext(HCATADMIN admin, HCATINFO info) noexcept : m_admin(admin), m_info(info) {}
    ~CatalogContext() {
        if (m_info) CryptCATAdminReleaseCatalogContext(m_admin, m_info, 0);
    }
    CatalogContext(const CatalogContext&) = delete;
    CatalogContext& operator=(const CatalogContext&) = delete;
    HCATINFO Get() const noexcept { return m_info; }

private:
    HCATADMIN m_admin;
    HCATINFO m_info;
};

// One verification with its state kept open until the signer has been read.
class TrustVerification {
public:
    explicit TrustVerification(WINTRUST_DATA& data) : m_data(data) {
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        m_verdict = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    ~TrustVerification() {
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG Verdict() const noexcept { return m_verdict; }

    // What the chain built for the first signer found wrong with it.
    DWORD ChainErrors() const noexcept {
        CRYPT_PROVIDER_SGNR* signer = FirstSigner();
        return signer && signer->pChainContext ? signer->pChainContext->TrustStatus.dwErrorStatus : 0;
    }

    // The leaf certificate of the first signer, whatever the verdict.
    std::wstring Signer() const {
        CRYPT_PROVIDER_SGNR* signer = FirstSigner();
        if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
        wchar_t name[260] = L"";
        CertGetNameStringW(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 260);
        return name;
    }

private:
    CRYPT_PROVIDER_SGNR* FirstSigner() const {
        if (!m_data.hWVTStateData) return nullptr;
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(m_data.hWVTStateData);
        return provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

    WINTRUST_DATA& m_data;
    LONG m_verdict;
};

// Offline checks only: a listing must not wait for revocation servers.
WINTRUST_DATA QuietTrustData() {
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    return data;
}

SignatureInfo Verify(WINTRUST_DATA& data) {
    TrustVerification verification(data);
    SignatureInfo info;
    info.state = SignatureStateFromTrust(verification.Verdict(), verification.ChainErrors());
    if (info.state != SignatureState::NotSigned) info.signer = verification.Signer();
    return info;
}

SignatureInfo VerifyEmbedded(const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = QuietTrustData();
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    return Verify(data);
}

std::wstring HexText(const std::vector<BYTE>& bytes) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (BYTE b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// A system file without a signature of its own may be listed, by hash, in a
// signed catalogue of the system.
SignatureInfo VerifyByCatalogue(const std::wstring& path) {
    SignatureInfo none;
    none.state = SignatureState::NotSigned;
    kiv::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueCatAdmin admin;
    if (!file || !CryptCATAdminAcquireContext(admin.Put(), nullptr, 0)) return none;
    DWORD size = 0;
    CryptCATAdminCalcHashFromFileHandle(file.Get(), &size, nullptr, 0);
    std::vector<BYTE> hash(size);
    if (size == 0 || !CryptCATAdminCalcHashFromFileHandle(file.Get(), &size, hash.data(), 0)) return none;
    CatalogContext catalogue(admin.Get(), CryptCATAdminEnumCatalogFromHash(admin.Get(), hash.data(), size, 0, nullptr));
    CATALOG_INFO where = {};
    where.cbStruct = sizeof(where);
    if (!catalogue.Get() || !CryptCATCatalogInfoFromContext(catalogue.Get(), &where, 0)) return none;

    std::wstring tag = HexText(hash);
    WINTRUST_CATALOG_INFO member = {};
    member.cbStruct = sizeof(member);
    member.pcwszCatalogFilePath = where.wszCatalogFile;
    member.pcwszMemberFilePath = path.c_str();
    member.pcwszMemberTag = tag.c_str();
    member.pbCalculatedFileHash = hash.data();
    member.cbCalculatedFileHash = size;
    member.hMemberFile = file.Get();
    WINTRUST_DATA data = QuietTrustData();
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &member;
    return Verify(data);
}

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

}  // namespace

std::wstring SignatureStateText(SignatureState state) {
    switch (state) {
    case SignatureState::NotSigned:
        return L"not signed";
    case SignatureState::Signed:
        return L"signed";
    case SignatureState::BadSignature:
        return L"bad signature";
    case SignatureState::UntrustedRoot:
        return L"untrusted root";
    default:
        return L"";
    }
}

SignatureState SignatureStateFromTrust(LONG verdict, DWORD chainErrors) {
    // Some trust providers accept a chain that stops short of a trusted root; the
    // chain itself still says so, and such a file is not vouched for by anyone.
    if (verdict == ERROR_SUCCESS && (chainErrors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)))
        return SignatureState::UntrustedRoot;
    switch (static_cast<HRESULT>(verdict)) {
    case ERROR_SUCCESS:
        return SignatureState::Signed;
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
        return SignatureState::NotSigned;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
        return SignatureState::UntrustedRoot;
    default:
        return SignatureState::BadSignature;
    }
}

SignatureInfo SignatureChecker::Check(const std::wstring& path) {
    if (path.empty()) return {};
    std::wstring key = Folded(path);
    auto seen = m_seen.find(key);
    if (seen != m_seen.end()) return seen->second;
    // A file that is gone has no signature to judge (and no verdict to cache).
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    SignatureInfo info = VerifyEmbedded(path);
    if (info.state == SignatureState::NotSigned) info = VerifyByCatalogue(path);
    return m_seen[key] = info;
}
