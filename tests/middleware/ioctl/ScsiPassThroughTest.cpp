#include <gtest/gtest.h>

#include "middleware/ioctl/ScsiPassThroughRequests.h"
#include "tests/middleware/ioctl/RemapPortTestMachine.h"

namespace {

using namespace porttest;

class ScsiPassThrough : public PortTest {
protected:
    HANDLE Disk() { return Open("\\\\.\\PhysicalDrive0"); }
    void SetTcg(json tcg) {
        machine_->Update([&](json& state) {
            for (auto& disk : state["disks"])
                if (disk.value("device_number", -1) == 0)
                    disk["tcg"] = tcg;
        });
    }
};

// Discovery data: the header with its length word, then descriptors (code, length of the body).
struct Discovery {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(48);
    explicit Discovery(uint32_t length) {
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<uint8_t>(length >> (24 - 8 * i));
    }
    Discovery& Descriptor(uint16_t code, uint8_t length, uint8_t flags = 0) {
        const size_t at = bytes.size();
        bytes.resize(at + 4 + length);
        bytes[at] = static_cast<uint8_t>(code >> 8);
        bytes[at + 1] = static_cast<uint8_t>(code);
        bytes[at + 2] = 0x10;
        bytes[at + 3] = length;
        if (length > 0)
            bytes[at + 4] = flags;
        return *this;
    }
    std::string Hex() const {
        std::string hex;
        char byte[3];
        for (uint8_t b : bytes) {
            std::snprintf(byte, sizeof(byte), "%02X", b);
            hex += byte;
        }
        return hex;
    }
};

TEST_F(ScsiPassThrough, SecurityProtocolInRequestIsByteExact) {
    CIoctlScsiSecurityProtocolIn request(Disk(), 44);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    auto sends = Sends();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].selectors["code"], 0x4D014);
    EXPECT_EQ(sends[0].selectors["object"], "disk");

    std::vector<uint8_t> expected(512);
    const uint8_t head[] = {56, 0, 0, 2, 0, 0, 12, 32, 1};
    std::memcpy(expected.data(), head, sizeof(head));
    Expected e(expected, 512);
    e.Word(12, 512).Word(16, 1000).Word(32, 60);
    const uint64_t data = reinterpret_cast<uintptr_t>(request.GetDataBuffer());
    std::memcpy(e.bytes.data() + 24, &data, 8);
    const uint8_t cdb[12] = {0xA2, 0x01, 0x00, 0x01, 0x80, 0, 0, 0, 0, 0x01, 0, 0};
    std::memcpy(e.bytes.data() + 36, cdb, sizeof(cdb));
    EXPECT_EQ(sends[0].input, e.bytes);
    EXPECT_EQ(request.GetOutBuffer(), request.GetInBuffer());
    EXPECT_EQ(request.GetOutBuffer()[2], 0); // SCSI status good
}

TEST_F(ScsiPassThrough, LockingBitsComeFromTheDisk) {
    const struct { bool enabled, locked; } cases[] = {{false, false}, {true, false}, {true, true}};
    for (const auto& c : cases) {
        SetTcg({{"locking_enabled", c.enabled}, {"locked", c.locked}});
        CIoctlScsiSecurityProtocolIn request(Disk(), 44);
        ASSERT_TRUE(request.Invoke().IsSuccessful());
        const BYTE* locking = request.FindLockingFeature();
        ASSERT_NE(locking, nullptr);
        // After the 16-byte TPer descriptor.
        EXPECT_EQ(locking, request.GetDataBuffer() + 48 + 16);
        EXPECT_EQ((locking[4] & 0x02) != 0, c.enabled);
        EXPECT_EQ((locking[4] & 0x04) != 0, c.locked);
    }
}

