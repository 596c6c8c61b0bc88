// DMA buffers with and without the IOMMU PPI.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include <algorithm>
#include <cstring>

#include "firmware/moxsecpeim/DmaBuffers.h"

namespace {

using sim::pei::PageArena;

class DmaBuffersTest : public PeiModuleTest {
protected:
    DmaBuffersTest() { UseServices(); }
    void WithIommu() {
        env_.iommu().Install();
        LocateIommu(env_.Services());
        ASSERT_TRUE(IsIommuPresent());
    }
};

TEST_F(DmaBuffersTest, WithoutTheIommuBuffersArePlainZeroedPagesAndMappingWritesNothing) {
    LocateIommu(env_.Services());
    EXPECT_FALSE(IsIommuPresent());
    EFI_PHYSICAL_ADDRESS device = 0x1234;
    VOID* mapping = &device;
    auto* buffer =
        static_cast<uint8_t*>(DmaAllocateMapped(EdkiiIoMmuOperationBusMasterWrite, 5000, &device, &mapping));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(device, 0x1234u);
    EXPECT_EQ(mapping, &device);
    EXPECT_TRUE(std::all_of(buffer, buffer + 5000, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(Calls("PeiAllocatePages", R"({"pages": 2})"), 1u);
    EXPECT_EQ(DmaUnmapFree(5000, buffer, mapping), EFI_SUCCESS);
    EXPECT_EQ(Calls("IoMmuMap") + Calls("IoMmuUnmap") + Calls("IoMmuFreeBuffer"), 0u);
    // The device reaches the pages at their own address.
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_TRUE(env_.DeviceWrite(reinterpret_cast<uintptr_t>(buffer), data, sizeof data));
}

TEST_F(DmaBuffersTest, EachMappingGrantsTheAccessItsDirectionNeeds) {
    WithIommu();
    const uint8_t data[16] = {0x5A};
    uint8_t back[16];
    struct Case {
        EDKII_IOMMU_OPERATION operation;
        bool deviceReads, deviceWrites;
    };
    for (const Case& c : {Case{EdkiiIoMmuOperationBusMasterRead, true, false},
                          Case{EdkiiIoMmuOperationBusMasterWrite, false, true},
                          Case{EdkiiIoMmuOperationBusMasterCommonBuffer, true, true}}) {
        EFI_PHYSICAL_ADDRESS device = 0;
        VOID* mapping = nullptr;
        ASSERT_NE(DmaAllocateMapped(c.operation, 512, &device, &mapping), nullptr);
        EXPECT_EQ(env_.iommu().DeviceRead(device, back, sizeof back), c.deviceReads) << c.operation;
        EXPECT_EQ(env_.iommu().DeviceWrite(device, data, sizeof data), c.deviceWrites) << c.operation;
    }
    // The device's write into the buffer it may only read was refused.
    ASSERT_EQ(env_.DmaRefusals().size(), 2u);
    EXPECT_NE(env_.DmaRefusals()[0].find("device write"), std::string::npos);
}

TEST_F(DmaBuffersTest, AMappingOfAnotherByteCountIsUndoneAndItsBufferFreed) {
    WithIommu();
    machine_->faults().Add(R"({"kind": "IoMmuMap", "outcome": {"bytes": 256}})");
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    EXPECT_EQ(DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, 512, &device, &mapping), nullptr);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
    EXPECT_TRUE(env_.DmaRefusals().empty());
}

TEST_F(DmaBuffersTest, AMappingWhoseAccessCannotBeSetIsUndone) {
    WithIommu();
    machine_->faults().Add(R"({"kind": "IoMmuSetAttribute", "outcome": {"error": 3}})");
    auto* buffer = DmaAllocateBuffer(4096);
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    EXPECT_EQ(DmaMapBuffer(EdkiiIoMmuOperationBusMasterRead, buffer, 4096, &device, &mapping),
              EFI_UNSUPPORTED);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
}

TEST_F(DmaBuffersTest, IommuBuffersAreWholePagesAndGoBackToIt) {
    WithIommu();
    env_.iommu().SetDeviceOffset(0x40000000);
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    VOID* buffer = DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, 4097, &device, &mapping);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(device, reinterpret_cast<uintptr_t>(buffer) + 0x40000000ull);
    EXPECT_EQ(Calls("IoMmuAllocateBuffer", R"({"pages": 2})"), 1u);
    EXPECT_EQ(Calls("IoMmuSetAttribute", R"({"access": 3})"), 1u);
    EXPECT_EQ(env_.pages().Live(PageArena::Owner::PeiServices), 0u);
    EXPECT_EQ(DmaUnmapFree(4097, buffer, mapping), EFI_SUCCESS);
    EXPECT_EQ(env_.iommu().LiveBuffers(), 0u);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
}

TEST_F(DmaBuffersTest, AFailedUnmapKeepsTheBuffer) {
    WithIommu();
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    VOID* buffer = DmaAllocateMapped(EdkiiIoMmuOperationBusMasterWrite, 100, &device, &mapping);
    machine_->faults().Add(R"({"kind": "IoMmuUnmap", "outcome": {"error": 7}})");
    EXPECT_EQ(DmaUnmapFree(100, buffer, mapping), EFI_DEVICE_ERROR);
    EXPECT_EQ(env_.iommu().LiveBuffers(), 1u);
}

TEST_F(DmaBuffersTest, AnAllocationThatFailsOrComesBackWithoutAnAddressGivesNone) {
    WithIommu();
    machine_->faults().Add(R"({"kind": "IoMmuAllocateBuffer", "outcome": {"error": 9}})");
    EXPECT_EQ(DmaAllocateBuffer(64), nullptr);
    machine_->faults().Add(R"({"kind": "IoMmuAllocateBuffer", "outcome": {"no_address": true}})");
    EXPECT_EQ(DmaAllocateBuffer(64), nullptr);
}

TEST_F(DmaBuffersTest, APresentIommuWithoutItsPpiRefusesEveryOperation) {
    gMoxSecPeim.IommuPresent = TRUE;
    gMoxSecPeim.IoMmu = nullptr;
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    uint8_t host[16];
    EXPECT_EQ(DmaAllocateBuffer(16), nullptr);
    EXPECT_EQ(DmaMapBuffer(EdkiiIoMmuOperationBusMasterRead, host, 16, &device, &mapping), EFI_DEVICE_ERROR);
    EXPECT_EQ(DmaUnmap(&device), EFI_DEVICE_ERROR);
    EXPECT_EQ(DmaFreeBuffer(16, host), EFI_DEVICE_ERROR);
    EXPECT_EQ(DmaUnmapFree(16, host, &device), EFI_DEVICE_ERROR);
}

} // namespace
