#pragma once
// What the disk-service tests share: a machine of vdstest disks installed for the test, the Windows
// view and identity of a disk, and counts of the calls that reached the simulated service.
#include <gtest/gtest.h>
#include <string>

#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/VdsHandler.h"
#include "middleware/model/VdsService.h"
#include "middleware/model/WinDiskInterface.h"
#include "sim/Machine.h"
#include "tests/middleware/model/VdsTestMachine.h"

namespace vdstest {

inline std::wstring DrivePath(int number) {
    return L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
}

class VdsTest : public ::testing::Test {
public:
    explicit VdsTest(const sim::MachineBuilder& builder = Machine()) : machine_(builder) {
        // The kept service belongs to the process; each test starts without one.
        releaseVdsService();
    }
    ~VdsTest() override { releaseVdsService(); }

    WinDiskInterface View(int number) {
        WinDiskInterface view(DrivePath(number));
        CConsolidatedError result = view.Populate();
        EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
        return view;
    }

    VdsDiskIdentity Identity(int number) {
        WinDiskInterface view = View(number);
        VdsDiskIdentity identity;
        // A dynamic disk's identity is filled in too; the callers here want it either way.
        static_cast<void>(DiskShrinkExtension(&view).getDiskIdentifyData(
            identity.gptGuid, identity.mbrSignature, identity.partitionStyle));
        return identity;
    }

    // Calls of a kind; for "Vds" only those of one method when given.
    size_t Calls(const std::string& kind, const std::string& method = "") {
        size_t n = 0;
        for (const sim::Call& c : machine_->calls().Of(kind))
            n += method.empty() || c.selectors.value("method", "") == method;
        return n;
    }

    void Inject(sim::FaultRule rule) { machine_->faults().Add(std::move(rule)); }

    // The length of a partition as the layout now has it (a fresh Windows view).
    uint64_t PartitionLength(int disk, size_t index) {
        return static_cast<uint64_t>(View(disk).getPartitionEntries()[index].PartitionLength.QuadPart);
    }
    GUID PartitionType(int disk, size_t index) {
        return View(disk).getPartitionEntries()[index].Gpt.PartitionType;
    }
    uint64_t PartitionAttributes(int disk, size_t index) {
        return View(disk).getPartitionEntries()[index].Gpt.Attributes;
    }

protected:
    sim::ScopedMachine machine_;
};

} // namespace vdstest
