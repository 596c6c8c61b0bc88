// The PCI device ID of the platform's LPC controller, found among the system devices.
#include <regex>
#include <string>

#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "middleware/core/TextConversions.h"

namespace {

// The platform vendor's PCI prefix of an identifier.
constexpr const char* kVendorPrefix = "PCI\\VEN_1F4A";
// PCI device 31, function 0.
constexpr uint32_t kLpcAddress = 0x1F0000;

std::vector<std::unique_ptr<MoxCfgMgr::IDev>> SystemDevices() {
    MoxCfgMgr::DevEnumerator enumerator(
        std::make_unique<MoxCfgMgr::DevNodePathsGetter>(MoxCfgMgr::DevNodePathsGetter::kBySetupClass, 1,
                                                        GUID_DEVCLASS_SYSTEM, L""),
        MakeCfgMgrDeviceFactory(MoxCfgMgr::kLocateNormal, {MoxCfgMgr::DevProperty::Address}));
    return enumerator.enumerate();
}

CConsolidatedError FindLpcId(uint16_t* id) {
    CConsolidatedError error;
    for (const auto& device : SystemDevices()) {
        if (!device)
            continue;
        try {
            const std::string identifier = ToNarrowString(device->getInstanceId().c_str());
            if (identifier.find(kVendorPrefix) == std::string::npos)
                continue;
            if (device->getProperty(MoxCfgMgr::DevProperty::Address).asUint32() != kLpcAddress)
                continue;
            static const std::regex kDevice("DEV_(\\w{4})", std::regex::ECMAScript);
            std::smatch match;
            if (!std::regex_search(identifier, match, kDevice)) {
                error.SetError(CConsolidatedError::UVI_NOTSUPPORTED, nullptr);
                error.AddErrorMessage("GetLPCId did not find 'DEV_' section in hardware id:%s",
                                      identifier.c_str());
                return error;
            }
            size_t used = 0;
            const unsigned long value = std::stoul(match[1].str(), &used, 16);
            if (used != 4)
                continue;
            *id = static_cast<uint16_t>(value);
            return error;
        } catch (...) {
            // A device whose identity or address cannot be read, or whose number is not hexadecimal,
            // is not the candidate.
        }
    }
    error.SetError(CConsolidatedError::UVI_NOTSUPPORTED, nullptr);
    error.AddErrorMessage("GetLPCId did not find any LPC device candidates");
    return error;
}

} // namespace

extern "C" MOX_EXPORT _UVI_Error GetLPCId(uint16_t* id) {
    return RunExportedCall([id] {
        if (!id) {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
            error.AddDebugInformation("GetLPCId: id is null");
            return error;
        }
        return FindLpcId(id);
    });
}
