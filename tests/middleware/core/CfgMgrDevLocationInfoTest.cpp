#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrDevLocationInfo.h"
#include "middleware/core/CfgMgrException.h"
#include "sim/Machine.h"
#include "tests/middleware/core/CfgMgrTestFixture.h"

namespace {

using namespace MoxCfgMgr;
using cfgmgrtest::ThrownText;

std::vector<uint8_t> WideBytes(const std::vector<std::wstring>& texts, bool list) {
    std::vector<uint8_t> out;
    auto put = [&](const std::wstring& s) {
        const auto* p = reinterpret_cast<const uint8_t*>(s.c_str());
        out.insert(out.end(), p, p + (s.size() + 1) * sizeof(wchar_t));
    };
    for (const auto& s : texts)
        put(s);
    if (list)
        put(L"");
    return out;
}

// A device whose cache holds the four properties a location is made of.
class CachedDev : public IDev {
public:
    CachedDev(uint32_t address, uint32_t bus, const std::wstring& service,
              const std::vector<std::wstring>& paths) {
        std::vector<uint8_t> a(4), b(4);
        for (int i = 0; i < 4; ++i) {
            a[i] = static_cast<uint8_t>(address >> (8 * i));
            b[i] = static_cast<uint8_t>(bus >> (8 * i));
        }
        cache_[DevProperty::Address] = {DevPropertyValue::kUint32, a};
        cache_[DevProperty::BusNumber] = {DevPropertyValue::kUint32, b};
        cache_[DevProperty::Service] = {DevPropertyValue::kString, WideBytes({service}, false)};
        cache_[DevProperty::LocationPaths] = {DevPropertyValue::kStringList, WideBytes(paths, true)};
    }
    std::wstring getInterfacePath() const override { return {}; }
    std::wstring getInstanceId() const override { return {}; }
    DEVINST getDevNode() const override { return 0; }
    IDev& updateProperty(int) override { return *this; }
    DevPropertyValue getProperty(int id) const override { return cache_.at(id); }

private:
    std::map<int, DevPropertyValue> cache_;
};

TEST(CfgMgrDevLocationInfo, AcpiElementOfTheFirstMatchingPath) {
    struct Case {
        std::vector<std::wstring> paths;
        std::wstring name;
        int number;
    };
    const std::vector<Case> cases = {
        {{L"PCIROOT(0)#PCI(1700)", L"ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)"}, L"SAT", 0},
        {{L"PCIROOT(0)#PCI(1D00)#PCI(0000)", L"ACPI(_SB_)#ACPI(PCI0)#ACPI(RP09)#PCI(0000)"}, L"RP", 9},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(RP21)"}, L"RP", 21},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(PEG1)"}, L"PEG", 1},
        // The first path with an element decides; within a path the first element does.
        {{L"PCIROOT(0)#PCI(0100)", L"x#ACPI(PEG0)", L"y#ACPI(RP01)"}, L"PEG", 0},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(RP09)#ACPI(SAT1)"}, L"RP", 9},
        // Not elements: one digit after RP, two after SAT, three after RP, no '#', lower case.
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(RP5)"}, L"", -1},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT12)"}, L"", -1},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(RP123)"}, L"", -1},
        {{L"ACPI(RP05)"}, L"", -1},
        {{L"ACPI(_SB_)#ACPI(PCI0)#ACPI(rp09)"}, L"", -1},
        {{L"PCIROOT(0)#PCI(1D00)"}, L"", -1},
        {{}, L"", -1},
    };
    for (const auto& c : cases) {
        CachedDev dev(0x1D0003, 2, L"moxraid", c.paths);
        DevLocationInfo info(dev);
        std::string trace = c.paths.empty() ? "" : std::string(c.paths.back().begin(), c.paths.back().end());
        EXPECT_EQ(info.getAcpiElementName(), c.name) << trace;
        EXPECT_EQ(info.getAcpiElementNumber(), c.number) << trace;
        EXPECT_EQ(info.getDevice(), 0x1D);
        EXPECT_EQ(info.getFunction(), 3);
        EXPECT_EQ(info.getBusNumber(), 2);
        EXPECT_EQ(info.getServiceName(), L"moxraid");
    }
}

TEST(CfgMgrDevLocationInfo, DeviceAndFunctionAreTheirOwnBytesOfTheAddress) {
    CachedDev dev(0xAB1F0207, 0, L"", {});
    DevLocationInfo info(dev);
    EXPECT_EQ(info.getDevice(), 0x1F);
    EXPECT_EQ(info.getFunction(), 0x07);
    EXPECT_EQ(info.getServiceName(), L"");
}

TEST(CfgMgrDevLocationInfo, NeedsThePropertiesInTheCache) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    auto full = cfgmgrtest::Factory(kLocateNormal, {1, 2, 3, 5})(L"", cfgmgrtest::kCtl);
    DevLocationInfo info(*full);
    EXPECT_EQ(info.getBusNumber(), 0);
    EXPECT_EQ(info.getDevice(), 0x17);
    EXPECT_EQ(info.getAcpiElementName(), L"SAT");
    EXPECT_EQ(info.getAcpiElementNumber(), 0);

    // The bus number was not read: the location fails on it (address comes first).
    auto partial = cfgmgrtest::Factory(kLocateNormal, {1, 2, 5})(L"", cfgmgrtest::kCtl);
    EXPECT_EQ(ThrownText([&] { (void)DevLocationInfo{*partial}; }),
              "[CfgMgrException] Device failed while getting property [3] with exception: map::at");
    // A disk has none of them.
    auto disk = cfgmgrtest::Factory(kLocateNormal, {1, 2, 3, 5})(L"", cfgmgrtest::kDisk0);
    EXPECT_EQ(ThrownText([&] { (void)DevLocationInfo{*disk}; }),
              "[CfgMgrException] Device failed while getting property [2] with exception: map::at");
}

} // namespace
