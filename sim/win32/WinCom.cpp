#include "platform/win/WinCom.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win/WinTaskScheduler.h"
#include "platform/win/WinVds.h"
#include "sim/Schema.h"
#include "sim/storage/DiskModel.h"
#include "sim/win32/ComObject.h"
#include "sim/win32/SimCall.h"
#include "sim/win32/TaskSchedulerObject.h"
#include "sim/win32/VdsLoader.h"

namespace {

namespace schema = sim::schema;

const schema::FaultKind
    kComFaults({"CoInitializeEx", "CoCreateInstance", "CoMarshalInterThreadInterfaceInStream",
                "CoGetInterfaceAndReleaseStream", "CoReleaseMarshalData", "QueryInterface"},
               {"clsid", "iid", "interface", "model"}, schema::Object({{"hresult", schema::Word32()}}));

// The apartment of the calling thread: how often it was joined, and in which model.
struct Apartment {
    int joins = 0;
    DWORD model = 0;
};
thread_local Apartment t_apartment;

std::string IdText(const GUID& id) {
    sim::storage::Guid bytes{};
    static_assert(sizeof(GUID) == 16);
    std::memcpy(bytes.data(), &id, 16);
    return sim::storage::GuidText(bytes);
}

// The seam's answer for a COM call: 0 to go on, else the HRESULT it fails with.
HRESULT Fault(const char* kind, const nlohmann::json& selectors) {
    auto outcome = platform::SimCall(kind, selectors);
    if (outcome && outcome->contains("hresult"))
        return static_cast<HRESULT>(
            platform::OutcomeNumber(*outcome, "hresult", static_cast<uint32_t>(E_FAIL)));
    return 0;
}

// A marshalled interface: one reference to the object until it is unmarshalled or released.
class MarshalStream : public sim::win32::ComObject<IStream> {
public:
    explicit MarshalStream(IUnknown* object) : object_(object) {}
    // The held reference, passed to the caller; null once released.
    IUnknown* Take() {
        IUnknown* object = object_;
        object_ = nullptr;
        return object;
    }
    void ReleaseData() {
        if (IUnknown* object = Take())
            object->Release();
    }

protected:
    ~MarshalStream() override { ReleaseData(); }

private:
    IUnknown* object_;
};

} // namespace

namespace sim::win32 {

HRESULT QueryInterfaceFault(const char* interfaceName) {
    return Fault("QueryInterface", {{"interface", interfaceName}});
}

} // namespace sim::win32

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (HRESULT fault = Fault("CoInitializeEx", {{"model", model}}))
        return fault;
    if (t_apartment.joins > 0 && t_apartment.model != model)
        return RPC_E_CHANGED_MODE;
    t_apartment.model = model;
    return t_apartment.joins++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (t_apartment.joins > 0)
        --t_apartment.joins;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown*, DWORD clsContext, const IID& iid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (HRESULT fault = Fault("CoCreateInstance", {{"clsid", IdText(clsid)}, {"iid", IdText(iid)}}))
        return fault;
    if (t_apartment.joins == 0)
        return CO_E_NOTINITIALIZED;
    IUnknown* created = nullptr;
    if (clsid == CLSID_VdsLoader && (clsContext & CLSCTX_LOCAL_SERVER))
        created = sim::win32::CreateVdsLoader();
    else if (clsid == CLSID_TaskScheduler && (clsContext & CLSCTX_INPROC_SERVER))
        created = sim::win32::CreateTaskService();
    if (!created)
        return REGDB_E_CLASSNOTREG;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

HRESULT CoMarshalInterThreadInterfaceInStream(const IID& iid, IUnknown* unknown, IStream** stream) {
    if (!unknown || !stream)
        return E_INVALIDARG;
    *stream = nullptr;
    if (HRESULT fault = Fault("CoMarshalInterThreadInterfaceInStream", {{"iid", IdText(iid)}}))
        return fault;
    if (t_apartment.joins == 0)
        return CO_E_NOTINITIALIZED;
    void* held = nullptr;
    if (HRESULT hr = unknown->QueryInterface(iid, &held); FAILED(hr))
        return hr;
    *stream = new MarshalStream(static_cast<IUnknown*>(held));
    return S_OK;
}

HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, const IID& iid, LPVOID* object) {
    if (!stream || !object)
        return E_INVALIDARG;
    *object = nullptr;
    auto* marshal = static_cast<MarshalStream*>(stream);
    HRESULT hr = Fault("CoGetInterfaceAndReleaseStream", {{"iid", IdText(iid)}});
    if (hr == 0 && t_apartment.joins == 0)
        hr = CO_E_NOTINITIALIZED;
    if (hr == 0) {
        if (IUnknown* held = marshal->Take()) {
            hr = held->QueryInterface(iid, object);
            held->Release();
        } else {
            hr = CO_E_OBJNOTCONNECTED;
        }
    }
    stream->Release();
    return hr;
}

HRESULT CoReleaseMarshalData(IStream* stream) {
    if (!stream)
        return E_INVALIDARG;
    if (HRESULT fault = Fault("CoReleaseMarshalData", {}))
        return fault;
    static_cast<MarshalStream*>(stream)->ReleaseData();
    return S_OK;
}

void CoTaskMemFree(LPVOID block) {
    std::free(block);
}
