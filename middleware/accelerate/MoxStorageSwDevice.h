#pragma once
// The software device nodes that stand for the disks of a cache-memory pairing: one node per disk
// under the enumerator "SwStorageEnumerator", with the instance id "SwStorageDevice&<serial>&FTW"
// and hardware ids made from the disk's model and firmware. A node object is built from a disk (to
// make the node, or to know its instance id) or from a node the configuration manager lists (to
// remove it).
#include <memory>
#include <stdexcept>
#include <string>

#include "middleware/core/CfgMgrInterfaces.h"

inline constexpr const wchar_t* kStorageSwEnumerator = L"SwStorageEnumerator";
inline constexpr const wchar_t* kStorageSwInstancePrefix = L"SwStorageDevice&";
inline constexpr const wchar_t* kStorageSwInstanceSuffix = L"&FTW";

class MoxStorageSwDeviceException : public std::runtime_error {
public:
    explicit MoxStorageSwDeviceException(const std::string& message)
        : std::runtime_error("[MoxStorageSwDeviceException] " + message) {}
};

class IMoxStorageSwDevice {
public:
    virtual ~IMoxStorageSwDevice() = default;
    // Makes the node below the parent device; it then stays while its parent is present.
    virtual bool create(const std::wstring& parentInstanceId, const std::string& model,
                        const std::string& firmware) = 0;
    // Removes a present node; false, without any call, for one that is not present.
    virtual bool remove() = 0;
    virtual bool isPresent() const = 0;
    virtual std::wstring getParentInstanceId() const = 0;
    virtual std::wstring getInstanceId() const = 0;
    // NUL-separated, ending with an extra NUL (empty when there are none).
    virtual std::wstring getHardwareIds() const = 0;
    virtual bool isFromDisk() const = 0;
    // Whether both stand for the same node: the instance id of the one built from a disk begins the
    // other's.
    virtual bool matches(const IMoxStorageSwDevice& other) const = 0;
};

// What a node is made from of a disk: its model and firmware texts and its serial numbers (null when
// the disk has none; the NVMe controller's serial is preferred).
struct StorageDiskIdentity {
    std::string model;
    std::string firmware;
    const char* nvmeSerial = nullptr;
    const char* serial = nullptr;
};

class MoxStorageSwDevice : public IMoxStorageSwDevice {
public:
    // A disk's node; a serial that is missing or only white space is refused.
    explicit MoxStorageSwDevice(const StorageDiskIdentity& disk);
    // A listed node; its present flag, parent and hardware ids are read now. A node whose instance id
    // holds no "SwStorageDevice&" is refused.
    explicit MoxStorageSwDevice(MoxCfgMgr::IDev* node);

    bool create(const std::wstring& parentInstanceId, const std::string& model,
                const std::string& firmware) override;
    bool remove() override;
    bool isPresent() const override { return present_; }
    std::wstring getParentInstanceId() const override { return parentInstanceId_; }
    std::wstring getInstanceId() const override { return instanceId_; }
    std::wstring getHardwareIds() const override { return hardwareIds_; }
    bool isFromDisk() const override { return fromDisk_; }
    bool matches(const IMoxStorageSwDevice& other) const override;

    // "ZQVSTORAGE\" + model + firmware and "ZQVSTORAGE\" + model, the model padded in front with
    // underscores to 40 characters and the firmware to 8, blanks made underscores.
    static std::wstring MakeHardwareIds(const std::string& model, const std::string& firmware);

private:
    // Makes the node below the parent, with the lifetime `removing_` chooses, and closes its handle.
    bool createNode(const std::wstring& parentInstanceId);

    bool fromDisk_ = false;
    bool present_ = false;
    bool removing_ = false;
    std::wstring instanceId_;
    std::wstring parentInstanceId_;
    std::wstring hardwareIds_;
    std::wstring description_;
    std::wstring serialNumber_;
};
