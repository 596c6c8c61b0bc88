#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrDev.h"
#include "middleware/core/CfgMgrDevNodeGetters.h"
#include "middleware/core/CfgMgrException.h"
#include "sim/Machine.h"
#include "tests/middleware/core/CfgMgrTestFixture.h"

namespace {

using namespace MoxCfgMgr;
using cfgmgrtest::ThrownText;
using json = sim::Value;

std::vector<uint8_t> Bytes(const std::wstring& text, size_t extraNuls = 1) {
    std::vector<uint8_t> out(reinterpret_cast<const uint8_t*>(text.data()),
                             reinterpret_cast<const uint8_t*>(text.data() + text.size()));
    out.resize(out.size() + extraNuls * sizeof(wchar_t), 0);
    return out;
}

std::unique_ptr<CfgMgrDev> MakeDev(const std::wstring& path, const std::wstring& id, int flag,
                                   std::vector<int> ids) {
    return std::unique_ptr<CfgMgrDev>(
        static_cast<CfgMgrDev*>(cfgmgrtest::Factory(flag, ids)(path, id).release()));
}

TEST(CfgMgrDev, ResolvesTheInstanceIdOnlyWhenItIsNotGiven) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    auto fromPath = MakeDev(cfgmgrtest::kDisk0Path, L"", kLocateNormal, {});
    EXPECT_EQ(fromPath->getInstanceId(), cfgmgrtest::kDisk0);
    EXPECT_EQ(fromPath->getInterfacePath(), cfgmgrtest::kDisk0Path);
    EXPECT_EQ(fromPath->getDevNode(), 3u);
    auto resolves = machine->calls().Of("CM_Get_Device_Interface_Property");
    ASSERT_EQ(resolves.size(), 2u);
    EXPECT_EQ(resolves[0].selectors["size_query"], true);
    EXPECT_EQ(resolves[1].selectors["size_query"], false);
    EXPECT_EQ(resolves[0].selectors["property"], "InstanceId");

    machine->calls().Clear();
    auto fromId = MakeDev(L"", cfgmgrtest::kCtl, kLocateNormal, {});
    EXPECT_EQ(fromId->getInstanceId(), cfgmgrtest::kCtl);
    EXPECT_EQ(fromId->getInterfacePath(), L"");
    EXPECT_EQ(fromId->getDevNode(), 2u);
    EXPECT_EQ(machine->calls().Count("CM_Get_Device_Interface_Property"), 0u);

    // Without getters nothing is looked up.
    CfgMgrDev bare(L"p", L"", kLocateNormal, {1, 2}, nullptr, nullptr, nullptr);
    EXPECT_EQ(bare.getInstanceId(), L"");
    EXPECT_EQ(bare.getDevNode(), 0u);
    EXPECT_EQ(ThrownText([&] { bare.updateProperty(1); }), "[CfgMgrException] dev prop getter not set");
}

TEST(CfgMgrDev, ResolverFailures) {
    const std::string prefix = "[CfgMgrException] resolving device instance path failed with: ";
    struct Case {
        const char* name;
        std::wstring path;
        bool onSizeQuery;
        json outcome; // null: no fault
        std::string number;
    };
    const std::vector<Case> cases = {
        {"unknown interface", L"\\\\?\\nothing", true, nullptr, "55"},
        {"size query answers success", cfgmgrtest::kDisk0Path, true, {{"cr", CR_SUCCESS}}, "0"},
        {"read fails", cfgmgrtest::kDisk0Path, false, {{"cr", CR_FAILURE}}, "19"},
        {"read has the wrong type", cfgmgrtest::kDisk0Path, false, {{"type", DEVPROP_TYPE_STRING_LIST}}, "0"},
    };
    for (const auto& c : cases) {
        sim::ScopedMachine machine(cfgmgrtest::Fixture());
        if (!c.outcome.is_null())
            machine->faults().Add(
                {"CM_Get_Device_Interface_Property", {{"size_query", c.onSizeQuery}}, 0, 1, c.outcome});
        EXPECT_EQ(ThrownText([&] { DevInstancePathResolver().resolve(c.path); }), prefix + c.number)
            << c.name;
        // A device built from the path fails the same way.
        if (c.outcome.is_null()) {
            EXPECT_EQ(ThrownText([&] { MakeDev(c.path, L"", kLocateNormal, {}); }), prefix + c.number);
        }
    }
}

