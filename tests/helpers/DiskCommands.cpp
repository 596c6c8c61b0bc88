#include <cstdio>
#include <string>

#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/VdsHandler.h"
#include "middleware/model/VdsService.h"
#include "middleware/model/WinDiskInterface.h"
#include "platform/win/WinFiles.h"
#include "tests/helpers/ChildCommands.h"

namespace {

std::string Bytes(uint64_t value) {
    return std::to_string(value);
}

// disk-last-partition N: the length of disk N's last partition as its drive layout, the disk
// service's last extent and the free-space query of that extent's volume give it ("none" when
// there is none).
moxtest::ChildCommandRegistrar
    diskLastPartition("disk-last-partition", [](const std::vector<std::string>& a) {
        WinDiskInterface view(L"\\\\.\\PhysicalDrive" + std::to_wstring(std::stoi(a.at(0))));
        if (view.Populate().IsError())
            return 1;
        std::string layout = "none", extent = "none", volume = "none";
        auto partitions = view.getPartitionInfos();
        if (!partitions.empty())
            layout = Bytes(partitions.back()->length);

        VdsDiskIdentity identity;
        // A dynamic disk's identity is filled in too; the callers here want it either way.
        static_cast<void>(DiskShrinkExtension(&view).getDiskIdentifyData(
            identity.gptGuid, identity.mbrSignature, identity.partitionStyle));
        ComConnectionHandler com;
        ComPtr<IVdsService> service;
        ComPtr<IVdsDisk> disk;
        VDS_DISK_EXTENT last{};
        if (loadVdsService(service.put()) == S_OK &&
            VdsHandler::getDisk(service.get(), identity, disk.put()) == 0 &&
            VdsHandler::getVolumeIdOfLastDiskExtent(disk.get(), last) == S_OK && last.ullSize != 0) {
            extent = Bytes(last.ullSize);
            uint64_t freeBytes = 0, total = 0;
            if (DiskShrinkExtension::getVolumeFreeSpace(last.volumeId, freeBytes, total).IsSuccessful())
                volume = Bytes(total);
        }
        std::printf("layout %s\nextent %s\nvolume %s\n", layout.c_str(), extent.c_str(), volume.c_str());
        return 0;
    });

} // namespace
