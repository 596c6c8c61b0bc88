#include "middleware/model/ZrcRemapBiosVarProxy.h"

#include "platform/win/WinFirmware.h"

ZrcRemapBiosVarProxy::ZrcRemapBiosVarProxy()
    : ZrcRemapBiosVariable(), guid_(kVariableGuid), name_(kVariableName), sectionName_(kSectionName),
      section_(sectionName_) {
    // The section comes before the privilege: a caller refused by the section must not touch the
    // token, or its giving the privilege back would disable it under the holder's read and write.
    CConsolidatedError entered = section_.enter();
    if (entered.IsError())
        throw entered;
    privilege_ = std::make_unique<SystemPrivilege>(SE_SYSTEM_ENVIRONMENT_NAME);

    uint8_t bytes[kSize] = {};
    const DWORD size = GetFirmwareEnvironmentVariableW(name_.c_str(), guid_.c_str(), bytes, sizeof bytes);
    if (size == 0 || size > kSize) {
        const DWORD error = size == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        CConsolidatedError failure(CConsolidatedError::UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_READ);
        failure.AddErrorMessage("EFI variable read fail with error [%d]", static_cast<int>(error));
        throw failure;
    }
    if (size < kSize) {
        CConsolidatedError failure(CConsolidatedError::UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_READ_TOO_SMALL);
        failure.AddErrorMessage("EFI variable size is too small. Size [%d]", static_cast<int>(size));
        throw failure;
    }
    static_cast<ZrcRemapBiosVariable&>(*this) = FromBytes(bytes);
}

ZrcRemapBiosVarProxy::~ZrcRemapBiosVarProxy() = default;

void ZrcRemapBiosVarProxy::write() {
    uint8_t bytes[kSize];
    toBytes(bytes);
    if (!SetFirmwareEnvironmentVariableW(name_.c_str(), guid_.c_str(), bytes, sizeof bytes)) {
        CConsolidatedError failure(CConsolidatedError::UVI_ACTION_ZRC_REMAP_OPERATION_FAILED_WRITE);
        failure.AddErrorMessage("EFI variable write fail with error [%d]", static_cast<int>(GetLastError()));
        throw failure;
    }
}
