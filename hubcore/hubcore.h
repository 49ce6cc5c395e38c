// The host's sibling library that owns the log and answers which Task Scheduler
// generation to use. The module imports the first three entries by ordinal only:
//   7  HubLogWrite            log sink: 8-bit text and its length (0xFFFFFFFF: zero-terminated)
//   8  HubUseTaskScheduler2   nonzero: use the Task Scheduler 2.0 interfaces
//   9  HubEnumTaskScheduler2  nonzero: enumerate through 2.0 even when 8 said no
// HubSetLogReceiver is for hosts (and tests) that want every sink call themselves.
#pragma once

#ifdef HUBCORE_BUILDING
#define HUBCORE_API __declspec(dllexport)
#else
#define HUBCORE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void(__cdecl* HubLogReceiver)(const char* text, unsigned length, void* context);

HUBCORE_API void __cdecl HubLogWrite(const char* text, unsigned length);
HUBCORE_API int __cdecl HubUseTaskScheduler2(void);
HUBCORE_API int __cdecl HubEnumTaskScheduler2(void);

// Installs (or, with a null receiver, removes) a receiver that gets every sink call
// exactly as made. With echoToFile 0 the log file is not written while it is installed.
HUBCORE_API void __cdecl HubSetLogReceiver(HubLogReceiver receiver, void* context, int echoToFile);

#ifdef __cplusplus
}
#endif
