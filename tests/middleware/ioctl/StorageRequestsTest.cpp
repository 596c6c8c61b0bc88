#include <functional>
#include <memory>

#include "middleware/ioctl/CIoctlStorage.h"
#include "tests/middleware/ioctl/IoctlTestSupport.h"

namespace {

using namespace ioctltest;

class StorageRequests : public IoctlTest {
protected:
    HANDLE sata_ = Open("\\\\.\\PhysicalDrive0");
    HANDLE ssd_ = Open("\\\\.\\PhysicalDrive1");
    HANDLE nvme_ = Open("\\\\.\\PhysicalDrive2");
};

std::vector<uint8_t> Zeros(size_t n) {
    return std::vector<uint8_t>(n);
}

TEST_F(StorageRequests, EachRequestSendsItsCodeSizesAndExactInput) {
    DISK_CACHE_INFORMATION info{};
    info.ReadCacheEnabled = TRUE;
    info.WriteCacheEnabled = TRUE;
    info.DisablePrefetchTransferLength = 0xFFFF;
    DISK_CACHE_SETTING setting{12, DiskCacheNormal, TRUE};

    std::vector<uint8_t> ata = Zeros(560);
    ata[0] = 48;    // Length
    ata[2] = 0x03;  // DRDY required, data in
    ata[9] = 0x02;  // DataTransferLength 512
    ata[12] = 2;    // TimeOutValue
    ata[24] = 48;   // DataBufferOffset
    ata[46] = 0xEC; // command register: IDENTIFY DEVICE
    std::vector<uint8_t> nvme = Zeros(4147);
    nvme[0] = 49;    // StorageAdapterProtocolSpecificProperty
    nvme[8] = 3;     // ProtocolTypeNvme
    nvme[12] = 1;    // NVMeDataTypeIdentify
    nvme[16] = 1;    // identify controller
    nvme[24] = 40;   // ProtocolDataOffset
    nvme[29] = 0x10; // ProtocolDataLength 4096
    auto query = [](uint8_t id) {
        std::vector<uint8_t> q = Zeros(12);
        q[0] = id;
        return q;
    };

    struct Case {
        const char* name;
        std::function<std::unique_ptr<CIoctl>()> make;
        DWORD code;
        DWORD in, out;
        std::vector<uint8_t> input;
    };
    const std::vector<Case> cases = {
        {"address", [&] { return std::make_unique<CIoctlDiskGetDiskAddress>(sata_); }, 0x41018, 0, 8, {}},
        {"geometry",
         [&] { return std::make_unique<CIoctlDiskGetDriveGeometryEx>(sata_); },
         0x700A0,
         0,
         40,
         {}},
        {"update", [&] { return std::make_unique<CIoctlDiskUpdateProperties>(sata_); }, 0x70140, 0, 0, {}},
        {"ata identify", [&] { return std::make_unique<CIoctlStorageGetAtaIndentify>(sata_); }, 0x4D02C, 560,
         560, ata},
        {"capacity", [&] { return std::make_unique<CIoctlStorageGetCapacity>(sata_); }, 0x2D5140, 0, 32, {}},
        {"nvme identify", [&] { return std::make_unique<CIoctlStorageGetNvmeIdentifyController>(nvme_); },
         0x2D1400, 4147, 4147, nvme},
        {"property", [&] { return std::make_unique<CIoctlStorageGetProperty>(sata_, 32, 1); }, 0x2D1400, 12,
         32, query(1)},
        {"property size", [&] { return std::make_unique<CIoctlStorageGetPropertyOutputSize>(sata_, 40, 0); },
         0x2D1400, 12, 40, query(0)},
        {"seek penalty", [&] { return std::make_unique<CIoctlStorageGetSeekPenalty>(sata_); }, 0x2D1400, 12,
         12, query(7)},
        {"device number",
         [&] { return std::make_unique<CIoctlStrorageGetDeviceNumber>(sata_); },
         0x2D1080,
         0,
         12,
         {}},
        {"cache information",
         [&] { return std::make_unique<CIoctlWindowsGetCacheInformation>(sata_); },
         0x740D4,
         0,
         24,
         {}},
        {"cache policy",
         [&] { return std::make_unique<CIoctlWindowsGetCachePolicy>(sata_); },
         0x740E0,
         0,
         12,
         {}},
        {"set cache information",
         [&] { return std::make_unique<CIoctlWindowsSetCacheInformation>(sata_, info); }, 0x7C0D8, 24, 0,
         Bytes(&info, sizeof(info))},
        {"set cache policy", [&] { return std::make_unique<CIoctlWindowsSetCachePolicy>(sata_, setting); },
         0x7C0E4, 12, 0, Bytes(&setting, sizeof(setting))},
        {"drive layout",
         [&] { return std::make_unique<CioctlWindowsGetDriveLayoutEx>(sata_); },
         0x70050,
         0,
         18480,
         {}},
    };
    for (const auto& c : cases) {
        auto request = c.make();
        CConsolidatedError r = request->Invoke();
        EXPECT_TRUE(r.IsSuccessful()) << c.name << ": " << r.GetDebugInformation();
        EXPECT_FALSE(request->GetVerifyOnInvoke()) << c.name;
        auto send = Sends().back();
        EXPECT_EQ(send.selectors["code"], c.code) << c.name;
        EXPECT_EQ(send.selectors["in_size"], c.in) << c.name;
        EXPECT_EQ(send.selectors["out_size"], c.out) << c.name;
        EXPECT_EQ(send.input, c.input) << c.name;
    }
}

TEST_F(StorageRequests, AccessorsReadTheAnswers) {
    CIoctlDiskGetDiskAddress address(sata_);
    EXPECT_EQ(address.GetScsiAddress(), kNoScsiAddress);
    ASSERT_TRUE(address.Invoke().IsSuccessful());
    EXPECT_EQ(address.GetScsiAddress(), PackScsiAddress(0, 0, 1, 0));
    Inject({{"code", IOCTL_SCSI_GET_ADDRESS}}, {{"win32_error", 31}});
    CIoctlDiskGetDiskAddress failed(sata_);
    EXPECT_TRUE(failed.Invoke().IsError());
    EXPECT_EQ(failed.GetScsiAddress(), 0u) << "the zeroed answer buffer";

    CIoctlDiskGetDriveGeometryEx geometry(sata_);
    ASSERT_TRUE(geometry.Invoke().IsSuccessful());
    EXPECT_TRUE(geometry.Verify().IsSuccessful());
    EXPECT_EQ(geometry.GetGeometry().DiskSize.QuadPart, 3907029168LL * 512);

    CIoctlStorageGetCapacity capacity(sata_);
    ASSERT_TRUE(capacity.Invoke().IsSuccessful());
    EXPECT_EQ(capacity.GetCapacity().NumberOfBlocks.QuadPart, 3907029168LL);

    CIoctlStrorageGetDeviceNumber number(ssd_);
    ASSERT_TRUE(number.Invoke().IsSuccessful());
    EXPECT_EQ(number.GetDeviceNumber().DeviceNumber, 1u);

    CIoctlStorageGetSeekPenalty seek(sata_);
    ASSERT_TRUE(seek.Invoke().IsSuccessful());
    EXPECT_TRUE(seek.GetSeekPenalty().IncursSeekPenalty);

    CIoctlStorageGetPropertyOutputSize head(sata_, 40, StorageDeviceProperty);
    EXPECT_EQ(head.GetSize(), 0u);
    ASSERT_TRUE(head.Invoke().IsSuccessful());
    CIoctlStorageGetProperty descriptor(sata_, head.GetSize(), StorageDeviceProperty);
    ASSERT_TRUE(descriptor.Invoke().IsSuccessful());
    ASSERT_TRUE(descriptor.Verify().IsSuccessful());
    STORAGE_DEVICE_DESCRIPTOR d{};
    std::memcpy(&d, descriptor.GetOutBuffer(), sizeof(d));
    EXPECT_EQ(d.BusType, BusTypeSata);
    EXPECT_STREQ(reinterpret_cast<const char*>(descriptor.GetOutBuffer() + d.SerialNumberOffset), "ZA1B2C3D");
}

TEST_F(StorageRequests, CacheInformationAndPolicyRoundTrip) {
    CIoctlWindowsGetCacheInformation get(sata_);
    ASSERT_TRUE(get.Invoke().IsSuccessful());
    DISK_CACHE_INFORMATION info = get.GetCacheInformation();
    EXPECT_TRUE(info.WriteCacheEnabled);
    info.WriteCacheEnabled = FALSE;
    EXPECT_TRUE(CIoctlWindowsSetCacheInformation(sata_, info).Invoke().IsSuccessful());
    CIoctlWindowsGetCacheInformation again(sata_);
    ASSERT_TRUE(again.Invoke().IsSuccessful());
    EXPECT_FALSE(again.GetCacheInformation().WriteCacheEnabled);

    CIoctlWindowsGetCachePolicy policy(sata_);
    ASSERT_TRUE(policy.Invoke().IsSuccessful());
    EXPECT_TRUE(policy.GetCacheSetting().IsPowerProtected);
    // A setting sent after a failed read: version and state 0, only the flag given.
    DISK_CACHE_SETTING fresh{};
    fresh.IsPowerProtected = FALSE;
    EXPECT_TRUE(CIoctlWindowsSetCachePolicy(sata_, fresh).Invoke().IsSuccessful());
    CIoctlWindowsGetCachePolicy after(sata_);
    ASSERT_TRUE(after.Invoke().IsSuccessful());
    EXPECT_FALSE(after.GetCacheSetting().IsPowerProtected);
}

TEST_F(StorageRequests, DriveLayoutEntriesAreCopiedOnlyIntoRoomForAll) {
    CioctlWindowsGetDriveLayoutEx layout(sata_);
    std::vector<uint8_t> destination(18432, 0xAB);
    EXPECT_EQ(layout.CopyPartitionEntries(destination.data(), destination.size()), -1);
    ASSERT_TRUE(layout.Invoke().IsSuccessful());
    EXPECT_EQ(layout.GetBytesReturned(), 48u + 2 * 144);
    // Windows answers only the entries in use, so a verified layout is short.
    EXPECT_EQ(layout.Verify().GetErrorCode(), CConsolidatedError::DRIVER_SHORT_RESPONSE);

    EXPECT_EQ(layout.CopyPartitionEntries(destination.data(), 18431), 18432);
    EXPECT_EQ(destination[0], 0xAB);
    EXPECT_EQ(layout.CopyPartitionEntries(destination.data(), destination.size()), 0);
    PARTITION_INFORMATION_EX efi{};
    std::memcpy(&efi, destination.data(), sizeof(efi));
    EXPECT_EQ(efi.PartitionStyle, PARTITION_STYLE_GPT);
    EXPECT_TRUE(efi.Gpt.PartitionType == PARTITION_SYSTEM_GUID);
    EXPECT_EQ(destination[2 * 144], 0) << "unused entries are zero";
    EXPECT_EQ(std::memcmp(destination.data(), layout.GetOutBuffer() + 48, 18432), 0);
}

TEST_F(StorageRequests, AtaRotationRateIsReadOnlyWithinTheAnswer) {
    {
        CIoctlStorageGetAtaIndentify identify(sata_);
        EXPECT_EQ(identify.GetRotationRate(), 0) << "no answer buffer yet";
        ASSERT_TRUE(identify.Invoke().IsSuccessful());
        EXPECT_TRUE(identify.Verify().IsSuccessful());
        EXPECT_EQ(identify.GetRotationRate(), 7200);
    }
    struct Case {
        const char* name;
        json outcome;
    };
    const std::vector<Case> malformed = {
        {"data offset far beyond the answer",
         {{"patch", {{{"offset", 24}, {"hex", "00 00 00 10 00 00 00 00"}}}}}},
        {"data offset just past word 217", {{"patch", {{{"offset", 24}, {"hex", "7F 00"}}}}}},
        {"answer cut before word 217", {{"bytes_returned", 48 + 434}}},
    };
    for (const auto& c : malformed) {
        Inject({{"code", IOCTL_ATA_PASS_THROUGH}}, c.outcome);
        CIoctlStorageGetAtaIndentify identify(sata_);
        ASSERT_TRUE(identify.Invoke().IsSuccessful()) << c.name;
        try {
            identify.GetRotationRate();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const CConsolidatedError& e) {
            EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::DRIVER_UNEXPECTED) << c.name;
        }
    }
    // The NVMe disk has no ATA pass-through.
    CIoctlStorageGetAtaIndentify nvme(nvme_);
    EXPECT_EQ(nvme.Invoke().GetWin32Error(), static_cast<uint32_t>(ERROR_INVALID_FUNCTION));
}

