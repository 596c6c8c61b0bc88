#include <gtest/gtest.h>
#include <thread>

#include "platform/win/WinCom.h"
#include "platform/win/WinVds.h"
#include "sim/Machine.h"

namespace {

TEST(WinCom, ApartmentOfAThread) {
    sim::ScopedMachine machine;
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    // Another thread has an apartment of its own.
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
}

TEST(WinCom, MarshalledInterfaceIsUnmarshalledOnceOrReleased) {
    sim::ScopedMachine machine;
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    IVdsServiceLoader* loader = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader,
                               reinterpret_cast<void**>(&loader)),
              S_OK);
    void* inProcess = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_INPROC_SERVER, IID_IVdsServiceLoader, &inProcess),
        REGDB_E_CLASSNOTREG);

    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IVdsServiceLoader, loader, &stream), S_OK);
    IStream* released = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IVdsServiceLoader, loader, &released), S_OK);
    loader->Release();

    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IVdsServiceLoader* unmarshalled = nullptr;
        EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IVdsServiceLoader,
                                                 reinterpret_cast<void**>(&unmarshalled)),
                  S_OK);
        ASSERT_NE(unmarshalled, nullptr);
        IVdsService* service = nullptr;
        wchar_t local[] = L"";
        EXPECT_EQ(unmarshalled->LoadService(local, &service), S_OK);
        service->Release();
        unmarshalled->Release();
        CoUninitialize();
    }).join();

    EXPECT_EQ(CoReleaseMarshalData(released), S_OK);
    void* object = nullptr;
    EXPECT_EQ(CoGetInterfaceAndReleaseStream(released, IID_IVdsServiceLoader, &object), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(machine->calls().Count("CoGetInterfaceAndReleaseStream"), 2u);
    CoUninitialize();
}

TEST(WinCom, InjectedFailuresFire) {
    sim::ScopedMachine machine;
    machine->faults().Add(sim::FaultRule{"CoInitializeEx", {}, 0, 1, {{"hresult", "0x8007000E"}}});
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), E_OUTOFMEMORY);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    machine->faults().Add(sim::FaultRule{
        "QueryInterface", {{"interface", "IVdsServiceLoader"}}, 0, 1, {{"hresult", "0x80004002"}}});
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader, &object),
              E_NOINTERFACE);
    EXPECT_EQ(machine->faults().Pending(), 0u);
    EXPECT_EQ(CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader, &object),
              S_OK);
    static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
}

} // namespace
