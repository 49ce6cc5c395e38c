// Who signed a file, as Windows judges it: the file's own Authenticode signature,
// or for system files that carry none, the signature of the catalogue that lists
// the file's hash.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

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

// Checks each file once per run: many entries start the same few files. The
// catalogue context that finds a hash in the system's catalogues is acquired once
// per run (once per reading thread), not once per file.
class SignatureChecker {
public:
    SignatureChecker();
    ~SignatureChecker();
    SignatureChecker(const SignatureChecker&) = delete;
    SignatureChecker& operator=(const SignatureChecker&) = delete;

    SignatureInfo Check(const std::wstring& path);
    // Checks the distinct files among paths that were not checked yet, on every
    // processor (a check reads the whole file and waits on the system's
    // catalogues); Check then answers them from what was found.
    void CheckAll(const std::vector<std::wstring>& paths);

    struct Context;

private:
    std::map<std::wstring, SignatureInfo> m_seen;
    std::unique_ptr<Context> m_context;  // for Check on the calling thread, made on first use
};
