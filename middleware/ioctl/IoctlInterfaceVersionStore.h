#pragma once
// Per controller, the version its driver reports for each miniport interface, and the three
// questions asked of it: is an interface supported (the gate of every checked miniport request),
// is a feature supported, are all required interfaces supported. While the controller table is
// being built every check answers yes.
#include <cstdint>
#include <string>
#include <vector>

#include "middleware/ioctl/ControllerLocator.h"
#include "platform/win/WinTypes.h"

enum InterfaceVersionState : int32_t {
    kInterfaceUnknown = 0,
    kInterfaceQueried = 1,
    kInterfaceQueryFailed = 2,
    kInterfaceDependencyFailed = 3,
    kInterfaceWaiting = 4,
};

// How an interface's version is asked for.
enum InterfaceVersionQueryKind : int32_t {
    kQueryPlain = 0,
    kQueryNvme = 1,
    kQueryCsmi = 2,
    kQueryRemapPortPlain = 3, // plain, for the required remap port
    kQueryAta = 4,
    kQueryRaid = 5,
};

struct InterfaceVersionEntry {
    std::string signature; // the 8 signature bytes without trailing zero bytes
    std::vector<std::string> dependencies;
    uint32_t expectedMajor = 0;
    uint32_t expectedMinor = 0;
    uint32_t reportedMajor = 0;
    uint32_t reportedMinor = 0;
    bool required = false;
    int32_t queryKind = kQueryPlain;
    int32_t state = kInterfaceUnknown;
};

InterfaceVersionEntry MakeInterfaceVersionEntry(const std::string& signature, bool required,
                                                uint32_t expectedMajor, uint32_t expectedMinor,
                                                int32_t queryKind, std::vector<std::string> dependencies);

// Feature numbers of CheckFeatureSupport.
constexpr int32_t kFeatureRemapDeviceInfo = 0;
constexpr int32_t kFeatureFileCacheSupport = 1;
constexpr int32_t kFeatureAhciPortLocation = 2;

class IoctlInterfaceVersionStore {
public:
    // The interfaces asked of every controller, in resolution order.
    static const std::vector<InterfaceVersionEntry>& EntryTable();

    // Asks the controller for every interface of the table, each after the interfaces it depends
    // on, in passes until none waits. Throws CConsolidatedError 0xA0000002 "Cyclic dependency in
    // IoctlInterfaceVersionStore" when a pass resolves nothing more. The table's build calls it for
    // each controller while the bypass is still on.
    static void RegisterController(ControllerLocator& record);

    // Throw CConsolidatedError 0xA0000004 for a target that is neither a record nor a record's
    // device handle, or a controller the store does not know; the feature check throws
    // std::out_of_range for an unknown feature.
    static bool CheckInterfaceSupport(HANDLE target, const char* signature8);
    static bool CheckFeatureSupport(HANDLE target, int32_t feature);
    static bool AllRequiredSupported(const ControllerLocator& record);
    static InterfaceVersionEntry GetVersion(const ControllerLocator& record, const std::string& signature);
    static std::vector<InterfaceVersionEntry> GetControllerVersions(const ControllerLocator& record);

    // Stores a controller's entries as they stand, keyed by its port number (replacing what the
    // store held for that port).
    static void SetControllerVersions(const ControllerLocator& record,
                                      std::vector<InterfaceVersionEntry> entries);

    // From process start until the table's build has registered its controllers every check
    // answers yes; the build ends that once.
    static bool IsBuildBypassActive();
    static void EndBuildBypass();
    // Tests only: forgets every controller and turns the bypass on again, as at process start.
    static void ResetForTests();
};
