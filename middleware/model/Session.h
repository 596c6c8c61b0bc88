#pragma once
// One snapshot of the storage topology: every controller of the controller table, populated from
// the RAID driver, with the hybrid disk sets and PCI root-port controller sets derived from them.
// Built in one go by Session::Create and only read afterwards; a refresh is a new Session. Handles
// stay the same across sessions because the handle registry is process-wide.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

class Controller;
class Disk;
class DeviceLocator;
class HybridDiskSet;
class PciRootControllerSet;
class RaidArray;
class RaidVolume;
class WinDiskInterface;
class ZrcRemapRequestCache;
struct ControllerLocator;

class Session {
public:
    using ControllerList = std::vector<std::shared_ptr<Controller>>;
    // Attempts of one build and the pause between two of them (on the platform clock).
    static constexpr int kBuildAttempts = 60;
    static constexpr unsigned kRetryPauseMs = 1000;

    explicit Session(ZrcRemapRequestCache* remapRequests);
    virtual ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Builds a populated session, retrying a failed build up to 60 times a second apart. `session`
    // is set on success, and on 0xA0010050 (no controller of the vendor's driver: the attempts stop
    // and the caller gets the session of other vendors' controllers with the error); otherwise it
    // stays null and the last attempt's error is returned.
    static CConsolidatedError Create(Session*& session, ZrcRemapRequestCache* remapRequests);
    // One build attempt on a fresh session.
    CConsolidatedError Populate();
    CConsolidatedError populateControllerContainer(bool& foundOwnController);
    // Always succeed; a set whose populate fails is traced and left out.
    CConsolidatedError populateHybridDiskSets();
    CConsolidatedError populatePciRootControllerSets();

    // Lookups: first match in list order; an empty pointer when nothing has the handle.
    std::shared_ptr<Controller> getControllerByHandle(uint32_t handle) const;
    std::shared_ptr<Controller> getThirdPartyControllerByHandle(uint32_t handle) const;
    std::shared_ptr<Controller> getAnyControllerByHandle(uint32_t handle) const;
    std::shared_ptr<RaidArray> getArrayByHandle(uint32_t handle) const;
    std::shared_ptr<RaidVolume> getVolumeByHandle(uint32_t handle) const;
    std::shared_ptr<Disk> getEndDeviceByHandle(uint32_t handle) const;
    std::shared_ptr<Disk> getThirdPartyEndDeviceByHandle(uint32_t handle) const;
    // Own-driver controllers, then other vendors'.
    ControllerList getAllControllers() const;

    // The holder of the first Windows view (own-driver controllers in order; per controller its
    // disks, then its volumes) the predicate accepts; an empty holder shared by all when none does.
    const std::unique_ptr<WinDiskInterface>&
    findWinDiskInterface(const std::function<bool(const WinDiskInterface&)>& predicate) const;
    const std::unique_ptr<WinDiskInterface>& findWinDiskInterfaceByDeviceNumber(int deviceNumber) const;
    const std::unique_ptr<WinDiskInterface>& findWinDiskInterfaceByScsiAddress(int address) const;
    // The controller table record of the own-driver controller with the handle; 0xA0010008 when
    // there is none.
    CConsolidatedError getControllerLocator(uint32_t controllerHandle, ControllerLocator*& locator) const;

    const ControllerList& getControllers() const { return m_Controllers; }
    const ControllerList& getThirdPartyControllers() const { return m_ThirdPartyControllers; }
    const std::vector<std::shared_ptr<HybridDiskSet>>& getHybridDiskSets() const { return m_HybridDiskSets; }
    const std::vector<std::shared_ptr<PciRootControllerSet>>& getPciRootControllerSets() const {
        return m_PciRootControllerSets;
    }
    ZrcRemapRequestCache* getZrcRemapBiosVariables() const { return m_RemapRequests; }
    bool hasZrcController() const { return m_HasZrcController; }

private:
    ControllerList m_Controllers;
    ControllerList m_ThirdPartyControllers;
    std::vector<std::shared_ptr<HybridDiskSet>> m_HybridDiskSets;
    std::vector<std::shared_ptr<PciRootControllerSet>> m_PciRootControllerSets;
    std::unique_ptr<DeviceLocator> m_DeviceLocator;
    ZrcRemapRequestCache* m_RemapRequests;
    bool m_HasZrcController = false;
};
