#pragma once
// The registry entries that make the cache service "KeplinAfsService" an out-of-process COM server:
// its AppID, its class with the local server and type library, the type library itself, and the
// service's boot migration phase. The table lives for the whole process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinRegistry.h"

// One registry value to write.
class BasicValue {
public:
    virtual const BYTE* data() const = 0;
    virtual DWORD size() const = 0;
    virtual DWORD type() const = 0;
    // Null for the key's default value.
    virtual const wchar_t* name() const = 0;
    virtual ~BasicValue() = default;
};

// A REG_SZ value; its size counts the terminating null.
class StringRegistryValue : public BasicValue {
public:
    // The key's default value.
    explicit StringRegistryValue(std::wstring text) : text_(std::move(text)), isDefault_(true) {}
    StringRegistryValue(std::wstring name, std::wstring text)
        : text_(std::move(text)), name_(std::move(name)), isDefault_(false) {}

    const BYTE* data() const override { return reinterpret_cast<const BYTE*>(text_.c_str()); }
    DWORD size() const override { return static_cast<DWORD>((text_.size() + 1) * sizeof(wchar_t)); }
    DWORD type() const override { return REG_SZ; }
    const wchar_t* name() const override { return isDefault_ ? nullptr : name_.c_str(); }

private:
    std::wstring text_;
    std::wstring name_;
    bool isDefault_;
};

class DwordRegistryValue : public BasicValue {
public:
    DwordRegistryValue(std::wstring name, uint32_t value) : value_(value), name_(std::move(name)) {}

    const BYTE* data() const override { return reinterpret_cast<const BYTE*>(&value_); }
    DWORD size() const override { return sizeof value_; }
    DWORD type() const override { return REG_DWORD; }
    const wchar_t* name() const override { return name_.c_str(); }

private:
    uint32_t value_;
    std::wstring name_;
};

// Write modes: create the key and write every value, or only the values that are not there yet.
constexpr uint8_t kWriteAllValues = 1;
constexpr uint8_t kWriteMissingValues = 3;
// Removal modes: empty the key on removal, or leave it.
constexpr uint8_t kRemoveKeep = 0;
constexpr uint8_t kRemoveEmptyKey = 2;

struct RegistryKeyEntry {
    HKEY root;
    std::wstring subKey;
    std::vector<std::unique_ptr<BasicValue>> values;
    uint8_t writeMode;
    uint8_t removalMode;
};

// The twelve entries, in the order they are written.
const std::vector<RegistryKeyEntry>& ComServerRegistryTable();

// Writes the table; 0, or the first failing Win32 code (after the removal has run).
LSTATUS ApplyComServerRegistry();
// Empties the keys marked for removal; failures are traced and skipped. Always 0.
LSTATUS RemoveComServerRegistry();

// The COM server's identifiers, in registry form.
inline constexpr const wchar_t* kComServerClassId = L"{D19AAF57-65A7-484B-9E7A-26C0E667DC66}";
inline constexpr const wchar_t* kComServerAppId = L"{967291FE-41EB-4809-B62A-5E5EBC7F099C}";
inline constexpr const wchar_t* kComServerTypeLibId = L"{51C0003F-0741-4D1A-A612-891EB6928B5B}";
