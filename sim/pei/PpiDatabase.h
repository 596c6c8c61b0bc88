#pragma once
// The PEI foundation's PPI database: PPIs installed by descriptor, found by GUID and instance, and
// notify callbacks, called when a matching PPI is installed later and, as the reference PEI
// foundation does, at once for a matching PPI that is installed already. Callbacks run inside the
// InstallPpi or NotifyPpi call that triggers them, nested calls included. Dispatch-level notifies are
// kept but never called: no module dispatch is simulated.
#include <cstddef>
#include <vector>

#include "platform/uefi/pi/PiPeiCis.h"

namespace sim::pei {

class PpiDatabase {
public:
    explicit PpiDatabase(const EFI_PEI_SERVICES** services) : services_(services) {}

    // The PEI services of the same names, fault rules and call log included.
    EFI_STATUS Install(const EFI_PEI_PPI_DESCRIPTOR* list);
    EFI_STATUS Reinstall(const EFI_PEI_PPI_DESCRIPTOR* oldPpi, const EFI_PEI_PPI_DESCRIPTOR* newPpi);
    EFI_STATUS Locate(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor, VOID** ppi);
    EFI_STATUS Notify(const EFI_PEI_NOTIFY_DESCRIPTOR* list);

    // For tests: what is installed and registered, in order; no call log, no faults.
    std::vector<const EFI_PEI_PPI_DESCRIPTOR*> Installed(const EFI_GUID& guid) const;
    std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> Notifies(const EFI_GUID& guid) const;
    // Takes every instance of a PPI out, as if the platform had never installed it.
    void Remove(const EFI_GUID& guid);

private:
    void Callbacks(const EFI_PEI_PPI_DESCRIPTOR* ppi, const EFI_PEI_NOTIFY_DESCRIPTOR* notify);
    const EFI_PEI_SERVICES** services_;
    std::vector<const EFI_PEI_PPI_DESCRIPTOR*> ppis_;
    std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> notifies_;
};

} // namespace sim::pei
