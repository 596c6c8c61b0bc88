#include "middleware/model/IndexIdentity.h"

#include <cstring>
#include <string>
#include <vector>

#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"

namespace {

// The driver's answer for an instance it does not have (GET_SET_RAID_PARAMS status 7).
constexpr KEDO2_ERRORS kNoSuchInstance = static_cast<KEDO2_ERRORS>(CConsolidatedError::RAID_IXO_STS_OK + 7);
constexpr size_t kTextCharacters = 16;

CConsolidatedError Changed(const char* kind, uint32_t index, const std::string& identity) {
    CConsolidatedError error;
    const std::string message = "The RAID configuration has changed since it was read: " + std::string(kind) +
                                " index " + std::to_string(index) + " no longer holds \"" + identity + "\"";
    error.SetError(CConsolidatedError::CFG_CONFIG_HAS_CHANGED, message.c_str());
    return error;
}

// Reads the record at the index; an index the driver no longer has is a change, any other failure
// passes through.
CConsolidatedError Read(CIoctlRaidGetSetConfig& request, const char* kind, uint32_t index,
                        const std::string& identity) {
    request.SetVerifyOnInvoke(true);
    CConsolidatedError error = request.Invoke();
    if (error.GetErrorCode() == kNoSuchInstance)
        return Changed(kind, index, identity);
    return error;
}

// Reads the record at the index and its 16-character serial text (group-data offset 4), terminated.
CConsolidatedError ReadSerial(CIoctlRaidGetSetConfig& request, const char* kind, uint32_t index,
                              const std::string& identity, char (&serial)[RaidDiskConfig::kTextSize]) {
    CConsolidatedError error = Read(request, kind, index, identity);
    if (error.IsError())
        return error;
    try {
        static_cast<void>(request.CopyGroupSerialNumber(serial, sizeof(serial)));
    } catch (const CConsolidatedError& failed) {
        return failed;
    }
    return error;
}

// A 16-character text of a record, up to its first NUL.
std::string Text16(const uint8_t* text) {
    return std::string(reinterpret_cast<const char*>(text),
                       strnlen(reinterpret_cast<const char*>(text), kTextCharacters));
}

} // namespace

CConsolidatedError ConfirmVolumeAtIndex(HANDLE target, const RaidVolume& volume) {
    uint8_t known[RaidVolume::kNameSize] = {};
    if (volume.getRecord())
        std::memcpy(known, volume.getRecord() + RaidVolume::kName, sizeof(known));
    const std::string name = Text16(known);
    CIoctlRaidVolumeGroup read(target, volume.getIndex());
    CConsolidatedError error = Read(read, "volume", volume.getIndex(), name);
    if (error.IsError())
        return error;
    try {
        if (std::memcmp(known, read.GetGroupData() + RaidVolume::kName, sizeof(known)) != 0)
            return Changed("volume", volume.getIndex(), name);
    } catch (const CConsolidatedError& failed) {
        return failed;
    }
    return error;
}

CConsolidatedError ConfirmDiskAtIndex(HANDLE target, const Disk& disk) {
    const auto& raid = disk.getRaidDiskConfig();
    if (!raid)
        return CConsolidatedError();
    char known[RaidDiskConfig::kTextSize] = {};
    static_cast<void>(raid->copySerialNumber(known, sizeof(known)));
    CIoctlRaidDiskGroup read(target, raid->getDiskIndex());
    char now[RaidDiskConfig::kTextSize] = {};
    CConsolidatedError error = ReadSerial(read, "disk", raid->getDiskIndex(), known, now);
    if (error.IsError())
        return error;
    if (std::strncmp(known, now, sizeof(known)) != 0)
        return Changed("disk", raid->getDiskIndex(), known);
    return error;
}

CConsolidatedError ConfirmArrayAtIndex(HANDLE target, const RaidArray& array) {
    const auto index = static_cast<uint32_t>(array.getIndex());
    const std::string identity = "array number " + std::to_string(array.getRecordWord(RaidArray::kNumber));
    CIoctlRaidArrayGroup read(target, index);
    CConsolidatedError error = Read(read, "array", index, identity);
    if (error.IsError())
        return error;
    const std::vector<std::string>& members = array.getMemberSerials();
    uint32_t number = 0, count = 0;
    try {
        const BYTE* now = read.GetGroupData();
        std::memcpy(&number, now + RaidArray::kNumber, sizeof(number));
        std::memcpy(&count, now + RaidArray::kNumDisks, sizeof(count));
    } catch (const CConsolidatedError& failed) {
        return failed;
    }
    if (!array.getRecord() || number != array.getRecordWord(RaidArray::kNumber) || count != members.size())
        return Changed("array", index, identity);
    for (uint32_t k = 0; k < count; ++k) {
        CIoctlRaidArrayDiskGroup member(target, index, k);
        char serial[RaidDiskConfig::kTextSize] = {};
        error = ReadSerial(member, "array", index, identity, serial);
        if (error.IsError())
            return error;
        if (members[k] != serial)
            return Changed("array", index, identity);
    }
    return error;
}

CConsolidatedError ConfirmDisksAtIndexes(HANDLE target, const Controller& controller) {
    for (const auto& disk : controller.getDisks()) {
        if (!disk)
            continue;
        CConsolidatedError error = ConfirmDiskAtIndex(target, *disk);
        if (error.IsError())
            return error;
    }
    return CConsolidatedError();
}