TEST_F(StorageRequests, NvmeIdentifyDataIsReadOnlyWithinTheAnswer) {
    {
        CIoctlStorageGetNvmeIdentifyController identify(nvme_);
        EXPECT_EQ(identify.GetIdentifyData(), nullptr);
        ASSERT_TRUE(identify.Invoke().IsSuccessful());
        const BYTE* data = identify.GetIdentifyData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data, identify.GetOutBuffer() + 48);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data + 4), 20), "NV2-0042            ");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data + 24), 13), "Virel NV2 1TB");
    }
    const std::vector<json> malformed = {
        {{"patch", {{{"offset", 24}, {"hex", "00 FF FF FF"}}}}},
        {{"patch", {{{"offset", 24}, {"hex", "2C 00 00 00"}}}}}, // 44: the last bytes fall outside
        {{"bytes_returned", 4000}},
    };
    for (const auto& outcome : malformed) {
        Inject({{"property_id", 49}}, outcome);
        CIoctlStorageGetNvmeIdentifyController identify(nvme_);
        ASSERT_TRUE(identify.Invoke().IsSuccessful()) << outcome.dump();
        EXPECT_THROW(identify.GetIdentifyData(), CConsolidatedError) << outcome.dump();
    }
    // A SATA disk does not answer the NVMe query.
    CIoctlStorageGetNvmeIdentifyController sata(sata_);
    EXPECT_EQ(sata.Invoke().GetWin32Error(), static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
}

} // namespace
