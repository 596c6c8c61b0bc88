#include "middleware/accelerate/MoxStorageSwDevice.h"

#include <algorithm>
#include <cctype>

#include "middleware/core/StopSignal.h"
#include "middleware/core/TextConversions.h"
#include "platform/win/Trace.h"
#include "platform/win/WinSwDevice.h"

namespace {

// How long the creator waits for Windows to report the node.
constexpr uint64_t kCreateWaitMs = 1000;

std::string Trim(const std::string& text) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto begin = std::find_if_not(text.begin(), text.end(), space);
    const auto end = std::find_if_not(text.rbegin(), text.rend(), space).base();
    return begin < end ? std::string(begin, end) : std::string();
}

// Padded in front with underscores to `width` characters (a longer text keeps its length), blanks
// made underscores.
std::wstring Padded(const std::string& text, size_t width) {
    std::wstring out = ToWideString(text);
    if (out.size() < width)
        out.insert(0, width - out.size(), L'_');
    std::replace(out.begin(), out.end(), L' ', L'_');
    return out;
}

// The creation result is not looked at: the node's state is Windows' business, the creator only
// waits for the report.
void Created(HSWDEVICE, HRESULT, PVOID context, PCWSTR) {
    static_cast<StopSignal*>(context)->set();
}

} // namespace

MoxStorageSwDevice::MoxStorageSwDevice(const StorageDiskIdentity& disk) : fromDisk_(true) {
    const std::string model = Trim(disk.model);
    const std::string firmware = Trim(disk.firmware);
    hardwareIds_ = MakeHardwareIds(model, firmware);
    description_ = L"ZQVD " + ToWideString(model);
    const char* serial = disk.nvmeSerial ? disk.nvmeSerial : disk.serial;
    serialNumber_ = ToWideString(Trim(serial ? serial : ""));
    if (serialNumber_.empty())
        throw MoxStorageSwDeviceException("serial number string cannot be empty");
    instanceId_ = kStorageSwInstancePrefix + serialNumber_ + kStorageSwInstanceSuffix;
}

MoxStorageSwDevice::MoxStorageSwDevice(MoxCfgMgr::IDev* node) {
    if (!node)
        throw MoxStorageSwDeviceException("SW Device not initialized in SwDeviceNodeDisk");
    using MoxCfgMgr::DevProperty::HardwareIds;
    using MoxCfgMgr::DevProperty::IsPresent;
    using MoxCfgMgr::DevProperty::Parent;
    present_ = node->updateProperty(IsPresent).getProperty(IsPresent).asBool();
    parentInstanceId_ = node->updateProperty(Parent).getProperty(Parent).asString();
    const auto ids = node->updateProperty(HardwareIds).getProperty(HardwareIds).asStringList();
    for (const std::wstring& id : ids)
        hardwareIds_ += id + L'\0';
    if (!hardwareIds_.empty())
        hardwareIds_ += L'\0';
    const std::wstring nodeId = node->getInstanceId();
    const size_t at = nodeId.find(kStorageSwInstancePrefix);
    if (at == std::wstring::npos)
        throw MoxStorageSwDeviceException("invalid instance path of storageSwDev:[" + ToNarrowString(nodeId) +
                                          "]");
    instanceId_ = nodeId.substr(at);
}

std::wstring MoxStorageSwDevice::MakeHardwareIds(const std::string& model, const std::string& firmware) {
    const std::wstring paddedModel = Padded(model, 40);
    std::wstring ids = L"ZQVSTORAGE\\" + paddedModel + Padded(firmware, 8);
    ids += L'\0';
    ids += L"ZQVSTORAGE\\" + paddedModel;
    ids += L'\0';
    ids += L'\0';
    return ids;
}

bool MoxStorageSwDevice::create(const std::wstring& parentInstanceId, const std::string& model,
                                const std::string& firmware) {
    hardwareIds_ = MakeHardwareIds(Trim(model), Trim(firmware));
    removing_ = false;
    return createNode(parentInstanceId);
}

bool MoxStorageSwDevice::remove() {
    removing_ = true;
    // Made again with the handle lifetime, the node goes when its handle is closed.
    return present_ && createNode(parentInstanceId_);
}

bool MoxStorageSwDevice::matches(const IMoxStorageSwDevice& other) const {
    const std::wstring otherId = other.getInstanceId();
    return fromDisk_ ? otherId.starts_with(instanceId_) : instanceId_.starts_with(otherId);
}

bool MoxStorageSwDevice::createNode(const std::wstring& parentInstanceId) {
    SW_DEVICE_CREATE_INFO info{};
    info.cbSize = sizeof info;
    info.pszInstanceId = instanceId_.c_str();
    if (!hardwareIds_.empty())
        info.pszzHardwareIds = hardwareIds_.c_str();
    if (!description_.empty())
        info.pszDeviceDescription = description_.c_str();

    // The callback's signal lives apart from this frame's objects and outlives the handle: a report
    // that comes after the wait gave up finds it still there, and none comes after the close.
    auto signal = std::make_unique<StopSignal>();
    HSWDEVICE device = nullptr;
    HRESULT hr = SwDeviceCreate(kStorageSwEnumerator, parentInstanceId.c_str(), &info, 0, nullptr, Created,
                                signal.get(), &device);
    if (FAILED(hr)) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "Creating the software storage device failed with 0x%08X",
                  static_cast<uint32_t>(hr));
        return false;
    }
    if (!signal->waitFor(kCreateWaitMs))
        MOX_TRACE(TRACE_LEVEL_WARNING, "The software storage device was not reported within %llu ms",
                  static_cast<unsigned long long>(kCreateWaitMs));
    hr = SwDeviceSetLifetime(device, removing_ ? SWDeviceLifetimeHandle : SWDeviceLifetimeParentPresent);
    if (FAILED(hr))
        MOX_TRACE(TRACE_LEVEL_WARNING, "Setting the software storage device's lifetime failed with 0x%08X",
                  static_cast<uint32_t>(hr));
    SwDeviceClose(device);
    return true;
}
