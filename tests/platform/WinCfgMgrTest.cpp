#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinGuid.h"
#include "sim/Machine.h"

namespace {

using json = sim::Value;

const char* const kCtl = "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8";
const char* const kDisk0 = "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000000";
const char* const kDisk1 = "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&010000";
const char* const kLater = "SCSI\\Disk&Ven_A&Prod_C\\4&1&0&020000";
const char* const kSwd = "SWD\\X\\1";

// A controller with one present and one phantom disk, a software device, and a disk that arrives
// only when its controller is enumerated again.
json Fixture() {
    return json::parse(R"json({
      "name": "cfgmgr",
      "devices": { "nodes": [
        { "id": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e97b-e325-11ce-bfc1-08002be10318}",
          "properties": { "Service": "moxraid", "Address": "0x170000", "BusNumber": 0,
                          "LocationPaths": ["PCIROOT(0)#PCI(1700)", "ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)"],
                          "ContainerId": "{00000000-0000-0000-ffff-ffffffffffff}", "PciSubClass": 4,
                          "FriendlyName": { "type": 18 },
                          "{3ab22e31-8264-4b4e-9af5-a8d2d8e33e62},40": { "type": 5, "value": 513 } },
          "interfaces": [ { "class": "{2accfe60-c130-11d2-b082-00a0c91efb8b}" } ] },
        { "id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000000",
          "parent": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e967-e325-11ce-bfc1-08002be10318}",
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] },
        { "id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&010000",
          "parent": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "class": "{4d36e967-e325-11ce-bfc1-08002be10318}", "present": false,
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "reference": "ref" } ] },
        { "id": "SWD\\X\\1", "class": "{4d36e97d-e325-11ce-bfc1-08002be10318}" },
        { "id": "SCSI\\Disk&Ven_A&Prod_C\\4&1&0&020000",
          "parent": "PCI\\VEN_1111&DEV_2222&SUBSYS_33334444&REV_01\\3&1&0&B8",
          "pending": true, "class": "{4d36e967-e325-11ce-bfc1-08002be10318}",
          "interfaces": [ { "class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}" } ] }
      ] }
    })json");
}

std::wstring W(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::vector<std::wstring> Split(const std::vector<wchar_t>& list) {
    std::vector<std::wstring> out;
    for (size_t at = 0; at < list.size() && list[at];) {
        std::wstring s(list.data() + at);
        at += s.size() + 1;
        out.push_back(s);
    }
    return out;
}

struct ListAnswer {
    CONFIGRET cr;
    std::vector<wchar_t> list;
};

ListAnswer IdList(const wchar_t* filter, ULONG flags) {
    ULONG length = 0;
    CONFIGRET cr = CM_Get_Device_ID_List_SizeW(&length, filter, flags);
    if (cr != CR_SUCCESS)
        return {cr, {}};
    std::vector<wchar_t> list(length, L'?');
    cr = CM_Get_Device_ID_ListW(filter, list.data(), length, flags);
    return {cr, list};
}

ListAnswer InterfaceList(GUID cls, const wchar_t* device, ULONG flags) {
    ULONG length = 0;
    std::wstring id = device ? device : L"";
    CONFIGRET cr = CM_Get_Device_Interface_List_SizeW(&length, &cls, device ? id.data() : nullptr, flags);
    if (cr != CR_SUCCESS)
        return {cr, {}};
    std::vector<wchar_t> list(length, L'?');
    cr = CM_Get_Device_Interface_ListW(&cls, device ? id.data() : nullptr, list.data(), length, flags);
    return {cr, list};
}

DEVINST Locate(const std::string& id, ULONG flags = CM_LOCATE_DEVNODE_NORMAL) {
    std::wstring w = W(id);
    DEVINST dn = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&dn, w.data(), flags), CR_SUCCESS) << id;
    return dn;
}

struct PropAnswer {
    CONFIGRET cr;
    DEVPROPTYPE type = 0;
    std::vector<uint8_t> bytes;
};

// The usual two calls: size query, then the read.
PropAnswer NodeProp(DEVINST dn, const DEVPROPKEY& key) {
    PropAnswer a;
    ULONG size = 0;
    a.cr = CM_Get_DevNode_PropertyW(dn, &key, &a.type, nullptr, &size, 0);
    if (a.cr != CR_BUFFER_SMALL)
        return a;
    a.bytes.assign(size, 0xCC);
    a.cr = CM_Get_DevNode_PropertyW(dn, &key, &a.type, a.bytes.data(), &size, 0);
    a.bytes.resize(size);
    return a;
}