TEST_F(ScsiPassThrough, LockingFeatureWalkStaysWithinTheData) {
    const struct {
        const char* what;
        Discovery data;
        ptrdiff_t found; // offset of the descriptor found, -1 for none
    } cases[] = {
        {"no length", Discovery(0).Descriptor(0x0002, 12), -1},
        {"after a descriptor of length 12", Discovery(76).Descriptor(0x0001, 12).Descriptor(0x0002, 12), 64},
        {"header only", Discovery(44), -1},
        // A length of 600 covers only the 464 bytes after the header: the last descriptor ends at 512.
        {"ends at the buffer",
         Discovery(600).Descriptor(0x0001, 252).Descriptor(0x0003, 192).Descriptor(2, 8), 500},
        {"would run past the buffer",
         Discovery(600).Descriptor(0x0001, 252).Descriptor(0x0003, 192).Descriptor(2, 12), -1},
        {"runs past the stated length", Discovery(100).Descriptor(0x0001, 200).Descriptor(0x0002, 12), -1},
        {"four bytes left", Discovery(64).Descriptor(0x0001, 12).Descriptor(0x0002, 12), -1},
    };
    for (const auto& c : cases) {
        SetTcg({{"discovery_hex", c.data.Hex()}});
        CIoctlScsiSecurityProtocolIn request(Disk(), 44);
        ASSERT_TRUE(request.Invoke().IsSuccessful()) << c.what;
        const BYTE* locking = request.FindLockingFeature();
        if (c.found < 0)
            EXPECT_EQ(locking, nullptr) << c.what;
        else
            EXPECT_EQ(locking, request.GetDataBuffer() + c.found) << c.what;
    }
}

TEST_F(ScsiPassThrough, UnverifiedOrEmptyAnswersHaveNoLockingFeature) {
    Inject({{"code", "0x4D014"}}, {{"bytes_returned", 20}});
    CIoctlScsiSecurityProtocolIn shortAnswer(Disk(), 44);
    EXPECT_EQ(shortAnswer.Invoke().GetErrorCode(), CConsolidatedError::DRIVER_SHORT_RESPONSE);
    EXPECT_EQ(shortAnswer.FindLockingFeature(), nullptr);

    CIoctlScsiSecurityProtocolIn unsent(Disk(), 44);
    EXPECT_EQ(unsent.FindLockingFeature(), nullptr);

    // A disk without TCG storage ends the command with CHECK CONDITION and moves no data.
    CIoctlScsiSecurityProtocolIn plain(Open("\\\\.\\PhysicalDrive1"), 44);
    ASSERT_TRUE(plain.Invoke().IsSuccessful());
    EXPECT_EQ(plain.GetOutBuffer()[2], 2);
    EXPECT_EQ(plain.FindLockingFeature(), nullptr);
}

TEST_F(ScsiPassThrough, ResetSendsAgainWithAFreshDataBuffer) {
    CIoctlScsiSecurityProtocolIn request(Disk(), 44);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    EXPECT_EQ(request.Invoke().GetErrorCode(), CConsolidatedError::IOCTL_PREVIOUSLY_PERFORMED);
    ASSERT_TRUE(request.Reset().IsSuccessful());
    EXPECT_EQ(request.GetDataBuffer(), nullptr);
    EXPECT_EQ(request.FindLockingFeature(), nullptr);
    ASSERT_TRUE(request.Invoke().IsSuccessful());
    uint64_t sent = 0;
    std::memcpy(&sent, LastInput().data() + 24, 8);
    EXPECT_EQ(sent, reinterpret_cast<uintptr_t>(request.GetDataBuffer()));
    EXPECT_NE(request.FindLockingFeature(), nullptr);
    EXPECT_EQ(SendCount(), 2u);
}

TEST_F(ScsiPassThrough, AnOutputLargerThanTheInputIsRefusedBeforeTheCall) {
    CIoctlScsiPassThroughDirect request(Disk(), 0x00, SCSI_IOCTL_DATA_UNSPECIFIED, 56, 512, 0);
    CConsolidatedError result = request.Invoke();
    EXPECT_EQ(result.GetErrorCode(), CConsolidatedError::IOCTL_OUT_BUFFER_SIZE);
    EXPECT_EQ(SendCount(), 0u);
}

TEST_F(ScsiPassThrough, OperationCodeNames) {
    const struct {
        UCHAR code;
        const char* name;
    } cases[] = {
        {0x00, "SCSI_TEST_UNIT_READY"},
        {0x12, "SCSI_INQUIRY"},
        {0x85, "SCSI_ATA_PASSTHRU_16"},
        {0xA2, "SCSI_SECURITY_PROTOCOL_IN"},
        {0xB5, "SCSI_SECURITY_PROTOCOL_OUT"},
        {0x05, "Unknown"},
        {0xFF, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(GetScsiOperationName(c.code), c.name);
}

} // namespace
