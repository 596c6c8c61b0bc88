// PCI configuration, register and memory helpers of the module.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include <cstring>
#include <vector>

#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/PciAccess.h"

namespace {

constexpr uint64_t kSata = 0x170000;

class PciAccessTest : public PeiModuleTest {
protected:
    PciAccessTest() { UseServices(); }
    void SetBars(std::vector<uint32_t> bars) {
        for (size_t i = 0; i < bars.size(); ++i)
            env_.pci().Find(0, 0x17, 0)->Set(0x10 + 4 * static_cast<uint32_t>(i), 4, bars[i]);
    }
};

struct BarCase {
    const char* name;
    std::vector<uint32_t> bars;
    uint32_t index;
    uint32_t expected;
};

class BarAddressTest : public PciAccessTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(BarAddressTest, DecodesTheBar) {
    SetBars(GetParam().bars);
    EXPECT_EQ(GetBarAddress(kSata, GetParam().index), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, BarAddressTest,
    ::testing::Values(BarCase{"Memory32", {0, 0, 0, 0, 0, 0xFE010008}, 5, 0xFE010000},
                      BarCase{"Io", {0, 0, 0, 0, 0xF021, 0}, 4, 0},
                      BarCase{"Below1MbType", {0, 0, 0, 0, 0, 0x000D0002}, 5, 0},
                      BarCase{"ReservedType", {0, 0, 0, 0, 0, 0xFE010006}, 5, 0},
                      BarCase{"Memory64AsBar5HasNoUpperHalf", {0, 0, 0, 0, 0, 0xFE01000C}, 5, 0},
                      BarCase{"Memory64Below4Gb", {0, 0, 0xFE01000C, 0, 0, 0}, 2, 0xFE010000},
                      BarCase{"Memory64Above4Gb", {0, 0, 0xFE01000C, 0x1, 0, 0}, 2, 0},
                      BarCase{"Memory64AtZero", {0, 0, 0x4, 0, 0, 0}, 2, 0},
                      BarCase{"Unset", {0, 0, 0, 0, 0, 0}, 5, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PciAccessTest, AnAbsentFunctionHasTheAllOnesAddress) {
    EXPECT_EQ(GetPciAddress(0, 0x17, 0), kSata);
    EXPECT_EQ(GetPciAddress(0, 0x17, 1), MOX_PCI_ADDRESS_NONE);
    EXPECT_EQ(GetPciAddress(2, 0, 0), 0x02000000u);
}

TEST_F(PciAccessTest, ExtendedRegistersGoIntoTheUpperHalfOfTheAddress) {
    env_.pci().Find(0, 0x17, 0)->Set(0x100, 4, 0x12345678);
    env_.pci().Find(0, 0x17, 0)->Set(0xFC, 4, 0x9ABCDEF0);
    EXPECT_EQ(PciRead32(kSata, 0x100), 0x12345678u);
    EXPECT_EQ(PciRead32(kSata, 0xFC), 0x9ABCDEF0u);
    EXPECT_EQ(Calls("PeiPciCfgRead", R"({"device": 23, "register": 256, "width": 4})"), 1u);
    PciWrite32(kSata, 0x104, 0xCAFEF00D);
    EXPECT_EQ(env_.pci().Find(0, 0x17, 0)->Get(0x104, 4), 0xCAFEF00Du);
}

TEST_F(PciAccessTest, EnablingTurnsOnMemoryAndBusMasteringAndKeepsTheOtherBits) {
    env_.pci().Find(0, 0x17, 0)->Set(0x04, 2, 0x0401);
    EnablePciDevice(kSata);
    EXPECT_EQ(SataCommand(), 0x0407);
    EXPECT_EQ(Calls("PeiPciCfgWrite", R"({"register": 4, "width": 2, "value": 1031})"), 1u);
}

// A register block that remembers the accesses it sees.
struct Registers : sim::pei::MmioDevice {
    struct Access {
        uint64_t offset;
        unsigned bytes;
        uint64_t value;
        bool operator==(const Access&) const = default;
    };
    std::vector<Access> seen;
    uint64_t Read(uint64_t offset, unsigned bytes) override {
        seen.push_back({offset, bytes, 0});
        return 0x8877665544332211ull;
    }
    void Write(uint64_t offset, unsigned bytes, uint64_t value) override {
        seen.push_back({offset, bytes, value});
    }
};

TEST_F(PciAccessTest, RegistersAreReachedAtTheirAddressWithTheirWidth) {
    Registers block;
    env_.pci().MapMmio(0xFED00000, 0x1000, &block);
    EXPECT_EQ(MmioRead8(0xFED00010), 0x11);
    EXPECT_EQ(MmioRead16(0xFED00012), 0x2211);
    EXPECT_EQ(MmioRead32(0xFED00014), 0x44332211u);
    EXPECT_EQ(MmioRead64(0xFED00018), 0x8877665544332211ull);
    MmioWrite8(0xFED00020, 0xAB);
    MmioWrite16(0xFED00022, 0xABCD);
    MmioWrite32(0xFED00024, 0x01234567);
    MmioWrite64(0xFED00028, 0x0123456789ABCDEFull);
    using A = Registers::Access;
    EXPECT_EQ(block.seen, (std::vector<A>{A{0x10, 1, 0}, A{0x12, 2, 0}, A{0x14, 4, 0}, A{0x18, 8, 0},
                                          A{0x20, 1, 0xAB}, A{0x22, 2, 0xABCD}, A{0x24, 4, 0x01234567},
                                          A{0x28, 8, 0x0123456789ABCDEFull}}));
    // Nothing answers elsewhere.
    EXPECT_EQ(MmioRead32(0xFED01000), 0xFFFFFFFFu);
}

TEST_F(PciAccessTest, ServicesComeFromBelowTheInterruptTableUntilEntryCachesThem) {
    gMoxSecPeim.PeiServices = nullptr;
    EXPECT_EQ(GetPeiServices(), env_.Services());
    const EFI_PEI_SERVICES* other = nullptr;
    env_.SetServicesBelowIdt(&other);
    EXPECT_EQ(GetPeiServices(), &other);
    gMoxSecPeim.PeiServices = env_.Services();
    EXPECT_EQ(GetPeiServices(), env_.Services());
}

TEST_F(PciAccessTest, BootPagesAreWholePagesOfBootServicesData) {
    void* one = AllocateBootPages(1);
    void* two = AllocateBootPages(4097);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(two) % 4096, 0u);
    EXPECT_EQ(Calls("PeiAllocatePages", R"({"memory_type": 4, "pages": 1})"), 1u);
    EXPECT_EQ(Calls("PeiAllocatePages", R"({"memory_type": 4, "pages": 2})"), 1u);
    machine_->faults().Add(R"({"kind": "PeiAllocatePages", "outcome": {"error": 9}})");
    EXPECT_EQ(AllocateBootPages(16), nullptr);
}

TEST(CopyMemCheckedTest, CopiesWhatFitsAndZeroesTheDestinationOtherwise) {
    struct Case {
        const char* name;
        size_t destinationSize;
        bool source;
        size_t sourceSize;
        EFI_STATUS status;
        const char* expected;
    };
    for (const Case& c :
         {Case{"Fits", 4, true, 3, EFI_SUCCESS, "abcx"}, Case{"Exactly", 4, true, 4, EFI_SUCCESS, "abcd"},
          Case{"TooLong", 3, true, 4, EFI_INVALID_PARAMETER, "\0\0\0x"},
          Case{"NoSource", 4, false, 2, EFI_INVALID_PARAMETER, "\0\0\0\0"},
          Case{"EmptySource", 4, true, 0, EFI_INVALID_PARAMETER, "xxxx"}}) {
        char destination[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(CopyMemChecked(destination, c.destinationSize, c.source ? "abcd" : nullptr, c.sourceSize),
                  c.status)
            << c.name;
        EXPECT_EQ(std::memcmp(destination, c.expected, 4), 0) << c.name;
    }
    EXPECT_EQ(CopyMemChecked(nullptr, 4, "abcd", 4), EFI_INVALID_PARAMETER);
}

} // namespace
