// Controllers built from the controller table and populated from the simulated driver: the kinds the
// factory picks, what each kind reads, and the controller's queries.
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/model/AhciController.h"
#include "middleware/model/Controller.h"
#include "middleware/model/ControllerFactory.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/WinDiskList.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

class ControllerTest : public modeltest::ModelTest {
protected:
    explicit ControllerTest(const sim::MachineBuilder& machine = sim::MachineBuilder::Default())
        : ModelTest(machine) {}

    std::unique_ptr<::Controller> Make(int port) {
        ControllerLocator* record = DeviceLocator::FindByPort(port);
        EXPECT_NE(record, nullptr);
        return ControllerFactory(DeviceLocator::GetFlags(record), record,
                                 IoctlInterfaceVersionStore::AllRequiredSupported(*record));
    }

    std::unique_ptr<::Controller> Populated(int port) {
        auto controller = Make(port);
        const CConsolidatedError result = controller->Populate(winDisks_);
        EXPECT_TRUE(result.IsSuccessful()) << std::hex << result.GetErrorCode() << " "
                                           << result.GetErrorMessage() << " " << result.GetDebugInformation();
        return controller;
    }

    WinDiskList& Disks() {
        static_cast<void>(winDisks_.Populate());
        return winDisks_;
    }

    WinDiskList winDisks_{MakeWinDiskEnumerator()};
};

TEST_F(ControllerTest, DefaultMachinePopulatesEveryController) {
    static_cast<void>(winDisks_.Populate());
    for (int port : {0, 1, 2}) {
        SCOPED_TRACE(port);
        auto controller = Populated(port);
        EXPECT_NE(controller->getHandle(), 0u);
        std::printf("port %d type %d %s disks %zu volumes %zu arrays %zu ports %zu pairs %zu opt %d ver %s\n",
                    port, controller->getType(), controller->getTypeName(), controller->getDisks().size(),
                    controller->getVolumes().size(), controller->getArrays().size(),
                    controller->getPorts().size(), controller->getVezkDiskPairs().size(),
                    controller->getOptimizationState(), controller->getVersionText().c_str());
    }
}

} // namespace
