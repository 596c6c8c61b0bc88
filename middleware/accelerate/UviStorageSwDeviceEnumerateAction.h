#pragma once
// Finds the software storage device nodes among all software device nodes and removes the ones that
// belong to given disks (a pairing being separated). The creator supplies how devices are made: the
// lister of software device node ids, and the node objects built from a disk or from a listed node.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "middleware/accelerate/MoxStorageSwDevice.h"
#include "middleware/core/CfgMgrInterfaces.h"
#include "middleware/core/ConsolidatedError.h"

class Disk;

class UviStorageSwDeviceEnumerateException : public std::runtime_error {
public:
    explicit UviStorageSwDeviceEnumerateException(const std::string& message)
        : std::runtime_error("[UviStorageSwDeviceEnumerateException] " + message) {}
};

using StorageSwDeviceFromDiskFactory = std::function<std::unique_ptr<IMoxStorageSwDevice>(Disk*)>;
using StorageSwDeviceFromNodeFactory = std::function<std::unique_ptr<IMoxStorageSwDevice>(MoxCfgMgr::IDev*)>;
using StorageSwDeviceListFactory = std::function<std::unique_ptr<MoxCfgMgr::IDevPathsGetter>()>;

class UviStorageSwDeviceEnumerateAction {
public:
    static constexpr const char* kRuntimeClassName = "class UviStorageSwDeviceEnumerateAction";

    // Every factory is needed: an empty one throws UviStorageSwDeviceEnumerateException.
    UviStorageSwDeviceEnumerateAction(const void* owner, StorageSwDeviceFromDiskFactory fromDisk,
                                      StorageSwDeviceFromNodeFactory fromNode,
                                      StorageSwDeviceListFactory deviceList);

    // The software storage device nodes, in the configuration manager's order. Its failures are
    // thrown.
    std::vector<std::unique_ptr<MoxCfgMgr::IDev>> enumerate();
    // Removes the nodes of the disks. Any failure on the way ends the work with 0xA0000002.
    CConsolidatedError removeForDisks(const std::vector<std::shared_ptr<Disk>>& disks);

private:
    // Kept for the creator; nothing here reads them.
    std::vector<std::unique_ptr<IMoxStorageSwDevice>> devices_;
    const void* owner_;
    StorageSwDeviceFromDiskFactory fromDisk_;
    StorageSwDeviceFromNodeFactory fromNode_;
    StorageSwDeviceListFactory deviceList_;
};
