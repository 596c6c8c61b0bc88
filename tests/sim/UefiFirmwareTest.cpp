// The simulated UEFI firmware itself: its tables, the handle database's rules, the pool, the
// variables of the machine's one store, the console, the PCI functions and the seam every service
// passes.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/uefi/BaseCpuId.h"
#include "platform/uefi/BaseIoLib.h"
#include "platform/uefi/UefiSystemTable.h"
#include "platform/uefi/protocol/PciIo.h"
#include "platform/uefi/protocol/ShellParameters.h"
#include "sim/Clock.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/uefi/Firmware.h"

namespace {

using sim::uefi::Firmware;

// A machine and its firmware; the test's misuse is taken on purpose where it provokes some.
struct Uefi {
    explicit Uefi(const sim::MachineBuilder& machine = sim::MachineBuilder::Default()) : machine(machine) {}
    ~Uefi() {
        EXPECT_EQ(firmware.AllocationsNotFreed(), 0u);
        for (const std::string& problem : firmware.Problems())
            ADD_FAILURE() << problem;
    }
    EFI_BOOT_SERVICES* bs() { return firmware.SystemTable()->BootServices; }
    EFI_RUNTIME_SERVICES* rt() { return firmware.SystemTable()->RuntimeServices; }

    sim::ScopedMachine machine;
    Firmware firmware;
};

// The header's checksum over HeaderSize bytes, taken with the checksum field zero, by the firmware's
// own CRC service (checked first against the CRC-32 check value).
bool HeaderChecksumHolds(EFI_BOOT_SERVICES* bs, const void* table) {
    char check[] = "123456789";
    UINT32 crc = 0;
    EXPECT_EQ(bs->CalculateCrc32(check, 9, &crc), EFI_SUCCESS);
    EXPECT_EQ(crc, 0xCBF43926u);
    EFI_TABLE_HEADER header;
    std::memcpy(&header, table, sizeof(header));
    std::vector<uint8_t> bytes(static_cast<const uint8_t*>(table),
                               static_cast<const uint8_t*>(table) + header.HeaderSize);
    std::memset(bytes.data() + offsetof(EFI_TABLE_HEADER, CRC32), 0, 4);
    EXPECT_EQ(bs->CalculateCrc32(bytes.data(), bytes.size(), &crc), EFI_SUCCESS);
    return crc == header.CRC32;
}

TEST(UefiFirmware, TablesAsAnImageFindsThem) {
    Uefi uefi;
    EFI_SYSTEM_TABLE* st = uefi.firmware.SystemTable();
    EXPECT_EQ(st->Hdr.Signature, EFI_SYSTEM_TABLE_SIGNATURE);
    EXPECT_EQ(uefi.bs()->Hdr.Signature, EFI_BOOT_SERVICES_SIGNATURE);
    EXPECT_EQ(uefi.rt()->Hdr.Signature, EFI_RUNTIME_SERVICES_SIGNATURE);
    EXPECT_TRUE(HeaderChecksumHolds(uefi.bs(), st));
    EXPECT_TRUE(HeaderChecksumHolds(uefi.bs(), uefi.bs()));
    EXPECT_TRUE(HeaderChecksumHolds(uefi.bs(), uefi.rt()));
    // Every slot of both service tables holds a function (the one reserved slot excepted).
    const auto* bsSlots = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(uefi.bs()) + 24);
    for (size_t i = 0; i < (sizeof(EFI_BOOT_SERVICES) - 24) / sizeof(void*); ++i)
        EXPECT_TRUE(bsSlots[i] != nullptr || i == 17) << "boot services slot " << i;
    const auto* rtSlots = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(uefi.rt()) + 24);
    for (size_t i = 0; i < (sizeof(EFI_RUNTIME_SERVICES) - 24) / sizeof(void*); ++i)
        EXPECT_NE(rtSlots[i], nullptr) << "runtime services slot " << i;
    EXPECT_NE(st->ConOut, nullptr);
    EXPECT_NE(st->ConIn, nullptr);
    // The firmware's own entries: the ACPI 2.0 root pointer and the hand-off block list.
    EXPECT_EQ(st->NumberOfTableEntries, 2u);

    // Configuration table entries: added, replaced, removed, and the checksum follows.
    EFI_GUID guid = {0xeb9d2d31, 0x2d88, 0x11d3, {0x9a, 0x16, 0x00, 0x90, 0x27, 0x3f, 0xc1, 0x4d}};
    int table1 = 1, table2 = 2;
    EXPECT_EQ(uefi.bs()->InstallConfigurationTable(&guid, &table1), EFI_SUCCESS);
    EXPECT_EQ(uefi.bs()->InstallConfigurationTable(&guid, &table2), EFI_SUCCESS);
    ASSERT_EQ(st->NumberOfTableEntries, 3u);
    EXPECT_EQ(st->ConfigurationTable[2].VendorTable, &table2);
    EXPECT_TRUE(HeaderChecksumHolds(uefi.bs(), st));
    EXPECT_EQ(uefi.bs()->InstallConfigurationTable(&guid, nullptr), EFI_SUCCESS);
    EXPECT_EQ(st->NumberOfTableEntries, 2u);
    EXPECT_EQ(uefi.bs()->InstallConfigurationTable(&guid, nullptr), EFI_NOT_FOUND);
}

