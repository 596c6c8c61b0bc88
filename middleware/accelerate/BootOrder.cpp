#include "middleware/accelerate/BootOrder.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <vector>

#include "platform/win/Trace.h"
#include "platform/win/WinFirmware.h"
#include "platform/win/WinSecurity.h"

namespace {

// Whether this process enabled the firmware privilege; it stays enabled once it is.
std::atomic<bool> g_firmwarePrivilegeEnabled{false};

// Room for 100 option numbers, and for a load option.
constexpr DWORD kBootOrderBytes = 200;
constexpr DWORD kLoadOptionBytes = 1000;

constexpr const wchar_t* kBootManagerDescription = L"windows boot manager";
constexpr const wchar_t* kBootManagerFilePath = L"\\efi\\microsoft\\boot\\bootmgfw.efi";

// EFI_LOAD_OPTION up to its description.
#pragma pack(push, 1)
struct LoadOptionHeader {
    uint32_t Attributes;
    uint16_t FilePathListLength;
};
#pragma pack(pop)
static_assert(sizeof(LoadOptionHeader) == 6);
static_assert(offsetof(LoadOptionHeader, FilePathListLength) == 4);

// EFI_DEVICE_PATH_PROTOCOL: the header of every device path node; Length counts the header.
struct DevicePathNodeHeader {
    uint8_t Type;
    uint8_t SubType;
    uint16_t Length;
};
static_assert(sizeof(DevicePathNodeHeader) == 4);
static_assert(offsetof(DevicePathNodeHeader, Length) == 2);

constexpr uint8_t kMediaDevicePath = 4;
constexpr uint8_t kMediaFilePath = 4;

// The NUL-terminated UTF-16 text at [begin, end) of the bytes; the offset after its NUL, or 0 when no
// NUL ends it within them.
size_t Utf16Text(const uint8_t* bytes, size_t begin, size_t end, std::wstring& text) {
    text.clear();
    for (size_t at = begin; at + 2 <= end; at += 2) {
        const uint16_t unit = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        if (unit == 0)
            return at + 2;
        text.push_back(static_cast<wchar_t>(unit));
    }
    return 0;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

bool EnableFirmwarePrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_WRITE, &token))
        return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD previousLength = 0;
    bool enabled =
        LookupPrivilegeValueW(nullptr, L"SeSystemEnvironmentPrivilege", &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous, &previousLength);
    // A token without the privilege "succeeds" with nothing assigned: the privilege is not enabled.
    if (enabled && GetLastError() == ERROR_NOT_ALL_ASSIGNED)
        enabled = false;
    CloseHandle(token);
    return enabled;
}

} // namespace

bool ReadBootOption(uint16_t number, BootLoadOption& option) {
    char name[16];
    std::snprintf(name, sizeof name, "Boot%04X", number);
    std::vector<uint8_t> bytes(kLoadOptionBytes);
    const size_t size = std::min<DWORD>(
        GetFirmwareEnvironmentVariableA(name, EFI_GLOBAL_VARIABLE_GUID_TEXT, bytes.data(), kLoadOptionBytes),
        kLoadOptionBytes);
    if (size < sizeof(LoadOptionHeader))
        return false;
    LoadOptionHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    option.attributes = header.Attributes;
    option.filePathListLength = header.FilePathListLength;
    const size_t listStart = Utf16Text(bytes.data(), sizeof header, size, option.description);
    if (listStart == 0)
        return false;

    // The walk stays inside the list as the option gives it and inside the bytes read; a node shorter
    // than its header or reaching past the list ends it.
    option.filePath.clear();
    const size_t listEnd = std::min(size, listStart + option.filePathListLength);
    for (size_t at = listStart; at + sizeof(DevicePathNodeHeader) <= listEnd;) {
        DevicePathNodeHeader node;
        std::memcpy(&node, bytes.data() + at, sizeof node);
        if (node.Length < sizeof node || at + node.Length > listEnd)
            break;
        if (node.Type == kMediaDevicePath && node.SubType == kMediaFilePath) {
            std::wstring path;
            if (Utf16Text(bytes.data(), at + sizeof node, at + node.Length, path) != 0)
                option.filePath = std::move(path);
        }
        at += node.Length;
    }
    return true;
}

bool IsBootManagerOption(BootLoadOption& option) {
    option.description = Lower(option.description);
    option.filePath = Lower(option.filePath);
    return option.description == kBootManagerDescription && option.filePath == kBootManagerFilePath;
}

void EnsureBootManagerFirst() {
    if (!g_firmwarePrivilegeEnabled.load()) {
        if (!EnableFirmwarePrivilege()) {
            MOX_TRACE(TRACE_LEVEL_WARNING,
                      "The firmware privilege could not be enabled; boot order left alone");
            return;
        }
        g_firmwarePrivilegeEnabled.store(true);
    }

    uint8_t order[kBootOrderBytes];
    const DWORD size = std::min<DWORD>(
        GetFirmwareEnvironmentVariableA("BootOrder", EFI_GLOBAL_VARIABLE_GUID_TEXT, order, sizeof order),
        sizeof order);
    const size_t count = size / 2;
    if (count == 0)
        return;
    auto entry = [&](size_t i) { return static_cast<uint16_t>(order[2 * i] | order[2 * i + 1] << 8); };

    BootLoadOption option;
    if (ReadBootOption(entry(0), option) && IsBootManagerOption(option))
        return;
    for (size_t i = 1; i < count; ++i) {
        if (!ReadBootOption(entry(i), option) || !IsBootManagerOption(option))
            continue;
        // Entries 0 to i - 1 move back one place; the others stay.
        uint8_t first[2] = {order[2 * i], order[2 * i + 1]};
        std::memmove(order + 2, order, 2 * i);
        std::memcpy(order, first, 2);
        if (!SetFirmwareEnvironmentVariableA("BootOrder", EFI_GLOBAL_VARIABLE_GUID_TEXT, order,
                                             static_cast<DWORD>(count * 2)))
            MOX_TRACE(TRACE_LEVEL_WARNING, "Writing the boot order failed with %u", GetLastError());
        return;
    }
}

void ResetBootOrderPrivilegeForTests() {
    g_firmwarePrivilegeEnabled.store(false);
}
