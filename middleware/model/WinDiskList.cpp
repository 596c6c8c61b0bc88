#include "middleware/model/WinDiskList.h"

#include <exception>

#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/core/CfgMgrException.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "platform/win/Trace.h"

WinDiskList::WinDiskList(std::shared_ptr<MoxCfgMgr::IDevEnumerator> enumerator)
    : m_Enumerator(std::move(enumerator)) {}

CConsolidatedError WinDiskList::Populate() {
    if (!m_Entries.empty() || !m_Enumerator)
        return CConsolidatedError();
    try {
        std::vector<std::unique_ptr<MoxCfgMgr::IDev>> devices = m_Enumerator->enumerate();
        for (const auto& device : devices) {
            if (!device)
                continue;
            WinDiskInterface disk(device->getInterfacePath());
            if (disk.Populate().IsSuccessful())
                m_Entries.push_back(std::move(disk));
        }
    } catch (const MoxCfgMgr::CfgMgrException& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "WinDiskList::Populate: device enumeration failed: %s", e.what());
    } catch (const std::exception& e) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "WinDiskList::Populate: %s", e.what());
    }
    return CConsolidatedError();
}

std::unique_ptr<WinDiskInterface> WinDiskList::find(const std::string& serialNumber,
                                                    PackedScsiAddress address) const {
    for (const WinDiskInterface& entry : m_Entries) {
        const std::string entrySerial = entry.getSerialNumberString();
        if (!serialNumber.empty() && entrySerial == serialNumber) {
            if (entry.getScsiAddress() != address)
                MOX_TRACE(TRACE_LEVEL_WARNING,
                          "WinDiskList::find: serial number %s matched at address 0x%08X, asked for 0x%08X",
                          serialNumber.c_str(), entry.getScsiAddress(), address);
            return std::make_unique<WinDiskInterface>(entry);
        }
        if (entry.getScsiAddress() == address) {
            MOX_TRACE(
                TRACE_LEVEL_WARNING,
                "WinDiskList::find: address 0x%08X matched disk with serial number \"%s\", asked for \"%s\"",
                address, entrySerial.c_str(), serialNumber.c_str());
            return std::make_unique<WinDiskInterface>(entry);
        }
    }
    return nullptr;
}

std::shared_ptr<MoxCfgMgr::IDevEnumerator> MakeWinDiskEnumerator() {
    return std::make_shared<MoxCfgMgr::DevEnumerator>(
        std::make_unique<MoxCfgMgr::DevInterfacePathsGetter>(GUID_DEVINTERFACE_DISK),
        MakeCfgMgrDeviceFactory(MoxCfgMgr::kLocateNormal, {}));
}