TEST(UefiFirmware, OneFirmwareAtATime) {
    Uefi uefi;
    EXPECT_THROW(Firmware second, std::logic_error);
}

EFI_GUID kProtocolA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
EFI_GUID kProtocolB = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};

TEST(UefiFirmware, OpenRulesAndOpenInformation) {
    Uefi uefi;
    EFI_BOOT_SERVICES* bs = uefi.bs();
    int interface = 0;
    EFI_HANDLE controller = nullptr;
    ASSERT_EQ(bs->InstallProtocolInterface(&controller, &kProtocolA, EFI_NATIVE_INTERFACE, &interface),
              EFI_SUCCESS);
    EFI_HANDLE driverA = uefi.firmware.NewHandle("driver A");
    EFI_HANDLE driverB = uefi.firmware.NewHandle("driver B");
    uefi.firmware.Install(driverA, kProtocolB, &interface);
    uefi.firmware.Install(driverB, kProtocolB, &interface);
    EFI_HANDLE image = uefi.firmware.ImageHandle();

    void* got = nullptr;
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, &got, driverA, controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
        EFI_SUCCESS);
    EXPECT_EQ(got, &interface);
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, &got, driverA, controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
        EFI_ALREADY_STARTED);
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, &got, driverB, controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
        EFI_ACCESS_DENIED);
    // By-handle opens add records, counted per agent and controller; a test open adds none.
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, &got, image, nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL),
        EFI_SUCCESS);
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, &got, image, nullptr, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL),
        EFI_SUCCESS);
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolA, nullptr, image, nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
        EFI_SUCCESS);
    EXPECT_EQ(
        bs->OpenProtocol(controller, &kProtocolB, nullptr, image, nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
        EFI_UNSUPPORTED);
    EXPECT_EQ(bs->OpenProtocol(controller, &kProtocolA, &got, image, nullptr, 0x3), EFI_INVALID_PARAMETER);

    EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* entries = nullptr;
    UINTN count = 0;
    ASSERT_EQ(bs->OpenProtocolInformation(controller, &kProtocolA, &entries, &count), EFI_SUCCESS);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(entries[0].AgentHandle, driverA);
    EXPECT_EQ(entries[0].ControllerHandle, controller);
    EXPECT_EQ(entries[0].Attributes, EFI_OPEN_PROTOCOL_BY_DRIVER);
    EXPECT_EQ(entries[1].AgentHandle, image);
    EXPECT_EQ(entries[1].OpenCount, 2u);
    EXPECT_EQ(uefi.firmware.AllocationsNotFreed(), 1u);
    EXPECT_EQ(bs->FreePool(entries), EFI_SUCCESS);

    // A driver's open keeps the protocol in place.
    EXPECT_EQ(bs->UninstallProtocolInterface(controller, &kProtocolA, &interface), EFI_ACCESS_DENIED);
    EXPECT_EQ(uefi.firmware.OpenRecordsOf(image), 1u);
    EXPECT_EQ(bs->CloseProtocol(controller, &kProtocolA, image, nullptr), EFI_SUCCESS);
    EXPECT_EQ(bs->CloseProtocol(controller, &kProtocolA, image, nullptr), EFI_NOT_FOUND);
    EXPECT_EQ(uefi.firmware.OpenRecordsOf(image), 0u);
    EXPECT_EQ(bs->CloseProtocol(controller, &kProtocolA, driverA, controller), EFI_SUCCESS);
    // The last protocol gone, the handle goes too.
    EXPECT_EQ(bs->UninstallProtocolInterface(controller, &kProtocolA, &interface), EFI_SUCCESS);
    EXPECT_EQ(bs->OpenProtocol(controller, &kProtocolA, &got, image, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(uefi.firmware.TakeProblems().size(), 1u);
}

TEST(UefiFirmware, LocatingHandlesAndProtocols) {
    Uefi uefi;
    EFI_BOOT_SERVICES* bs = uefi.bs();
    int a = 0, b = 0;
    EFI_HANDLE first = nullptr;
    ASSERT_EQ(bs->InstallMultipleProtocolInterfaces(&first, &kProtocolA, &a, &kProtocolB, &b, nullptr),
              EFI_SUCCESS);
    EFI_HANDLE second = nullptr;
    ASSERT_EQ(bs->InstallMultipleProtocolInterfaces(&second, &kProtocolA, &b, nullptr), EFI_SUCCESS);
    // All or nothing: B is on `first` already, so A is not added to `second` a second time.
    EXPECT_EQ(bs->InstallMultipleProtocolInterfaces(&second, &kProtocolB, &a, &kProtocolA, &a, nullptr),
              EFI_ALREADY_STARTED);

    UINTN count = 0;
    EFI_HANDLE* handles = nullptr;
    ASSERT_EQ(bs->LocateHandleBuffer(ByProtocol, &kProtocolA, nullptr, &count, &handles), EFI_SUCCESS);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(handles[0], first);
    EXPECT_EQ(handles[1], second);
    bs->FreePool(handles);
    ASSERT_EQ(bs->LocateHandleBuffer(ByProtocol, &kProtocolB, nullptr, &count, &handles), EFI_SUCCESS);
    EXPECT_EQ(count, 1u);
    bs->FreePool(handles);

    UINTN size = 0;
    EXPECT_EQ(bs->LocateHandle(ByProtocol, &kProtocolA, nullptr, &size, nullptr), EFI_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 2 * sizeof(EFI_HANDLE));

    void* interface = nullptr;
    EXPECT_EQ(bs->LocateProtocol(&kProtocolB, nullptr, &interface), EFI_SUCCESS);
    EXPECT_EQ(interface, &b);
    EFI_GUID** guids = nullptr;
    ASSERT_EQ(bs->ProtocolsPerHandle(first, &guids, &count), EFI_SUCCESS);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::memcmp(guids[1], &kProtocolB, sizeof(EFI_GUID)), 0);
    bs->FreePool(guids);

    EXPECT_EQ(bs->UninstallMultipleProtocolInterfaces(first, &kProtocolA, &a, &kProtocolB, &b, nullptr),
              EFI_SUCCESS);
    EXPECT_EQ(bs->LocateProtocol(&kProtocolB, nullptr, &interface), EFI_NOT_FOUND);
    EXPECT_EQ(interface, nullptr);
    EXPECT_EQ(bs->LocateHandleBuffer(ByProtocol, &kProtocolB, nullptr, &count, &handles), EFI_NOT_FOUND);
}

TEST(UefiFirmware, PoolCountsWhatIsNotFreed) {
    Uefi uefi;
    EFI_BOOT_SERVICES* bs = uefi.bs();
    void* block = nullptr;
    ASSERT_EQ(bs->AllocatePool(EfiBootServicesData, 100, &block), EFI_SUCCESS);
    EFI_PHYSICAL_ADDRESS pages = 0;
    ASSERT_EQ(bs->AllocatePages(AllocateAnyPages, EfiBootServicesData, 2, &pages), EFI_SUCCESS);
    EXPECT_EQ(pages % EFI_PAGE_SIZE, 0u);
    EXPECT_EQ(uefi.firmware.AllocationsNotFreed(), 2u);
    EXPECT_EQ(uefi.firmware.BytesNotFreed(), 100u + 2 * EFI_PAGE_SIZE);
    EXPECT_EQ(bs->AllocatePool(EfiMaxMemoryType, 8, &block), EFI_INVALID_PARAMETER);
    EXPECT_EQ(bs->FreePages(pages, 1), EFI_NOT_FOUND);
    EXPECT_EQ(bs->FreePages(pages, 2), EFI_SUCCESS);
    int stack = 0;
    EXPECT_EQ(bs->FreePool(&stack), EFI_INVALID_PARAMETER);
    EXPECT_EQ(uefi.firmware.TakeProblems().size(), 2u);
    EXPECT_EQ(bs->FreePool(block), EFI_SUCCESS);
    EXPECT_EQ(uefi.firmware.AllocationsNotFreed(), 0u);
}

TEST(UefiFirmware, FaultRulesAndTheCallLog) {
    Uefi uefi;
    uefi.machine->faults().Add(
        R"({"kind": "BootServices.AllocatePool", "match": {"size": 64}, "skip": 1, "outcome": {"efi_error": 9}})");
    void* a = nullptr;
    void* b = nullptr;
    EXPECT_EQ(uefi.bs()->AllocatePool(EfiBootServicesData, 64, &a), EFI_SUCCESS);
    EXPECT_EQ(uefi.bs()->AllocatePool(EfiBootServicesData, 64, &b), EFI_OUT_OF_RESOURCES);
    uefi.bs()->FreePool(a);
    const auto calls = uefi.machine->calls().Of("BootServices.AllocatePool");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].selectors["pool_type"].get<int>(), EfiBootServicesData);
    EXPECT_EQ(uefi.machine->calls().CountMatching("BootServices.FreePool", "{}"), 1u);
    // A rule with a selector the call does not have is refused.
    EXPECT_THROW(
        uefi.machine->faults().Add(
            R"({"kind": "BootServices.FreePool", "match": {"size": 1}, "outcome": {"efi_error": 2}})"),
        std::runtime_error);
}

