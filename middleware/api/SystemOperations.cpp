#include "middleware/api/SystemOperations.h"

#include <string>

#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviOperations.h"
#include "middleware/core/TextConversions.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinCfgMgr.h"
#include "platform/win/WinError.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinSync.h"

namespace {

CConsolidatedError Rescan() {
    CConsolidatedError result;
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, kRescanSemaphoreName);
    if (!semaphore) {
        result.SetError(CConsolidatedError::UVI_FAULT, " Could not open semaphore");
        return result;
    }
    // The semaphore is never waited on: that it exists at all means another rescan runs.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(semaphore);
        result.SetError(CConsolidatedError::UVI_TIMEOUT, "System Rescan Busy");
        return result;
    }
    DEVINST root = 0;
    CONFIGRET cr = CM_Locate_DevNodeA(&root, nullptr, 0);
    if (cr != CR_SUCCESS) {
        result.SetError(CConsolidatedError::UVI_FAILED, nullptr);
        result.AddDebugInformation("Failed to Locate Device Node. Locate_DevNode_Ex() returned: 0x%x",
                                   static_cast<unsigned>(cr));
    } else if ((cr = CM_Reenumerate_DevNode(root, 0)) != CR_SUCCESS) {
        result.SetError(CConsolidatedError::UVI_FAILED, nullptr);
        result.AddDebugInformation(
            "Failed to Reenumerate Device Node. Reenumerate_DevNode_ex() returned 0x%X",
            static_cast<unsigned>(cr));
    }
    CloseHandle(semaphore);
    return result;
}

// Writes HIPM and DIPM of every PHY of the controller's LPM controller numbers; the result is the
// last pair that failed.
void WriteLinkPower(HKEY key, const std::vector<int>& numbers, DWORD value, CConsolidatedError& result) {
    for (int n : numbers)
        for (int phy = 0; phy < kLpmPhyCount; ++phy) {
            const LSTATUS hipm = RegSetKeyValueW(key, nullptr, LinkPowerValueName(n, phy, L"HIPM").c_str(),
                                                 REG_DWORD, &value, sizeof(value));
            const LSTATUS dipm = RegSetKeyValueW(key, nullptr, LinkPowerValueName(n, phy, L"DIPM").c_str(),
                                                 REG_DWORD, &value, sizeof(value));
            if (hipm != ERROR_SUCCESS || dipm != ERROR_SUCCESS) {
                CConsolidatedError pair;
                pair.SetError(KEDO2_ERROR_TYPE_WIN32,
                              static_cast<unsigned long>(hipm != ERROR_SUCCESS ? hipm : dipm), nullptr);
                pair.AddErrorMessage("%s", hipm != ERROR_SUCCESS ? "Hipm registry set failed"
                                                                 : "Dipm registry set failed");
                result = pair;
            }
        }
}

CConsolidatedError SetLinkPower(Session& session, int enable) {
    CConsolidatedError result;
    const DWORD value = static_cast<uint8_t>(enable);
    for (const auto& [numbers, locator] : LinkPowerControllers(session)) {
        if (!locator)
            continue;
        HKEY key = nullptr;
        // A key that cannot be opened leaves this controller as it is, without an error.
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, LinkPowerKey(*locator).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        WriteLinkPower(key, numbers, value, result);
        RegCloseKey(key);
    }
    return result;
}

} // namespace

std::vector<LinkPowerController> LinkPowerControllers(Session& session) {
    std::vector<LinkPowerController> found;
    for (const auto& controller : session.getControllers()) {
        if (!controller)
            continue;
        std::vector<int> numbers = controller->getLpmControllerNumbers();
        if (!numbers.empty())
            found.push_back(
                {std::move(numbers), DeviceLocator::FindByHandle(controller->getControllerLocator())});
    }
    return found;
}

std::wstring LinkPowerServiceKey(const ControllerLocator& locator) {
    return L"SYSTEM\\CurrentControlSet\\Services\\" + ToWideString(locator.serviceName);
}

std::wstring LinkPowerKey(const ControllerLocator& locator) {
    return LinkPowerServiceKey(locator) + L"\\Parameters\\Device";
}

std::wstring LinkPowerValueName(int controllerNumber, int phy, const wchar_t* kind) {
    return L"Controller" + std::to_wstring(controllerNumber) + L"Phy" + std::to_wstring(phy) + kind;
}

CConsolidatedError RefreshPartitionInfoOfControllers(Session& session) {
    for (const auto& controller : session.getControllers()) {
        if (!controller || controller->getType() == Controller::kTypeNvme || !controller->isRaidSupported())
            continue;
        CIoctlRaidDeviceRefreshPartitionInfoGroup refresh(controller->getControllerLocator());
        CConsolidatedError error = refresh.Invoke();
        if (error.IsError())
            return error;
    }
    return CConsolidatedError();
}

extern "C" {

_UVI_Error UviRescan() {
    return RunTemporarySessionCall([](Session&) { return Rescan(); });
}

_UVI_Error UviRefreshPartitionInfo() {
    return RunTemporarySessionCall(
        [](Session& session) { return RefreshPartitionInfoOfControllers(session); });
}

_UVI_Error UviSetLpmStatus(int enable) {
    return RunSessionCall(0, [enable](Session& session) { return SetLinkPower(session, enable); });
}

} // extern "C"
