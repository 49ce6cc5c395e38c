// Background transfer jobs that start a program: a job's notification command line
// runs when the job completes or fails. Items name the job's identifier (its GUID
// as text) by registry name 0. The transfer service keeps no disabled state of its
// own, so the location's key keeps what an action takes away: a disabled job's
// command line under the marker subkey "_disabledByKiv\{id}", a removed job's
// definition under "_removedByKiv\{id}" (values "DisplayName", "Type", "Program",
// "Parameters" and one "File<n>" per file, remote name and local name as a
// multi-string).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

struct BitsJob {
    std::wstring id;  // "{...}"
    std::wstring name;
    DWORD type = 0;  // BG_JOB_TYPE
    std::wstring program, parameters;
    std::vector<std::pair<std::wstring, std::wstring>> files;  // remote name, local name
};

// What the library asks of the transfer service. The system's answers through its
// COM interfaces; tests hand their own where the test system's service cannot keep
// a command line (Wine's answers E_NOTIMPL).
class BitsJobService {
public:
    virtual ~BitsJobService() = default;
    // Every job readable (every user's where the caller may read them).
    virtual Status List(std::vector<BitsJob>& jobs) = 0;
    // Sets the job's notification command line; an empty program clears it.
    virtual Status SetCommandLine(const std::wstring& id, const std::wstring& program,
                                  const std::wstring& parameters) = 0;
    virtual Status Cancel(const std::wstring& id) = 0;
    // Makes a new job from a kept definition and starts it; the new job has an
    // identifier of its own, returned in id.
    virtual Status Create(const BitsJob& job, std::wstring& id) = 0;
};

// The transfer service in use; tests replace it (null puts the system's back) and
// get the one replaced.
BitsJobService& CurrentBitsJobs();
BitsJobService* SetBitsJobs(BitsJobService* jobs);

void CollectBitsJobs(Location* location, unsigned enabledPass, unsigned char wow64);
Status DisableBitsJob(CKivItem* item);
Status EnableBitsJob(CKivItem* item);
// Keeps the definition, then cancels the job; a job that cannot be cancelled takes
// its kept definition back out.
Status RemoveBitsJob(CKivItem* item);
// Makes a new job from the kept definition: the files, the type, the name and the
// command line come back; the identifier, the owner (another user's job comes back
// as the caller's), the progress made, credentials and proxy settings do not.
Status RestoreBitsJob(CKivItem* item);

}  // namespace kiv
