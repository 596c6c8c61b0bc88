#include "middleware/core/CfgMgrPathsGetters.h"

#include <functional>

#include "middleware/core/CfgMgrException.h"
#include "platform/win/Trace.h"
#include "platform/win/WinGuid.h"

namespace MoxCfgMgr {
namespace {

// A device may arrive between the size query and the read, which then finds the buffer too small:
// the whole read is tried again with a fresh size.
constexpr int kListAttempts = 6;

std::vector<wchar_t> ReadList(const std::function<CONFIGRET(ULONG&)>& querySize,
                              const std::function<CONFIGRET(std::vector<wchar_t>&)>& read) {
    std::vector<wchar_t> list;
    CONFIGRET result = CR_SUCCESS;
    for (int attempt = 1; attempt <= kListAttempts; ++attempt) {
        ULONG length = 0;
        result = querySize(length);
        if (result == CR_SUCCESS) {
            list.resize(length, L'\0');
            result = read(list);
        }
        if (result == CR_SUCCESS)
            return list;
        if (result != CR_BUFFER_SMALL)
            break;
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "device list changed while it was read (attempt %d)", attempt);
    }
    throw CfgMgrException("Get device interface list size failed with: " + std::to_string(result));
}

} // namespace

DevNodePathsGetter::DevNodePathsGetter(int mode, int presentOnly, const GUID& setupClass, std::wstring filter)
    : setupClass_(setupClass), filter_(std::move(filter)) {
    if (mode == kByEnumerator) {
        flags_ = CM_GETIDLIST_FILTER_ENUMERATOR;
    } else {
        if (mode == kBySetupClass) {
            wchar_t text[64] = {};
            if (StringFromGUID2(setupClass_, text, 64) == 0)
                throw CfgMgrException("guid conversion failed");
            filter_ = text;
            flags_ = CM_GETIDLIST_FILTER_CLASS;
        }
        if (presentOnly == 1)
            flags_ |= CM_GETIDLIST_FILTER_PRESENT;
    }
    list_ =
        ReadList([&](ULONG& length) { return CM_Get_Device_ID_List_SizeW(&length, filter_.c_str(), flags_); },
                 [&](std::vector<wchar_t>& list) {
                     return CM_Get_Device_ID_ListW(filter_.c_str(), list.data(),
                                                   static_cast<ULONG>(list.size()), flags_);
                 });
}

DevPaths DevNodePathsGetter::getPaths() const {
    return DevPaths{DevPaths::kInstanceIds, list_};
}

DevInterfacePathsGetter::DevInterfacePathsGetter(const GUID& interfaceClass)
    : interfaceClass_(interfaceClass) {
    list_ = ReadList(
        [&](ULONG& length) {
            return CM_Get_Device_Interface_List_SizeW(&length, &interfaceClass_, nullptr, flags_);
        },
        [&](std::vector<wchar_t>& list) {
            return CM_Get_Device_Interface_ListW(&interfaceClass_, nullptr, list.data(),
                                                 static_cast<ULONG>(list.size()), flags_);
        });
}

DevPaths DevInterfacePathsGetter::getPaths() const {
    return DevPaths{DevPaths::kInterfacePaths, list_};
}

} // namespace MoxCfgMgr
