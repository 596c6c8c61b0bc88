// The IOMMU double: buffers, mappings, the access they grant and a device's accesses through them.
#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "sim/pei/PeiEnvironment.h"

namespace {

class IommuTest : public ::testing::Test {
protected:
    IommuTest() { env_.iommu().Install(); }
    EDKII_IOMMU_PPI* Ppi() {
        VOID* ppi = nullptr;
        EXPECT_EQ((*env_.Services())->LocatePpi(env_.Services(), &gEdkiiIoMmuPpiGuid, 0, nullptr, &ppi),
                  EFI_SUCCESS);
        return static_cast<EDKII_IOMMU_PPI*>(ppi);
    }
    sim::ScopedMachine machine_;
    sim::pei::Environment env_;
};

TEST_F(IommuTest, AMappingGrantsNothingUntilItsAccessIsSet) {
    EDKII_IOMMU_PPI* iommu = Ppi();
    VOID* host = nullptr;
    ASSERT_EQ(iommu->AllocateBuffer(iommu, EfiBootServicesData, 1, &host, 0), EFI_SUCCESS);
    UINTN bytes = 100;
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    ASSERT_EQ(iommu->Map(iommu, EdkiiIoMmuOperationBusMasterCommonBuffer, host, &bytes, &device, &mapping),
              EFI_SUCCESS);
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_FALSE(env_.DeviceWrite(device, data, 4));
    ASSERT_EQ(iommu->SetAttribute(iommu, mapping, EDKII_IOMMU_ACCESS_WRITE), EFI_SUCCESS);
    EXPECT_TRUE(env_.DeviceWrite(device, data, 4));
    EXPECT_EQ(static_cast<uint8_t*>(host)[3], 4);
    uint8_t back[4];
    EXPECT_FALSE(env_.DeviceRead(device, back, 4));
    // Past the mapped bytes, though inside the page.
    EXPECT_FALSE(env_.DeviceWrite(device + 98, data, 4));
    EXPECT_EQ(env_.DmaRefusals().size(), 3u);
    EXPECT_EQ(iommu->SetAttribute(iommu, mapping, 4), EFI_UNSUPPORTED);
    EXPECT_EQ(iommu->Unmap(iommu, mapping), EFI_SUCCESS);
    EXPECT_EQ(iommu->Unmap(iommu, mapping), EFI_INVALID_PARAMETER);
}

TEST_F(IommuTest, ACommonBufferMustComeFromTheIommu) {
    EDKII_IOMMU_PPI* iommu = Ppi();
    uint8_t own[64];
    UINTN bytes = sizeof own;
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    EXPECT_EQ(iommu->Map(iommu, EdkiiIoMmuOperationBusMasterCommonBuffer, own, &bytes, &device, &mapping),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(iommu->Map(iommu, EdkiiIoMmuOperationBusMasterRead, own, &bytes, &device, &mapping),
              EFI_SUCCESS);
}

TEST_F(IommuTest, BuffersGoBackWithTheirPageCountAndTakeTheirMappingsAlong) {
    EDKII_IOMMU_PPI* iommu = Ppi();
    VOID* host = nullptr;
    ASSERT_EQ(iommu->AllocateBuffer(iommu, EfiBootServicesData, 2, &host, 0), EFI_SUCCESS);
    EXPECT_EQ(iommu->AllocateBuffer(iommu, EfiBootServicesData, 0, &host, 0), EFI_INVALID_PARAMETER);
    EXPECT_EQ(iommu->AllocateBuffer(iommu, EfiLoaderData, 1, &host, 0), EFI_INVALID_PARAMETER);
    EXPECT_EQ(iommu->AllocateBuffer(iommu, EfiBootServicesData, 1, &host, 0x1), EFI_UNSUPPORTED);
    UINTN bytes = 8192;
    EFI_PHYSICAL_ADDRESS device = 0;
    VOID* mapping = nullptr;
    ASSERT_EQ(iommu->Map(iommu, EdkiiIoMmuOperationBusMasterCommonBuffer, host, &bytes, &device, &mapping),
              EFI_SUCCESS);
    EXPECT_EQ(iommu->FreeBuffer(iommu, 1, host), EFI_INVALID_PARAMETER);
    EXPECT_EQ(iommu->FreeBuffer(iommu, 2, host), EFI_SUCCESS);
    EXPECT_TRUE(env_.iommu().Mappings().empty());
    ASSERT_EQ(env_.DmaRefusals().size(), 1u);
    EXPECT_NE(env_.DmaRefusals()[0].find("freed while mapped"), std::string::npos);
}

TEST(DmaWithoutIommuTest, DevicesReachOnlyThePagesHandedOut) {
    sim::ScopedMachine machine;
    sim::pei::Environment env;
    EFI_PHYSICAL_ADDRESS memory = 0;
    ASSERT_EQ((*env.Services())->AllocatePages(env.Services(), EfiBootServicesData, 1, &memory), EFI_SUCCESS);
    const uint8_t data[8] = {};
    EXPECT_TRUE(env.DeviceWrite(memory + 4088, data, 8));
    EXPECT_FALSE(env.DeviceWrite(memory + 4089, data, 8));
    EXPECT_EQ(env.DmaRefusals().size(), 1u);
}

} // namespace
