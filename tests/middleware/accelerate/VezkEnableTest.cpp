// The cache-memory pairing enable against the simulated driver.
#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/core/GlobalLogger.h"
#include "sim/CallLog.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

// The default machine with a cache-memory module of this size behind its SATA controller, which
// Windows sees; with the pass-through hard disk ZA1B2C3D it makes the one valid pair.
sim::MachineBuilder EnableMachine(uint64_t moduleBytes = uint64_t{32} << 30) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    const std::string id = R"(SCSI\\Disk&Ven_Halvex&Prod_M10\\4&3a7b2c10&0&040000)";
    moxtest::DriverDisk module = moxtest::SataSsd("HVX-MOD-0001");
    module.model = "Halvex M10";
    module.target = 4;
    module.sectors = moduleBytes / 512;
    module.diskFacts = R"(, "device_number": 4, "instance_id": ")" + id + R"(")";
    module.raidFacts = R"(, "metadata_sectors": 2048)";
    moxtest::AddDriverDisk(b, module);
    b.Append("/devices/nodes",
             R"({"id": ")" + id +
                 R"(", "parent": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8", )"
                 R"("class": "{4d36e967-e325-11ce-bfc1-08002be10318}", )"
                 R"("interfaces": [{"class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}]})");
    return b;
}

class VezkEnable : public ActionTest {};

TEST_F(VezkEnable, DISABLED_Probe) {
    Start(EnableMachine());
    machine_->machine().calls().Keep(100000);
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doVezkEnableOneStep();
    const CConsolidatedError error = GetLoggedError(result);
    EXPECT_EQ(result.status, 0u) << std::hex << result.code << " " << error.GetErrorMessage() << " | "
                                 << error.GetDebugInformation();
}

} // namespace
