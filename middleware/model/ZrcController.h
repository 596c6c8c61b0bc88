#pragma once
// The vendor's remapping controller: the controllers it has taken over sit behind its remap port,
// one per implemented path id.
#include <vector>

#include "middleware/model/Controller.h"

// One controller found behind the remapping controller.
class ZrcRemappedController {
public:
    // Remapped controller types.
    static constexpr int kTypeUnknown = 0;
    static constexpr int kTypeAhci = 1;
    static constexpr int kTypeNvme = 4;

    explicit ZrcRemappedController(int pathId) : m_PathId(pathId) {}
    virtual ~ZrcRemappedController() = default;

    // Asks the remap port for the connection of its path and maps the connection type: 0 and 1 give
    // 0, 2 gives 1, 3 gives 4, any other value leaves `type` as it was.
    virtual CConsolidatedError Populate(HANDLE target, int& type);

    int getPathId() const { return m_PathId; }
    int getType() const { return m_Type; }

private:
    int m_PathId = -1;
    int m_Type = kTypeUnknown;
};

class ZrcController : public Controller {
public:
    explicit ZrcController(ControllerLocator* locator) : Controller(locator) {}
    ~ZrcController() override;

    CConsolidatedError Populate(const WinDiskList& winDisks) override;
    const char* getTypeName() const override { return "ZRC"; }
    int getType() const override { return kTypeZrc; }
    // Path ids 0 and 1 are the remapping controller's own.
    bool isEndDeviceAddress(PackedScsiAddress address) const override;
    PackedScsiAddress getDefaultVolumeAddress() const override { return 0; }
    bool isRemapCapable() const override { return false; }
    // The path ids of the remapped AHCI controllers, in list order.
    std::vector<int> getLpmControllerNumbers() const override;

    const std::vector<ZrcRemappedController>& getRemappedControllers() const { return m_Remapped; }

private:
    std::vector<ZrcRemappedController> m_Remapped;
};
