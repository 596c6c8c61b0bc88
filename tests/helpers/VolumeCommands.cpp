// What a second process reads of the RAID volumes after an operation created or changed them.
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "middleware/api/UviApi.h"
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

} // namespace