TEST(UefiFirmware, TheMachineDescribesItStrictly) {
    EXPECT_THROW(sim::ScopedMachine(sim::MachineBuilder::Default().Merge(R"({"uefi": {"consol": {}}})")),
                 std::runtime_error);
    EXPECT_THROW(
        sim::ScopedMachine(sim::MachineBuilder::Default().Merge(R"({"uefi": {"shell": {"parameters": 2}}})")),
        std::runtime_error);
    // References to PCI functions that are not there, a disk at both a port and a namespace, and a
    // register the firmware does not program (the identity is the node's).
    for (const char* change : {
             R"({"uefi": {"remap_window": {"controller": "0:15.0"}}})",
             R"({"uefi": {"raid_drivers": [{"name": "ZRC", "controller": "9:0.0"}]}})",
             R"({"uefi": {"pci_config": [{"location": "0:14.0", "offset": 2, "hex": "0000"}]}})",
             R"({"uefi": {"raid_drivers": [{"controller": "0:14.0"}]}})",
         })
        EXPECT_THROW(sim::ScopedMachine(sim::MachineBuilder::Default().Merge(change)), std::runtime_error)
            << change;
    EXPECT_THROW(sim::ScopedMachine(sim::MachineBuilder::Default().Set("/disks/2/uefi/port", "3")),
                 std::runtime_error);
    EXPECT_THROW(
        sim::ScopedMachine(sim::MachineBuilder::Default().Set("/disks/2/uefi/controller", R"("0:15.0")")),
        std::runtime_error);
}