std::vector<uint8_t> WideBytes(const std::vector<std::string>& texts, bool list) {
    std::vector<uint8_t> out;
    auto put = [&](const std::string& s) {
        std::wstring w = W(s);
        const auto* p = reinterpret_cast<const uint8_t*>(w.c_str());
        out.insert(out.end(), p, p + (w.size() + 1) * sizeof(wchar_t));
    };
    for (const auto& s : texts)
        put(s);
    if (list)
        put("");
    return out;
}

std::vector<uint8_t> Le(uint64_t v, int n) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

TEST(WinCfgMgr, DeviceIdListsFollowTheFilters) {
    sim::ScopedMachine machine(Fixture());
    struct Case {
        const char* name;
        const wchar_t* filter;
        ULONG flags;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases = {
        {"everything", nullptr, CM_GETIDLIST_FILTER_NONE, {"HTREE\\ROOT\\0", kCtl, kDisk0, kDisk1, kSwd}},
        {"present", nullptr, CM_GETIDLIST_FILTER_PRESENT, {"HTREE\\ROOT\\0", kCtl, kDisk0, kSwd}},
        {"enumerator", L"scsi", CM_GETIDLIST_FILTER_ENUMERATOR, {kDisk0, kDisk1}},
        {"enumerator and device",
         L"SCSI\\DISK&VEN_A&PROD_B",
         CM_GETIDLIST_FILTER_ENUMERATOR,
         {kDisk0, kDisk1}},
        {"enumerator prefix is not a component", L"SC", CM_GETIDLIST_FILTER_ENUMERATOR, {}},
        {"enumerator present", L"SWD", CM_GETIDLIST_FILTER_ENUMERATOR | CM_GETIDLIST_FILTER_PRESENT, {kSwd}},
        {"class", L"{4D36E967-E325-11CE-BFC1-08002BE10318}", CM_GETIDLIST_FILTER_CLASS, {kDisk0, kDisk1}},
        {"class present",
         L"{4D36E967-E325-11CE-BFC1-08002BE10318}",
         CM_GETIDLIST_FILTER_CLASS | CM_GETIDLIST_FILTER_PRESENT,
         {kDisk0}},
        {"service", L"MOXRAID", CM_GETIDLIST_FILTER_SERVICE, {kCtl}},
        {"no such enumerator", L"USB", CM_GETIDLIST_FILTER_ENUMERATOR, {}},
    };
    for (const auto& c : cases) {
        ListAnswer a = IdList(c.filter, c.flags);
        ASSERT_EQ(a.cr, CR_SUCCESS) << c.name;
        std::vector<std::wstring> expected;
        for (const auto& id : c.ids)
            expected.push_back(W(id));
        EXPECT_EQ(Split(a.list), expected) << c.name;
        // Double-NUL terminated, and an empty list is a single NUL.
        ASSERT_FALSE(a.list.empty());
        EXPECT_EQ(a.list.back(), L'\0') << c.name;
        if (!expected.empty())
            EXPECT_EQ(a.list[a.list.size() - 2], L'\0') << c.name;
        else
            EXPECT_EQ(a.list.size(), 1u) << c.name;
    }
    std::wstring ctl = W(kCtl);
    ListAnswer children = IdList(ctl.c_str(), CM_GETIDLIST_FILTER_BUSRELATIONS);
    ASSERT_EQ(children.cr, CR_SUCCESS);
    EXPECT_EQ(Split(children.list), (std::vector<std::wstring>{W(kDisk0), W(kDisk1)}));
}

TEST(WinCfgMgr, DeviceIdListRefusesBadArguments) {
    sim::ScopedMachine machine(Fixture());
    ULONG length = 7;
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(nullptr, nullptr, 0), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, L"not a guid", CM_GETIDLIST_FILTER_CLASS),
              CR_INVALID_DATA);
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, L"PCI",
                                          CM_GETIDLIST_FILTER_ENUMERATOR | CM_GETIDLIST_FILTER_CLASS),
              CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, nullptr, CM_GETIDLIST_FILTER_ENUMERATOR),
              CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, nullptr, 0x400), CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_ID_List_SizeW(&length, L"NO\\SUCH\\0", CM_GETIDLIST_FILTER_BUSRELATIONS),
              CR_INVALID_DEVICE_ID);

    // A buffer one character short is refused and left as it was.
    ASSERT_EQ(CM_Get_Device_ID_List_SizeW(&length, L"SCSI", CM_GETIDLIST_FILTER_ENUMERATOR), CR_SUCCESS);
    std::vector<wchar_t> buffer(length - 1, L'?');
    EXPECT_EQ(CM_Get_Device_ID_ListW(L"SCSI", buffer.data(), length - 1, CM_GETIDLIST_FILTER_ENUMERATOR),
              CR_BUFFER_SMALL);
    EXPECT_EQ(buffer, std::vector<wchar_t>(length - 1, L'?'));
    EXPECT_EQ(CM_Get_Device_ID_ListW(L"SCSI", nullptr, length, CM_GETIDLIST_FILTER_ENUMERATOR),
              CR_INVALID_POINTER);
}

