#include "middleware/model/GuidSource.h"

#include <algorithm>

#include "platform/win/WinUuid.h"

CConsolidatedError GuidSource::newGuidString(std::string& text) const {
    text.clear();
    CConsolidatedError result;
    GUID guid{};
    if (CoCreateGuid(&guid) != S_OK) {
        result.SetError(CConsolidatedError::UVI_FAILED, "Failed to create GUID");
        return result;
    }
    RPC_CSTR converted = nullptr;
    if (UuidToStringA(&guid, &converted) == RPC_S_OK && converted) {
        text = reinterpret_cast<const char*>(converted);
        text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    }
    RpcStringFreeA(&converted);
    if (text.empty())
        result.SetError(CConsolidatedError::UVI_FAILED, "GUID string was empty after conversion");
    return result;
}
