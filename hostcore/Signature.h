// Who signed a file, as Windows judges it: the file's own Authenticode signature,
// or for system files that carry none, the signature of the catalogue that lists
// the file's hash.
#pragma once

#include <windows.h>

#include <map>
#include <string>

enum class SignatureState { Unknown, NotSigned, Signed, BadSignature, UntrustedRoot };

struct SignatureInfo {
    SignatureState state = SignatureState::Unknown;
    std::wstring signer;  // the signing certificate's display name, when one was found
};

// "signed", "not signed", "bad signature", "untrusted root"; empty when no file was checked.
std::wstring SignatureStateText(SignatureState state);
// What a trust verdict means to the administrator: a missing signature, a chain
// that ends in a root this machine does not trust, or anything else that breaks it.
// chainErrors are the trust errors of the chain built for the signer.
SignatureState SignatureStateFromTrust(LONG verdict, DWORD chainErrors);

// Checks each file once per run: many entries start the same few files.
class SignatureChecker {
public:
    SignatureInfo Check(const std::wstring& path);

private:
    std::map<std::wstring, SignatureInfo> m_seen;
};
