#include "middleware/ioctl/IoctlInterfaceVersionStore.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/ControllerTable.h"

namespace {

struct Controller {
    ControllerLocator record;
    std::vector<InterfaceVersionEntry> entries;
};

struct Feature {
    const char* signature;
    uint32_t major;
    uint32_t minor;
};

struct Store {
    std::atomic<bool> bypass{true};
    // Written during the table's build, read afterwards; the mutex keeps a late reader safe. It is
    // never held across a driver request, but a request's interface gate may read while a
    // registration of the same thread runs.
    std::recursive_mutex mutex;
    std::map<int32_t, Controller> controllers; // by port number
    // One registration at a time, so that threads registering the same controller at once ask
    // the driver once per interface (the store's own mutex is free while the driver is asked).
    std::recursive_mutex registration;
};

Store& TheStore() {
    static Store* store = new Store();
    return *store;
}

[[noreturn]] void ThrowInvalidValue(const char* debug) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, nullptr, debug);
    throw error;
}

std::string SignatureKey(const char* signature) {
    return signature ? std::string(signature, strnlen(signature, 8)) : std::string();
}

InterfaceVersionEntry* FindEntry(std::vector<InterfaceVersionEntry>& entries, const std::string& signature) {
    for (auto& e : entries)
        if (e.signature == signature)
            return &e;
    return nullptr;
}

const std::map<int32_t, Feature>& Features() {
    static const std::map<int32_t, Feature> table = {
        {kFeatureRemapDeviceInfo, {"OrvexRmp", 1, 2}},
        {kFeatureFileCacheSupport, {"OrvexVlp", 1, 3}},
        {kFeatureAhciPortLocation, {"OrvexRmp", 1, 4}},
    };
    return table;
}

} // namespace

InterfaceVersionEntry MakeInterfaceVersionEntry(const std::string& signature, bool required,
                                                uint32_t expectedMajor, uint32_t expectedMinor,
                                                int32_t queryKind, std::vector<std::string> dependencies) {
    InterfaceVersionEntry e;
    e.signature = signature;
    e.dependencies = std::move(dependencies);
    e.expectedMajor = expectedMajor;
    e.expectedMinor = expectedMinor;
    e.required = required;
    e.queryKind = queryKind;
    return e;
}

const std::vector<InterfaceVersionEntry>& IoctlInterfaceVersionStore::EntryTable() {
    static const std::vector<InterfaceVersionEntry> table = {
        MakeInterfaceVersionEntry("OrvexATA", false, 1, 0, kQueryAta, {"OrvexRmp"}),
        MakeInterfaceVersionEntry("OrvexRmp", true, 1, 5, kQueryRemapPortPlain, {}),
        MakeInterfaceVersionEntry("OrvexCST", false, 1, 0, kQueryPlain, {}),
        MakeInterfaceVersionEntry("OrvexFw ", false, 1, 0, kQueryPlain, {}),
        MakeInterfaceVersionEntry("OrvexNvm", false, 1, 2, kQueryNvme, {"OrvexRmp"}),
        MakeInterfaceVersionEntry("OrvexRdp", false, 1, 2, kQueryRaid, {}),
        MakeInterfaceVersionEntry("OrvexVlp", false, 1, 3, kQueryPlain, {}),
        MakeInterfaceVersionEntry("CSMIALL", false, 0, 81, kQueryCsmi, {}),
        MakeInterfaceVersionEntry("CSMISAS", false, 0, 81, kQueryCsmi, {"CSMIALL"}),
    };
    return table;
}

std::recursive_mutex& IoctlInterfaceVersionStore::RegistrationLock() {
    return TheStore().registration;
}

