// What a second process reads of the RAID volumes after an operation created or changed them, and
// the deletion another process makes while a session of the test holds the earlier configuration.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/api/UviVolumeRecords.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// uvi-volumes: starts the library and prints a line "<name> <RAID level code> <size in bytes>" per
// volume the exported queries list, each query on a temporary session.
moxtest::ChildCommandRegistrar volumes("uvi-volumes", [](const std::vector<std::string>&) {
    if (UviInitialize().status != UVI_STATUS_SUCCESS)
        return 1;
    unsigned count = 64;
    std::vector<unsigned> handles(count);
    int exitCode = UviGetVolumeHandles(0, handles.data(), &count).status == UVI_STATUS_SUCCESS ? 0 : 1;
    for (unsigned i = 0; exitCode == 0 && i < count; ++i) {
        _UVI_VolumeInfo info{};
        exitCode = UviGetVolumeInfo(0, handles[i], &info).status == UVI_STATUS_SUCCESS ? 0 : 1;
        if (exitCode == 0)
            std::printf("%s %#x %" PRIu64 "\n", info.name, info.raidLevel, info.sizeInBytes);
    }
    static_cast<void>(UviFinalize());
    return exitCode;
});

// uvi-volume-delete NAME: starts the library, deletes the volume of that name through the exported
// call and prints "deleted <status>" (or "missing" when no volume has the name).
moxtest::ChildCommandRegistrar volumeDelete("uvi-volume-delete", [](const std::vector<std::string>& a) {
    if (UviInitialize().status != UVI_STATUS_SUCCESS)
        return 1;
    unsigned count = 64;
    std::vector<unsigned> handles(count);
    int exitCode = UviGetVolumeHandles(0, handles.data(), &count).status == UVI_STATUS_SUCCESS ? 0 : 1;
    unsigned found = 0;
    for (unsigned i = 0; exitCode == 0 && i < count; ++i) {
        _UVI_VolumeInfo info{};
        if (UviGetVolumeInfo(0, handles[i], &info).status == UVI_STATUS_SUCCESS && a.at(0) == info.name)
            found = handles[i];
    }
    if (exitCode == 0 && found == 0) {
        std::printf("missing\n");
        exitCode = 1;
    } else if (exitCode == 0) {
        const _UVI_Error deleted = UviVolumeDelete(found);
        std::printf("deleted %u\n", static_cast<unsigned>(deleted.status));
        exitCode = deleted.status == UVI_STATUS_SUCCESS ? 0 : 1;
    }
    static_cast<void>(UviFinalize());
    return exitCode;
});

} // namespace
