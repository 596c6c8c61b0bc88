#include "sim/RegistryStore.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <cwchar>
#include <utility>

#include "platform/win/WinError.h"
#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/StateLog.h"
#include "sim/ValueJson.h"
#include "sim/WideText.h"

namespace sim::registry {
namespace {

using nlohmann::json;

constexpr size_t kLogLimit = 1000;

constexpr std::array<std::pair<uint32_t, const char*>, 10> kTypeNames = {{
    {0, "REG_NONE"},
    {1, "REG_SZ"},
    {2, "REG_EXPAND_SZ"},
    {3, "REG_BINARY"},
    {4, "REG_DWORD"},
    {5, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {7, "REG_MULTI_SZ"},
    {8, "REG_RESOURCE_LIST"},
    {11, "REG_QWORD"},
}};

constexpr uint32_t kSz = 1, kExpandSz = 2, kDword = 4, kDwordBigEndian = 5, kMultiSz = 7, kQword = 11;

constexpr std::array<std::pair<const char*, const char*>, 5> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_USERS", "HKU"},
    {"HKEY_CURRENT_CONFIG", "HKCC"},
}};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return parts;
}

std::string Join(const std::vector<std::string>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        if (i)
            out += '\\';
        out += parts[i];
    }
    return out;
}

// The one spelling of a path: short root name, single separators; empty for an unknown root.
std::string Canonical(const std::string& path) {
    std::vector<std::string> parts = Split(path);
    if (parts.empty())
        return {};
    bool known = false;
    for (const auto& [longName, shortName] : kRoots)
        if (EqualNoCase(parts[0], longName) || EqualNoCase(parts[0], shortName)) {
            parts[0] = shortName;
            known = true;
        }
    return known ? Join(parts, parts.size()) : std::string();
}

std::string TextOf(const json& value) {
    return value.is_string() ? value.get<std::string>() : std::string();
}

void AppendText(std::vector<uint8_t>& out, const std::string& text, TextForm form) {
    if (form == TextForm::Narrow) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
        return;
    }
    std::wstring wide = FromUtf8(text);
    wide.push_back(L'\0');
    const auto* bytes = reinterpret_cast<const uint8_t*>(wide.data());
    out.insert(out.end(), bytes, bytes + wide.size() * sizeof(wchar_t));
}

// The texts of a block of characters, split at terminators; stops at an empty text.
std::vector<std::string> TextsOf(const uint8_t* data, size_t size, TextForm form, bool many) {
    std::vector<std::string> texts;
    if (form == TextForm::Narrow) {
        size_t i = 0;
        while (i < size) {
            size_t end = i;
            while (end < size && data[end] != 0)
                ++end;
            if (end == i && (many || !texts.empty()))
                break;
            texts.emplace_back(reinterpret_cast<const char*>(data + i), end - i);
            if (!many)
                break;
            i = end + 1;
        }
    } else {
        std::wstring wide(size / sizeof(wchar_t), L'\0');
        if (!wide.empty())
            std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
        size_t i = 0;
        while (i < wide.size()) {
            size_t end = wide.find(L'\0', i);
            if (end == std::wstring::npos)
                end = wide.size();
            if (end == i && (many || !texts.empty()))
                break;
            texts.push_back(ToUtf8(std::wstring_view(wide).substr(i, end - i)));
            if (!many)
                break;
            i = end + 1;
        }
    }
    return texts;
}

bool Is64(const json& state) {
    return !(state.contains("os") && state["os"].is_object() && !state["os"].value("is_64bit", true));
}

json& Keys(json& state) {
    json& section = state["registry"];
    if (!section.is_object())
        section = json::object();
    if (!section["keys"].is_object())
        section["keys"] = json::object();
    return section["keys"];
}

const json* KeysOf(const json& state) {
    if (!state.contains("registry") || !state["registry"].is_object())
        return nullptr;
    const json& section = state["registry"];
    return section.contains("keys") && section["keys"].is_object() ? &section["keys"] : nullptr;
}

