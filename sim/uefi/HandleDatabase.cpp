#include "sim/uefi/HandleDatabase.h"

#include <algorithm>
#include <cstring>

namespace sim::uefi {

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b) {
    return std::memcmp(&a, &b, sizeof(EFI_GUID)) == 0;
}

EFI_HANDLE HandleDatabase::Create(std::string name) {
    auto entry = std::make_unique<HandleEntry>();
    entry->name = std::move(name);
    handles_.push_back(std::move(entry));
    ++made_;
    return handles_.back().get();
}

HandleEntry* HandleDatabase::Find(EFI_HANDLE handle) const {
    if (!handle)
        return nullptr;
    for (const auto& h : handles_)
        if (h.get() == handle)
            return h.get();
    return nullptr;
}

EFI_HANDLE HandleDatabase::FindByName(const std::string& name) const {
    for (const auto& h : handles_)
        if (h->name == name)
            return h.get();
    return nullptr;
}

std::string HandleDatabase::NameOf(EFI_HANDLE handle) const {
    if (!handle)
        return "null";
    const HandleEntry* entry = Find(handle);
    return entry ? entry->name : "unknown";
}

ProtocolEntry* HandleDatabase::FindProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const {
    HandleEntry* entry = Find(handle);
    if (!entry)
        return nullptr;
    for (const auto& p : entry->protocols)
        if (SameGuid(p->guid, guid))
            return p.get();
    return nullptr;
}

EFI_STATUS HandleDatabase::Install(EFI_HANDLE* handle, const EFI_GUID& guid, void* interface) {
    if (!handle)
        return EFI_INVALID_PARAMETER;
    if (*handle && !Find(*handle))
        return EFI_INVALID_PARAMETER;
    if (*handle && FindProtocol(*handle, guid))
        return EFI_INVALID_PARAMETER;
    if (!*handle)
        *handle = Create("handle " + std::to_string(made_ + 1));
    auto entry = std::make_unique<ProtocolEntry>();
    entry->guid = guid;
    entry->interface = interface;
    Find(*handle)->protocols.push_back(std::move(entry));
    return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::Uninstall(EFI_HANDLE handle, const EFI_GUID& guid, void* interface) {
    HandleEntry* entry = Find(handle);
    if (!entry)
        return EFI_INVALID_PARAMETER;
    auto it = std::find_if(entry->protocols.begin(), entry->protocols.end(), [&](const auto& p) {
        return SameGuid(p->guid, guid) && p->interface == interface;
    });
    if (it == entry->protocols.end())
        return EFI_NOT_FOUND;
    // A driver that holds the protocol would have to let go first; the simulated firmware stops no
    // driver, so the interface stays.
    for (const OpenRecord& r : (*it)->opens)
        if (r.attributes & (EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE))
            return EFI_ACCESS_DENIED;
    entry->protocols.erase(it);
    if (entry->protocols.empty())
        handles_.erase(
            std::find_if(handles_.begin(), handles_.end(), [&](const auto& h) { return h.get() == entry; }));
    return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::Reinstall(EFI_HANDLE handle, const EFI_GUID& guid, void* oldInterface,
                                     void* newInterface) {
    ProtocolEntry* p = FindProtocol(handle, guid);
    if (!Find(handle))
        return EFI_INVALID_PARAMETER;
    if (!p || p->interface != oldInterface)
        return EFI_NOT_FOUND;
    for (const OpenRecord& r : p->opens)
        if (r.attributes & (EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE))
            return EFI_ACCESS_DENIED;
    p->interface = newInterface;
    return EFI_SUCCESS;
}

std::vector<EFI_HANDLE> HandleDatabase::WithProtocol(const EFI_GUID* guid) const {
    std::vector<EFI_HANDLE> out;
    for (const auto& h : handles_)
        if (!guid || std::any_of(h->protocols.begin(), h->protocols.end(),
                                 [&](const auto& p) { return SameGuid(p->guid, *guid); }))
            out.push_back(h.get());
    return out;
}

EFI_STATUS HandleDatabase::Open(EFI_HANDLE handle, const EFI_GUID& guid, void** interface, EFI_HANDLE agent,
                                EFI_HANDLE controller, uint32_t attributes) {
    ProtocolEntry* p = FindProtocol(handle, guid);
    if (!p) {
        if (interface && attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL)
            *interface = nullptr;
        return EFI_UNSUPPORTED;
    }
    const bool byDriver = attributes & EFI_OPEN_PROTOCOL_BY_DRIVER;
    const bool exclusive = attributes & EFI_OPEN_PROTOCOL_EXCLUSIVE;
    for (const OpenRecord& r : p->opens) {
        if (exclusive && (r.attributes & (EFI_OPEN_PROTOCOL_BY_DRIVER | EFI_OPEN_PROTOCOL_EXCLUSIVE)))
            return r.agent == agent ? EFI_ALREADY_STARTED : EFI_ACCESS_DENIED;
        if (r.attributes & EFI_OPEN_PROTOCOL_EXCLUSIVE)
            return EFI_ACCESS_DENIED;
        if (byDriver && (r.attributes & EFI_OPEN_PROTOCOL_BY_DRIVER))
            return r.agent == agent ? EFI_ALREADY_STARTED : EFI_ACCESS_DENIED;
    }
    if (attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL)
        *interface = p->interface;
    if (attributes == EFI_OPEN_PROTOCOL_TEST_PROTOCOL)
        return EFI_SUCCESS;
    for (OpenRecord& r : p->opens) {
        if (r.agent == agent && r.controller == controller && r.attributes == attributes) {
            ++r.count;
            return EFI_SUCCESS;
        }
    }
    p->opens.push_back(OpenRecord{agent, controller, attributes, 1});
    return EFI_SUCCESS;
}

EFI_STATUS HandleDatabase::Close(EFI_HANDLE handle, const EFI_GUID& guid, EFI_HANDLE agent,
                                 EFI_HANDLE controller) {
    ProtocolEntry* p = FindProtocol(handle, guid);
    if (!p)
        return EFI_NOT_FOUND;
    const size_t before = p->opens.size();
    std::erase_if(p->opens,
                  [&](const OpenRecord& r) { return r.agent == agent && r.controller == controller; });
    return p->opens.size() == before ? EFI_NOT_FOUND : EFI_SUCCESS;
}

size_t HandleDatabase::RecordsOf(EFI_HANDLE agent) const {
    size_t n = 0;
    for (const auto& h : handles_)
        for (const auto& p : h->protocols)
            n += std::count_if(p->opens.begin(), p->opens.end(),
                               [&](const OpenRecord& r) { return r.agent == agent; });
    return n;
}

} // namespace sim::uefi