TEST(WinCfgMgr, InterfaceListsHoldPresentDevicesUnlessAllAreAsked) {
    sim::ScopedMachine machine(Fixture());
    const std::wstring port = L"\\\\?\\pci#ven_1111&dev_2222&subsys_33334444&rev_01#3&1&0&b8#"
                              L"{2accfe60-c130-11d2-b082-00a0c91efb8b}";
    const std::wstring disk0 =
        L"\\\\?\\scsi#disk&ven_a&prod_b#4&1&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    const std::wstring disk1 =
        L"\\\\?\\scsi#disk&ven_a&prod_b#4&1&0&010000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}\\ref";

    ListAnswer a =
        InterfaceList(GUID_DEVINTERFACE_STORAGEPORT, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    ASSERT_EQ(a.cr, CR_SUCCESS);
    EXPECT_EQ(Split(a.list), std::vector<std::wstring>{port});

    a = InterfaceList(GUID_DEVINTERFACE_DISK, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    EXPECT_EQ(Split(a.list), std::vector<std::wstring>{disk0});
    a = InterfaceList(GUID_DEVINTERFACE_DISK, nullptr, CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES);
    EXPECT_EQ(Split(a.list), (std::vector<std::wstring>{disk0, disk1}));
    a = InterfaceList(GUID_DEVINTERFACE_DISK, W(kDisk1).c_str(), CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES);
    EXPECT_EQ(Split(a.list), std::vector<std::wstring>{disk1});

    // No interface of the class: one NUL.
    a = InterfaceList(GUID_DEVCLASS_SYSTEM, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    ASSERT_EQ(a.cr, CR_SUCCESS);
    EXPECT_EQ(a.list, std::vector<wchar_t>{L'\0'});

    GUID cls = GUID_DEVINTERFACE_DISK;
    ULONG length = 0;
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &cls, nullptr, 2), CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, nullptr, nullptr, 0), CR_INVALID_POINTER);
}

TEST(WinCfgMgr, InterfacePathLeadsToItsInstanceId) {
    sim::ScopedMachine machine(Fixture());
    // Paths compare without case, as Windows paths do.
    const std::wstring path =
        L"\\\\?\\SCSI#DISK&VEN_A&PROD_B#4&1&0&000000#{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}";
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    ASSERT_EQ(
        CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_Device_InstanceId, &type, nullptr, &size, 0),
        CR_BUFFER_SMALL);
    EXPECT_EQ(type, DEVPROP_TYPE_STRING);
    EXPECT_EQ(size, (std::strlen(kDisk0) + 1) * sizeof(wchar_t));
    std::vector<uint8_t> bytes(size);
    ASSERT_EQ(CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_Device_InstanceId, &type, bytes.data(),
                                                &size, 0),
              CR_SUCCESS);
    EXPECT_EQ(bytes, WideBytes({kDisk0}, false));

    size = 0;
    EXPECT_EQ(CM_Get_Device_Interface_PropertyW(L"\\\\?\\nothing", &DEVPKEY_Device_InstanceId, &type, nullptr,
                                                &size, 0),
              CR_NO_SUCH_DEVICE_INTERFACE);
    EXPECT_EQ(
        CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_Device_Service, &type, nullptr, &size, 0),
        CR_NO_SUCH_VALUE);
}