bool Builtin(const json& state, const std::string& lowerPath) {
    return lowerPath == "hklm\\software" || lowerPath == "hklm\\system" ||
           (Is64(state) && lowerPath == "hklm\\software\\wow6432node");
}

bool IsRoot(const std::string& canonical) {
    return canonical.find('\\') == std::string::npos;
}

// The stored spelling of a key, or "" when it is not listed.
std::string StoredName(const json& state, const std::string& canonical) {
    const json* keys = KeysOf(state);
    if (!keys)
        return {};
    const std::string wanted = Lower(canonical);
    for (auto it = keys->begin(); it != keys->end(); ++it)
        if (Lower(Canonical(it.key())) == wanted)
            return it.key();
    return {};
}

bool ExistsIn(const json& state, const std::string& canonical) {
    if (canonical.empty())
        return false;
    const std::string wanted = Lower(canonical);
    if (IsRoot(canonical) || Builtin(state, wanted))
        return true;
    const json* keys = KeysOf(state);
    if (!keys)
        return false;
    for (auto it = keys->begin(); it != keys->end(); ++it) {
        const std::string have = Lower(Canonical(it.key()));
        if (have == wanted || have.compare(0, wanted.size() + 1, wanted + "\\") == 0)
            return true;
    }
    return false;
}

// The values object of a listed key, listing it when it was only implied.
json& ValuesFor(json& state, const std::string& canonical) {
    std::string stored = StoredName(state, canonical);
    json& keys = Keys(state);
    if (stored.empty()) {
        stored = canonical;
        keys[stored] = json::object();
    }
    if (!keys[stored].is_object())
        keys[stored] = json::object();
    return keys[stored];
}

std::string ValueName(const json& values, const std::string& name) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (EqualNoCase(it.key(), name))
            return it.key();
    return {};
}

// Every change goes to the state directory's write log, appended one by one (the description's
// "write_log" holds what the machine started with).
StateLog& WriteLogFile() {
    static StateLog log("registry-writes.jsonl", kLogLimit);
    return log;
}

void Log(json&, json entry) {
    WriteLogFile().Append(entry);
}

} // namespace

std::string TypeName(uint32_t type) {
    for (const auto& [number, name] : kTypeNames)
        if (number == type)
            return name;
    return std::to_string(type);
}

static uint32_t TypeNumber(const json& type) {
    if (type.is_number())
        return static_cast<uint32_t>(DescValue(type));
    const std::string name = TextOf(type);
    for (const auto& [number, typeName] : kTypeNames)
        if (EqualNoCase(name, typeName))
            return number;
    return 0;
}

std::vector<uint8_t> ValueBytes(const json& value, TextForm form, uint32_t* type) {
    const uint32_t t = value.is_object() && value.contains("type") ? TypeNumber(value["type"]) : 0;
    if (type)
        *type = t;
    if (!value.is_object())
        return {};
    if (value.contains("bytes"))
        return ParseDescHex(TextOf(value["bytes"])).value_or(std::vector<uint8_t>());
    const json data = value.value("data", json());
    std::vector<uint8_t> out;
    switch (t) {
    case kDword:
    case kDwordBigEndian: {
        const auto n = static_cast<uint32_t>(DescValue(data));
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(n >> (t == kDword ? 8 * i : 8 * (3 - i))));
        return out;
    }
    case kQword: {
        const uint64_t n = DescValue(data);
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<uint8_t>(n >> (8 * i)));
        return out;
    }
    case kSz:
    case kExpandSz:
        AppendText(out, TextOf(data), form);
        return out;
    case kMultiSz:
        if (data.is_array())
            for (const auto& text : data)
                AppendText(out, TextOf(text), form);
        AppendText(out, "", form);
        return out;
    default:
        return ParseDescHex(TextOf(data)).value_or(std::vector<uint8_t>());
    }
}

