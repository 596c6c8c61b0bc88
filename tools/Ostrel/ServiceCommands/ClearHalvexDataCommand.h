#pragma once
// Deletes the cache service's database of file usage, so that a later pairing starts without stale
// file cache information. Refuses while the cache service runs, which would hold the files open.
#include <string>

#include "tools/Ostrel/ServiceCommands/ServiceCommand.h"

class ClearHalvexDataCommand : public ServiceCommand {
public:
    // 0; ERROR_INVALID_STATE (5023) while the service is not stopped; or the code of the failed step.
    unsigned long Execute(int argc, wchar_t* argv[]) override;
    std::wstring Help() const override {
        return L"Removes Halvex database files (file cache information). Service must be stopped.\n";
    }
};

// Deletes "usage_stats.db" in "c:\Orvex\OrvexHalvexData", then its "-shm" and "-wal" companions, each
// through the device prefix "\\.\"; a missing file counts as deleted. The first other failure is
// returned and the files after it are left.
DWORD DeleteServiceDatabase();
