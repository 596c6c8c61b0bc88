#pragma once
// The Windows event log: programs report entries under an event source into the simulated machine's
// application log (see sim/EventLog.h). Any source name may be registered, as on Windows, where a
// source without its own registration writes into the application log too.
#include "platform/win/WinBase.h"
#include "platform/win/WinTypes.h"

using PSID = void*;

constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x0008;
constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x0010;

// A null or empty server name is the local computer; another computer is not reachable
// (RPC_S_SERVER_UNAVAILABLE).
HANDLE RegisterEventSourceW(LPCWSTR serverName, LPCWSTR sourceName);
BOOL ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                  DWORD dataSize, LPCWSTR* strings, LPVOID rawData);
BOOL DeregisterEventSource(HANDLE eventLog);
