#pragma once
// The handle database of the simulated firmware: handles in the order they were made, each with its
// protocol interfaces, and on each interface the open records of the agents that opened it. The boot
// services check their parameters and pass the seam; this keeps the rules of the database itself.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/uefi/UefiBootServices.h"

namespace sim::uefi {

struct OpenRecord {
    EFI_HANDLE agent = nullptr;
    EFI_HANDLE controller = nullptr;
    uint32_t attributes = 0;
    uint32_t count = 0;
};

struct ProtocolEntry {
    EFI_GUID guid{};
    void* interface = nullptr;
    std::vector<OpenRecord> opens;
};

struct HandleEntry {
    std::string name;
    // Entries keep their address while installed: a GUID pointer handed out stays valid.
    std::vector<std::unique_ptr<ProtocolEntry>> protocols;
};

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b);

class HandleDatabase {
public:
    // A handle without protocols, named for the call log and the tests.
    EFI_HANDLE Create(std::string name);
    // The entry of a handle that exists, or null.
    HandleEntry* Find(EFI_HANDLE handle) const;
    EFI_HANDLE FindByName(const std::string& name) const;
    std::string NameOf(EFI_HANDLE handle) const;
    ProtocolEntry* FindProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const;

    // Installs a protocol on a handle (a new one, named "handle <n>", when *handle is null).
    EFI_STATUS Install(EFI_HANDLE* handle, const EFI_GUID& guid, void* interface);
    // Removes an interface; a handle left without protocols goes away.
    EFI_STATUS Uninstall(EFI_HANDLE handle, const EFI_GUID& guid, void* interface);
    EFI_STATUS Reinstall(EFI_HANDLE handle, const EFI_GUID& guid, void* oldInterface, void* newInterface);

    // Handles that carry the protocol (every handle for null), in the order they were made.
    std::vector<EFI_HANDLE> WithProtocol(const EFI_GUID* guid) const;

    // OpenProtocol's rules on an existing handle and protocol; the caller checked the parameters.
    EFI_STATUS Open(EFI_HANDLE handle, const EFI_GUID& guid, void** interface, EFI_HANDLE agent,
                    EFI_HANDLE controller, uint32_t attributes);
    // Removes the agent's records for the controller; EFI_NOT_FOUND when it has none.
    EFI_STATUS Close(EFI_HANDLE handle, const EFI_GUID& guid, EFI_HANDLE agent, EFI_HANDLE controller);
    // Open records of an agent on every handle.
    size_t RecordsOf(EFI_HANDLE agent) const;

private:
    std::vector<std::unique_ptr<HandleEntry>> handles_;
    size_t made_ = 0;
};

} // namespace sim::uefi