TEST(UefiFirmware, MemoryNothingDecodesIsAProblem) {
    Uefi uefi;
    // The default window: 16 buses at 0x1_C0000000; a function it does not show reads all ones.
    EXPECT_EQ(MmioRead16(0x1C0000000ull), 0x1F4Au);
    EXPECT_EQ(MmioRead32(0x1C0000000ull + (5ull << 15)), 0xFFFFFFFFu);
    EXPECT_EQ(MmioRead8(0x1C1000000ull), 0xFFu);
    const auto problems = uefi.firmware.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("nothing decodes the address 0x1C1000000"), std::string::npos) << problems[0];
}

TEST(UefiFirmware, ProcessorIdentification) {
    Uefi uefi(
        sim::MachineBuilder::Default().Set("/uefi/cpu", R"({"brand": "Orvex(R) CPU", "signature": 1638})"));
    UINT32 a = 0, b = 0, c = 0, d = 0;
    AsmCpuid(1, &a, nullptr, nullptr, nullptr);
    EXPECT_EQ(a, 1638u);
    AsmCpuid(0x80000002u, &a, &b, &c, &d);
    char text[17] = {};
    std::memcpy(text, &a, 4);
    std::memcpy(text + 4, &b, 4);
    std::memcpy(text + 8, &c, 4);
    std::memcpy(text + 12, &d, 4);
    EXPECT_STREQ(text, "Orvex(R) CPU");
}

