// A state changed past the description checks (by hand or by another tool) so that a service cannot
// read it fails the platform call with ERROR_INVALID_DATA in the call's own form; nothing the
// simulator's JSON library throws reaches the caller.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "middleware/core/ComPtr.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinError.h"
#include "platform/win/WinFiles.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinService.h"
#include "platform/win/WinVds.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"

namespace {

struct Case {
    const char* name;
    sim::MachineBuilder (*machine)();
    const char* pointer;   // where the state is broken
    const char* valueJson; // with a value of a form the service does not read
    // The call; returns the error it reports (its result, or the last error of a failed call).
    std::function<DWORD()> call;
};

DWORD LastErrorUnless(bool ok) {
    return ok ? ERROR_SUCCESS : GetLastError();
}

// A disk-service method's result: ERROR_INVALID_DATA for its HRESULT, any other HRESULT as itself.
DWORD FromHresult(HRESULT hr) {
    return hr == static_cast<HRESULT>(0x80070000u | ERROR_INVALID_DATA) ? ERROR_INVALID_DATA
                                                                        : static_cast<DWORD>(hr);
}

// The first object of a disk-service list, as the interface asked for.
template <class Interface> HRESULT First(IEnumVdsObject* list, const IID& iid, ComPtr<Interface>& out) {
    ComPtr<IUnknown> item;
    ULONG fetched = 0;
    if (HRESULT hr = list->Next(1, item.put(), &fetched); hr != S_OK)
        return FAILED(hr) ? hr : VDS_E_OBJECT_NOT_FOUND;
    return out.queryFrom(item.get(), iid);
}

// Runs f on the disk service's pack, reached from the loader as a program reaches it; the first
// failure on the way, or f's result.
HRESULT OnPack(const std::function<HRESULT(IVdsPack*)>& f) {
    if (HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED); FAILED(hr))
        return hr;
    HRESULT hr = [&] {
        ComPtr<IVdsServiceLoader> loader;
        ComPtr<IVdsService> service;
        ComPtr<IEnumVdsObject> providers, packs;
        ComPtr<IVdsSwProvider> provider;
        ComPtr<IVdsPack> pack;
        HRESULT step = CoCreateInstance(CLSID_VdsLoader, nullptr, CLSCTX_LOCAL_SERVER, IID_IVdsServiceLoader,
                                        loader.putVoid());
        if (SUCCEEDED(step))
            step = loader->LoadService(nullptr, service.put());
        if (SUCCEEDED(step))
            step = service->QueryProviders(VDS_QUERY_SOFTWARE_PROVIDERS, providers.put());
        if (SUCCEEDED(step))
            step = First(providers.get(), IID_IVdsSwProvider, provider);
        if (SUCCEEDED(step))
            step = provider->QueryPacks(packs.put());
        if (SUCCEEDED(step))
            step = First(packs.get(), IID_IVdsPack, pack);
        return SUCCEEDED(step) ? f(pack.get()) : step;
    }();
    CoUninitialize();
    return hr;
}

// Runs f on the pack's first disk (device 0, the RAID volume's disk on the default machine).
template <class Interface> HRESULT OnFirstDisk(const IID& iid, const std::function<HRESULT(Interface*)>& f) {
    return OnPack([&](IVdsPack* pack) {
        ComPtr<IEnumVdsObject> disks;
        ComPtr<Interface> disk;
        HRESULT hr = pack->QueryDisks(disks.put());
        if (SUCCEEDED(hr))
            hr = First(disks.get(), iid, disk);
        return SUCCEEDED(hr) ? f(disk.get()) : hr;
    });
}

TEST(UnreadableState, FailsTheCallWithInvalidData) {
    const Case cases[] = {
        {"device tree: a node's id is a number", servicetest::Machine, "/devices/nodes/0/id", "5",
         [] {
             DEVINST node = 0;
             wchar_t id[] = L"ACPI_HAL\\PNP0C08\\0";
             return CM_Locate_DevNodeW(&node, id, 0) == CR_INVALID_DATA ? ERROR_INVALID_DATA
                                                                        : ERROR_GEN_FAILURE;
         }},
        {"files: the section is a list", servicetest::Machine, "/files", "[]",
         [] { return LastErrorUnless(DeleteFileW(L"C:\\Orvex\\usage_stats.db")); }},
        {"service control: elevation is a text", servicetest::Machine, "/os/elevated", R"("yes")",
         [] {
             SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
             const DWORD error = manager ? ERROR_SUCCESS : GetLastError();
             CloseServiceHandle(manager);
             return error;
         }},
        {"registry: elevation is a text", servicetest::Machine, "/os/elevated", R"("yes")",
         [] {
             const DWORD one = 1;
             return static_cast<DWORD>(RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvex", L"Level",
                                                       REG_DWORD, &one, sizeof one));
         }},
        {"disk service, pack's disks: a disk's device number is a text", sim::MachineBuilder::Default,
         "/disks/1/device_number", R"("1")",
         [] {
             return FromHresult(OnPack([](IVdsPack* pack) {
                 ComPtr<IEnumVdsObject> disks;
                 return pack->QueryDisks(disks.put());
             }));
         }},
        // A RAID volume's disk takes its identity from the adapter at its port.
        {"disk service, pack's volumes: a volume disk's port is a text", sim::MachineBuilder::Default,
         "/disks/0/port", R"("0")",
         [] {
             return FromHresult(OnPack([](IVdsPack* pack) {
                 ComPtr<IEnumVdsObject> volumes;
                 return pack->QueryVolumes(volumes.put());
             }));
         }},
        {"disk service, disk: a volume disk's port is a text", sim::MachineBuilder::Default, "/disks/0/port",
         R"("0")",
         [] {
             return FromHresult(OnFirstDisk<IVdsDisk>(IID_IVdsDisk, [](IVdsDisk* disk) {
                 VDS_DISK_PROP properties{};
                 return disk->GetProperties(&properties);
             }));
         }},
        // The clean starts without reading the state; its wait drops the disk's volumes.
        {"disk service, a clean's wait: a volume's disk is a text", sim::MachineBuilder::Default,
         "/volumes/0/disk", R"("0")",
         [] {
             return FromHresult(
                 OnFirstDisk<IVdsAdvancedDisk>(IID_IVdsAdvancedDisk, [](IVdsAdvancedDisk* disk) {
                     ComPtr<IVdsAsync> clean;
                     HRESULT hr = disk->Clean(TRUE, FALSE, FALSE, clean.put());
                     if (FAILED(hr))
                         return hr;
                     HRESULT result = S_OK;
                     VDS_ASYNC_OUTPUT output{};
                     return clean->Wait(&result, &output);
                 }));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine(c.machine());
        machine->SetValue(c.pointer, sim::Value::parse(c.valueJson));
        DWORD error = ERROR_SUCCESS;
        EXPECT_NO_THROW(error = c.call());
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
    }
}

} // namespace
