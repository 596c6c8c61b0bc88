#include <cstdio>
#include <memory>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// raid-topology: builds a session of its own and prints, per own-driver controller, a line
// "volume <name> <raw state>" for each volume and "disk <serial> <usage> <state flags>" for each
// disk with a RAID record.
moxtest::ChildCommandRegistrar raidTopology("raid-topology", [](const std::vector<std::string>&) {
    Session* built = nullptr;
    CConsolidatedError error = Session::Create(built, nullptr);
    std::unique_ptr<Session> session(built);
    if (!session) {
        std::printf("error %#x\n", static_cast<unsigned>(error.GetErrorCode()));
        return 1;
    }
    for (const auto& controller : session->getControllers()) {
        for (const auto& volume : controller->getVolumes())
            std::printf("volume %s %u\n", volume->getName().c_str(), volume->getRecordWord(100));
        for (const auto& disk : controller->getDisks()) {
            const auto& raid = disk->getRaidDiskConfig();
            if (!raid)
                continue;
            char serial[17] = {};
            static_cast<void>(raid->copySerialNumber(serial, sizeof(serial)));
            std::printf("disk %s %u %#x\n", serial, raid->getUsageCode(), raid->getStateFlags());
        }
    }
    return 0;
});

} // namespace
