#include <gtest/gtest.h>

#include "middleware/ioctl/AtaRequests.h"
#include "middleware/ioctl/NvmeRequests.h"
#include "middleware/ioctl/RemapPortRequests.h"
#include "tests/middleware/ioctl/RemapPortTestMachine.h"

namespace {

using namespace porttest;

class RemapPort : public PortTest {};

TEST_F(RemapPort, IteratorListsEveryImplementedAddressInOrderWithByteExactRequests) {
    CioctlReMapPortIterator iterator;
    ASSERT_TRUE(iterator.Invoke(Controller(), 0).IsSuccessful());
    EXPECT_EQ(iterator.GetPathMask(), 0x7u);
    EXPECT_EQ(iterator.GetAddresses(),
              (std::vector<PackedScsiAddress>{kLockedDisk, kOpalDisk, kOpticalDrive, kEmptyPort, kNvmeDevice,
                                              kOtherDevice}));

    auto sends = Sends();
    ASSERT_EQ(sends.size(), 4u);
    EXPECT_EQ(sends[0].input, Header("OrvexRmp", 0x80000D02, 0, 0));
    for (uint32_t path = 0; path < 3; ++path)
        EXPECT_EQ(sends[1 + path].input, Header("OrvexRmp", 0x80000D03, path << 16, 0)) << path;
}

TEST_F(RemapPort, MasksDecideTheAddressesAndTheirPort) {
    // Path mask 0x5: path 0 with targets 0x3, path 2 with none.
    CioctlReMapPortIterator iterator;
    ASSERT_TRUE(iterator.Invoke(Open("\\\\.\\Scsi4:"), 4).IsSuccessful());
    EXPECT_EQ(iterator.GetPathMask(), 0x5u);
    EXPECT_EQ(iterator.GetAddresses(), (std::vector<PackedScsiAddress>{0x04000000, 0x04000100}));
    EXPECT_EQ(SendCount(), 3u);
}

TEST_F(RemapPort, NoImplementedPathGivesAnEmptyListAndSuccess) {
    Inject({{"control_code", "0x80000D02"}}, {{"srb_return_code", 0}});
    CioctlReMapPortIterator iterator;
    ASSERT_TRUE(iterator.Invoke(Controller(), 0).IsSuccessful());
    EXPECT_TRUE(iterator.GetAddresses().empty());
    EXPECT_EQ(SendCount(), 1u);
}

TEST_F(RemapPort, AFailedRequestEndsTheWalkKeepingWhatWasFound) {
    Inject({{"control_code", "0x80000D03"}, {"target", "0x00020000"}}, {{"win32_error", 31}});
    CioctlReMapPortIterator iterator;
    CConsolidatedError result = iterator.Invoke(Open("\\\\.\\Scsi4:"), 4);
    EXPECT_EQ(result.GetWin32Error(), 31u);
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Could not get TargetId implemented mask inCioctlReMapPortIterator::Invoke"),
              std::string::npos);
    EXPECT_EQ(iterator.GetAddresses(), (std::vector<PackedScsiAddress>{0x04000000, 0x04000100}));

    Inject({{"control_code", "0x80000D02"}}, {{"win32_error", 170}});
    CioctlReMapPortIterator second;
    result = second.Invoke(Controller(), 0);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::DRIVER_BUSY);
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Could not get PathId implemented mask inCioctlReMapPortIterator::Invoke"),
              std::string::npos);
    EXPECT_TRUE(second.GetAddresses().empty());
}

TEST_F(RemapPort, AMaskAnswerThatFailsVerificationIsThrown) {
    // A device call that fails without an error number counts as done, but leaves no answer.
    Inject({{"control_code", "0x80000D02"}}, {{"win32_error", 0}});
    CioctlReMapPortIterator iterator;
    try {
        static_cast<void>(iterator.Invoke(Controller(), 0)); // throws
        FAIL() << "no exception";
    } catch (const CConsolidatedError& e) {
        EXPECT_EQ(e.GetErrorCode(), CConsolidatedError::DRIVER_UNEXPECTED);
    }
}

