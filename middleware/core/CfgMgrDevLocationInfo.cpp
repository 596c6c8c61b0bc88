#include "middleware/core/CfgMgrDevLocationInfo.h"

#include <regex>
#include <vector>

namespace MoxCfgMgr {

DevLocationInfo::DevLocationInfo(const IDev& device) {
    const uint32_t address = device.getProperty(DevProperty::Address).asUint32();
    device_ = static_cast<int>((address >> 16) & 0xFF);
    function_ = static_cast<int>(address & 0xFF);
    busNumber_ = static_cast<int>(device.getProperty(DevProperty::BusNumber).asUint32());
    serviceName_ = device.getProperty(DevProperty::Service).asString();
    const std::vector<std::wstring> paths = device.getProperty(DevProperty::LocationPaths).asStringList();

    static const std::wregex element(LR"(#ACPI\(((RP)(\d{2})|(SAT|PEG)(\d{1}))\))", std::regex::ECMAScript);
    for (const std::wstring& path : paths) {
        std::wsmatch match;
        if (!std::regex_search(path, match, element))
            continue;
        if (match[2].matched) {
            acpiElementName_ = match[2].str();
            acpiElementNumber_ = std::stoi(match[3].str());
        } else {
            acpiElementName_ = match[4].str();
            acpiElementNumber_ = std::stoi(match[5].str());
        }
        break;
    }
}

} // namespace MoxCfgMgr