int32_t IoctlInterfaceVersionStore::PrepareEntry(const ControllerLocator& record,
                                                 const InterfaceVersionEntry& templ, int32_t& queryKind) {
    Store& s = TheStore();
    std::lock_guard lock(s.mutex);
    auto [it, added] = s.controllers.try_emplace(record.portNumber, Controller{record, {}});
    std::vector<InterfaceVersionEntry>& entries = it->second.entries;
    InterfaceVersionEntry* entry = FindEntry(entries, templ.signature);
    if (!entry) {
        entries.push_back(templ);
        entry = &entries.back();
    }
    bool failed = false;
    bool waits = false;
    for (const std::string& dependency : entry->dependencies) {
        const InterfaceVersionEntry* d = FindEntry(entries, dependency);
        if (!d || d->state == kInterfaceUnknown || d->state == kInterfaceWaiting)
            waits = true;
        else if (d->state == kInterfaceQueryFailed)
            failed = true;
    }
    if (failed)
        return entry->state = kInterfaceDependencyFailed;
    if (waits)
        return entry->state = kInterfaceWaiting;
    if (entry->state == kInterfaceWaiting)
        entry->state = kInterfaceUnknown;
    queryKind = entry->queryKind;
    return entry->state;
}

int32_t IoctlInterfaceVersionStore::RecordAnswer(const ControllerLocator& record,
                                                 const std::string& signature, bool answered, uint32_t major,
                                                 uint32_t minor) {
    Store& s = TheStore();
    std::lock_guard lock(s.mutex);
    InterfaceVersionEntry* entry = FindEntry(s.controllers.at(record.portNumber).entries, signature);
    entry->reportedMajor = answered ? major : 0;
    entry->reportedMinor = answered ? minor : 0;
    return entry->state = answered ? kInterfaceQueried : kInterfaceQueryFailed;
}

bool IoctlInterfaceVersionStore::CheckInterfaceSupport(HANDLE target, const char* signature8) {
    if (IsBuildBypassActive())
        return true;
    const std::string key = SignatureKey(signature8);
    const ControllerLocator* record = ControllerTable::FindByHandle(target);
    if (!record)
        ThrowInvalidValue("Version store, check interface support: controller handle not found");
    const InterfaceVersionEntry entry = GetVersion(*record, key);
    return entry.state == kInterfaceQueried && entry.reportedMajor == entry.expectedMajor;
}

bool IoctlInterfaceVersionStore::CheckFeatureSupport(HANDLE target, int32_t feature) {
    if (IsBuildBypassActive())
        return true;
    const ControllerLocator* record = ControllerTable::FindByHandle(target);
    if (!record)
        ThrowInvalidValue("Version store, check feature support: controller handle not found");
    auto it = Features().find(feature);
    if (it == Features().end())
        throw std::out_of_range("invalid map<K, T> key");
    const InterfaceVersionEntry entry = GetVersion(*record, it->second.signature);
    return entry.reportedMajor == it->second.major && entry.reportedMinor >= it->second.minor;
}

bool IoctlInterfaceVersionStore::AllRequiredSupported(const ControllerLocator& record) {
    if (IsBuildBypassActive())
        return true;
    for (const auto& e : GetControllerVersions(record))
        if (e.required && (e.state != kInterfaceQueried || e.reportedMajor != e.expectedMajor))
            return false;
    return true;
}

InterfaceVersionEntry IoctlInterfaceVersionStore::GetVersion(const ControllerLocator& record,
                                                             const std::string& signature) {
    for (const auto& e : GetControllerVersions(record))
        if (e.signature == signature)
            return e;
    ThrowInvalidValue("Version store, getVersion: did not found signature.");
}

std::vector<InterfaceVersionEntry>
IoctlInterfaceVersionStore::GetControllerVersions(const ControllerLocator& record) {
    Store& s = TheStore();
    std::lock_guard lock(s.mutex);
    auto it = s.controllers.find(record.portNumber);
    if (it == s.controllers.end())
        ThrowInvalidValue("Version store, get version for controller: locator not found");
    return it->second.entries;
}

void IoctlInterfaceVersionStore::SetControllerVersions(const ControllerLocator& record,
                                                       std::vector<InterfaceVersionEntry> entries) {
    Store& s = TheStore();
    std::lock_guard lock(s.mutex);
    s.controllers[record.portNumber] = Controller{record, std::move(entries)};
}

bool IoctlInterfaceVersionStore::IsBuildBypassActive() {
    return TheStore().bypass.load();
}

void IoctlInterfaceVersionStore::EndBuildBypass() {
    TheStore().bypass.store(false);
}

void IoctlInterfaceVersionStore::ResetForTests() {
    Store& s = TheStore();
    std::lock_guard registration(s.registration);
    std::lock_guard lock(s.mutex);
    s.controllers.clear();
    s.bypass.store(true);
}
