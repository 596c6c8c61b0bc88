#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/core/CfgMgrException.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "sim/Machine.h"
#include "tests/middleware/core/CfgMgrTestFixture.h"

namespace {

using namespace MoxCfgMgr;
using cfgmgrtest::ThrownText;
using json = sim::Value;

std::vector<wchar_t> MultiSz(const std::vector<std::wstring>& texts) {
    std::vector<wchar_t> out;
    for (const auto& t : texts) {
        out.insert(out.end(), t.begin(), t.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

class FixedPaths : public IDevPathsGetter {
public:
    FixedPaths(int kind, std::vector<wchar_t> list) : paths_{kind, std::move(list)} {}
    DevPaths getPaths() const override { return paths_; }

private:
    DevPaths paths_;
};

struct Recorded {
    std::wstring path, id;
};

// A device that counts how many of its kind are alive.
class CountedDev : public IDev {
public:
    explicit CountedDev(int& alive) : alive_(alive) { ++alive_; }
    ~CountedDev() override { --alive_; }
    std::wstring getInterfacePath() const override { return {}; }
    std::wstring getInstanceId() const override { return {}; }
    DEVINST getDevNode() const override { return 0; }
    IDev& updateProperty(int) override { return *this; }
    DevPropertyValue getProperty(int) const override { return {}; }

private:
    int& alive_;
};

TEST(CfgMgrEnumeration, EmptyInterfaceClassGivesNoDevicesAndNeverCallsTheFactory) {
    sim::ScopedMachine machine(json{{"name", "empty"}});
    auto getter = std::make_unique<DevInterfacePathsGetter>(GUID_DEVINTERFACE_STORAGEPORT);
    DevPaths paths = getter->getPaths();
    EXPECT_EQ(paths.kind, DevPaths::kInterfacePaths);
    EXPECT_EQ(paths.list, std::vector<wchar_t>{L'\0'});
    int calls = 0;
    DevEnumerator enumerator(std::move(getter), [&](const std::wstring&, const std::wstring&) {
        ++calls;
        return std::unique_ptr<IDev>();
    });
    EXPECT_TRUE(enumerator.enumerate().empty());
    EXPECT_EQ(calls, 0);
}

TEST(CfgMgrEnumeration, ListReadIsRetriedWhileTheListGrowsUpToSixAttempts) {
    using Make = std::function<std::unique_ptr<IDevPathsGetter>()>;
    struct Getter {
        const char* name;
        const char* sizeKind;
        const char* fillKind;
        Make make;
        size_t entries; // on the fixture machine, before any arrival
    };
    const std::vector<Getter> getters = {
        {"interfaces", "CM_Get_Device_Interface_List_Size", "CM_Get_Device_Interface_List",
         [] { return std::make_unique<DevInterfacePathsGetter>(GUID_DEVINTERFACE_DISK); }, 1},
        {"instance ids", "CM_Get_Device_ID_List_Size", "CM_Get_Device_ID_List",
         [] { return std::make_unique<DevNodePathsGetter>(0, 0, GUID{}, L"SCSI"); }, 2},
    };
    struct Case {
        const char* name;
        bool onFill;
        int times;
        json outcome;
        std::string error; // "" when the list is read
        size_t attempts;
    };
    const json newcomer = {
        {"id", "SCSI\\Disk&Ven_A&Prod_D\\4&1&0&030000"},
        {"parent", "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8"},
        {"interfaces", json::array({{{"class", "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}}})}};
    const std::vector<Case> cases = {
        {"device arrives before the fill", true, 1, {{"arrive", newcomer}}, "", 2},
        {"five races on the fill", true, 5, {{"cr", CR_BUFFER_SMALL}}, "", 6},
        {"five races on the size", false, 5, {{"cr", CR_BUFFER_SMALL}}, "", 6},
        {"six races",
         true,
         6,
         {{"cr", CR_BUFFER_SMALL}},
         "Get device interface list size failed with: 26",
         6},
        {"six races on the size",
         false,
         -1,
         {{"cr", CR_BUFFER_SMALL}},
         "Get device interface list size failed with: 26",
         6},
        {"other failure of the size",
         false,
         1,
         {{"cr", CR_FAILURE}},
         "Get device interface list size failed with: 19",
         1},
        {"other failure of the fill",
         true,
         1,
         {{"cr", CR_ACCESS_DENIED}},
         "Get device interface list size failed with: 51",
         1},
    };
    for (const auto& g : getters) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(g.name) + ": " + c.name);
            sim::ScopedMachine machine(cfgmgrtest::Fixture());
            machine->faults().Add({c.onFill ? g.fillKind : g.sizeKind, {}, 0, c.times, c.outcome});
            std::unique_ptr<IDevPathsGetter> getter;
            std::string error = ThrownText([&] { getter = g.make(); });
            EXPECT_EQ(error, c.error.empty() ? "" : "[CfgMgrException] " + c.error);
            EXPECT_EQ(machine->calls().Count(g.sizeKind), c.attempts);
            if (!getter)
                continue;
            const size_t arrived = c.outcome.contains("arrive") ? 1 : 0;
            DevEnumerator enumerator(std::move(getter), [](const std::wstring&, const std::wstring&) {
                return std::unique_ptr<IDev>();
            });
            EXPECT_EQ(enumerator.enumerate().size(), g.entries + arrived);
        }
    }
}

TEST(CfgMgrEnumeration, NodePathsGetterChoosesItsFilter) {
    struct Case {
        const char* name;
        int mode;
        int presentOnly;
        GUID setupClass;
        std::wstring filter;
        std::string sentFilter;
        ULONG sentFlags;
        std::vector<std::wstring> ids;
    };
    const std::vector<Case> cases = {
        // Present-only does not apply to an enumerator list.
        {"enumerator",
         0,
         1,
         GUID{},
         L"SCSI",
         "SCSI",
         CM_GETIDLIST_FILTER_ENUMERATOR,
         {cfgmgrtest::kDisk0, cfgmgrtest::kDisk1}},
        {"class, present",
         1,
         1,
         GUID_DEVCLASS_DISKDRIVE,
         L"ignored",
         "{4D36E967-E325-11CE-BFC1-08002BE10318}",
         CM_GETIDLIST_FILTER_CLASS | CM_GETIDLIST_FILTER_PRESENT,
         {cfgmgrtest::kDisk0}},
        {"class",
         1,
         0,
         GUID_DEVCLASS_DISKDRIVE,
         L"",
         "{4D36E967-E325-11CE-BFC1-08002BE10318}",
         CM_GETIDLIST_FILTER_CLASS,
         {cfgmgrtest::kDisk0, cfgmgrtest::kDisk1}},
        {"other mode, present",
         2,
         1,
         GUID{},
         L"",
         "",
         CM_GETIDLIST_FILTER_PRESENT,
         {L"HTREE\\ROOT\\0", cfgmgrtest::kCtl, cfgmgrtest::kDisk0, cfgmgrtest::kSwd}},
        {"other mode",
         7,
         0,
         GUID{},
         L"",
         "",
         0,
         {L"HTREE\\ROOT\\0", cfgmgrtest::kCtl, cfgmgrtest::kDisk0, cfgmgrtest::kDisk1, cfgmgrtest::kSwd}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ScopedMachine machine(cfgmgrtest::Fixture());
        DevNodePathsGetter getter(c.mode, c.presentOnly, c.setupClass, c.filter);
        auto sent = machine->calls().Of("CM_Get_Device_ID_List");
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].selectors["filter"], c.sentFilter);
        EXPECT_EQ(sent[0].selectors["flags"], c.sentFlags);
        DevPaths paths = getter.getPaths();
        EXPECT_EQ(paths.kind, DevPaths::kInstanceIds);
        EXPECT_EQ(paths.list, MultiSz(c.ids));
        // A snapshot: later calls do not read again.
        getter.getPaths();
        EXPECT_EQ(machine->calls().Count("CM_Get_Device_ID_List"), 1u);
    }
}

TEST(CfgMgrEnumeration, EnumeratorHandsEachEntryToTheFactoryByKind) {
    struct Case {
        int kind;
        std::vector<Recorded> expected;
    };
    const std::vector<Case> cases = {
        {DevPaths::kInterfacePaths, {{L"a", L""}, {L"b", L""}}},
        {DevPaths::kInstanceIds, {{L"", L"a"}, {L"", L"b"}}},
        {7, {{L"", L""}, {L"", L""}}},
    };
    for (const auto& c : cases) {
        std::vector<Recorded> seen;
        // Entries after an empty text are not part of the list.
        std::vector<wchar_t> list = {L'a', 0, L'b', 0, 0, L'c', 0, 0};
        DevEnumerator enumerator(std::make_unique<FixedPaths>(c.kind, list),
                                 [&](const std::wstring& path, const std::wstring& id) {
                                     seen.push_back({path, id});
                                     return std::unique_ptr<IDev>();
                                 });
        auto devices = enumerator.enumerate();
        // Null devices are kept.
        ASSERT_EQ(devices.size(), 2u);
        EXPECT_EQ(devices[0], nullptr);
        ASSERT_EQ(seen.size(), c.expected.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].path, c.expected[i].path) << c.kind;
            EXPECT_EQ(seen[i].id, c.expected[i].id) << c.kind;
        }
    }
}

TEST(CfgMgrEnumeration, EnumeratorFailures) {
    DevEnumerator noGetter(nullptr,
                           [](const std::wstring&, const std::wstring&) { return std::unique_ptr<IDev>(); });
    EXPECT_EQ(ThrownText([&] { noGetter.enumerate(); }), "[CfgMgrException] device getter factory not set");

    DevEnumerator noFactory(std::make_unique<FixedPaths>(0, MultiSz({L"a"})), nullptr);
    EXPECT_THROW(noFactory.enumerate(), std::bad_function_call);
    DevEnumerator noFactoryNoEntries(std::make_unique<FixedPaths>(0, MultiSz({})), nullptr);
    EXPECT_TRUE(noFactoryNoEntries.enumerate().empty());

    // A failing factory ends the enumeration; the devices made so far are released.
    int alive = 0;
    int calls = 0;
    DevEnumerator failing(std::make_unique<FixedPaths>(0, MultiSz({L"a", L"b", L"c"})),
                          [&](const std::wstring&, const std::wstring&) -> std::unique_ptr<IDev> {
                              if (++calls == 2)
                                  throw CfgMgrException("Locate dev node failed with: 13");
                              return std::make_unique<CountedDev>(alive);
                          });
    EXPECT_EQ(ThrownText([&] { failing.enumerate(); }), "[CfgMgrException] Locate dev node failed with: 13");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(alive, 0);
}

TEST(CfgMgrEnumeration, ExceptionIsCopyableAndPrefixed) {
    CfgMgrException e("x");
    CfgMgrException copy = e;
    EXPECT_STREQ(copy.what(), "[CfgMgrException] x");
    const std::exception& base = copy;
    EXPECT_STREQ(base.what(), "[CfgMgrException] x");
}

} // namespace
