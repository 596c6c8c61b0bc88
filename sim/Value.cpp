#include "sim/Value.h"

#include <algorithm>
#include <ostream>

#include "sim/ValueJson.h"

namespace sim {
namespace {

const Value kNull;

bool IsPair(const Value& v) {
    return v.is_array() && v.size() == 2 && v.items()[0].is_string();
}

} // namespace

Value::Value(std::initializer_list<Value> list) {
    const bool object = list.size() > 0 && std::all_of(list.begin(), list.end(), IsPair);
    if (!object) {
        kind_ = Kind::Array;
        items_.assign(list.begin(), list.end());
        return;
    }
    kind_ = Kind::Object;
    for (const Value& pair : list) {
        // The first of two equal keys is kept, as in a description read from text.
        const std::string key = pair.items_[0].string_;
        if (!contains(key))
            (*this)[key] = pair.items_[1];
    }
}

Value Value::array(std::initializer_list<Value> items) {
    Value v;
    v.kind_ = Kind::Array;
    v.items_.assign(items.begin(), items.end());
    return v;
}

Value Value::parse(std::string_view text) {
    try {
        return ToValue(nlohmann::json::parse(text));
    } catch (const nlohmann::json::exception& e) {
        throw std::invalid_argument(std::string("Value::parse: ") + e.what());
    }
}

std::string Value::dump() const {
    return ToJson(*this).dump();
}

const Value* Value::Find(std::string_view key) const {
    if (kind_ != Kind::Object)
        return nullptr;
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (it == keys_.end() || *it != key)
        return nullptr;
    return &items_[static_cast<size_t>(it - keys_.begin())];
}

const Value& Value::operator[](std::string_view key) const {
    const Value* v = Find(key);
    return v ? *v : kNull;
}

const Value& Value::operator[](size_t index) const {
    return kind_ == Kind::Array && index < items_.size() ? items_[index] : kNull;
}

Value& Value::operator[](std::string_view key) {
    if (kind_ == Kind::Null)
        kind_ = Kind::Object;
    if (kind_ != Kind::Object)
        WrongKind("an object");
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    const size_t at = static_cast<size_t>(it - keys_.begin());
    if (it == keys_.end() || *it != key) {
        keys_.insert(it, std::string(key));
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), Value());
    }
    return items_[at];
}

Value& Value::operator[](size_t index) {
    if (kind_ == Kind::Null)
        kind_ = Kind::Array;
    if (kind_ != Kind::Array)
        WrongKind("an array");
    if (index >= items_.size())
        items_.resize(index + 1);
    return items_[index];
}

void Value::push_back(Value v) {
    if (kind_ == Kind::Null)
        kind_ = Kind::Array;
    if (kind_ != Kind::Array)
        WrongKind("an array");
    items_.push_back(std::move(v));
}

size_t Value::erase(std::string_view key) {
    if (kind_ != Kind::Object)
        return 0;
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (it == keys_.end() || *it != key)
        return 0;
    items_.erase(items_.begin() + (it - keys_.begin()));
    keys_.erase(it);
    return 1;
}

void Value::update(const Value& other) {
    if (!other.is_object())
        WrongKind("an object to update with");
    for (size_t i = 0; i < other.size(); ++i)
        (*this)[other.keys_[i]] = other.items_[i];
}

void Value::WrongKind(const char* wanted) const {
    throw std::runtime_error(std::string("Value: ") + dump() + " is not " + wanted);
}

bool operator==(const Value& a, const Value& b) {
    return ToJson(a) == ToJson(b);
}

std::ostream& operator<<(std::ostream& os, const Value& v) {
    return os << v.dump();
}

void PrintTo(const Value& v, std::ostream* os) {
    *os << v.dump();
}

Value ToValue(const nlohmann::json& j) {
    switch (j.type()) {
    case nlohmann::json::value_t::boolean:
        return Value(j.get<bool>());
    case nlohmann::json::value_t::number_integer:
        return Value(j.get<int64_t>());
    case nlohmann::json::value_t::number_unsigned:
        return Value(j.get<uint64_t>());
    case nlohmann::json::value_t::number_float:
        return Value(j.get<double>());
    case nlohmann::json::value_t::string:
        return Value(j.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
        Value v = Value::array();
        for (const auto& item : j)
            v.push_back(ToValue(item));
        return v;
    }
    case nlohmann::json::value_t::object: {
        // The library keeps keys in order, so members append in order.
        Value v = Value::object();
        for (const auto& [key, item] : j.items())
            v[key] = ToValue(item);
        return v;
    }
    default:
        return Value();
    }
}

nlohmann::json ToJson(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Bool:
        return v.get<bool>();
    case Value::Kind::Int:
        return v.get<int64_t>();
    case Value::Kind::Uint:
        return v.get<uint64_t>();
    case Value::Kind::Double:
        return v.get<double>();
    case Value::Kind::String:
        return v.get<std::string>();
    case Value::Kind::Array: {
        nlohmann::json a = nlohmann::json::array();
        for (const Value& item : v.items())
            a.push_back(ToJson(item));
        return a;
    }
    case Value::Kind::Object: {
        nlohmann::json o = nlohmann::json::object();
        for (size_t i = 0; i < v.size(); ++i)
            o[v.keys()[i]] = ToJson(v.items()[i]);
        return o;
    }
    default:
        return nullptr;
    }
}

} // namespace sim