TEST_F(RemapPort, ConnectionInfoTellsTheKindOfEachAddress) {
    const struct {
        uint32_t address;
        uint32_t kind, interface, width, speed;
    } cases[] = {
        {kLockedDisk, 2, 2, 1, 1},
        {kNvmeDevice, 3, 3, 4, 4},
        {kOtherDevice, 1, 1, 1, 1},
    };
    for (const auto& c : cases) {
        CIoctlReMapPortGetConnectionInfo request(Controller(), c.address);
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        EXPECT_EQ(LastInput(), Expected(Header("OrvexRmp", 0x80000D01, c.address, 16), 44).bytes);
        const REMAPPORT_IOCTL_GET_CONNECTION_INFO info = request.GetConnectionInfo();
        EXPECT_EQ(info.ConnectionKind, c.kind) << std::hex << c.address;
        EXPECT_EQ(info.PortInterface, c.interface);
        EXPECT_EQ(info.BusWidth, c.width);
        EXPECT_EQ(info.BusSpeed, c.speed);
        EXPECT_EQ(request.GetConnectionType(), c.interface);
    }

    // An address the remap port does not implement: the driver's ReturnCode fails the answer.
    CIoctlReMapPortGetConnectionInfo unknown(Controller(), 0x00070700);
    ASSERT_TRUE(unknown.Invoke().IsSuccessful());
    EXPECT_THROW(unknown.GetConnectionType(), CConsolidatedError);
    EXPECT_EQ(unknown.Verify().GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
}

TEST_F(RemapPort, DeviceInfoGivesTheThreeIdentifyingWords) {
    CIoctlReMapPortGetDeviceInfo request(Controller(), kRemapPortSignature, kNvmeDevice);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(Header("OrvexRmp", 0x80000D04, kNvmeDevice, 8), 36).bytes);
    const REMAPPORT_IOCTL_GET_DEVICE_INFO info = request.GetOutputRecordUnverified();
    EXPECT_EQ(info.VendorId, 0x1D79);
    EXPECT_EQ(info.DeviceId, 0x2263);
    EXPECT_EQ(info.SubsystemId, 0x0011);
    EXPECT_STREQ(request.RuntimeClassName(),
                 "class CIoctlTemplate<struct REMAPPORT_IOCTL_GET_DEVICE_INFO,struct "
                 "REMAPPORT_IOCTL_GET_DEVICE_INFO,2147486980>");
}

TEST_F(RemapPort, DeviceLocationCarriesTheAddressWithoutPortAndDecodesEachType) {
    CIoctlReMapPortGetDeviceLocation root(Controller(), 0x07000000 | kLockedDisk);
    ASSERT_TRUE(root.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(),
              Expected(Header("OrvexRmp", 0x80000D05, 0x07000000, 17), 45).Byte(28, 45).Byte(29, 45).bytes);
    const REMAPPORT_IOCTL_GET_DEVICE_LOCATION* location = root.GetLocation();
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(U32(location, 33), 2u); // the packed LocationType
    // Bus 5, device 10, function 1.
    EXPECT_EQ(U16(location->LocationData, 0), 0x2A05);

    CIoctlReMapPortGetDeviceLocation slot(Controller(), kNvmeDevice);
    ASSERT_TRUE(slot.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput()[30], 1);
    EXPECT_EQ(LastInput()[31], 0);
    ASSERT_NE(slot.GetLocation(), nullptr);
    EXPECT_EQ(U32(slot.GetLocation(), 33), 3u);
    EXPECT_EQ(U16(slot.GetLocation()->LocationData, 0), 1); // socket
    EXPECT_EQ(U16(slot.GetLocation()->LocationData, 2), 2); // controller
    EXPECT_EQ(U16(slot.GetLocation()->LocationData, 4), 3); // PCI address: bus 3
    EXPECT_EQ(U16(slot.GetLocation()->LocationData, 6), 7); // physical slot
}

