#pragma once
// The command line's access to the library: one session handle and the operations that read the
// storage configuration through the exported C interface, and the views built from what they read.
// What a mode changes (or asks only for itself) is in that mode's own operations file beside this
// one (ZrcOperations.h, ...), over the same session. Every operation returns a result record and
// never throws on a library failure; lists are the caller's and are only appended to.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/Array.h"
#include "cli/Controller.h"
#include "cli/EndDevice.h"
#include "cli/Error.h"
#include "cli/UviCalls.h"
#include "cli/access/ThirdPartyViews.h"
#include "cli/access/Volume.h"
#include "middleware/api/UviApi.h"

namespace MOX {

// Scope kinds of the gatherers: every object, the objects of one controller, of one array.
constexpr int32_t SCOPE_KIND_ALL = 0;
constexpr int32_t SCOPE_KIND_CONTROLLER = 1;
constexpr int32_t SCOPE_KIND_ARRAY = 3;

// A library result taken over with the failure's texts, which are released from the thread's store.
Error FullConversion(const _UVI_Error& result);
// The same without the texts: a failure is released first, so only its return code and code remain.
Error QuietConversion(const _UVI_Error& result);

struct HybridDiskSetEntry {
    uint32_t handle = 0;
    std::vector<uint32_t> controllerHandles;
};
using HybridDiskSetFilter = std::function<bool(const _UVI_HybridDiskSetInfo&)>;

// The generic gatherers: the records of one kind in scope, narrowed to a name or id (empty: all).
Error GetScopedEndDevices(uint32_t session, std::vector<_UVI_EndDeviceInfo>& list, uint32_t owner,
                          int32_t kind, std::string filter);
Error GetScopedPhys(uint32_t session, std::vector<UVI_PhyInfo>& list, uint32_t owner, int32_t kind,
                    std::string filter);
Error GetScopedArrays(uint32_t session, std::vector<_UVI_ArrayInfo>& list, uint32_t owner, int32_t kind,
                      std::string filter);
Error GetScopedVolumes(uint32_t session, std::vector<_UVI_VolumeInfo>& list, uint32_t owner, int32_t kind,
                       std::string filter);

class CliSession {
public:
    CliSession() = default;
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;
    // Closes the handle once more, whatever its state; nothing is reported.
    ~CliSession();

    uint32_t getHandle() const { return session_; }
    // The records of an open session are gathered once and kept while the session is open (it is one
    // snapshot). A task that changes the configuration and reads it again through the same session
    // calls this in between.
    void ForgetGathered();

    // ---- one call each ----
    Error OpenSession();
    // Keeps the handle's value.
    Error CloseSession();
    void CloseSessionQuietly();
    Error GetRaidLevelInfo(uint32_t raidInfoHandle, uint32_t raidLevel, _UVI_RaidLevelInfo& info);
    Error GetEndDeviceInfo(_UVI_EndDeviceInfo& info, uint32_t handle);
    Error GetVolumeInfo(_UVI_VolumeInfo& info, uint32_t handle);
    Error GetArrayInfo(_UVI_ArrayInfo& info, uint32_t handle);
    Error GetNvcInfo(_UVI_NvcInfo& info, uint32_t controllerHandle);
    // The record is written only on success.
    Error GetVezkInfoEx(_UVI_VezkInfo& info, uint32_t controllerHandle);
    Error GetNvCachePolicyStatInfo(NvCachePolicyStatInfo& info);
    Error GetNvCacheUnifiedStats(NvCacheUnifiedStats& info);
    Error GetNvCacheStatInfo(NvCacheStatInfo& info);
    Error GetVolportPerformanceCounters(_UVI_VolportPerformanceCounters& counters);

