#include "sim/DescriptionValues.h"

#include "sim/ValueJson.h"

#include <cctype>
#include <cstdlib>

namespace sim {

std::optional<uint64_t> ParseDescNumber(const nlohmann::json& v) {
    if (v.is_boolean())
        return v.get<bool>() ? 1 : 0;
    if (v.is_number_unsigned())
        return v.get<uint64_t>();
    if (v.is_number_integer())
        return static_cast<uint64_t>(v.get<int64_t>());
    if (v.is_number_float())
        return static_cast<uint64_t>(v.get<double>());
    if (!v.is_string())
        return std::nullopt;
    const std::string& s = v.get_ref<const std::string&>();
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    const uint64_t n = s[0] == '-' ? static_cast<uint64_t>(std::strtoll(s.c_str(), &end, 0))
                                   : std::strtoull(s.c_str(), &end, 0);
    if (end == nullptr || *end != '\0')
        return std::nullopt;
    return n;
}

uint64_t DescValue(const nlohmann::json& value, uint64_t def) {
    return ParseDescNumber(value).value_or(def);
}

uint64_t DescNumber(const nlohmann::json& object, const char* key, uint64_t def) {
    if (!object.is_object())
        return def;
    auto it = object.find(key);
    return it == object.end() ? def : DescValue(*it, def);
}

bool DescFlag(const nlohmann::json& object, const char* key, bool def) {
    return DescNumber(object, key, def ? 1 : 0) != 0;
}

std::string DescText(const nlohmann::json& object, const char* key, const std::string& def) {
    if (!object.is_object())
        return def;
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : def;
}

std::optional<std::vector<uint8_t>> ParseDescHex(std::string_view text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        const int n = nibble(c);
        if (n < 0)
            return std::nullopt;
        if (high < 0) {
            high = n;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return out;
}

std::string FormatDescHex(const uint8_t* data, size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::optional<uint64_t> ParseDescNumber(const Value& value) {
    return ParseDescNumber(ToJson(value));
}

uint64_t DescNumber(const Value& object, const char* key, uint64_t def) {
    return DescNumber(ToJson(object), key, def);
}

bool DescFlag(const Value& object, const char* key, bool def) {
    return DescFlag(ToJson(object), key, def);
}

std::string DescText(const Value& object, const char* key, const std::string& def) {
    return DescText(ToJson(object), key, def);
}

} // namespace sim
