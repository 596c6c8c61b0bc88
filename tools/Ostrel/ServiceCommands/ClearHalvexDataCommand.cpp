#include "tools/Ostrel/ServiceCommands/ClearHalvexDataCommand.h"

#include "platform/win/Trace.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinFiles.h"
#include "tools/Ostrel/ServiceCommands/CommandFailureReport.h"

namespace {

DWORD DeleteIfPresent(const std::wstring& path) {
    if (DeleteFileW(path.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "Cache service database file not found: %ls", path.c_str());
        return ERROR_SUCCESS;
    }
    return error;
}

} // namespace

DWORD DeleteServiceDatabase() {
    const std::wstring database =
        std::wstring(L"\\\\.\\") + L"c:\\Orvex\\OrvexHalvexData" + L"\\usage_stats.db";
    for (const wchar_t* suffix : {L"", L"-shm", L"-wal"})
        if (DWORD error = DeleteIfPresent(database + suffix))
            return error;
    return ERROR_SUCCESS;
}

unsigned long ClearHalvexDataCommand::Execute(int, wchar_t*[]) {
    VerboseLine(ExecuteSignature("ClearHalvexDataCommand"));
    const DWORD opened = Init(kCacheServiceName);
    if (opened == ERROR_SUCCESS) {
        SERVICE_STATUS_PROCESS status{};
        // A service whose state cannot be read may be holding the database: nothing is deleted.
        if (DWORD error = control()->QueryStatus(&status))
            return error;
        if (status.dwCurrentState != SERVICE_STOPPED) {
            CommandFailureReport(L"Service is still running. Please stop service first.");
            return ERROR_INVALID_STATE;
        }
    } else if (opened != ERROR_SERVICE_DOES_NOT_EXIST) {
        return opened;
    }
    // A service that is not installed cannot hold the database open.
    const DWORD deleted = DeleteServiceDatabase();
    if (deleted != ERROR_SUCCESS)
        CommandFailureReport(L"Failed Delete database. Error: " + std::to_wstring(deleted));
    return deleted;
}
