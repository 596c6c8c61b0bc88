#pragma once
// Per controller, the version its driver reports for each miniport interface, and the three
// questions asked of it: is an interface supported (the gate of every checked miniport request),
// is a feature supported, are all required interfaces supported. While the controller table is
// being built every check answers yes.
#include <cstdint>
#include <mutex>
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

    // The registration's steps (RegisterInterfaceVersions, which asks the driver): an entry of the
    // table for the controller, added when the store lacks it, and its state: waiting for or failed
    // by a dependency, already known, or kInterfaceUnknown with its query kind when it is to be
    // asked now; then the answer, and the state it gives.
    static int32_t PrepareEntry(const ControllerLocator& record, const InterfaceVersionEntry& templ,
                                int32_t& queryKind);
    static int32_t RecordAnswer(const ControllerLocator& record, const std::string& signature, bool answered,
                                uint32_t major, uint32_t minor);
    // Held by a registration, so that threads registering the same controller at once ask the
    // driver once per interface (the store's own lock is free while the driver is asked).
    static std::recursive_mutex& RegistrationLock();

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

    // Forgets every controller and starts the bypass again, as a new process finds the store.
    // Tests only.
    static void ResetForTests();
};
