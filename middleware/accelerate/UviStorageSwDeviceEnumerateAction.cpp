#include "middleware/accelerate/UviStorageSwDeviceEnumerateAction.h"

#include <exception>

#include "middleware/core/CfgMgrDevEnumerator.h"

UviStorageSwDeviceEnumerateAction::UviStorageSwDeviceEnumerateAction(const void* owner,
                                                                     StorageSwDeviceFromDiskFactory fromDisk,
                                                                     StorageSwDeviceFromNodeFactory fromNode,
                                                                     StorageSwDeviceListFactory deviceList)
    : owner_(owner), fromDisk_(std::move(fromDisk)), fromNode_(std::move(fromNode)),
      deviceList_(std::move(deviceList)) {
    if (!fromDisk_)
        throw UviStorageSwDeviceEnumerateException("StorageSwDevice from Disk factory not provided");
    if (!fromNode_)
        throw UviStorageSwDeviceEnumerateException("StorageSwDevice from CfgMgrDev factory not provided");
    if (!deviceList_)
        throw UviStorageSwDeviceEnumerateException("CfgMgrDev enumerator(getter) factory not provided");
}

std::vector<std::unique_ptr<MoxCfgMgr::IDev>> UviStorageSwDeviceEnumerateAction::enumerate() {
    MoxCfgMgr::DevEnumerator enumerator(deviceList_(),
                                        MakeCfgMgrDeviceFactory(MoxCfgMgr::kLocatePhantom, {}));
    std::vector<std::unique_ptr<MoxCfgMgr::IDev>> kept;
    for (auto& device : enumerator.enumerate()) {
        if (!device)
            continue;
        const std::wstring id = device->getInstanceId();
        const size_t enumeratorAt = id.find(kStorageSwEnumerator);
        if (enumeratorAt != std::wstring::npos &&
            id.find(kStorageSwInstancePrefix, enumeratorAt) != std::wstring::npos)
            kept.push_back(std::move(device));
    }
    return kept;
}

CConsolidatedError
UviStorageSwDeviceEnumerateAction::removeForDisks(const std::vector<std::shared_ptr<Disk>>& disks) {
    CConsolidatedError error;
    try {
        for (const auto& node : enumerate()) {
            for (const auto& disk : disks) {
                std::unique_ptr<IMoxStorageSwDevice> fromDisk = fromDisk_(disk.get());
                if (!fromDisk)
                    throw UviStorageSwDeviceEnumerateException(
                        "StorageSwDevice from Disk factory gave nothing");
                const std::wstring diskId = fromDisk->getInstanceId();
                fromDisk.reset();
                if (node->getInstanceId().find(diskId) == std::wstring::npos)
                    continue;
                std::unique_ptr<IMoxStorageSwDevice> fromNode = fromNode_(node.get());
                if (!fromNode)
                    throw UviStorageSwDeviceEnumerateException(
                        "StorageSwDevice from CfgMgrDev factory gave nothing");
                // A node that cannot be removed now is left to Windows; the separation goes on.
                static_cast<void>(fromNode->remove());
            }
        }
    } catch (const std::exception& e) {
        error.SetError(CConsolidatedError::GENERAL_FAULT, nullptr);
        error.AddErrorMessage("Exception while removing Storage SW Device. Msg: %s", e.what());
        error.AddDebugInformation("%s UviStorageSwDeviceEnumerateAction::removeForDisks", kRuntimeClassName);
    }
    return error;
}
