#include <gtest/gtest.h>

#include "middleware/ioctl/NvmeRequests.h"
#include "platform/win/WinSync.h"
#include "sim/driver/DriverEvents.h"
#include "tests/middleware/ioctl/RemapPortTestMachine.h"

namespace {

using namespace porttest;

class Nvme : public PortTest {
protected:
    static constexpr const char* kName = "0123456789ABCDEF0123456789ABCDEF";
    const sim::driver::DeviceAddress kDevice{1, 0, 0};

    std::vector<ULONG> ReadEvents(const char* name = kName) {
        CIoctlNvmeGetAerData data(Controller(), kNvmeDevice, name);
        EXPECT_TRUE(data.Invoke().IsSuccessful());
        std::vector<ULONG> events;
        data.GetEvents(events);
        return events;
    }
    void Register(const char* name = kName) {
        CIoctlNvmeRegisterAer aer(Controller(), kNvmeDevice, name);
        ASSERT_TRUE(aer.Invoke().IsSuccessful());
    }
    HANDLE Event(const char* name = kName) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, (std::string("Global\\") + name).c_str());
        handles_.push_back(event);
        return event;
    }
};

std::string PatchHex(uint32_t value, size_t bytes) {
    std::string hex;
    char byte[3];
    for (size_t i = 0; i < bytes; ++i) {
        std::snprintf(byte, sizeof(byte), "%02X", (value >> (8 * i)) & 0xFF);
        hex += byte;
    }
    return hex;
}

json Patch(size_t offset, uint32_t value, size_t bytes) {
    return {{"patch", json::array({{{"offset", offset}, {"hex", PatchHex(value, bytes)}}})}};
}

TEST_F(Nvme, IdentifyTextsAreCopiedOnceAndKept) {
    CIoctlNvmeGetRemappedDeviceInfo info(Controller(), kNvmeDevice);
    info.SetVerifyOnInvoke(true);
    ASSERT_TRUE(info.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexNvm", 0xF0002800, kNvmeDevice, 4096), 4124).bytes);
    EXPECT_STREQ(info.GetModelNumber(), "Virel NV2 1TB                           ");
    const BYTE* identify = info.GetVerifiedPayload();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(identify) + 4, 20), "NV2-0042            ");
    EXPECT_EQ(U32(identify, 272), 8192u); // host memory buffer preferred size

    // The model number stays after the answer is gone; the firmware revision was never copied.
    ASSERT_TRUE(info.Reset().IsSuccessful());
    EXPECT_STREQ(info.GetModelNumber(), "Virel NV2 1TB                           ");
    EXPECT_THROW(info.GetFirmwareRevision(), CConsolidatedError);
    EXPECT_EQ(SendCount(), 1u);
}

TEST_F(Nvme, IdentifyAnswerNeedsReturnCodeOne) {
    const struct {
        uint32_t address;
        bool rewrite;
    } cases[] = {{kNvmeDevice, true}, {kLockedDisk, false}};
    for (const auto& c : cases) {
        if (c.rewrite)
            Inject({{"control_code", "0xF0002800"}}, {{"srb_return_code", "0xFFFFFFFF"}});
        CIoctlNvmeGetRemappedDeviceInfo info(Controller(), c.address);
        info.SetVerifyOnInvoke(true);
        EXPECT_EQ(info.Invoke().GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
        EXPECT_THROW(info.GetModelNumber(), CConsolidatedError);
    }
    CIoctlNvmeGetRemappedDeviceInfo firmware(Controller(), kNvmeDevice);
    ASSERT_TRUE(firmware.Invoke().IsSuccessful());
    EXPECT_STREQ(firmware.GetFirmwareRevision(), "5B2QGXA7");
}

TEST_F(Nvme, GetFeaturesRecordIsByteExact) {
    CIoctlNvmeGetFeatures request(Controller(), 0x00010200);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexNvm", 0xF0002808, 0x00010200, 4236), 4264)
                               .Byte(28, 1)
                               .Byte(29, 1)
                               .Byte(30, 2)
                               .Byte(31, 0)
                               .Byte(32, 0x0A)
                               .Word(72, 0x0D)
                               .Word(116, 164)
                               .Word(120, 4096)
                               .bytes);
}