TEST(WinCfgMgr, LocateFindsPresentNodesAndPhantomsOnlyWhenAsked) {
    sim::ScopedMachine machine(Fixture());
    struct Case {
        const char* id; // null: the root
        ULONG flags;
        CONFIGRET cr;
        DEVINST dn;
    };
    const std::vector<Case> cases = {
        {nullptr, CM_LOCATE_DEVNODE_NORMAL, CR_SUCCESS, 1},
        {"", CM_LOCATE_DEVNODE_NORMAL, CR_SUCCESS, 1},
        {kCtl, CM_LOCATE_DEVNODE_NORMAL, CR_SUCCESS, 2},
        {"pci\\ven_1111&dev_2222&subsys_33334444&rev_01\\3&1&0&b8", CM_LOCATE_DEVNODE_NORMAL, CR_SUCCESS, 2},
        {kDisk1, CM_LOCATE_DEVNODE_NORMAL, CR_NO_SUCH_DEVNODE, 0},
        {kDisk1, CM_LOCATE_DEVNODE_PHANTOM, CR_SUCCESS, 4},
        {kLater, CM_LOCATE_DEVNODE_PHANTOM, CR_NO_SUCH_DEVNODE, 0},
        {"NO\\SUCH\\0", CM_LOCATE_DEVNODE_PHANTOM, CR_NO_SUCH_DEVNODE, 0},
        {kCtl, 0x8, CR_INVALID_FLAG, 0},
    };
    for (const auto& c : cases) {
        std::wstring w = c.id ? W(c.id) : L"";
        DEVINST dn = 99;
        EXPECT_EQ(CM_Locate_DevNodeW(&dn, c.id ? w.data() : nullptr, c.flags), c.cr)
            << (c.id ? c.id : "root");
        EXPECT_EQ(dn, c.dn) << (c.id ? c.id : "root");
        std::string narrow = c.id ? c.id : "";
        dn = 99;
        EXPECT_EQ(CM_Locate_DevNodeA(&dn, c.id ? narrow.data() : nullptr, c.flags), c.cr);
        EXPECT_EQ(dn, c.dn);
    }
    EXPECT_EQ(CM_Locate_DevNodeW(nullptr, nullptr, 0), CR_INVALID_POINTER);
}

