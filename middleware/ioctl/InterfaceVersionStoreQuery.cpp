#include "middleware/ioctl/InterfaceVersionStoreQuery.h"

#include <optional>

#include "middleware/ioctl/CsmiRequests.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/RemapPortRequests.h"
#include "platform/win/Trace.h"

namespace {

constexpr ULONG kConnectionAta = 2;
constexpr ULONG kConnectionNvme = 3;

// The first device behind the controller's remap port whose connection type is `type`. The walk's
// first failure is the result; a thrown verification failure counts as one.
CConsolidatedError FindRemapDevice(ControllerLocator* record, int32_t portNumber, ULONG type,
                                   std::optional<PackedScsiAddress>& found) {
    found.reset();
    try {
        CioctlReMapPortIterator iterator;
        CConsolidatedError result = iterator.Invoke(record, static_cast<uint8_t>(portNumber));
        if (result.IsError())
            return result;
        for (PackedScsiAddress address : iterator.GetAddresses()) {
            CIoctlReMapPortGetConnectionInfo info(record, address);
            info.SetVerifyOnInvoke(true);
            result = info.Invoke();
            if (result.IsError())
                return result;
            if (info.GetConnectionType() == type) {
                found = address;
                break;
            }
        }
        return CConsolidatedError();
    } catch (const CConsolidatedError& e) {
        return e;
    }
}

} // namespace

CConsolidatedError InterfaceVersionStoreQuery::query(ControllerLocator* record, int32_t,
                                                     const std::string& signature) {
    return queryAt(record, signature, 0);
}

CConsolidatedError InterfaceVersionStoreQuery::queryAt(ControllerLocator* record,
                                                       const std::string& signature, DWORD targetAddress) {
    CIoctlInterfaceVersion request(record, signature.c_str(), targetAddress);
    CConsolidatedError result = request.Invoke();
    const IOCTL_INTERFACE_VERSION answer = request.GetOutputRecordUnverified();
    m_Major = result.IsSuccessful() ? answer.MajorVersion : 0;
    m_Minor = result.IsSuccessful() ? answer.MinorVersion : 0;
    return result;
}

CConsolidatedError InterfaceVersionStoreNvmQuery::query(ControllerLocator* record, int32_t portNumber,
                                                        const std::string& signature) {
    std::optional<PackedScsiAddress> device;
    CConsolidatedError result = FindRemapDevice(record, portNumber, kConnectionNvme, device);
    if (result.IsError() || !device)
        return result;
    return queryAt(record, signature, *device);
}

CConsolidatedError InterfaceVersionStoreCsmiQuery::query(ControllerLocator* record, int32_t,
                                                         const std::string& signature) {
    if (signature == kCsmiSasSignature) {
        // Only asked once "CSMIALL" has answered: its version is the driver's CSMI revision.
        const InterfaceVersionEntry all = IoctlInterfaceVersionStore::GetVersion(*record, kCsmiAllSignature);
        m_Major = all.reportedMajor;
        m_Minor = all.reportedMinor;
        return CConsolidatedError();
    }
    CIoctlCsmiGetDriverInfo request(record, kCsmiAllSignature, 0);
    CConsolidatedError result = request.Invoke();
    const CSMI_SAS_DRIVER_INFO_BUFFER answer = request.GetOutputRecordUnverified();
    m_Major = result.IsSuccessful() ? answer.Information.usCSMIMajorRevision : 0;
    m_Minor = result.IsSuccessful() ? answer.Information.usCSMIMinorRevision : 0;
    return result;
}

CConsolidatedError InterfaceVersionStoreAtaQuery::query(ControllerLocator* record, int32_t portNumber,
                                                        const std::string& signature) {
    if (record->flags & kControllerRemapping) {
        std::optional<PackedScsiAddress> device;
        CConsolidatedError result = FindRemapDevice(record, portNumber, kConnectionAta, device);
        if (result.IsError())
            return result;
        if (device)
            return queryAt(record, signature, *device);
    }
    return InterfaceVersionStoreQuery::query(record, portNumber, signature);
}

CConsolidatedError InterfaceVersionStoreRdpQuery::query(ControllerLocator* record, int32_t portNumber,
                                                        const std::string& signature) {
    if (record->flags & kControllerNvme) {
        m_Major = 0;
        m_Minor = 0;
        return CConsolidatedError();
    }
    return InterfaceVersionStoreQuery::query(record, portNumber, signature);
}

std::unique_ptr<InterfaceVersionStoreQuery> MakeInterfaceVersionStoreQuery(int32_t queryKind) {
    switch (queryKind) {
    case kQueryNvme:
        return std::make_unique<InterfaceVersionStoreNvmQuery>();
    case kQueryCsmi:
        return std::make_unique<InterfaceVersionStoreCsmiQuery>();
    case kQueryAta:
        return std::make_unique<InterfaceVersionStoreAtaQuery>();
    case kQueryRaid:
        return std::make_unique<InterfaceVersionStoreRdpQuery>();
    default:
        return std::make_unique<InterfaceVersionStoreQuery>();
    }
}

namespace {

// Resolves one table entry for the controller and answers the entry's state afterwards (4: it
// still waits for a dependency).
int32_t ResolveEntry(ControllerLocator& record, const InterfaceVersionEntry& templ) {
    int32_t kind = kQueryPlain;
    const int32_t state = IoctlInterfaceVersionStore::PrepareEntry(record, templ, kind);
    if (state != kInterfaceUnknown)
        return state;

    // The query sends driver requests; the store stays unlocked meanwhile.
    std::unique_ptr<InterfaceVersionStoreQuery> query = MakeInterfaceVersionStoreQuery(kind);
    CConsolidatedError result;
    try {
        result = query->query(&record, record.portNumber, templ.signature);
    } catch (const CConsolidatedError& e) {
        result = e;
    }
    if (result.IsError())
        MOX_TRACE(TRACE_LEVEL_WARNING, "Port %d: version query of %s failed with 0x%X", record.portNumber,
                  templ.signature.c_str(), static_cast<unsigned>(result.GetErrorCode()));
    return IoctlInterfaceVersionStore::RecordAnswer(record, templ.signature, !result.IsError(),
                                                    query->GetMajor(), query->GetMinor());
}

} // namespace

void RegisterInterfaceVersions(ControllerLocator& record) {
    std::lock_guard registration(IoctlInterfaceVersionStore::RegistrationLock());
    size_t previous = 0;
    for (;;) {
        size_t waiting = 0;
        for (const InterfaceVersionEntry& templ : IoctlInterfaceVersionStore::EntryTable())
            if (ResolveEntry(record, templ) == kInterfaceWaiting)
                ++waiting;
        if (waiting == 0)
            return;
        if (waiting == previous) {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::GENERAL_FAULT,
                           "Cyclic dependency in IoctlInterfaceVersionStore");
            throw error;
        }
        previous = waiting;
    }
}
