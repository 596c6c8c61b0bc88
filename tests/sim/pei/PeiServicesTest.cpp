// The PEI services table: its signature, boot mode and pages.
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include "sim/Machine.h"
#include "sim/pei/PeiEnvironment.h"

namespace {

class PeiServicesTest : public ::testing::Test {
protected:
    const EFI_PEI_SERVICES* Table() { return *env_.Services(); }
    sim::ScopedMachine machine_;
    sim::pei::Environment env_;
};

TEST_F(PeiServicesTest, TheTableCarriesItsSignatureAndThePpisOfTheFoundation) {
    EXPECT_EQ(Table()->Hdr.Signature, PEI_SERVICES_SIGNATURE);
    EXPECT_EQ(std::memcmp(&Table()->Hdr.Signature, "PEI SERV", 8), 0);
    EXPECT_NE(Table()->CpuIo, nullptr);
    EXPECT_NE(Table()->PciCfg, nullptr);
}

TEST_F(PeiServicesTest, TheBootModeIsTheOneSet) {
    EFI_BOOT_MODE mode = 0xFF;
    env_.SetBootMode(BOOT_ON_S3_RESUME);
    EXPECT_EQ(Table()->GetBootMode(env_.Services(), &mode), EFI_SUCCESS);
    EXPECT_EQ(mode, BOOT_ON_S3_RESUME);
    EXPECT_EQ(Table()->GetBootMode(env_.Services(), nullptr), EFI_INVALID_PARAMETER);
    machine_->faults().Add(R"({"kind": "PeiGetBootMode", "outcome": {"error": 7}})");
    EXPECT_EQ(Table()->GetBootMode(env_.Services(), &mode), EFI_DEVICE_ERROR);
}

TEST_F(PeiServicesTest, PagesAreAlignedBelow4GbAndNotZeroed) {
    EFI_PHYSICAL_ADDRESS memory = 0;
    ASSERT_EQ(Table()->AllocatePages(env_.Services(), EfiBootServicesData, 3, &memory), EFI_SUCCESS);
    EXPECT_EQ(memory % 4096, 0u);
    EXPECT_LT(memory + 3 * 4096, 0x100000000ull);
    EXPECT_EQ(*reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(memory) + 5000), 0xAF);
    EXPECT_EQ(Table()->AllocatePages(env_.Services(), EfiBootServicesData, 0, &memory),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(Table()->AllocatePages(env_.Services(), EfiConventionalMemory, 1, &memory),
              EFI_INVALID_PARAMETER);
    EXPECT_EQ(Table()->AllocatePages(env_.Services(), EfiBootServicesData, 1u << 20, &memory),
              EFI_OUT_OF_RESOURCES);
    machine_->faults().Add(R"({"kind": "PeiAllocatePages", "match": {"pages": 2}, "outcome": {"error": 9}})");
    EXPECT_EQ(Table()->AllocatePages(env_.Services(), EfiBootServicesData, 2, &memory), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(machine_->calls().CountMatching("PeiAllocatePages", R"({"memory_type": 4})"), 4u);
}

TEST_F(PeiServicesTest, OnePeiPhaseAtATime) {
    EXPECT_THROW(sim::pei::Environment second, std::logic_error);
}

} // namespace