TEST(WinCfgMgr, NodePropertiesHaveTheirTypes) {
    sim::ScopedMachine machine(Fixture());
    const DEVINST ctl = Locate(kCtl);
    const DEVINST disk1 = Locate(kDisk1, CM_LOCATE_DEVNODE_PHANTOM);
    const DEVPROPKEY custom = {kDevPropSetPciDevice, 40};
    struct Case {
        const char* name;
        DEVINST dn;
        DEVPROPKEY key;
        CONFIGRET cr;
        DEVPROPTYPE type;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"service", ctl, DEVPKEY_Device_Service, CR_SUCCESS, DEVPROP_TYPE_STRING,
         WideBytes({"moxraid"}, false)},
        {"address", ctl, DEVPKEY_Device_Address, CR_SUCCESS, DEVPROP_TYPE_UINT32, Le(0x170000, 4)},
        {"bus", ctl, DEVPKEY_Device_BusNumber, CR_SUCCESS, DEVPROP_TYPE_UINT32, Le(0, 4)},
        {"paths", ctl, DEVPKEY_Device_LocationPaths, CR_SUCCESS, DEVPROP_TYPE_STRING_LIST,
         WideBytes({"PCIROOT(0)#PCI(1700)", "ACPI(_SB_)#ACPI(PCI0)#ACPI(SAT0)"}, true)},
        {"present", ctl, DEVPKEY_Device_IsPresent, CR_SUCCESS, DEVPROP_TYPE_BOOLEAN, {0xFF}},
        {"phantom", disk1, DEVPKEY_Device_IsPresent, CR_SUCCESS, DEVPROP_TYPE_BOOLEAN, {0x00}},
        {"parent", disk1, DEVPKEY_Device_Parent, CR_SUCCESS, DEVPROP_TYPE_STRING, WideBytes({kCtl}, false)},
        {"top-level parent", ctl, DEVPKEY_Device_Parent, CR_SUCCESS, DEVPROP_TYPE_STRING,
         WideBytes({"HTREE\\ROOT\\0"}, false)},
        {"root has no parent", 1, DEVPKEY_Device_Parent, CR_NO_SUCH_VALUE, 0, {}},
        {"children", ctl, DEVPKEY_Device_Children, CR_SUCCESS, DEVPROP_TYPE_STRING_LIST,
         WideBytes({kDisk0, kDisk1}, true)},
        {"instance id", disk1, DEVPKEY_Device_InstanceId, CR_SUCCESS, DEVPROP_TYPE_STRING,
         WideBytes({kDisk1}, false)},
        {"enumerator", disk1, DEVPKEY_Device_EnumeratorName, CR_SUCCESS, DEVPROP_TYPE_STRING,
         WideBytes({"SCSI"}, false)},
        {"class",
         disk1,
         DEVPKEY_Device_ClassGuid,
         CR_SUCCESS,
         DEVPROP_TYPE_GUID,
         {0x67, 0xe9, 0x36, 0x4d, 0x25, 0xe3, 0xce, 0x11, 0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},
        {"container",
         ctl,
         DEVPKEY_Device_ContainerId,
         CR_SUCCESS,
         DEVPROP_TYPE_GUID,
         {0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
        {"byte", ctl, DEVPKEY_PciDevice_SubClass, CR_SUCCESS, DEVPROP_TYPE_BYTE, {4}},
        {"by key", ctl, custom, CR_SUCCESS, DEVPROP_TYPE_UINT16, Le(513, 2)},
        {"missing", disk1, DEVPKEY_Device_Service, CR_NO_SUCH_VALUE, 0, {}},
        {"no such node", 99, DEVPKEY_Device_Service, CR_INVALID_DEVNODE, 0, {}},
        {"node 0", 0, DEVPKEY_Device_Service, CR_INVALID_DEVNODE, 0, {}},
        {"pending node", 6, DEVPKEY_Device_InstanceId, CR_NO_SUCH_DEVNODE, 0, {}},
    };
    for (const auto& c : cases) {
        PropAnswer a = NodeProp(c.dn, c.key);
        EXPECT_EQ(a.cr, c.cr) << c.name;
        if (c.cr != CR_SUCCESS)
            continue;
        EXPECT_EQ(a.type, c.type) << c.name;
        EXPECT_EQ(a.bytes, c.bytes) << c.name;
    }
}

TEST(WinCfgMgr, PropertyBufferProtocol) {
    sim::ScopedMachine machine(Fixture());
    const DEVINST ctl = Locate(kCtl);
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_Service, &type, nullptr, &size, 0),
              CR_BUFFER_SMALL);
    EXPECT_EQ(size, 8 * sizeof(wchar_t));
    EXPECT_EQ(type, DEVPROP_TYPE_STRING);

    std::vector<uint8_t> small(size - 1, 0xAB);
    ULONG smallSize = size - 1;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_Service, &type, small.data(), &smallSize, 0),
              CR_BUFFER_SMALL);
    EXPECT_EQ(smallSize, size);
    EXPECT_EQ(small, std::vector<uint8_t>(size - 1, 0xAB));

    // A larger buffer gets the value and its real size.
    std::vector<uint8_t> big(100, 0xAB);
    ULONG bigSize = 100;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_Service, &type, big.data(), &bigSize, 0),
              CR_SUCCESS);
    EXPECT_EQ(bigSize, size);

    // An empty value answers the size query with success.
    size = 0;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_FriendlyName, &type, nullptr, &size, 0),
              CR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, DEVPROP_TYPE_STRING);

    size = 4;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_Service, &type, nullptr, &size, 0),
              CR_INVALID_POINTER);
    size = 0;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, &DEVPKEY_Device_Service, &type, nullptr, &size, 1),
              CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_DevNode_PropertyW(ctl, nullptr, &type, nullptr, &size, 0), CR_INVALID_POINTER);
}

