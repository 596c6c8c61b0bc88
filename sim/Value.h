#pragma once
// A JSON value for tests and tools that talk to the simulated machine without the JSON library: fault
// rules, the selectors of logged calls, values read from or written to the machine's state. It is
// written with the brace syntax descriptions use ({{"win32_error", 5}} is an object, a list whose
// every element is a pair led by a text; anything else in braces is an array) and read with a few
// typed accessors. Parsing and printing live in the simulator (sim/Value.cpp).
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sim {

class Value {
public:
    enum class Kind : uint8_t { Null, Bool, Int, Uint, Double, String, Array, Object };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : kind_(Kind::Bool), bool_(b) {}
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) Value(T n) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Int;
            int_ = n;
        } else {
            kind_ = Kind::Uint;
            uint_ = n;
        }
    }
    Value(double d) : kind_(Kind::Double), double_(d) {}
    Value(const char* s) : kind_(Kind::String), string_(s) {}
    Value(std::string_view s) : kind_(Kind::String), string_(s) {}
    Value(const std::string& s) : kind_(Kind::String), string_(s) {}
    Value(std::string&& s) : kind_(Kind::String), string_(std::move(s)) {}
    // An object when every element is a two-element list led by a text, else an array.
    Value(std::initializer_list<Value> list);

    static Value array(std::initializer_list<Value> items = {});
    static Value object() {
        Value v;
        v.kind_ = Kind::Object;
        return v;
    }
    // Parses JSON text; bad text throws std::invalid_argument naming the problem.
    static Value parse(std::string_view text);

    // Compact JSON text (object keys in order).
    std::string dump() const;

    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == Kind::Null; }
    bool is_boolean() const { return kind_ == Kind::Bool; }
    bool is_number() const { return kind_ == Kind::Int || kind_ == Kind::Uint || kind_ == Kind::Double; }
    bool is_string() const { return kind_ == Kind::String; }
    bool is_array() const { return kind_ == Kind::Array; }
    bool is_object() const { return kind_ == Kind::Object; }

    // Objects and arrays: how many members or elements; 0 for anything else.
    size_t size() const { return kind_ == Kind::Array || kind_ == Kind::Object ? items_.size() : 0; }
    bool empty() const { return size() == 0; }
    bool contains(std::string_view key) const { return Find(key) != nullptr; }
    // A member or element, or a null value when there is none.
    const Value& operator[](std::string_view key) const;
    const Value& operator[](const char* key) const { return (*this)[std::string_view(key)]; }
    const Value& operator[](size_t index) const;
    template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, size_t>) const Value& operator[](I index) const {
        return (*this)[static_cast<size_t>(index)];
    }
    // Makes the member (a null value becomes an object) or the element (the array grows with nulls).
    Value& operator[](std::string_view key);
    Value& operator[](const char* key) { return (*this)[std::string_view(key)]; }
    Value& operator[](size_t index);
    template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, size_t>) Value& operator[](I index) {
        return (*this)[static_cast<size_t>(index)];
    }
    // Appends to an array (a null value becomes one).
    void push_back(Value v);
    // Removes a member; how many were removed.
    size_t erase(std::string_view key);
    // Sets every member of another object on this one.
    void update(const Value& other);
    // An array's elements or an object's member values.
    std::vector<Value>::const_iterator begin() const { return items_.begin(); }
    std::vector<Value>::const_iterator end() const { return items_.end(); }
    std::vector<Value>::iterator begin() { return items_.begin(); }
    std::vector<Value>::iterator end() { return items_.end(); }
    // An object's keys in order, or an array's elements.
    const std::vector<std::string>& keys() const { return keys_; }
    const std::vector<Value>& items() const { return items_; }

    // The value as T (a number type, bool, std::string); a value of another kind throws
    // std::runtime_error.
    template <class T> T get() const;
    // A member as T, or fallback when the member is missing.
    template <class T> T value(std::string_view key, T fallback) const {
        const Value* v = Find(key);
        return v ? v->get<T>() : fallback;
    }
    std::string value(std::string_view key, const char* fallback) const {
        return value<std::string>(key, fallback);
    }

    // JSON equality: numbers compare by value whatever their kind.
    friend bool operator==(const Value& a, const Value& b);
    friend void PrintTo(const Value& v, std::ostream* os);
    friend std::ostream& operator<<(std::ostream& os, const Value& v);

private:
    const Value* Find(std::string_view key) const;
    [[noreturn]] void WrongKind(const char* wanted) const;

    Kind kind_ = Kind::Null;
    bool bool_ = false;
    int64_t int_ = 0;
    uint64_t uint_ = 0;
    double double_ = 0;
    std::string string_;
    // Objects: keys_[i] names items_[i], in key order. Arrays: items_.
    std::vector<std::string> keys_;
    std::vector<Value> items_;
};

namespace detail {
template <class T> struct IsVector : std::false_type {};
template <class U> struct IsVector<std::vector<U>> : std::true_type {};
} // namespace detail

template <class T> T Value::get() const {
    if constexpr (detail::IsVector<T>::value) {
        if (kind_ != Kind::Array)
            WrongKind("an array");
        T out;
        for (const Value& item : items_)
            out.push_back(item.get<typename T::value_type>());
        return out;
    } else if constexpr (std::is_same_v<T, bool>) {
        if (kind_ != Kind::Bool)
            WrongKind("a boolean");
        return bool_;
    } else if constexpr (std::is_integral_v<T> || std::is_floating_point_v<T>) {
        switch (kind_) {
        case Kind::Int:
            return static_cast<T>(int_);
        case Kind::Uint:
            return static_cast<T>(uint_);
        case Kind::Double:
            return static_cast<T>(double_);
        default:
            WrongKind("a number");
        }
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (kind_ != Kind::String)
            WrongKind("a text");
        return string_;
    } else if constexpr (std::is_same_v<T, Value>) {
        return *this;
    } else {
        static_assert(sizeof(T) == 0, "Value::get: no such form");
    }
}

} // namespace sim