TEST_F(RemapPort, DeviceLocationVersionAndReturnCodeChecks) {
    const struct {
        const char* versionHex;
        bool passes;
    } versions[] = {{"2D", true}, {"2E", false}};
    for (const auto& v : versions) {
        Inject({{"control_code", "0x80000D05"}},
               {{"patch", json::array({{{"offset", 28}, {"hex", v.versionHex}}})}});
        CIoctlReMapPortGetDeviceLocation request(Controller(), kLockedDisk);
        CConsolidatedError result = request.Invoke();
        EXPECT_EQ(result.IsSuccessful(), v.passes) << v.versionHex;
        EXPECT_EQ(request.GetLocation() != nullptr, v.passes);
        if (!v.passes) {
            EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
            EXPECT_STREQ(result.GetErrorMessage(),
                         "Get device location failed - unsupported version of response");
        }
    }

    Inject({{"control_code", "0x80000D05"}}, {{"srb_return_code", "0xFFFFFFFF"}});
    CIoctlReMapPortGetDeviceLocation wrongCode(Controller(), kLockedDisk);
    EXPECT_EQ(wrongCode.Invoke().GetErrorCode(), CConsolidatedError::DRIVER_SRB_IO_RESPONSE);
    EXPECT_EQ(wrongCode.GetLocation(), nullptr);
}

TEST_F(RemapPort, ControllerWithoutTheInterfaceIsNeverAsked) {
    ControllerLocator* record = RecordSupporting({"CSMIALL"});
    CIoctlReMapPortGetConnectionInfo request(record, kLockedDisk);
    CConsolidatedError result = request.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_STREQ(result.GetErrorMessage(), "Interface version not supported: OrvexRmp");

    CioctlReMapPortIterator iterator;
    result = iterator.Invoke(record, 0);
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_NE(std::string(result.GetDebugInformation()).find("Could not get PathId implemented mask"),
              std::string::npos);
    EXPECT_EQ(SendCount(), 0u);
}

// The example machine beside the simulator: every address its remap port lists answers as its kind.
TEST(RemapPortDemoMachine, EveryAddressAnswersAsItsKind) {
    sim::ScopedMachine machine(sim::MachineBuilder::FromFile("ports-demo.json"));
    HANDLE controller =
        CreateFileAHook("\\\\.\\Scsi0:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(controller, INVALID_HANDLE_VALUE);
    CioctlReMapPortIterator iterator;
    ASSERT_TRUE(iterator.Invoke(controller, 0).IsSuccessful());
    ASSERT_EQ(iterator.GetAddresses().size(), 5u);
    size_t nvme = 0, ata = 0;
    for (PackedScsiAddress address : iterator.GetAddresses()) {
        CIoctlReMapPortGetConnectionInfo connection(controller, address);
        ASSERT_TRUE(connection.Invoke().IsSuccessful());
        if (connection.GetConnectionType() == kRemapPortInterfaceNvme) {
            CIoctlNvmeGetRemappedDeviceInfo identify(controller, address);
            identify.SetVerifyOnInvoke(true);
            ASSERT_TRUE(identify.Invoke().IsSuccessful());
            EXPECT_STREQ(identify.GetFirmwareRevision(), "5B2QGXA7");
            ++nvme;
            continue;
        }
        CIoctlMpGetPortDeviceMap map(controller, address);
        map.SetVerifyOnInvoke(true);
        ASSERT_TRUE(map.Invoke().IsSuccessful());
        if (U32(map.GetVerifiedPayload(), 0) & 1) {
            CIoctlMpIdentify identify(controller, address);
            identify.SetVerifyOnInvoke(true);
            EXPECT_TRUE(identify.Invoke().IsSuccessful()) << std::hex << address;
            ++ata;
        }
    }
    EXPECT_EQ(nvme, 1u);
    EXPECT_EQ(ata, 3u);
    CloseHandle(controller);
}

} // namespace
