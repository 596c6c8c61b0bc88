#include "middleware/ioctl/DictionarySingleton.h"

#include <mutex>
#include <new>
#include <string>

#include "middleware/ioctl/DictionaryCatalogue.h"

namespace {

std::atomic<CDictionarySingleton*> g_instance{nullptr};
std::atomic<bool> g_filled{false};
// Several threads may come first at once: one makes the instance, one fills it while the others
// wait for the filled cache.
std::mutex g_instanceLock;
std::mutex g_fillLock;

struct KindName {
    uint32_t kind;
    const char* name;
};
// The fill's order of kinds, with the names its messages use.
constexpr KindName kKinds[] = {
    {kDictionaryController, "controller"},
    {kDictionaryEndDevice, "enddevices"},
    {kDictionaryPort, "ports"},
    {kDictionaryPhy, "phys"},
    {kDictionaryRoutingDevice, "routingdevices"},
};

int KindIndex(uint32_t kind) {
    for (int i = 0; i < 5; ++i)
        if (kKinds[i].kind == kind)
            return i;
    return -1;
}

int PortIndex(uint32_t port) {
    return port == kDictionaryRaidport ? 0 : port == kDictionaryMiniport ? 1 : -1;
}

CConsolidatedError FillError(const std::string& message) {
    CConsolidatedError e;
    const std::string debug = message + " in CDictionarySingleton::Invoke";
    e.SetError(CConsolidatedError::DRIVER_UNEXPECTED, message.c_str(), debug.c_str());
    return e;
}

} // namespace

CDictionarySingleton* CDictionarySingleton::GetInstance() {
    if (CDictionarySingleton* instance = g_instance.load())
        return instance;
    std::lock_guard<std::mutex> lock(g_instanceLock);
    CDictionarySingleton* instance = g_instance.load();
    if (!instance) {
        instance = new (std::nothrow) CDictionarySingleton();
        g_instance.store(instance);
    }
    return instance;
}

void CDictionarySingleton::Release() {
    std::lock_guard<std::mutex> fill(g_fillLock);
    std::lock_guard<std::mutex> lock(g_instanceLock);
    delete g_instance.exchange(nullptr);
    g_filled.store(false);
}

bool CDictionarySingleton::IsFilled() {
    return g_filled.load();
}

void CDictionarySingleton::Clear() {
    for (auto& supported : m_Supported)
        supported.reset();
    for (auto& port : m_Fields)
        for (auto& fields : port)
            fields.reset();
}

CConsolidatedError CDictionarySingleton::Invoke(HANDLE target) {
    if (g_filled.load())
        return CConsolidatedError();
    std::lock_guard<std::mutex> fill(g_fillLock);
    if (g_filled.load())
        return CConsolidatedError();
    Clear();

    // The two views' requests are the same on the wire; only their order tells them apart.
    const char* const portNames[] = {"Raidport", "Miniport"};
    for (int p = 0; p < 2; ++p) {
        auto supported = std::make_unique<CIoctlSupportedDictionaries>(target);
        supported->SetVerifyOnInvoke(true);
        if (supported->Invoke().IsError())
            return FillError(std::string("Could not get ") + portNames[p] + " supported dictionaries");
        m_Supported[p] = std::move(supported);
    }

    try {
        for (int k = 0; k < 5; ++k) {
            for (int p = 0; p < 2; ++p) {
                CIoctlSupportedDictionaries& supported = *m_Supported[p];
                if (!(supported.GetSupportedMask() & kKinds[k].kind))
                    continue;
                auto fields = std::make_unique<CIoctlDictionaryFields>(target, kKinds[k].kind,
                                                                       supported.GetMaxFields());
                fields->SetVerifyOnInvoke(true);
                if (fields->Invoke().IsError()) {
                    if (p == 1 && kKinds[k].kind == kDictionaryController)
                        return FillError("Could not get miniport dictionary fields");
                    return FillError(std::string("Could not get ") + (p == 0 ? "raidport" : "miniport") +
                                     " dictionary fields for " + kKinds[k].name);
                }
                // The field list is copied out of the answer on first read: read it now, under
                // the fill's lock, so that the threads sharing the cache afterwards only read.
                static_cast<void>(fields->GetDictionaryFieldsDataBuffer());
                m_Fields[p][k] = std::move(fields);
            }
        }
    } catch (const CConsolidatedError& e) {
        return e;
    }
    g_filled.store(true);
    return CConsolidatedError();
}

CIoctlSupportedDictionaries* CDictionarySingleton::GetSupported(uint32_t port) const {
    const int p = PortIndex(port);
    return p < 0 ? nullptr : m_Supported[p].get();
}

CIoctlDictionaryFields* CDictionarySingleton::GetFields(uint32_t port, uint32_t kind) const {
    const int p = PortIndex(port);
    const int k = KindIndex(kind);
    return p < 0 || k < 0 ? nullptr : m_Fields[p][k].get();
}