TEST_F(Nvme, HostMemoryBufferFeatureAnswer) {
    CIoctlNvmeGetFeatures request(Controller(), kNvmeDevice);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_TRUE(request.Succeeded());
    EXPECT_EQ(request.GetCompletionDword(), 1u);
    std::vector<uint8_t> data(4096, 0xEE);
    ASSERT_TRUE(request.CopyData(data.data()));
    EXPECT_EQ(U32(data, 0), 8192u); // size in pages
    EXPECT_EQ(U32(data, 12), 4u);   // descriptor entries
    EXPECT_EQ(data[4095], 0);
}

TEST_F(Nvme, CompletionStatusWordDecidesSuccess) {
    const struct {
        uint16_t status;
        bool succeeded;
    } cases[] = {{0x0000, true},
                 {0x0001, true},
                 {0x0002, false},
                 {0x0200, false},
                 {0x0E01, false},
                 // Type 4 with code 0, and the bits above the type (retry delay, more, do not retry)
                 // with type and code 0: a type read one bit off judges both wrong.
                 {0x0801, false},
                 {0xF001, true}};
    for (const auto& c : cases) {
        Inject({{"control_code", "0xF0002808"}}, Patch(111, c.status, 2));
        CIoctlNvmeGetFeatures request(Controller(), kNvmeDevice);
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        EXPECT_EQ(request.Succeeded(), c.succeeded) << std::hex << c.status;
    }
}

TEST_F(Nvme, FeatureDataAreCopiedOnlyFromInsideTheAnswer) {
    const struct {
        json outcome;
        bool copied;
    } cases[] = {
        {Patch(116, 168, 4), true},
        {Patch(116, 169, 4), false},
        {Patch(116, 0xFFFFFFF0, 4), false},
        {{{"bytes_returned", 4000}}, false},
    };
    for (const auto& c : cases) {
        Inject({{"control_code", "0xF0002808"}}, c.outcome);
        CIoctlNvmeGetFeatures request(Controller(), kNvmeDevice);
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        std::vector<uint8_t> data(4096, 0xEE);
        EXPECT_EQ(request.CopyData(data.data()), c.copied) << c.outcome.dump();
        if (!c.copied) {
            EXPECT_EQ(data[0], 0xEE);
        }
    }
}

TEST_F(Nvme, HealthLogPage) {
    CIoctlNvmeGetHealthLogPage log(Controller(), kNvmeDevice);
    ASSERT_TRUE(log.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexNvm", 0xF0000010, kNvmeDevice, 524), 552)
                               .Byte(28, 2)
                               .Word(32, 0xFFFFFFFF)
                               .Word(36, 512)
                               .bytes);
    std::vector<uint8_t> page(512);
    ASSERT_TRUE(log.GetLogPage(page.data()));
    EXPECT_EQ(U16(page.data(), 1), 313); // composite temperature, kelvin
    EXPECT_EQ(page[3], 100);             // available spare
    EXPECT_EQ(page[5], 3);               // percentage used
    EXPECT_EQ(U32(page, 128), 1234u);    // power-on hours
    EXPECT_EQ(U32(page, 144), 9u);       // unsafe shutdowns
}