json ValueFromBytes(uint32_t type, const uint8_t* data, size_t size, TextForm form) {
    json value{{"type", TypeName(type)}};
    const size_t unit = form == TextForm::Narrow ? 1 : sizeof(wchar_t);
    switch (type) {
    case kDword:
    case kDwordBigEndian:
        if (size == 4) {
            uint32_t n = 0;
            for (int i = 0; i < 4; ++i)
                n |= static_cast<uint32_t>(data[i]) << (type == kDword ? 8 * i : 8 * (3 - i));
            value["data"] = n;
            return value;
        }
        break;
    case kQword:
        if (size == 8) {
            uint64_t n = 0;
            for (int i = 0; i < 8; ++i)
                n |= static_cast<uint64_t>(data[i]) << (8 * i);
            value["data"] = n;
            return value;
        }
        break;
    case kSz:
    case kExpandSz:
        if (size % unit == 0) {
            auto texts = TextsOf(data, size, form, false);
            value["data"] = texts.empty() ? std::string() : texts.front();
            return value;
        }
        break;
    case kMultiSz:
        if (size % unit == 0) {
            value["data"] = TextsOf(data, size, form, true);
            return value;
        }
        break;
    default:
        value["data"] = FormatDescHex(data, size);
        return value;
    }
    value["bytes"] = FormatDescHex(data, size);
    return value;
}

std::string ViewPath(const std::string& path, bool view32) {
    std::string canonical = Canonical(path);
    if (!view32)
        return canonical;
    std::vector<std::string> parts = Split(canonical);
    if (parts.size() < 2 || parts[0] != "HKLM" || !EqualNoCase(parts[1], "SOFTWARE"))
        return canonical;
    if (parts.size() >= 3 && EqualNoCase(parts[2], "WOW6432Node"))
        return canonical;
    parts.insert(parts.begin() + 2, "WOW6432Node");
    return Join(parts, parts.size());
}

bool KeyExists(const std::string& path) {
    bool exists = false;
    Current().Read([&](const json& s) { exists = ExistsIn(s, Canonical(path)); });
    return exists;
}

std::vector<std::string> SubKeys(const std::string& path) {
    const std::string prefix = Lower(Canonical(path)) + "\\";
    std::vector<std::string> names;
    Current().Read([&](const json& s) {
        const json* keys = KeysOf(s);
        if (!keys)
            return;
        for (auto it = keys->begin(); it != keys->end(); ++it) {
            const std::string canonical = Canonical(it.key());
            if (Lower(canonical).compare(0, prefix.size(), prefix) != 0 || canonical.size() == prefix.size())
                continue;
            const std::string name =
                canonical.substr(prefix.size(), canonical.find('\\', prefix.size()) - prefix.size());
            bool seen = false;
            for (const std::string& n : names)
                seen = seen || EqualNoCase(n, name);
            if (!seen)
                names.push_back(name);
        }
    });
    return names;
}

uint32_t CreateKey(const std::string& path, bool* created) {
    const std::string canonical = Canonical(path);
    if (canonical.empty())
        return ERROR_INVALID_HANDLE;
    if (created)
        *created = false;
    if (KeyExists(canonical))
        return ERROR_SUCCESS;
    Current().Update([&](json& s) {
        if (ExistsIn(s, canonical))
            return;
        ValuesFor(s, canonical);
        Log(s, {{"op", "create_key"}, {"key", canonical}});
        if (created)
            *created = true;
    });
    return ERROR_SUCCESS;
}

uint32_t QueryValue(const std::string& key, const std::string& name, json* value) {
    const std::string canonical = Canonical(key);
    uint32_t result = ERROR_FILE_NOT_FOUND;
    Current().Read([&](const json& s) {
        const std::string stored = StoredName(s, canonical);
        if (stored.empty())
            return;
        const json& values = (*KeysOf(s))[stored];
        if (!values.is_object())
            return;
        const std::string spelled = ValueName(values, name);
        if (spelled.empty() && !(name.empty() && values.contains("")))
            return;
        if (value)
            *value = values[spelled];
        result = ERROR_SUCCESS;
    });
    return result;
}

