#pragma once
// How the interface version store asks one controller for the version of one interface. Each query
// kind is a class; a query object is made for one entry, run once and dropped.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/CIoctlTemplate.h"
#include "middleware/ioctl/ControllerLocator.h"
#include "platform/win/WinStorage.h"

constexpr DWORD kIoctlInterfaceVersionCode = 0x7EF50410;

// The version request every interface of the driver answers under its own signature.
struct IOCTL_INTERFACE_VERSION {
    static constexpr const char* kRuntimeClassName = "struct IOCTL_INTERFACE_VERSION";
    SRB_IO_CONTROL Header;
    uint32_t MajorVersion;
    uint32_t MinorVersion;
};
static_assert(sizeof(IOCTL_INTERFACE_VERSION) == 36);
static_assert(offsetof(IOCTL_INTERFACE_VERSION, MajorVersion) == 28);
static_assert(offsetof(IOCTL_INTERFACE_VERSION, MinorVersion) == 32);

using CIoctlInterfaceVersion =
    CIoctlTemplate<IOCTL_INTERFACE_VERSION, IOCTL_INTERFACE_VERSION, kIoctlInterfaceVersionCode>;

// The plain query (kinds 0 and 3): the version request under the interface's signature, target
// address word 0. The answer is taken as it stands after a successful send.
class InterfaceVersionStoreQuery {
public:
    virtual ~InterfaceVersionStoreQuery() = default;
    virtual CConsolidatedError query(ControllerLocator* record, int32_t portNumber,
                                     const std::string& signature);

    uint32_t GetMajor() const { return m_Major; }
    uint32_t GetMinor() const { return m_Minor; }

protected:
    // The version request with a chosen target address word.
    CConsolidatedError queryAt(ControllerLocator* record, const std::string& signature, DWORD targetAddress);

    uint32_t m_Major = 0;
    uint32_t m_Minor = 0;
};

// NVMe interface: asked of the first NVMe device behind the remap port; none there is a success
// with version 0.0.
class InterfaceVersionStoreNvmQuery : public InterfaceVersionStoreQuery {
public:
    CConsolidatedError query(ControllerLocator* record, int32_t portNumber,
                             const std::string& signature) override;
};

// CSMI: the CSMI revision of the driver information; "CSMISAS" repeats the controller's "CSMIALL".
class InterfaceVersionStoreCsmiQuery : public InterfaceVersionStoreQuery {
public:
    CConsolidatedError query(ControllerLocator* record, int32_t portNumber,
                             const std::string& signature) override;
};

// ATA interface: a remapping controller is asked through its first AHCI device; any other
// controller plainly.
class InterfaceVersionStoreAtaQuery : public InterfaceVersionStoreQuery {
public:
    CConsolidatedError query(ControllerLocator* record, int32_t portNumber,
                             const std::string& signature) override;
};

// RAID interface: the vendor's NVMe controller has none (0.0, nothing sent).
class InterfaceVersionStoreRdpQuery : public InterfaceVersionStoreQuery {
public:
    CConsolidatedError query(ControllerLocator* record, int32_t portNumber,
                             const std::string& signature) override;
};

std::unique_ptr<InterfaceVersionStoreQuery> MakeInterfaceVersionStoreQuery(int32_t queryKind);

// Asks the controller for every interface of the store's table, each after the interfaces it
// depends on, in passes until none waits, and keeps the answers in the store. Throws
// CConsolidatedError 0xA0000002 "Cyclic dependency in IoctlInterfaceVersionStore" when a pass
// resolves nothing more. The table's build calls it for each controller while the bypass is still
// on.
void RegisterInterfaceVersions(ControllerLocator& record);