TEST(WinCfgMgr, FaultsReplaceAnswersAndCallsAreLogged) {
    sim::ScopedMachine machine(Fixture());
    const DEVINST ctl = Locate(kCtl);
    auto& faults = machine->faults();
    faults.Add(
        {"CM_Get_DevNode_Property", {{"property", "Address"}}, 0, -1, {{"type", DEVPROP_TYPE_UINT16}}});
    faults.Add({"CM_Get_DevNode_Property", {{"property", "Service"}}, 0, -1, {{"cr", CR_NO_SUCH_VALUE}}});
    faults.Add({"CM_Get_DevNode_Property",
                {{"property", "BusNumber"}, {"size_query", false}},
                0,
                1,
                {{"value", 7}}});
    faults.Add({"CM_Locate_DevNode", {{"device", kDisk0}}, 0, 1, {{"cr", CR_ACCESS_DENIED}}});
    faults.Add({"CM_Get_Device_Interface_List", {}, 0, 1, {{"cr", CR_REGISTRY_ERROR}}});

    PropAnswer address = NodeProp(ctl, DEVPKEY_Device_Address);
    EXPECT_EQ(address.cr, CR_SUCCESS);
    EXPECT_EQ(address.type, DEVPROP_TYPE_UINT16);
    EXPECT_EQ(address.bytes, Le(0x170000, 4));
    EXPECT_EQ(NodeProp(ctl, DEVPKEY_Device_Service).cr, CR_NO_SUCH_VALUE);
    EXPECT_EQ(NodeProp(ctl, DEVPKEY_Device_BusNumber).bytes, Le(7, 4));
    EXPECT_EQ(NodeProp(ctl, DEVPKEY_Device_BusNumber).bytes, Le(0, 4));

    std::wstring disk0 = W(kDisk0);
    DEVINST dn = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&dn, disk0.data(), 0), CR_ACCESS_DENIED);
    EXPECT_EQ(CM_Locate_DevNodeW(&dn, disk0.data(), 0), CR_SUCCESS);
    EXPECT_EQ(InterfaceList(GUID_DEVINTERFACE_DISK, nullptr, 0).cr, CR_REGISTRY_ERROR);
    EXPECT_EQ(InterfaceList(GUID_DEVINTERFACE_DISK, nullptr, 0).cr, CR_SUCCESS);

    auto locates = machine->calls().Of("CM_Locate_DevNode");
    ASSERT_EQ(locates.size(), 3u);
    EXPECT_EQ(locates[1].selectors["device"], kDisk0);
    EXPECT_EQ(locates[1].selectors["flags"], 0);
    auto sizes = machine->calls().Of("CM_Get_Device_Interface_List_Size");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].selectors["class"], "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

TEST(WinCfgMgr, DeviceArrivingBetweenSizeAndReadMakesTheBufferTooSmall) {
    sim::ScopedMachine machine(Fixture());
    json newcomer = {{"id", "SCSI\\Disk&Ven_A&Prod_D\\4&1&0&030000"},
                     {"parent", kCtl},
                     {"interfaces", json::array({{{"class", "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}}})}};
    machine->faults().Add({"CM_Get_Device_Interface_List", {}, 0, 1, {{"arrive", newcomer}}});
    GUID cls = GUID_DEVINTERFACE_DISK;
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &cls, nullptr, 0), CR_SUCCESS);
    std::vector<wchar_t> list(length);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&cls, nullptr, list.data(), length, 0), CR_BUFFER_SMALL);
    ListAnswer again = InterfaceList(cls, nullptr, 0);
    ASSERT_EQ(again.cr, CR_SUCCESS);
    EXPECT_EQ(Split(again.list).size(), 2u);
    // The newcomer stays in the machine.
    EXPECT_EQ(Locate("SCSI\\Disk&Ven_A&Prod_D\\4&1&0&030000"), 7u);
}

TEST(WinCfgMgr, ReenumerationBringsPendingDevicesBelowTheNode) {
    sim::ScopedMachine machine(Fixture());
    std::wstring later = W(kLater);
    DEVINST dn = 0;
    ASSERT_EQ(CM_Locate_DevNodeW(&dn, later.data(), 0), CR_NO_SUCH_DEVNODE);

    // Another branch of the tree finds nothing.
    EXPECT_EQ(CM_Reenumerate_DevNode(Locate(kSwd), CM_REENUMERATE_NORMAL), CR_SUCCESS);
    EXPECT_EQ(CM_Locate_DevNodeW(&dn, later.data(), 0), CR_NO_SUCH_DEVNODE);

    EXPECT_EQ(CM_Reenumerate_DevNode(1, CM_REENUMERATE_SYNCHRONOUS), CR_SUCCESS);
    EXPECT_EQ(CM_Locate_DevNodeW(&dn, later.data(), 0), CR_SUCCESS);
    EXPECT_EQ(dn, 6u);
    EXPECT_EQ(Split(InterfaceList(GUID_DEVINTERFACE_DISK, nullptr, 0).list).size(), 2u);

    EXPECT_EQ(CM_Reenumerate_DevNode(0, 0), CR_INVALID_DEVNODE);
    EXPECT_EQ(CM_Reenumerate_DevNode(99, 0), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(CM_Reenumerate_DevNode(1, 0x10), CR_INVALID_FLAG);
}

TEST(WinGuid, StringFromGuid2GivesTheRegistryForm) {
    wchar_t text[39];
    EXPECT_EQ(StringFromGUID2(GUID_DEVINTERFACE_DISK, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}");
    wchar_t small[38] = {L'x'};
    EXPECT_EQ(StringFromGUID2(GUID_DEVINTERFACE_DISK, small, 38), 0);
    EXPECT_EQ(small[0], L'x');
}

} // namespace