std::u16string Name(const char16_t* text) {
    return text;
}

TEST(UefiFirmware, VariablesAreTheMachinesStore) {
    Uefi uefi(sim::MachineBuilder::Default().Merge(R"({"firmware": {"variables": [
        {"name": "MoxZrcV", "guid": "{61A14FE8-4DAB-4A19-B1E3-97FB23D09212}", "hex": "0102 0304"},
        {"name": "Other", "guid": "{8be4df61-93ca-11d2-aa0d-00e098032b8c}", "attributes": 6, "hex": "FF"}]}})"));
    EFI_RUNTIME_SERVICES* rt = uefi.rt();
    EFI_GUID vendor = {0x61a14fe8, 0x4dab, 0x4a19, {0xb1, 0xe3, 0x97, 0xfb, 0x23, 0xd0, 0x92, 0x12}};
    std::u16string name = Name(u"MoxZrcV");
    uint8_t data[8] = {};
    UINTN size = 2;
    UINT32 attributes = 0;
    EXPECT_EQ(rt->GetVariable(name.data(), &vendor, &attributes, &size, data), EFI_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 4u);
    size = sizeof(data);
    ASSERT_EQ(rt->GetVariable(name.data(), &vendor, &attributes, &size, data), EFI_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(attributes, 7u);
    EXPECT_EQ(data[3], 0x04);
    std::u16string missing = Name(u"moxzrcv");
    EXPECT_EQ(rt->GetVariable(missing.data(), &vendor, nullptr, &size, data), EFI_NOT_FOUND);

    // Every variable by name, in the store's order.
    CHAR16 walk[32] = {0};
    EFI_GUID guid{};
    std::vector<std::string> seen;
    for (;;) {
        UINTN bytes = sizeof(walk);
        const EFI_STATUS status = rt->GetNextVariableName(&bytes, walk, &guid);
        if (status == EFI_NOT_FOUND)
            break;
        ASSERT_EQ(status, EFI_SUCCESS);
        seen.push_back(std::string(walk, walk + std::char_traits<char16_t>::length(walk)));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"MoxZrcV", "Other"}));

    // A write, an append and a delete go to the machine's store.
    std::u16string written = Name(u"Written");
    uint8_t value[2] = {0xAB, 0xCD};
    const UINT32 kept = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;
    ASSERT_EQ(rt->SetVariable(written.data(), &vendor, kept, 2, value), EFI_SUCCESS);
    ASSERT_EQ(rt->SetVariable(written.data(), &vendor, kept | EFI_VARIABLE_APPEND_WRITE, 1, value),
              EFI_SUCCESS);
    auto stored = sim::firmware::Find("Written", "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->data, (std::vector<uint8_t>{0xAB, 0xCD, 0xAB}));
    EXPECT_EQ(stored->attributes, kept);
    EXPECT_EQ(rt->SetVariable(written.data(), &vendor, kept | EFI_VARIABLE_RUNTIME_ACCESS, 1, value),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(rt->SetVariable(written.data(), &vendor, EFI_VARIABLE_RUNTIME_ACCESS, 1, value),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(rt->SetVariable(written.data(), &vendor, kept, 0, nullptr), EFI_SUCCESS);
    EXPECT_FALSE(sim::firmware::Find("Written", "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}").has_value());
    EXPECT_EQ(rt->SetVariable(written.data(), &vendor, kept, 0, nullptr), EFI_NOT_FOUND);
}

TEST(UefiFirmware, ConsoleRecordsAndKeys) {
    Uefi uefi(sim::MachineBuilder::Default().Merge(R"({"uefi": {"console": {"columns": 100, "rows": 31}}})"));
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = uefi.firmware.SystemTable()->ConOut;
    UINTN columns = 0, rows = 0;
    ASSERT_EQ(out->QueryMode(out, 0, &columns, &rows), EFI_SUCCESS);
    EXPECT_EQ(columns, 100u);
    EXPECT_EQ(rows, 31u);
    EXPECT_EQ(out->QueryMode(out, 1, &columns, &rows), EFI_UNSUPPORTED);
    EXPECT_EQ(out->SetAttribute(out, 0x80), EFI_UNSUPPORTED);
    ASSERT_EQ(out->SetAttribute(out, EFI_TEXT_ATTR(EFI_YELLOW, EFI_BLUE)), EFI_SUCCESS);
    std::u16string text = u"\u00e9\r\n";
    ASSERT_EQ(out->OutputString(out, text.data()), EFI_SUCCESS);
    EXPECT_EQ(uefi.firmware.ConsoleText(), "\xc3\xa9\r\n");
    EXPECT_EQ(uefi.firmware.ConsoleCells()[0].attribute, 0x1E);
    EXPECT_EQ(out->Mode->CursorRow, 1);
    EXPECT_EQ(out->Mode->CursorColumn, 0);

    EFI_SIMPLE_TEXT_INPUT_PROTOCOL* in = uefi.firmware.SystemTable()->ConIn;
    EFI_INPUT_KEY key{};
    EXPECT_EQ(in->ReadKeyStroke(in, &key), EFI_NOT_READY);
    uefi.firmware.QueueKey(u'y');
    UINTN index = 9;
    EXPECT_EQ(uefi.bs()->WaitForEvent(1, &in->WaitForKey, &index), EFI_SUCCESS);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(in->ReadKeyStroke(in, &key), EFI_SUCCESS);
    EXPECT_EQ(key.UnicodeChar, u'y');
    // Nothing could ever end this wait: it fails at once and says why.
    EXPECT_EQ(uefi.bs()->WaitForEvent(1, &in->WaitForKey, &index), EFI_NOT_READY);
    ASSERT_EQ(uefi.firmware.TakeProblems().size(), 1u);
    // A host's key source is asked when the queue is empty.
    uefi.firmware.OnKeyNeeded([] { return EFI_INPUT_KEY{0, u'q'}; });
    EXPECT_EQ(uefi.bs()->WaitForEvent(1, &in->WaitForKey, &index), EFI_SUCCESS);
    EXPECT_EQ(in->ReadKeyStroke(in, &key), EFI_SUCCESS);
    EXPECT_EQ(key.UnicodeChar, u'q');
}

TEST(UefiFirmware, ShellCommandLine) {
    Uefi uefi;
    uefi.firmware.SetArguments({"Tool.efi", "/x", "caf\xc3\xa9", "\xf0\x9f\x98\x80"});
    void* interface = nullptr;
    ASSERT_EQ(
        uefi.bs()->HandleProtocol(uefi.firmware.ImageHandle(), &gEfiShellParametersProtocolGuid, &interface),
        EFI_SUCCESS);
    auto* parameters = static_cast<EFI_SHELL_PARAMETERS_PROTOCOL*>(interface);
    ASSERT_EQ(parameters->Argc, 4u);
    EXPECT_EQ(std::u16string(parameters->Argv[1]), u"/x");
    EXPECT_EQ(std::u16string(parameters->Argv[2]), u"caf\u00e9");
    EXPECT_EQ(std::u16string(parameters->Argv[3]), u"?");
    EXPECT_EQ(parameters->Argv[4], nullptr);
}

TEST(UefiFirmware, PciFunctionsOfTheMachine) {
    Uefi uefi(sim::MachineBuilder::FromFile("controllers.json"));
    EFI_HANDLE handle = uefi.firmware.FindHandle("PCI 0:14.0");
    ASSERT_NE(handle, nullptr);
    void* interface = nullptr;
    ASSERT_EQ(uefi.bs()->HandleProtocol(handle, &gEfiPciIoProtocolGuid, &interface), EFI_SUCCESS);
    auto* pciIo = static_cast<EFI_PCI_IO_PROTOCOL*>(interface);
    UINT32 ids = 0;
    ASSERT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint32, 0, 1, &ids), EFI_SUCCESS);
    EXPECT_EQ(ids, 0x09AB1F4Au);
    UINT16 subsystem[2] = {};
    ASSERT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint16, 0x2C, 2, subsystem), EFI_SUCCESS);
    EXPECT_EQ(subsystem[0], 0x1F4A);
    EXPECT_EQ(subsystem[1], 0x7A21);
    UINT8 byte = 0;
    EXPECT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint8, 4095, 1, &byte), EFI_SUCCESS);
    EXPECT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint8, 4096, 1, &byte), EFI_UNSUPPORTED);
    EXPECT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint32, 2, 1, &ids), EFI_UNSUPPORTED);
    UINTN segment = 9, bus = 9, device = 0, function = 9;
    ASSERT_EQ(pciIo->GetLocation(pciIo, &segment, &bus, &device, &function), EFI_SUCCESS);
    EXPECT_EQ(segment + bus + function, 0u);
    EXPECT_EQ(device, 14u);
    // Only what is supported can be enabled.
    EXPECT_EQ(
        pciIo->Attributes(pciIo, EfiPciIoAttributeOperationEnable, EFI_PCI_IO_ATTRIBUTE_VGA_IO, nullptr),
        EFI_UNSUPPORTED);
}

