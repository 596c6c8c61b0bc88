#include "sim/DeviceTree.h"
#include "sim/DeviceTreeState.h"
#include "sim/ValueJson.h"

#include <cctype>
#include <cstring>
#include <set>
#include <stdexcept>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/PlatformCall.h"
#include "sim/Schema.h"
#include "sim/WideText.h"

namespace sim::devices {
namespace {

using nlohmann::json;

const char* const kRootId = "HTREE\\ROOT\\0";

std::string Lower(std::string s) {
    for (char& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

// ---- GUIDs ----

std::optional<GUID> ParseGuid(std::string text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    std::string hex;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        hex += text[i];
    }
    auto field = [&](size_t at, size_t digits) { return std::stoull(hex.substr(at, digits), nullptr, 16); };
    GUID g{};
    g.Data1 = static_cast<uint32_t>(field(0, 8));
    g.Data2 = static_cast<uint16_t>(field(8, 4));
    g.Data3 = static_cast<uint16_t>(field(12, 4));
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<uint8_t>(field(16 + 2 * i, 2));
    return g;
}

std::string GuidText(const GUID& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return buffer;
}

std::string KeyText(const DEVPROPKEY& key) {
    return GuidText(key.fmtid) + "," + std::to_string(key.pid);
}

// ---- properties ----

struct KnownProperty {
    const char* name;
    DEVPROPKEY key;
    DEVPROPTYPE type;
};

const KnownProperty kKnown[] = {
    {"DeviceDesc", DEVPKEY_Device_DeviceDesc, DEVPROP_TYPE_STRING},
    {"HardwareIds", DEVPKEY_Device_HardwareIds, DEVPROP_TYPE_STRING_LIST},
    {"CompatibleIds", DEVPKEY_Device_CompatibleIds, DEVPROP_TYPE_STRING_LIST},
    {"Service", DEVPKEY_Device_Service, DEVPROP_TYPE_STRING},
    {"Class", DEVPKEY_Device_Class, DEVPROP_TYPE_STRING},
    {"ClassGuid", DEVPKEY_Device_ClassGuid, DEVPROP_TYPE_GUID},
    {"Driver", DEVPKEY_Device_Driver, DEVPROP_TYPE_STRING},
    {"Manufacturer", DEVPKEY_Device_Manufacturer, DEVPROP_TYPE_STRING},
    {"FriendlyName", DEVPKEY_Device_FriendlyName, DEVPROP_TYPE_STRING},
    {"LocationInfo", DEVPKEY_Device_LocationInfo, DEVPROP_TYPE_STRING},
    {"Capabilities", DEVPKEY_Device_Capabilities, DEVPROP_TYPE_UINT32},
    {"BusNumber", DEVPKEY_Device_BusNumber, DEVPROP_TYPE_UINT32},
    {"EnumeratorName", DEVPKEY_Device_EnumeratorName, DEVPROP_TYPE_STRING},
    {"Address", DEVPKEY_Device_Address, DEVPROP_TYPE_UINT32},
    {"LocationPaths", DEVPKEY_Device_LocationPaths, DEVPROP_TYPE_STRING_LIST},
    {"Parent", DEVPKEY_Device_Parent, DEVPROP_TYPE_STRING},
    {"Children", DEVPKEY_Device_Children, DEVPROP_TYPE_STRING_LIST},
    {"IsPresent", DEVPKEY_Device_IsPresent, DEVPROP_TYPE_BOOLEAN},
    {"DriverVersion", DEVPKEY_Device_DriverVersion, DEVPROP_TYPE_STRING},
    {"ContainerId", DEVPKEY_Device_ContainerId, DEVPROP_TYPE_GUID},
    {"InstanceId", DEVPKEY_Device_InstanceId, DEVPROP_TYPE_STRING},
    {"PciBaseClass", DEVPKEY_PciDevice_BaseClass, DEVPROP_TYPE_BYTE},
    {"PciSubClass", DEVPKEY_PciDevice_SubClass, DEVPROP_TYPE_BYTE},
    {"PciProgIf", DEVPKEY_PciDevice_ProgIf, DEVPROP_TYPE_BYTE},
    {"PciCurrentLinkSpeed", DEVPKEY_PciDevice_CurrentLinkSpeed, DEVPROP_TYPE_UINT32},
    {"PciCurrentLinkWidth", DEVPKEY_PciDevice_CurrentLinkWidth, DEVPROP_TYPE_UINT32},
    {"InterfaceEnabled", DEVPKEY_DeviceInterface_Enabled, DEVPROP_TYPE_BOOLEAN},
    {"InterfaceClassGuid", DEVPKEY_DeviceInterface_ClassGuid, DEVPROP_TYPE_GUID},
};

const KnownProperty* KnownByKey(const DEVPROPKEY& key) {
    for (const auto& k : kKnown)
        if (k.key == key)
            return &k;
    return nullptr;
}

const KnownProperty* KnownByName(const std::string& name) {
    for (const auto& k : kKnown)
        if (name == k.name)
            return &k;
    return nullptr;
}

// The name a property goes by in descriptions and fault selectors.
std::string PropertyName(const DEVPROPKEY& key) {
    const KnownProperty* k = KnownByKey(key);
    return k ? k->name : KeyText(key);
}

// "{fmtid},pid" (a blank instead of the comma is accepted too).
std::optional<DEVPROPKEY> ParseKey(const std::string& text) {
    size_t sep = text.find_first_of(", ");
    if (sep == std::string::npos)
        return std::nullopt;
    auto g = ParseGuid(text.substr(0, sep));
    if (!g)
        return std::nullopt;
    try {
        return DEVPROPKEY{*g, static_cast<DEVPROPID>(std::stoul(text.substr(sep + 1), nullptr, 0))};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

[[noreturn]] void Malformed(const std::string& what) {
    throw std::runtime_error("devices: " + what);
}

uint64_t Number(const json& v) {
    if (auto n = ParseDescNumber(v))
        return *n;
    Malformed("not a number: " + v.dump());
}

void PutLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutWide(std::vector<uint8_t>& out, const std::string& text) {
    std::wstring w = FromUtf8(text);
    w.push_back(L'\0');
    for (wchar_t ch : w) {
        uint8_t raw[sizeof(wchar_t)];
        std::memcpy(raw, &ch, sizeof ch);
        out.insert(out.end(), raw, raw + sizeof raw);
    }
}

std::vector<uint8_t> HexBytes(const std::string& text) {
    auto bytes = ParseDescHex(text);
    if (!bytes)
        Malformed("not hex bytes: " + text);
    return *bytes;
}

std::vector<uint8_t> Encode(DEVPROPTYPE type, const json& v) {
    std::vector<uint8_t> out;
    switch (type) {
    case DEVPROP_TYPE_STRING:
    case DEVPROP_TYPE_STRING_INDIRECT:
    case DEVPROP_TYPE_SECURITY_DESCRIPTOR_STRING:
        if (!v.is_string())
            Malformed("not a text: " + v.dump());
        PutWide(out, v.get<std::string>());
        break;
    case DEVPROP_TYPE_STRING_LIST:
        if (!v.is_array())
            Malformed("not a list of texts: " + v.dump());
        for (const auto& s : v) {
            if (!s.is_string())
                Malformed("not a text: " + s.dump());
            PutWide(out, s.get<std::string>());
        }
        PutWide(out, "");
        break;
    case DEVPROP_TYPE_BOOLEAN:
        out.push_back(Number(v) ? DEVPROP_TRUE : DEVPROP_FALSE);
        break;
    case DEVPROP_TYPE_BYTE:
    case DEVPROP_TYPE_SBYTE:
        PutLe(out, Number(v), 1);
        break;
    case DEVPROP_TYPE_UINT16:
    case DEVPROP_TYPE_INT16:
        PutLe(out, Number(v), 2);
        break;
    case DEVPROP_TYPE_UINT32:
    case DEVPROP_TYPE_INT32:
    case DEVPROP_TYPE_ERROR:
    case DEVPROP_TYPE_NTSTATUS:
    case DEVPROP_TYPE_DEVPROPTYPE:
        PutLe(out, Number(v), 4);
        break;
    case DEVPROP_TYPE_UINT64:
    case DEVPROP_TYPE_INT64:
    case DEVPROP_TYPE_FILETIME:
        PutLe(out, Number(v), 8);
        break;
    case DEVPROP_TYPE_GUID: {
        auto g = v.is_string() ? ParseGuid(v.get<std::string>()) : std::nullopt;
        if (!g)
            Malformed("not a GUID: " + v.dump());
        PutLe(out, g->Data1, 4);
        PutLe(out, g->Data2, 2);
        PutLe(out, g->Data3, 2);
        out.insert(out.end(), g->Data4, g->Data4 + 8);
        break;
    }
    default:
        Malformed("give the bytes of a value of type " + std::to_string(type));
    }
    return out;
}

// A value as a description writes it: plain (the property's usual type) or {"type", "value"|"bytes"}.
PropertyValue Decode(const json& v, DEVPROPTYPE usualType) {
    PropertyValue out;
    if (v.is_object()) {
        out.type = v.contains("type") ? static_cast<DEVPROPTYPE>(Number(v.at("type"))) : usualType;
        if (v.contains("bytes"))
            out.bytes = HexBytes(v.at("bytes").get<std::string>());
        else if (v.contains("value"))
            out.bytes = Encode(out.type, v.at("value"));
        return out;
    }
    out.type = usualType;
    out.bytes = Encode(usualType, v);
    return out;
}

// Replaces what a fault outcome names: {"type": t} keeps the bytes, "value" or "bytes" replace them.
void Override(PropertyValue& value, const json& outcome) {
    if (outcome.contains("type"))
        value.type = static_cast<DEVPROPTYPE>(Number(outcome.at("type")));
    if (outcome.contains("bytes"))
        value.bytes = HexBytes(outcome.at("bytes").get<std::string>());
    else if (outcome.contains("value"))
        value.bytes = Encode(value.type, outcome.at("value"));
}

std::optional<CONFIGRET> FaultCr(const std::optional<json>& outcome) {
    if (outcome && outcome->contains("cr"))
        return static_cast<CONFIGRET>(Number(outcome->at("cr")));
    return std::nullopt;
}

// ---- the tree ----

// A read-only view of the tree inside one Read. Index 0 is the root, index i + 1 the node at position
// i; the DEVINST of index n is n + 1.
class Tree {
public:
    explicit Tree(const json& state) {
        if (state.contains("devices") && state.at("devices").contains("nodes"))
            nodes_ = &state.at("devices").at("nodes");
    }

    size_t size() const { return 1 + (nodes_ ? nodes_->size() : 0); }

    const json& node(size_t i) const {
        static const json empty = json::object();
        return i == 0 ? empty : nodes_->at(i - 1);
    }

    std::string id(size_t i) const { return i == 0 ? kRootId : node(i).at("id").get<std::string>(); }

    // Pending devices have not been found by their bus yet: they are not in the tree at all.
    bool exists(size_t i) const { return i < size() && !node(i).value("pending", false); }

    std::optional<size_t> find(const std::string& instanceId) const {
        for (size_t i = 0; i < size(); ++i)
            if (exists(i) && SameText(id(i), instanceId))
                return i;
        return std::nullopt;
    }

    std::optional<size_t> parent(size_t i) const {
        if (i == 0)
            return std::nullopt;
        const json& n = node(i);
        if (!n.contains("parent"))
            return 0;
        return find(n.at("parent").get<std::string>());
    }

    std::string parentId(size_t i) const {
        const json& n = node(i);
        return n.contains("parent") ? n.at("parent").get<std::string>() : kRootId;
    }

    // A device is present when it and every device above it are; a device whose parent is not in
    // the tree is not.
    bool present(size_t i) const {
        for (size_t steps = 0; steps <= size(); ++steps) {
            if (!exists(i) || !node(i).value("present", true))
                return false;
            if (i == 0)
                return true;
            auto p = parent(i);
            if (!p)
                return false;
            i = *p;
        }
        Malformed("the parents of " + id(i) + " form a loop");
    }

    // Whether ancestor is i or lies above it.
    bool below(size_t i, size_t ancestor) const {
        for (size_t steps = 0; steps <= size(); ++steps) {
            if (i == ancestor)
                return true;
            auto p = parent(i);
            if (!p)
                return false;
            i = *p;
        }
        return false;
    }

    std::vector<size_t> children(size_t i) const {
        std::vector<size_t> out;
        for (size_t c = 1; c < size(); ++c)
            if (exists(c) && SameText(parentId(c), id(i)))
                out.push_back(c);
        return out;
    }

    std::optional<std::string> classGuid(size_t i) const {
        const json& n = node(i);
        if (!n.contains("class"))
            return std::nullopt;
        return n.at("class").get<std::string>();
    }

    struct Interface {
        size_t device;
        std::string classGuid;
        std::string path;
        bool enabled;
    };

    std::vector<Interface> interfaces() const {
        std::vector<Interface> out;
        for (size_t i = 1; i < size(); ++i) {
            if (!exists(i) || !node(i).contains("interfaces"))
                continue;
            for (const auto& itf : node(i).at("interfaces")) {
                std::string cls = itf.at("class").get<std::string>();
                std::string path = itf.contains("path")
                                       ? itf.at("path").get<std::string>()
                                       : InterfacePath(id(i), cls, itf.value("reference", ""));
                out.push_back({i, cls, path, itf.value("enabled", true)});
            }
        }
        return out;
    }

    std::optional<PropertyValue> property(size_t i, const DEVPROPKEY& key) const {
        const json& n = node(i);
        if (n.contains("properties")) {
            for (const auto& [name, v] : n.at("properties").items()) {
                const KnownProperty* k = KnownByName(name);
                std::optional<DEVPROPKEY> parsed = k ? std::optional<DEVPROPKEY>(k->key) : ParseKey(name);
                if (!parsed)
                    Malformed("unknown property name " + name);
                if (*parsed == key)
                    return Decode(v, k ? k->type : DEVPROP_TYPE_EMPTY);
            }
        }
        return computed(i, key);
    }

private:
    std::optional<PropertyValue> computed(size_t i, const DEVPROPKEY& key) const {
        auto known = [](const DEVPROPKEY& k, const json& v) { return Decode(v, KnownByKey(k)->type); };
        if (key == DEVPKEY_Device_InstanceId)
            return known(key, id(i));
        if (key == DEVPKEY_Device_IsPresent)
            return known(key, present(i));
        if (key == DEVPKEY_Device_Parent && i != 0)
            return known(key, parentId(i));
        if (key == DEVPKEY_Device_EnumeratorName)
            return known(key, id(i).substr(0, id(i).find('\\')));
        if (key == DEVPKEY_Device_ClassGuid && classGuid(i))
            return known(key, *classGuid(i));
        if (key == DEVPKEY_Device_Children) {
            json list = json::array();
            for (size_t c : children(i))
                list.push_back(id(c));
            if (!list.empty())
                return known(key, list);
        }
        return std::nullopt;
    }

    const json* nodes_ = nullptr;
};

// The text of a DEVPROP_TYPE_STRING value, as UTF-8.
std::string WideBytesText(const std::vector<uint8_t>& bytes) {
    std::wstring w;
    for (size_t at = 0; at + sizeof(wchar_t) <= bytes.size(); at += sizeof(wchar_t)) {
        wchar_t ch;
        std::memcpy(&ch, bytes.data() + at, sizeof ch);
        if (ch == L'\0')
            break;
        w.push_back(ch);
    }
    return ToUtf8(w);
}

void AppendMultiSz(std::vector<wchar_t>& list, const std::string& text) {
    std::wstring w = FromUtf8(text);
    list.insert(list.end(), w.begin(), w.end());
    list.push_back(L'\0');
}

// Adds the devices a fault rule brings in between a size query and the fill.
void Arrive(const json& outcome) {
    if (!outcome.contains("arrive"))
        return;
    json nodes = outcome.at("arrive");
    if (!nodes.is_array())
        nodes = json::array({nodes});
    Current().Update([&](json& state) {
        json& list = state["devices"]["nodes"];
        if (!list.is_array())
            list = json::array();
        for (const auto& n : nodes)
            list.push_back(n);
    });
}

constexpr ULONG kIdListFlags = CM_GETIDLIST_FILTER_ENUMERATOR | CM_GETIDLIST_FILTER_SERVICE |
                               CM_GETIDLIST_FILTER_EJECTRELATIONS | CM_GETIDLIST_FILTER_REMOVALRELATIONS |
                               CM_GETIDLIST_FILTER_POWERRELATIONS | CM_GETIDLIST_FILTER_BUSRELATIONS |
                               CM_GETIDLIST_DONOTGENERATE | CM_GETIDLIST_FILTER_TRANSPORTRELATIONS |
                               CM_GETIDLIST_FILTER_PRESENT | CM_GETIDLIST_FILTER_CLASS;

// Whether id lies below the enumerator filter: "PCI" takes every PCI id, "PCI\VEN_1" only those
// that continue with that component.
bool UnderEnumerator(const std::string& id, const std::string& filter) {
    if (id.size() < filter.size() || !SameText(id.substr(0, filter.size()), filter))
        return false;
    return id.size() == filter.size() || id[filter.size()] == '\\';
}

CONFIGRET BuildIdList(const Tree& tree, const std::string& filter, bool haveFilter, ULONG flags,
                      std::vector<wchar_t>& list) {
    const ULONG selection = flags & ~(CM_GETIDLIST_FILTER_PRESENT | CM_GETIDLIST_DONOTGENERATE);
    if (flags & ~kIdListFlags)
        return CR_INVALID_FLAG;
    if (selection & (selection - 1))
        return CR_INVALID_FLAG;
    if (selection && !haveFilter)
        return CR_INVALID_POINTER;
    std::optional<GUID> cls;
    if (selection == CM_GETIDLIST_FILTER_CLASS && !(cls = ParseGuid(filter)))
        return CR_INVALID_DATA;
    std::optional<size_t> busParent;
    if (selection == CM_GETIDLIST_FILTER_BUSRELATIONS && !(busParent = tree.find(filter)))
        return CR_INVALID_DEVICE_ID;

    list.clear();
    for (size_t i = 0; i < tree.size(); ++i) {
        if (!tree.exists(i))
            continue;
        if ((flags & CM_GETIDLIST_FILTER_PRESENT) && !tree.present(i))
            continue;
        bool take = true;
        switch (selection) {
        case 0:
            break;
        case CM_GETIDLIST_FILTER_ENUMERATOR:
            take = UnderEnumerator(tree.id(i), filter);
            break;
        case CM_GETIDLIST_FILTER_SERVICE: {
            auto service = tree.property(i, DEVPKEY_Device_Service);
            take = service && service->type == DEVPROP_TYPE_STRING &&
                   SameText(WideBytesText(service->bytes), filter);
            break;
        }
        case CM_GETIDLIST_FILTER_CLASS: {
            auto nodeClass = tree.classGuid(i);
            auto parsed = nodeClass ? ParseGuid(*nodeClass) : std::nullopt;
            take = parsed && *parsed == *cls;
            break;
        }
        case CM_GETIDLIST_FILTER_BUSRELATIONS:
            take = i != 0 && tree.parent(i) == busParent;
            break;
        default:
            // No ejection, removal, power or transport relations are modelled.
            take = false;
            break;
        }
        if (take)
            AppendMultiSz(list, tree.id(i));
    }
    list.push_back(L'\0');
    return CR_SUCCESS;
}

} // namespace

std::string InterfacePath(const std::string& instanceId, const std::string& interfaceClass,
                          const std::string& reference) {
    std::string path = "\\\\?\\" + instanceId;
    for (size_t i = 4; i < path.size(); ++i)
        if (path[i] == '\\')
            path[i] = '#';
    auto g = ParseGuid(interfaceClass);
    path += "#" + (g ? GuidText(*g) : interfaceClass);
    if (!reference.empty())
        path += "\\" + reference;
    return Lower(path);
}

const nlohmann::json* FindNode(const nlohmann::json& state, const std::string& instanceId) {
    Tree tree(state);
    auto i = tree.find(instanceId);
    return i && *i != 0 ? &tree.node(*i) : nullptr;
}

bool IsPresent(const nlohmann::json& state, const std::string& instanceId) {
    Tree tree(state);
    auto i = tree.find(instanceId);
    return i && tree.present(*i);
}

std::optional<std::string> DeviceOfInterface(const nlohmann::json& state, const std::string& interfacePath) {
    Tree tree(state);
    for (const auto& itf : tree.interfaces())
        if (SameText(itf.path, interfacePath))
            return tree.id(itf.device);
    return std::nullopt;
}

CONFIGRET DeviceIdList(bool sizeQuery, const wchar_t* filter, ULONG flags, std::vector<wchar_t>& list) {
    const char* kind = sizeQuery ? "CM_Get_Device_ID_List_Size" : "CM_Get_Device_ID_List";
    const std::string filterText = ToUtf8(filter ? std::wstring_view(filter) : std::wstring_view());
    json selectors = {{"filter", filterText}, {"flags", flags}};
    Machine& m = Current();
    auto outcome = PlatformCall(kind, selectors);
    if (auto cr = FaultCr(outcome))
        return *cr;
    if (outcome)
        Arrive(*outcome);
    CONFIGRET result = CR_SUCCESS;
    m.Read([&](const json& state) {
        result = BuildIdList(Tree(state), filterText, filter && *filter, flags, list);
    });
    return result;
}

CONFIGRET InterfaceList(bool sizeQuery, const GUID& interfaceClass, const wchar_t* deviceId, ULONG flags,
                        std::vector<wchar_t>& list) {
    const char* kind = sizeQuery ? "CM_Get_Device_Interface_List_Size" : "CM_Get_Device_Interface_List";
    const std::string device = ToUtf8(deviceId ? std::wstring_view(deviceId) : std::wstring_view());
    json selectors = {{"class", GuidText(interfaceClass)}, {"device", device}, {"flags", flags}};
    Machine& m = Current();
    auto outcome = PlatformCall(kind, selectors);
    if (auto cr = FaultCr(outcome))
        return *cr;
    if (outcome)
        Arrive(*outcome);
    if (flags & ~CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES)
        return CR_INVALID_FLAG;
    m.Read([&](const json& state) {
        Tree tree(state);
        list.clear();
        for (const auto& itf : tree.interfaces()) {
            auto cls = ParseGuid(itf.classGuid);
            if (!cls || !(*cls == interfaceClass))
                continue;
            if (!device.empty() && !SameText(tree.id(itf.device), device))
                continue;
            if (!(flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) &&
                (!itf.enabled || !tree.present(itf.device)))
                continue;
            AppendMultiSz(list, itf.path);
        }
        list.push_back(L'\0');
    });
    return CR_SUCCESS;
}

CONFIGRET InterfaceProperty(const std::wstring& interfacePath, const DEVPROPKEY& key, bool sizeQuery,
                            PropertyValue& value) {
    const char* kind = "CM_Get_Device_Interface_Property";
    const std::string path = ToUtf8(interfacePath);
    json selectors = {{"path", path}, {"property", PropertyName(key)}, {"size_query", sizeQuery}};
    Machine& m = Current();
    auto outcome = PlatformCall(kind, selectors);
    if (auto cr = FaultCr(outcome))
        return *cr;
    CONFIGRET result = CR_SUCCESS;
    m.Read([&](const json& state) {
        Tree tree(state);
        for (const auto& itf : tree.interfaces()) {
            if (!SameText(itf.path, path))
                continue;
            if (key == DEVPKEY_Device_InstanceId)
                value = Decode(tree.id(itf.device), DEVPROP_TYPE_STRING);
            else if (key == DEVPKEY_DeviceInterface_Enabled)
                value = Decode(itf.enabled && tree.present(itf.device), DEVPROP_TYPE_BOOLEAN);
            else if (key == DEVPKEY_DeviceInterface_ClassGuid)
                value = Decode(itf.classGuid, DEVPROP_TYPE_GUID);
            else
                result = CR_NO_SUCH_VALUE;
            return;
        }
        result = CR_NO_SUCH_DEVICE_INTERFACE;
    });
    if (result == CR_SUCCESS && outcome)
        Override(value, *outcome);
    return result;
}

CONFIGRET Locate(const wchar_t* deviceId, ULONG flags, DEVINST& devInst) {
    const char* kind = "CM_Locate_DevNode";
    const std::string id = ToUtf8(deviceId ? std::wstring_view(deviceId) : std::wstring_view());
    json selectors = {{"device", id}, {"flags", flags}};
    Machine& m = Current();
    auto outcome = PlatformCall(kind, selectors);
    devInst = 0;
    if (auto cr = FaultCr(outcome))
        return *cr;
    if (id.size() > MAX_DEVICE_ID_LEN)
        return CR_INVALID_DEVICE_ID;
    CONFIGRET result = CR_NO_SUCH_DEVNODE;
    m.Read([&](const json& state) {
        Tree tree(state);
        auto i = id.empty() ? std::optional<size_t>(0) : tree.find(id);
        if (!i)
            return;
        if (!(flags & CM_LOCATE_DEVNODE_PHANTOM) && !tree.present(*i))
            return;
        devInst = static_cast<DEVINST>(*i + 1);
        result = CR_SUCCESS;
    });
    return result;
}

CONFIGRET NodeProperty(DEVINST devInst, const DEVPROPKEY& key, bool sizeQuery, PropertyValue& value) {
    const char* kind = "CM_Get_DevNode_Property";
    Machine& m = Current();
    std::string id;
    CONFIGRET result = CR_SUCCESS;
    m.Read([&](const json& state) {
        Tree tree(state);
        if (devInst == 0 || devInst > tree.size()) {
            result = CR_INVALID_DEVNODE;
            return;
        }
        const size_t i = devInst - 1;
        if (!tree.exists(i)) {
            result = CR_NO_SUCH_DEVNODE;
            return;
        }
        id = tree.id(i);
        auto v = tree.property(i, key);
        if (v)
            value = *v;
        else
            result = CR_NO_SUCH_VALUE;
    });
    json selectors = {
        {"devinst", devInst}, {"device", id}, {"property", PropertyName(key)}, {"size_query", sizeQuery}};
    auto outcome = PlatformCall(kind, selectors);
    if (auto cr = FaultCr(outcome))
        return *cr;
    if (outcome && result == CR_SUCCESS)
        Override(value, *outcome);
    return result;
}

CONFIGRET Reenumerate(DEVINST devInst, ULONG flags) {
    const char* kind = "CM_Reenumerate_DevNode";
    Machine& m = Current();
    std::string id;
    m.Read([&](const json& state) {
        Tree tree(state);
        if (devInst != 0 && devInst <= tree.size() && tree.exists(devInst - 1))
            id = tree.id(devInst - 1);
    });
    json selectors = {{"devinst", devInst}, {"device", id}, {"flags", flags}};
    if (auto cr = FaultCr(PlatformCall(kind, selectors)))
        return *cr;
    if (flags &
        ~(CM_REENUMERATE_SYNCHRONOUS | CM_REENUMERATE_RETRY_INSTALLATION | CM_REENUMERATE_ASYNCHRONOUS))
        return CR_INVALID_FLAG;
    if (id.empty())
        return devInst == 0 ? CR_INVALID_DEVNODE : CR_NO_SUCH_DEVNODE;
    m.Update([&](json& state) {
        if (!state.contains("devices") || !state["devices"].contains("nodes"))
            return;
        // A pending device is found when its parent, or any device above it, is enumerated again.
        // Repeat until no more arrive, so a pending device below a pending one arrives too.
        for (bool arrived = true; arrived;) {
            arrived = false;
            Tree tree(state);
            auto target = tree.find(id);
            for (size_t i = 1; i < tree.size() && target; ++i) {
                if (tree.node(i).value("pending", false) && tree.parent(i) &&
                    tree.below(*tree.parent(i), *target)) {
                    state["devices"]["nodes"][i - 1].erase("pending");
                    arrived = true;
                }
            }
        }
    });
    return CR_SUCCESS;
}

} // namespace sim::devices

namespace sim::devices {
namespace {

using namespace sim::schema;

Shape PropertyValue() {
    Shape typed = Object({{"type", Uint32()}, {"value", Any()}, {"bytes", Hex()}}, {"type"});
    return Either({Text(), Word32(), Bool(), Array(Text(), 256), typed});
}

// A property's name is one of the known names or a "{fmtid},pid" key, and its value encodes as the
// property's type: a read of the node then never meets a value it cannot answer.
Shape Properties() {
    static const Shape shape = Map(PropertyValue());
    return Custom([](const nlohmann::json& v, const std::string& p, Report& r) {
        Report own;
        shape->Check(v, p, own);
        for (const auto& [pointer, problem] : own.Problems())
            r.Fail(pointer, problem);
        if (!own.Ok() || !v.is_object())
            return;
        for (const auto& [name, value] : v.items()) {
            const KnownProperty* k = KnownByName(name);
            if (!k && !ParseKey(name)) {
                r.Fail(ChildPointer(p, name),
                       "no property is named \"" + name + "\" (other keys as \"{fmtid},pid\")");
                continue;
            }
            try {
                Decode(value, k ? k->type : DEVPROP_TYPE_EMPTY);
            } catch (const std::exception& e) {
                r.Fail(ChildPointer(p, name), std::string(e.what()).substr(std::strlen("devices: ")));
            }
        }
    });
}

Shape Node() {
    return Extensible(
        "devices.nodes",
        {{"id", Text()},
         {"parent", Text()},
         {"class", Text()},
         {"present", Bool()},
         {"pending", Bool()},
         {"properties", Properties()},
         {"interfaces",
          Array(Object({{"class", Text()}, {"reference", Text()}, {"enabled", Bool()}, {"path", Text()}},
                       {"class"}),
                64)}},
        {"id"});
}

// Every parent is a node of the tree (or the root), and ids are unique.
void CheckParents(const nlohmann::json& machine, Report& r) {
    if (!machine.contains("devices") || !machine.at("devices").contains("nodes"))
        return;
    const auto& nodes = machine.at("devices").at("nodes");
    std::set<std::string> ids{Lower("HTREE\\ROOT\\0")};
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!ids.insert(Lower(nodes[i].at("id").get<std::string>())).second)
            r.Fail("/devices/nodes/" + std::to_string(i) + "/id", "another node has this id");
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].contains("parent") && !ids.count(Lower(nodes[i].at("parent").get<std::string>())))
            r.Fail("/devices/nodes/" + std::to_string(i) + "/parent",
                   "no node has the id " + nodes[i].at("parent").dump());
}

const Section kDevices("devices", Object({{"nodes", Array(Node(), 100000)}}), CheckParents);

Shape CrOutcome() {
    return Object(
        {{"cr", Uint32()}, {"type", Uint32()}, {"value", Any()}, {"bytes", Hex()}, {"arrive", Any()}});
}

const FaultKind kLists({"CM_Get_Device_ID_List_Size", "CM_Get_Device_ID_List"}, {"filter", "flags"},
                       CrOutcome());
const FaultKind kInterfaceLists({"CM_Get_Device_Interface_List_Size", "CM_Get_Device_Interface_List"},
                                {"class", "device", "flags"}, CrOutcome());
const FaultKind kInterfaceProperty("CM_Get_Device_Interface_Property", {"path", "property", "size_query"},
                                   CrOutcome());
const FaultKind kNodeProperty("CM_Get_DevNode_Property", {"devinst", "device", "property", "size_query"},
                              CrOutcome());
const FaultKind kLocate("CM_Locate_DevNode", {"device", "flags"}, CrOutcome());
const FaultKind kReenumerate("CM_Reenumerate_DevNode", {"devinst", "device", "flags"}, CrOutcome());

} // namespace
bool HasNode(const Value& state, const std::string& instanceId) {
    return FindNode(ToJson(state), instanceId) != nullptr;
}

std::optional<std::string> DeviceOfInterface(const Value& state, const std::string& interfacePath) {
    return DeviceOfInterface(ToJson(state), interfacePath);
}

} // namespace sim::devices
