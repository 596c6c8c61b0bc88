#pragma once
// A simulated COM object: one reference count for all its interfaces, QueryInterface by the ids of
// the interfaces it lists. Each call of QueryInterface passes the seam as kind "QueryInterface"
// (selector `interface`, the interface's name), so a test can make one interface unobtainable.
#include <atomic>

#include "platform/win/WinCom.h"

namespace sim::win32 {

// The id and name of an interface a simulated object may implement.
template <class Interface> struct InterfaceOf;

template <> struct InterfaceOf<IStream> {
    static constexpr IID kIid = {
        0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    static constexpr const char* kName = "IStream";
};

// Names an interface IID_<I> of the platform layer for the objects that implement it (inside
// namespace sim::win32): MOX_SIM_INTERFACE(IVdsDisk);
#define MOX_SIM_INTERFACE(I)                                                                                 \
    template <> struct InterfaceOf<I> {                                                                      \
        static constexpr IID kIid = IID_##I;                                                                 \
        static constexpr const char* kName = #I;                                                             \
    }

// Asks the seam whether QueryInterface of this interface fails; 0 when it does not.
HRESULT QueryInterfaceFault(const char* interfaceName);

template <class... Interfaces> class ComObject : public Interfaces... {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
            AddRef();
            return S_OK;
        }
        HRESULT hr = E_NOINTERFACE;
        (Try<Interfaces>(iid, object, hr) || ...);
        return hr;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    template <class First_, class...> struct Head { using Type = First_; };
    using First = typename Head<Interfaces...>::Type;

    template <class Interface> bool Try(const IID& iid, void** object, HRESULT& hr) {
        if (!(iid == InterfaceOf<Interface>::kIid))
            return false;
        if (HRESULT fault = QueryInterfaceFault(InterfaceOf<Interface>::kName)) {
            hr = fault;
            return true;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        hr = S_OK;
        return true;
    }

    std::atomic<ULONG> references_{1};
};

} // namespace sim::win32