TEST_F(Nvme, EventNameIsCheckedBeforeAnythingIsSent) {
    const std::string longName(33, 'A');
    const struct {
        const char* name;
        uint32_t win32;
    } cases[] = {{longName.c_str(), 34}, {nullptr, 22}};
    for (const auto& c : cases) {
        CIoctlNvmeRegisterAer aer(Controller(), kNvmeDevice, c.name);
        CIoctlNvmeGetAerData data(Controller(), kNvmeDevice, c.name);
        for (CIoctl* request : {static_cast<CIoctl*>(&aer), static_cast<CIoctl*>(&data)}) {
            for (int attempt = 0; attempt < 2; ++attempt) {
                CConsolidatedError result = request->Invoke();
                EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
                EXPECT_EQ(result.GetWin32Error(), c.win32);
                EXPECT_STREQ(result.GetErrorMessage(), "Error copying nvme aer event name");
            }
        }
    }
    EXPECT_EQ(SendCount(), 0u);

    // An empty name goes out as 32 zero bytes.
    CIoctlNvmeRegisterAer empty(Controller(), kNvmeDevice, "");
    ASSERT_TRUE(empty.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexNvm", 0xF0003000, kNvmeDevice, 52), 80)
                               .Word(72, 0xFFFFFFFF)
                               .Word(76, 0xFFFFFFFF)
                               .bytes);
}

TEST_F(Nvme, RegisteredEventIsSignalledAndItsWordsAreReadOnce) {
    HANDLE event = Event();
    Register();
    Expected registration(Header("OrvexNvm", 0xF0003000, kNvmeDevice, 52), 80);
    std::memcpy(registration.bytes.data() + 32, kName, 32);
    registration.Word(72, 0xFFFFFFFF).Word(76, 0xFFFFFFFF);
    EXPECT_EQ(LastInput(), registration.bytes);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(sim::driver::RaiseNvmeAsyncEvent(0, kDevice, 0x00010101));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ReadEvents(), std::vector<ULONG>{0x00010101});
    Expected read(Header("OrvexNvm", 0xF0003800, kNvmeDevice, 80), 108);
    std::memcpy(read.bytes.data() + 28, kName, 32);
    EXPECT_EQ(LastInput(), read.bytes);
    EXPECT_TRUE(ReadEvents().empty());

    // Twelve words: the answer has room for ten, the rest come with the next read.
    for (ULONG w = 1; w <= 12; ++w)
        sim::driver::RaiseNvmeAsyncEvent(0, kDevice, w);
    EXPECT_EQ(ReadEvents().size(), 10u);
    EXPECT_EQ(ReadEvents(), (std::vector<ULONG>{11, 12}));
}

TEST_F(Nvme, EventsBeforeTheRegistrationAreDeliveredToIt) {
    ASSERT_TRUE(sim::driver::RaiseNvmeAsyncEvent(0, kDevice, 0x00020107));
    EXPECT_FALSE(sim::driver::RaiseNvmeAsyncEvent(0, {0, 0, 0}, 1)); // a SATA disk
    HANDLE event = Event();
    Register();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ReadEvents(), std::vector<ULONG>{0x00020107});
}

TEST_F(Nvme, EventCountIsBoundedByTheAnswer) {
    Register();
    sim::driver::RaiseNvmeAsyncEvent(0, kDevice, 5);
    const struct {
        json outcome;
        size_t events;
    } cases[] = {
        {Patch(104, 200, 4), 10},
        {Patch(104, 0xFFFFFFFF, 4), 10},
        {{{"bytes_returned", 100}}, 0},
    };
    for (const auto& c : cases) {
        Inject({{"control_code", "0xF0003800"}}, c.outcome);
        CIoctlNvmeGetAerData data(Controller(), kNvmeDevice, kName);
        ASSERT_TRUE(data.Invoke().IsSuccessful());
        std::vector<ULONG> events;
        EXPECT_EQ(data.GetEvents(events), c.events) << c.outcome.dump();
        EXPECT_EQ(events.size(), c.events);
    }
}

TEST_F(Nvme, ControllerWithoutTheInterfaceIsNeverAsked) {
    ControllerLocator* record = RecordSupporting({"OrvexRmp", "OrvexATA"});
    CIoctlNvmeGetHealthLogPage log(record, kNvmeDevice);
    CConsolidatedError result = log.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_STREQ(result.GetErrorMessage(), "Interface version not supported: OrvexNvm");
    std::vector<uint8_t> page(512);
    EXPECT_FALSE(log.GetLogPage(page.data()));
    EXPECT_EQ(SendCount(), 0u);
}

} // namespace
