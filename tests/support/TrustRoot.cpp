// Adds a certificate authority to the local machine's store of trusted roots, so
// files signed under it count as validly signed. The store keeps each root under
// HKLM\Software\Microsoft\SystemCertificates\Root\Certificates\<SHA-1 thumbprint>,
// which is where a test takes it out again.
// Usage: host_trustroot CERT.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/Handles.h"

namespace {

struct CertStoreTraits {
    static HCERTSTORE Invalid() noexcept { return nullptr; }
    static void Close(HCERTSTORE store) noexcept { CertCloseStore(store, 0); }
};
using UniqueCertStore = kiv::UniqueResource<HCERTSTORE, CertStoreTraits>;

std::vector<BYTE> ReadAll(const wchar_t* path) {
    std::vector<BYTE> bytes;
    kiv::UniqueCrtFile file(_wfopen(path, L"rb"));
    if (!file) return bytes;
    BYTE buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), file.Get())) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    std::vector<BYTE> der = ReadAll(argv[1]);
    UniqueCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"ROOT"));
    if (der.empty() || !store) return 2;
    return CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
               ? 0
               : 1;
}