TEST(CfgMgrDev, LocateFlags) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    DevInstanceGetter getter;
    EXPECT_EQ(getter.getDevNode(cfgmgrtest::kCtl, kLocateNormal), 2u);
    EXPECT_EQ(getter.getDevNode(cfgmgrtest::kDisk1, kLocatePhantom), 4u);
    EXPECT_EQ(getter.getDevNode(L"", kLocateNormal), 1u);
    EXPECT_EQ(ThrownText([&] { getter.getDevNode(cfgmgrtest::kDisk1, kLocateNormal); }),
              "[CfgMgrException] Locate dev node failed with: 13");
    EXPECT_EQ(ThrownText([&] { getter.getDevNode(cfgmgrtest::kCtl, 0); }),
              "[CfgMgrException] invalid flag provided0");
    EXPECT_EQ(ThrownText([&] { getter.getDevNode(cfgmgrtest::kCtl, 3); }),
              "[CfgMgrException] invalid flag provided3");
    auto locates = machine->calls().Of("CM_Locate_DevNode");
    ASSERT_EQ(locates.size(), 4u);
    EXPECT_EQ(locates[0].selectors["flags"], CM_LOCATE_DEVNODE_NORMAL);
    EXPECT_EQ(locates[1].selectors["flags"], CM_LOCATE_DEVNODE_PHANTOM);

    // A phantom device is made with the phantom flag; a failed locate fails the device.
    EXPECT_EQ(MakeDev(L"", cfgmgrtest::kDisk1, kLocatePhantom, {})->getDevNode(), 4u);
    EXPECT_EQ(ThrownText([&] { MakeDev(L"", cfgmgrtest::kDisk1, kLocateNormal, {}); }),
              "[CfgMgrException] Locate dev node failed with: 13");
}

TEST(CfgMgrDev, EachPropertyIdReadsItsKey) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    const std::vector<std::string> names = {
        "IsPresent",           "Service",     "Address",       "BusNumber",     "Parent",
        "LocationPaths",       "DeviceDesc",  "DriverVersion", "PciSubClass",   "PciCurrentLinkSpeed",
        "PciCurrentLinkWidth", "HardwareIds", "FriendlyName",  "CompatibleIds", "ContainerId",
        "Capabilities"};
    std::vector<int> all;
    for (int id = 0; id < 16; ++id)
        all.push_back(id);
    MakeDev(L"", cfgmgrtest::kCtl, kLocateNormal, all);
    auto reads = machine->calls().Of("CM_Get_DevNode_Property");
    std::vector<std::string> sizeQueries;
    for (const auto& r : reads) {
        EXPECT_EQ(r.selectors["devinst"], 2);
        if (r.selectors["size_query"] == true)
            sizeQueries.push_back(r.selectors["property"].get<std::string>());
    }
    EXPECT_EQ(sizeQueries, names);
}

TEST(CfgMgrDev, PropertyGetterTurnsTypesIntoKinds) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    auto ctl = MakeDev(L"", cfgmgrtest::kCtl, kLocateNormal, {});
    auto phantom = MakeDev(L"", cfgmgrtest::kDisk1, kLocatePhantom, {});
    DevPropGetterDevNode getter;
    struct Case {
        const char* name;
        const IDev* dev;
        int id;
        int kind;
        std::vector<uint8_t> bytes;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"text", ctl.get(), DevProperty::Service, DevPropertyValue::kString, Bytes(L"moxraid"), ""},
        {"number", ctl.get(), DevProperty::Address, DevPropertyValue::kUint32, {0, 0, 0x17, 0}, ""},
        {"list", ctl.get(), DevProperty::LocationPaths, DevPropertyValue::kStringList,
         [] {
             auto a = Bytes(L"PCIROOT(0)#PCI(1700)");
             auto b = Bytes(L"ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)", 2);
             a.insert(a.end(), b.begin(), b.end());
             return a;
         }(),
         ""},
        {"boolean", phantom.get(), DevProperty::IsPresent, DevPropertyValue::kBoolean, {0}, ""},
        {"guid",
         ctl.get(),
         DevProperty::ContainerId,
         DevPropertyValue::kGuid,
         {0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
         ""},
        {"empty value", ctl.get(), DevProperty::FriendlyName, DevPropertyValue::kString, {}, ""},
        {"byte", ctl.get(), DevProperty::PciDevice4, 0, {}, "invalid type : 3"},
        {"missing", ctl.get(), DevProperty::DeviceDesc, 0, {}, "get dev node property failed with: 37"},
        {"id too large", ctl.get(), 16, 0, {}, "could not resolve device property, got: 16"},
        {"negative id", ctl.get(), -1, 0, {}, "could not resolve device property, got: -1"},
    };
    for (const auto& c : cases) {
        DevPropertyValue v;
        std::string error = ThrownText([&] { v = getter.getProperty(*c.dev, c.id); });
        EXPECT_EQ(error, c.error.empty() ? "" : "[CfgMgrException] " + c.error) << c.name;
        if (!c.error.empty())
            continue;
        EXPECT_EQ(v.kind, c.kind) << c.name;
        EXPECT_EQ(v.bytes, c.bytes) << c.name;
    }

    machine->faults().Add({"CM_Get_DevNode_Property", {{"size_query", false}}, 0, 1, {{"cr", CR_FAILURE}}});
    EXPECT_EQ(ThrownText([&] { getter.getProperty(*ctl, DevProperty::Service); }),
              "[CfgMgrException] get dev node property failed with: 19");
}