TEST(UefiFirmware, AbsentDevicesAreNotOnTheBus) {
    // The default machine without its remapping controller (the eighth node) and what sits behind it.
    Uefi uefi(sim::MachineBuilder::Default()
                  .Remove("/devices/nodes/7")
                  .Remove("/uefi")
                  .Remove("/disks/2/uefi")
                  .Remove("/disks/4/uefi")
                  .Append("/devices/nodes", R"({"id": "PCI\\VEN_1F4A&DEV_09AB\\1", "present": false,
                                                "properties": {"Address": "0xE0000"}})")
                  .Append("/devices/nodes", R"({"id": "PCI\\VEN_1F4A&DEV_09AC\\2", "pending": true,
                                                "properties": {"Address": "0xF0000"}})"));
    EXPECT_EQ(uefi.firmware.FindHandle("PCI 0:14.0"), nullptr);
    EXPECT_EQ(uefi.firmware.FindHandle("PCI 0:15.0"), nullptr);
    EXPECT_NE(uefi.firmware.FindHandle("PCI 0:23.0"), nullptr);
}

TEST(UefiFirmware, StallTakesTheMachinesTime) {
    sim::ScopedVirtualClock clock;
    Uefi uefi;
    const uint64_t before = sim::Clock::NowMs();
    EXPECT_EQ(uefi.bs()->Stall(31000000), EFI_SUCCESS);
    EXPECT_EQ(sim::Clock::NowMs() - before, 31000u);
}

TEST(UefiFirmware, ServicesItDoesNotProvideAreProblems) {
    Uefi uefi;
    EXPECT_EQ(uefi.bs()->ExitBootServices(uefi.firmware.ImageHandle(), 0), EFI_UNSUPPORTED);
    const auto problems = uefi.firmware.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("BootServices.ExitBootServices"), std::string::npos);
}

TEST(UefiFirmware, ExitCodes) {
    EXPECT_EQ(sim::uefi::ExitCodeOf(EFI_SUCCESS), 0);
    EXPECT_EQ(sim::uefi::ExitCodeOf(EFI_INVALID_PARAMETER), 2);
    EXPECT_EQ(sim::uefi::ExitCodeOf(EFI_DEVICE_ERROR), 7);
    EXPECT_EQ(sim::uefi::ExitCodeOf(EFIERR(300)), 255);
}

} // namespace