uint32_t SetValue(const std::string& key, const std::string& name, const json& value) {
    const std::string canonical = Canonical(key);
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& s) {
        if (!ExistsIn(s, canonical)) {
            result = ERROR_FILE_NOT_FOUND;
            return;
        }
        json& values = ValuesFor(s, canonical);
        std::string spelled = ValueName(values, name);
        if (spelled.empty())
            spelled = name;
        values[spelled] = value;
        json entry{{"op", "set_value"}, {"key", canonical}, {"name", spelled}};
        entry.update(value);
        Log(s, std::move(entry));
    });
    return result;
}

uint32_t DeleteValue(const std::string& key, const std::string& name) {
    const std::string canonical = Canonical(key);
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& s) {
        const std::string stored = StoredName(s, canonical);
        json* values = stored.empty() ? nullptr : &Keys(s)[stored];
        const std::string spelled = values && values->is_object() ? ValueName(*values, name) : std::string();
        if (!values || !values->is_object() || (spelled.empty() && !(name.empty() && values->contains("")))) {
            result = ERROR_FILE_NOT_FOUND;
            return;
        }
        values->erase(spelled);
        Log(s, {{"op", "delete_value"}, {"key", canonical}, {"name", spelled}});
    });
    return result;
}

uint32_t DeleteTree(const std::string& key, bool includeKey) {
    const std::string canonical = Canonical(key);
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& s) {
        if (!ExistsIn(s, canonical) || IsRoot(canonical) || Builtin(s, Lower(canonical))) {
            result = ExistsIn(s, canonical) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
            return;
        }
        // Parents that exist only through this key keep existing without it.
        const std::vector<std::string> parts = Split(canonical);
        for (size_t n = 2; n < parts.size(); ++n)
            ValuesFor(s, Join(parts, n));
        json& keys = Keys(s);
        const std::string wanted = Lower(canonical);
        for (auto it = keys.begin(); it != keys.end();) {
            const std::string have = Lower(Canonical(it.key()));
            if (have == wanted || have.compare(0, wanted.size() + 1, wanted + "\\") == 0)
                it = keys.erase(it);
            else
                ++it;
        }
        if (!includeKey)
            keys[canonical] = json::object();
        Log(s, {{"op", "delete_tree"}, {"key", canonical}});
    });
    return result;
}

std::vector<Value> WriteLog() {
    std::vector<json> log;
    Current().Read([&](const json& s) {
        if (s.contains("registry") && s["registry"].is_object() && s["registry"].contains("write_log") &&
            s["registry"]["write_log"].is_array())
            log = s["registry"]["write_log"].get<std::vector<json>>();
    });
    for (auto& entry : WriteLogFile().Entries())
        log.push_back(std::move(entry));
    if (log.size() > kLogLimit)
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(log.size() - kLogLimit));
    std::vector<Value> out;
    for (const json& entry : log)
        out.push_back(ToValue(entry));
    return out;
}

uint32_t QueryValue(const std::string& key, const std::string& name, Value* value) {
    json stored;
    const uint32_t error = QueryValue(key, name, &stored);
    if (value)
        *value = ToValue(stored);
    return error;
}

uint32_t SetValue(const std::string& key, const std::string& name, const Value& value) {
    return SetValue(key, name, ToJson(value));
}

void ClearWriteLog() {
    Current().Update([](json& s) {
        if (s.contains("registry") && s["registry"].is_object())
            s["registry"].erase("write_log");
    });
    WriteLogFile().Clear();
}

} // namespace sim::registry

namespace sim::registry {
namespace {

using namespace sim::schema;

Shape Value() {
    return Object({{"type", Text()}, {"data", Any()}, {"bytes", schema::Hex()}});
}

Shape LogEntry() {
    return Object({{"op", OneOfText({"create_key", "set_value", "delete_value", "delete_tree"})},
                   {"key", Text()},
                   {"name", Text()},
                   {"type", Text()},
                   {"data", Any()}});
}

const Section kRegistry("registry", Object({{"keys", Map(Map(Value()))}, {"write_log", Array(LogEntry())}}));

} // namespace
} // namespace sim::registry