TEST(CfgMgrDev, PropertiesThatFailAtConstructionAreMissingLater) {
    sim::ScopedMachine machine(cfgmgrtest::Fixture());
    // The first of two reads of the service answers another text: the first read wins.
    machine->faults().Add({"CM_Get_DevNode_Property",
                           {{"property", "Service"}, {"size_query", false}},
                           0,
                           1,
                           {{"value", "first!!"}}});
    auto dev = MakeDev(L"", cfgmgrtest::kCtl, kLocateNormal,
                       {DevProperty::Service, DevProperty::DeviceDesc, DevProperty::PciDevice4,
                        DevProperty::Service, DevProperty::Capabilities, 99});
    EXPECT_EQ(dev->getProperty(DevProperty::Service).asString(), L"first!!");
    EXPECT_EQ(dev->getProperty(DevProperty::Capabilities).asUint32(), CM_DEVCAP_REMOVABLE);
    for (int id : {DevProperty::DeviceDesc, DevProperty::PciDevice4, 99, DevProperty::Address})
        EXPECT_EQ(ThrownText([&] { dev->getProperty(id); }),
                  "[CfgMgrException] Device failed while getting property [" + std::to_string(id) +
                      "] with exception: map::at");

    // An update reads again and replaces the cached value; its failures pass through.
    EXPECT_EQ(&dev->updateProperty(DevProperty::Service), dev.get());
    EXPECT_EQ(dev->getProperty(DevProperty::Service).asString(), L"moxraid");
    EXPECT_EQ(dev->updateProperty(DevProperty::Address).getProperty(DevProperty::Address).asUint32(),
              0x170000u);
    EXPECT_EQ(ThrownText([&] { dev->updateProperty(DevProperty::DeviceDesc); }),
              "[CfgMgrException] get dev node property failed with: 37");
}

TEST(CfgMgrDev, PropertyValueReaders) {
    auto value = [](int kind, std::vector<uint8_t> bytes) {
        return DevPropertyValue{kind, std::move(bytes)};
    };
    using K = DevPropertyValue;
    struct Case {
        const char* name;
        std::function<std::string(const DevPropertyValue&)> read;
        DevPropertyValue v;
        std::string expected; // the text read, or the failure
    };
    auto text = [](const DevPropertyValue& v) {
        std::wstring s = v.asString();
        return std::string(s.begin(), s.end());
    };
    auto number = [](const DevPropertyValue& v) { return std::to_string(v.asUint32()); };
    auto list = [](const DevPropertyValue& v) {
        std::string out;
        for (const auto& s : v.asStringList())
            out += std::string(s.begin(), s.end()) + "|";
        return out;
    };
    auto boolean = [](const DevPropertyValue& v) { return std::string(v.asBool() ? "true" : "false"); };
    std::vector<uint8_t> unterminated = Bytes(L"abc", 0);
    std::vector<uint8_t> twoTexts = Bytes(L"a");
    auto b = Bytes(L"bc", 2);
    twoTexts.insert(twoTexts.end(), b.begin(), b.end());
    const std::vector<Case> cases = {
        {"text", text, value(K::kString, Bytes(L"abc")), "abc"},
        {"text ends at its NUL", text, value(K::kString, Bytes(std::wstring(L"ab\0cd", 5))), "ab"},
        {"text without NUL stays inside the value", text, value(K::kString, unterminated), "abc"},
        {"number", number, value(K::kUint32, {0x78, 0x56, 0x34, 0x12, 0xFF}), "305419896"},
        {"list", list, value(K::kStringList, twoTexts), "a|bc|"},
        {"list without final NUL", list, value(K::kStringList, unterminated), "abc|"},
        {"true", boolean, value(K::kBoolean, {0xFF}), "true"},
        {"false", boolean, value(K::kBoolean, {0}), "false"},
        {"short number", number, value(K::kUint32, {1, 2}), "value buffer size too small. Size : 2"},
        {"empty number", number, value(K::kUint32, {}), "value buffer size too small. Size : 0"},
        {"empty text", text, value(K::kString, {}), "value buffer size too small. Size : 0"},
        {"empty list", list, value(K::kStringList, {}), "value buffer size too small. Size : 0"},
        {"empty boolean", boolean, value(K::kBoolean, {}), "value buffer size too small. Size : 0"},
        {"text as boolean", boolean, value(K::kString, Bytes(L"x")),
         "invalid type, expected boolean, got : 1"},
        {"number as text", text, value(K::kUint32, {1, 0, 0, 0}), "invalid type, expected wstring, got : 2"},
        {"list as number", number, value(K::kStringList, twoTexts), "invalid type, expected uint32, got : 3"},
        {"text as list", list, value(K::kString, Bytes(L"x")),
         "invalid type, expected wstring list, got : 1"},
        {"guid as text", text, value(K::kGuid, std::vector<uint8_t>(16)),
         "invalid type, expected wstring, got : 5"},
    };
    for (const auto& c : cases) {
        std::string got;
        std::string error = ThrownText([&] { got = c.read(c.v); });
        EXPECT_EQ(error.empty() ? got : error, error.empty() ? c.expected : "[CfgMgrException] " + c.expected)
            << c.name;
    }
}

} // namespace
