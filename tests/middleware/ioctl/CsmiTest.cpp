#include <gtest/gtest.h>

#include "middleware/ioctl/CsmiRequests.h"
#include "platform/win/WinDeviceIo.h"
#include "tests/middleware/ioctl/RemapPortTestMachine.h"

namespace {

using namespace porttest;

class Csmi : public PortTest {};

std::vector<uint8_t> CsmiHeader(const char* signature, uint32_t code, uint32_t length) {
    return Header(signature, code, 0, length);
}

TEST_F(Csmi, DriverInformation) {
    CIoctlCsmiGetDriverInfo request(Controller(), kCsmiAllSignature, 0);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMIALL", 1, 176), 204).bytes);
    const CSMI_SAS_DRIVER_INFO info = request.GetOutputRecordUnverified().Information;
    EXPECT_STREQ(reinterpret_cast<const char*>(info.szName), "OrvexRaid");
    EXPECT_STREQ(reinterpret_cast<const char*>(info.szDescription), "Orvex RAID driver");
    EXPECT_EQ(info.usMajorRevision, 20);
    EXPECT_EQ(info.usMinorRevision, 1);
    EXPECT_EQ(info.usBuildRevision, 7);
    EXPECT_EQ(info.usReleaseRevision, 1007);
    EXPECT_EQ(info.usCSMIMajorRevision, 0);
    EXPECT_EQ(info.usCSMIMinorRevision, 81);
    EXPECT_STREQ(request.RuntimeClassName(),
                 "class CIoctlTemplate<struct _CSMI_SAS_DRIVER_INFO_BUFFER,struct "
                 "_CSMI_SAS_DRIVER_INFO_BUFFER,1>");
}

TEST_F(Csmi, ControllerConfigurationAndStatus) {
    CIoctlCsmiGetControllerConfig config(Controller(), kCsmiAllSignature, 0);
    ASSERT_TRUE(config.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMIALL", 2, 180), 208).bytes);
    const CSMI_SAS_CNTLR_CONFIG c = config.GetOutputRecordUnverified().Configuration;
    EXPECT_EQ(c.BusAddress.PciAddress.bDeviceNumber, 23);
    EXPECT_STREQ(reinterpret_cast<const char*>(c.szSerialNumber), "CTRL-0001");
    EXPECT_EQ(c.usMajorRevision, 20);
    EXPECT_EQ(c.usBIOSReleaseRevision, 5);

    CIoctlCsmiGetControllerStatus status(Controller(), kCsmiAllSignature, 0);
    ASSERT_TRUE(status.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMIALL", 3, 36), 64).bytes);
    EXPECT_EQ(status.GetOutputRecordUnverified().Status.uStatus, 1u);
}

TEST_F(Csmi, PhyInformationLocatesEachAttachedDevice) {
    CIoctlCsmiGetPhyInfo request(Controller(), kCsmiSasSignature, 0);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMISAS", 20, 2052), 2080).bytes);
    auto record = std::make_unique<CSMI_SAS_PHY_INFO_BUFFER>(request.GetOutputRecordUnverified());
    const CSMI_SAS_PHY_INFO& info = record->Information;
    EXPECT_EQ(info.bNumberOfPhys, 5); // the ATA ports on targets 0, 1, 3 and 4
    const struct {
        int phy;
        bool attached;
        uint8_t target;
    } phys[] = {{0, true, 0}, {1, true, 1}, {3, true, 3}, {4, false, 4}};
    for (const auto& p : phys) {
        const CSMI_SAS_PHY_ENTITY& e = info.Phy[p.phy];
        EXPECT_EQ(e.Identify.bPhyIdentifier, p.phy);
        EXPECT_EQ(e.Attached.bDeviceType != 0, p.attached) << p.phy;
        if (!p.attached)
            continue;
        EXPECT_EQ(e.Attached.bSASAddress[0], 0); // lun
        EXPECT_EQ(e.Attached.bSASAddress[1], p.target);
        EXPECT_EQ(e.Attached.bSASAddress[2], 0); // path
    }
    EXPECT_EQ(info.Phy[0].bNegotiatedLinkRate, 0x0A); // 6.0 Gb/s
    EXPECT_EQ(info.Phy[1].bNegotiatedLinkRate, 0x09); // 3.0 Gb/s
}

TEST_F(Csmi, SataSignatureOfAPhy) {
    const struct {
        UCHAR phy;
        uint8_t lbaMid, lbaHigh;
        bool found;
    } cases[] = {{0, 0x00, 0x00, true}, {3, 0x14, 0xEB, true}, {4, 0, 0, false}, {9, 0, 0, false}};
    for (const auto& c : cases) {
        CIoctlCsmiGetSataSignature request(Controller(), kCsmiSasSignature, 0, c.phy);
        EXPECT_EQ(request.Describe(), std::string("phyIdentifier: 0x0") + std::to_string(c.phy));
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMISAS", 26, 24), 52).Byte(28, c.phy).bytes);
        const CSMI_SAS_SATA_SIGNATURE_BUFFER answer = request.GetOutputRecordUnverified();
        EXPECT_EQ(answer.IoctlHeader.ReturnCode, c.found ? 0u : 3u) << int(c.phy);
        if (!c.found)
            continue;
        EXPECT_EQ(answer.Signature.bSignatureFIS[0], 0x34);
        EXPECT_EQ(answer.Signature.bSignatureFIS[5], c.lbaMid);
        EXPECT_EQ(answer.Signature.bSignatureFIS[6], c.lbaHigh);
    }
}

TEST_F(Csmi, CheckPowerModeThroughStpPassThrough) {
    CIoctlCsmiStpPassThrough request(Controller(), kCsmiSasSignature, 0, 0x00000000);
    EXPECT_EQ(request.Describe(), "scsiId: 0x00000000");
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(LastInput(), Expected(CsmiHeader("CSMISAS", 25, 140), 168)
                               .Byte(44, 0x27)
                               .Byte(45, 0x80) // command bit: the device runs the command
                               .Byte(46, 0xE5)
                               .Word(64, 0x04) // no data: neither direction nor protocol
                               .bytes);
    EXPECT_EQ(GetCsmiStpStatusCount(request), 0x80); // idle

    // The disk at path 0, target 1: its address reaches the port and SAS address fields.
    CIoctlCsmiStpPassThrough second(Controller(), kCsmiSasSignature, 0, 0x02000100);
    ASSERT_TRUE(second.Invoke().IsSuccessful());
    const std::vector<uint8_t> input = LastInput();
    EXPECT_EQ(input[29], 1);
    EXPECT_EQ(input[33], 1);
    EXPECT_EQ(input[34], 0);
    EXPECT_EQ(GetCsmiStpStatusCount(second), 0xFF); // active
    EXPECT_EQ(second.Describe(), "scsiId: 0x02000100");
}

// A device runs a register FIS only with its command bit, and a non-data command only when the
// flags ask for no data: the driver refuses anything else instead of reporting a power mode.
TEST_F(Csmi, DriverRunsOnlyAWellFormedNonDataCommandFis) {
    const struct {
        const char* what;
        uint8_t fisFlags;
        uint8_t features;
        uint32_t stpFlags;
        uint32_t dataLength;
        bool runs;
    } cases[] = {
        {"well formed", 0x80, 0x00, 0x04, 0, true},    {"no command bit", 0x00, 0x00, 0x04, 0, false},
        {"read with DMA", 0x80, 0x00, 0x21, 0, false}, {"former request", 0x00, 0xD0, 0x21, 0, false},
        {"data length", 0x80, 0x00, 0x04, 512, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Expected request = Expected(CsmiHeader("CSMISAS", 25, 140), 168)
                               .Byte(44, 0x27)
                               .Byte(45, c.fisFlags)
                               .Byte(46, 0xE5)
                               .Byte(47, c.features)
                               .Word(64, c.stpFlags)
                               .Word(68, c.dataLength);
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(Controller(), IOCTL_SCSI_MINIPORT, request.bytes.data(), 168,
                                    request.bytes.data(), 168, &returned, nullptr));
        EXPECT_EQ(U32(request.bytes, 20) == 0, c.runs);
        EXPECT_EQ(request.bytes[88], c.runs ? 0x80 : 0x00); // idle, or no answer FIS
    }
}

TEST_F(Csmi, AdapterWithoutCsmiFailsTheDeviceCall) {
    CIoctlCsmiGetDriverInfo request(Open("\\\\.\\Scsi4:"), kCsmiAllSignature, 0);
    CConsolidatedError result = request.Invoke();
    EXPECT_EQ(result.GetErrorType(), KEDO2_ERROR_TYPE_WIN32);
    EXPECT_EQ(result.GetWin32Error(), 1u);

    ControllerLocator* record = RecordSupporting({"OrvexRmp", "CSMIALL"});
    CIoctlCsmiGetPhyInfo phys(record, kCsmiSasSignature, 0);
    EXPECT_EQ(phys.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(SendCount(), 1u);
}

} // namespace
