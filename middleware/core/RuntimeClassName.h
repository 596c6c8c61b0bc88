#pragma once
// Run-time class names as the product's texts spell them: the way the Windows compiler's type
// information writes a type ("class CIoctlDiskGetDiskAddress", "struct SRB_IO_CONTROL",
// "CIoctlTemplate<struct A,struct A,2129986576>"), not the way this compiler does.
//
// A class states its name once with MOX_RUNTIME_CLASS (or MOX_RUNTIME_CLASS_ROOT in the base of a
// hierarchy), which gives it a static kRuntimeClassName and the virtual RuntimeClassName() of its
// most derived type. A template builds its name from its arguments with RuntimeClassNameOf and
// TemplateRuntimeClassName. Plain records only need the static member (or a
// RuntimeClassNameTraits specialisation when the record cannot carry it).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace mox {

template <class T> struct RuntimeClassNameTraits {
    static std::string Get() { return T::kRuntimeClassName; }
};

#define MOX_RUNTIME_FUNDAMENTAL_NAME(T, text)                                                                \
    template <> struct RuntimeClassNameTraits<T> {                                                           \
        static std::string Get() { return text; }                                                            \
    };
MOX_RUNTIME_FUNDAMENTAL_NAME(char, "char")
MOX_RUNTIME_FUNDAMENTAL_NAME(signed char, "signed char")
MOX_RUNTIME_FUNDAMENTAL_NAME(unsigned char, "unsigned char")
MOX_RUNTIME_FUNDAMENTAL_NAME(short, "short")
MOX_RUNTIME_FUNDAMENTAL_NAME(unsigned short, "unsigned short")
MOX_RUNTIME_FUNDAMENTAL_NAME(int, "int")
MOX_RUNTIME_FUNDAMENTAL_NAME(unsigned int, "unsigned int")
MOX_RUNTIME_FUNDAMENTAL_NAME(long long, "__int64")
MOX_RUNTIME_FUNDAMENTAL_NAME(unsigned long long, "unsigned __int64")
#undef MOX_RUNTIME_FUNDAMENTAL_NAME

template <class T> std::string RuntimeClassNameOf() {
    return RuntimeClassNameTraits<std::remove_cv_t<T>>::Get();
}

// A non-type template argument as the Windows compiler prints it: decimal.
inline std::string RuntimeTemplateValue(uint64_t value) {
    return std::to_string(value);
}

// "name<arg1,arg2,...>", arguments joined without blanks.
inline std::string TemplateRuntimeClassName(std::string_view name,
                                            std::initializer_list<std::string> arguments) {
    std::string out(name);
    out += '<';
    bool first = true;
    for (const auto& a : arguments) {
        if (!first)
            out += ',';
        out += a;
        first = false;
    }
    out += '>';
    return out;
}

} // namespace mox

// In the root class of a hierarchy whose texts name the most derived class.
#define MOX_RUNTIME_CLASS_ROOT(text)                                                                         \
public:                                                                                                      \
    static constexpr const char* kRuntimeClassName = text;                                                   \
    virtual const char* RuntimeClassName() const {                                                           \
        return kRuntimeClassName;                                                                            \
    }

// In every class derived from such a root.
#define MOX_RUNTIME_CLASS(text)                                                                              \
public:                                                                                                      \
    static constexpr const char* kRuntimeClassName = text;                                                   \
    const char* RuntimeClassName() const override {                                                          \
        return kRuntimeClassName;                                                                            \
    }

namespace mox {

// The object's run-time class name, one blank, then the text: how debug texts say which class
// spoke ("class UVIAccelerateVezkAction No controller ...").
template <class T> std::string MakeTypeNameMessage(const T& object, std::string_view text) {
    std::string out = object.RuntimeClassName();
    out += ' ';
    out += text;
    return out;
}

} // namespace mox