    // ---- gathering and look-ups ----
    Error GetEndDevicesInScope(std::vector<_UVI_EndDeviceInfo>& list, uint32_t owner, int32_t kind,
                               std::string filter);
    Error GetArraysInScope(std::vector<_UVI_ArrayInfo>& list, uint32_t owner, int32_t kind,
                           std::string filter);
    Error GetVolumesInScope(std::vector<_UVI_VolumeInfo>& list, uint32_t owner, int32_t kind,
                            std::string filter);
    // Every own-driver controller with an empty name.
    Error GetControllerInfos(std::vector<_UVI_ControllerInfo>& list, std::string name);
    Error FindEndDeviceById(_UVI_EndDeviceInfo& info, std::string id);
    Error FindPhyOfEndDevice(uint32_t endDeviceHandle, UVI_PhyInfo& info);
    Error FindEndDevicesOfController(std::vector<_UVI_EndDeviceInfo>& list, std::string controllerName);
    // With an array handle, only that array of the name counts: arrays of other controllers may
    // share it.
    Error FindEndDevicesOfArray(std::vector<_UVI_EndDeviceInfo>& list, std::string arrayName,
                                uint32_t arrayHandle = 0);
    Error FindEndDevicesOfVolume(std::vector<_UVI_EndDeviceInfo>& list, std::string volumeName);
    Error FindArraysOfController(std::vector<_UVI_ArrayInfo>& list, std::string controllerName);
    Error FindVolumesOfArray(std::vector<_UVI_VolumeInfo>& list, std::string arrayName,
                             uint32_t arrayHandle = 0);
    Error FindVolumeInfoByName(_UVI_VolumeInfo& info, std::string name);
    Error FindControllerHandleOfVolume(std::string name, uint32_t& controllerHandle);
    Error FindControllerHandleOfEndDevice(std::string id, uint32_t& controllerHandle);

    // ---- other vendors' objects and hybrid disk sets ----
    // Handle 0: every other vendor's controller.
    Error GetSessionObjects(std::vector<ThirdPartyController>& list, uint32_t controllerHandle);
    Error GetSessionObjects(std::vector<ThirdPartyEndDevice>& list, uint32_t controllerHandle);
    Error GetSessionObjects(std::vector<HybridDiskSetEntry>& list, const HybridDiskSetFilter& accept);

    // ---- views ----
    Error GetControllers(std::vector<Controller>& list, std::string name);
    Error GetControllerByHandle(Controller& view, uint32_t handle);
    Error GetEndDevices(std::vector<EndDevice>& list, std::string id);
    Error GetEndDeviceByHandle(EndDevice& view, uint32_t handle);
    Error GetControllerEndDevices(std::vector<EndDevice>& list, std::string controllerName);
    Error GetArrayEndDevices(std::vector<EndDevice>& list, const _UVI_ArrayInfo& array);
    Error GetVolumeEndDevices(std::vector<EndDevice>& list, std::string volumeName);
    Error GetEndDevicesOfKind(std::vector<EndDevice>& list, uint32_t controllerHandle);
    Error GetArrays(std::vector<Array>& list, std::string name);
    Error GetControllerArrays(std::vector<Array>& list, std::string controllerName);
    Error GetVolumes(std::vector<Volume>& list, std::string name);
    Error GetArrayVolumes(std::vector<Volume>& list, const _UVI_ArrayInfo& array);
    Error GetAllControllers(std::vector<std::unique_ptr<BasicController>>& list);
    Error GetAnyControllerByHandle(std::unique_ptr<BasicController>& controller, uint32_t handle);

private:
    Error AddRaidCapabilities(Controller& view, const _UVI_ControllerInfo& info, bool& raidInfoRead);
    // The array record of a handle, as GetArrayInfo gives it.
    Error ArrayOfHandle(_UVI_ArrayInfo& info, uint32_t handle);
    EndDevice MakeEndDeviceView(const _UVI_EndDeviceInfo& info);
    Error MakeEndDeviceViews(Error gathering, const std::vector<_UVI_EndDeviceInfo>& records,
                             std::vector<EndDevice>& list);
    Error MakeVolumeViews(Error gathering, const std::vector<_UVI_VolumeInfo>& records,
                          std::vector<Volume>& list);

    uint32_t session_ = 0;
    struct Gatherings;
    Gatherings& Kept();
    std::shared_ptr<Gatherings> gathered_;
};

} // namespace MOX
