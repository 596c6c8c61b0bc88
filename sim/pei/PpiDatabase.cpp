#include "sim/pei/PpiDatabase.h"

#include <algorithm>

#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kInstall({"PeiInstallPpi", "PeiReInstallPpi"}, {"guid"}, Object({{"error", Uint16()}}));
const FaultKind kLocate("PeiLocatePpi", {"guid", "instance"}, Object({{"error", Uint16()}}));
const FaultKind kNotify("PeiNotifyPpi", {"guid"}, Object({{"error", Uint16()}}));

// Far more than any list a module installs at once: a list whose end is missing is refused.
constexpr size_t kMaxList = 64;

template <class Descriptor> bool Ends(const Descriptor& d) {
    return (d.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) != 0;
}

// Adds the descriptors of a list, up to its end marker, to `to`: none when the list has no end within the
// bound, one of them fails `valid`, or a fault rule fails the call of `kind` for one of them.
template <class Descriptor, class Valid>
EFI_STATUS Admit(const Descriptor* list, Valid valid, const char* kind, std::vector<const Descriptor*>& to) {
    std::vector<const Descriptor*> added;
    for (const Descriptor* d = list; d && added.size() < kMaxList && (added.empty() || !Ends(*added.back()));
         ++d) {
        if (!d->Guid || !valid(*d))
            return EFI_INVALID_PARAMETER;
        added.push_back(d);
    }
    if (added.empty() || !Ends(*added.back()))
        return EFI_INVALID_PARAMETER;
    for (const auto* d : added)
        if (auto status = PeiFault(kind, {{"guid", GuidText(*d->Guid)}}))
            return *status;
    to.insert(to.end(), added.begin(), added.end());
    return EFI_SUCCESS;
}

} // namespace

EFI_STATUS PpiDatabase::Install(const EFI_PEI_PPI_DESCRIPTOR* list) {
    // A notify that a callback registers is called by its own registration, not again here.
    const size_t first = ppis_.size();
    const size_t known = notifies_.size();
    const EFI_STATUS status = Admit(
        list, [](const EFI_PEI_PPI_DESCRIPTOR& d) { return (d.Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) != 0; },
        "PeiInstallPpi", ppis_);
    if (EFI_ERROR(status))
        return status;
    const size_t last = ppis_.size();
    for (size_t i = first; i < last; ++i)
        for (size_t n = 0; n < known; ++n)
            Callbacks(ppis_[i], notifies_[n]);
    return EFI_SUCCESS;
}

EFI_STATUS PpiDatabase::Reinstall(const EFI_PEI_PPI_DESCRIPTOR* oldPpi,
                                  const EFI_PEI_PPI_DESCRIPTOR* newPpi) {
    if (!oldPpi || !newPpi || !newPpi->Guid || (newPpi->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0)
        return EFI_INVALID_PARAMETER;
    if (auto status = PeiFault("PeiReInstallPpi", {{"guid", GuidText(*newPpi->Guid)}}))
        return *status;
    auto it = std::find(ppis_.begin(), ppis_.end(), oldPpi);
    if (it == ppis_.end())
        return EFI_NOT_FOUND;
    *it = newPpi;
    const size_t index = static_cast<size_t>(it - ppis_.begin());
    const size_t known = notifies_.size();
    for (size_t n = 0; n < known; ++n)
        Callbacks(ppis_[index], notifies_[n]);
    return EFI_SUCCESS;
}

EFI_STATUS PpiDatabase::Locate(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor,
                               VOID** ppi) {
    if (!guid || !ppi)
        return EFI_INVALID_PARAMETER;
    if (auto status = PeiFault("PeiLocatePpi", {{"guid", GuidText(*guid)}, {"instance", instance}}))
        return *status;
    UINTN seen = 0;
    for (const auto* d : ppis_) {
        if (!SameGuid(*d->Guid, *guid) || seen++ != instance)
            continue;
        if (descriptor)
            *descriptor = const_cast<EFI_PEI_PPI_DESCRIPTOR*>(d);
        *ppi = d->Ppi;
        return EFI_SUCCESS;
    }
    return EFI_NOT_FOUND;
}

EFI_STATUS PpiDatabase::Notify(const EFI_PEI_NOTIFY_DESCRIPTOR* list) {
    // A PPI that a callback installs calls the new notifies through its own installation.
    const size_t first = notifies_.size();
    const size_t known = ppis_.size();
    const EFI_STATUS status = Admit(
        list,
        [](const EFI_PEI_NOTIFY_DESCRIPTOR& d) {
            return (d.Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES) != 0 && d.Notify != nullptr;
        },
        "PeiNotifyPpi", notifies_);
    if (EFI_ERROR(status))
        return status;
    const size_t last = notifies_.size();
    for (size_t n = first; n < last; ++n)
        for (size_t i = 0; i < known; ++i)
            Callbacks(ppis_[i], notifies_[n]);
    return EFI_SUCCESS;
}

void PpiDatabase::Callbacks(const EFI_PEI_PPI_DESCRIPTOR* ppi, const EFI_PEI_NOTIFY_DESCRIPTOR* notify) {
    if ((notify->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK) == 0 || !SameGuid(*ppi->Guid, *notify->Guid))
        return;
    PeiCall("PeiNotifyCallback", {{"guid", GuidText(*ppi->Guid)}});
    notify->Notify(const_cast<EFI_PEI_SERVICES**>(services_), const_cast<EFI_PEI_NOTIFY_DESCRIPTOR*>(notify),
                   ppi->Ppi);
}

std::vector<const EFI_PEI_PPI_DESCRIPTOR*> PpiDatabase::Installed(const EFI_GUID& guid) const {
    std::vector<const EFI_PEI_PPI_DESCRIPTOR*> out;
    for (const auto* d : ppis_)
        if (SameGuid(*d->Guid, guid))
            out.push_back(d);
    return out;
}

std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> PpiDatabase::Notifies(const EFI_GUID& guid) const {
    std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> out;
    for (const auto* d : notifies_)
        if (SameGuid(*d->Guid, guid))
            out.push_back(d);
    return out;
}

void PpiDatabase::Remove(const EFI_GUID& guid) {
    std::erase_if(ppis_, [&](const EFI_PEI_PPI_DESCRIPTOR* d) { return SameGuid(*d->Guid, guid); });
}

} // namespace sim::pei
