// Details of own-driver disks beyond the end-device record: the ATA identify summary, the records
// of the driver's RAID disk table and end-device dictionary, and the zero-power optical drive
// status.
#include <cstring>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/EndDeviceCollections.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/model/AhciDisk.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"

namespace {

bool IdBit(const uint8_t* identify, size_t word, int bit) {
    return (model::Read16(identify, 2 * word) >> bit) & 1;
}

_UVI_DiskIdentifyData SummariseIdentify(const uint8_t* id) {
    _UVI_DiskIdentifyData d{};
    const uint16_t word76 = model::Read16(id, 2 * 76);
    d.apmEnabled = IdBit(id, 86, 3);
    d.apmLevel = model::Read16(id, 2 * 91);
    d.apmSupported = IdBit(id, 83, 3);
    d.hardwareFeatureControlSupported = IdBit(id, 78, 5);
    d.deterministicReadAfterTrim = IdBit(id, 69, 14);
    d.deviceSleepSupported = IdBit(id, 78, 8);
    d.deviceSleepEnabled = IdBit(id, 79, 8);
    d.dipmEnabled = IdBit(id, 79, 3);
    d.dipmSupported = IdBit(id, 78, 3);
    d.fuaSupported = IdBit(id, 83, 10) && IdBit(id, 84, 6);
    d.hipmSupported = IdBit(id, 76, 9);
    d.hpaSupported = IdBit(id, 82, 10);
    d.hybridInfoSupported = IdBit(id, 78, 9);
    d.hybridInfoEnabled = IdBit(id, 79, 9);
    d.ieee1667Supported = IdBit(id, 69, 7);
    d.lba48Supported = IdBit(id, 83, 10);
    d.userAddressableSectors = model::Read64(id, 2 * 100);
    d.securityEnabled = IdBit(id, 128, 0) && IdBit(id, 128, 1) && IdBit(id, 85, 1);
    d.puisEnabled = IdBit(id, 86, 5);
    d.puisSupported = IdBit(id, 83, 5);
    d.zeroesAfterTrim = IdBit(id, 69, 5);
    d.trimSupported = IdBit(id, 169, 0);
    d.deterministicZeroesAfterTrim = IdBit(id, 169, 0) && IdBit(id, 69, 14) && IdBit(id, 69, 5);
    d.trustedComputingSupported = IdBit(id, 48, 0);
    d.writeUncorrectableSupported = IdBit(id, 119, 2);
    d.ncqSupported = word76 != 0 && word76 != 0xFFFF && (word76 & 0x100) != 0;
    return d;
}

CConsolidatedError DiskIdentifyData(Session& session, uint32_t diskHandle, _UVI_DiskIdentifyData* data) {
    CConsolidatedError result;
    data->diskHandle = 0;
    const auto disk = session.getEndDeviceByHandle(diskHandle);
    auto* ahci = dynamic_cast<AhciDisk*>(disk.get());
    if (!ahci || !ahci->getIdentify() || !ahci->getIdentify()->GetOutBuffer()) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, "Couldn't get IdentifyData");
        return result;
    }
    // A kept answer that fails verification throws; the exported framing returns it.
    *data = SummariseIdentify(ahci->getIdentify()->GetVerifiedPayload());
    data->diskHandle = disk->getHandle();
    return result;
}

CConsolidatedError ZpoddInfo(Session& session, uint32_t deviceHandle, _UVI_ZpoddInfo* info) {
    CConsolidatedError result;
    info->deviceHandle = 0;
    const auto disk = session.getEndDeviceByHandle(deviceHandle);
    if (!disk) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Cannot find disk for handle");
        return result;
    }
    _ZPODD_INFO block{};
    disk->getZpoddInfo(block);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&block);
    const uint32_t status = model::Read32(bytes, 8);
    if (model::Read32(bytes, 4) != 0x1234 || status == 0 || status == 5)
        return result;
    info->deviceHandle = disk->getHandle();
    info->status = status;
    info->word12 = model::Read32(bytes, 12);
    info->word16 = model::Read32(bytes, 16);
    info->word20 = model::Read32(bytes, 20);
    info->word24 = model::Read32(bytes, 24);
    info->word44 = model::Read32(bytes, 44);
    return result;
}

std::vector<std::shared_ptr<Disk>> DisksByRaidIndex(const Controller& controller) {
    std::vector<std::shared_ptr<Disk>> disks;
    for (int32_t i = 0; i < controller.getDiskCount(); ++i)
        disks.push_back(controller.getDiskByRaidIndex(i));
    return disks;
}

std::vector<std::shared_ptr<Disk>> DisksWithDictionary(const Controller& controller) {
    std::vector<std::shared_ptr<Disk>> disks;
    for (const auto& disk : controller.getDisks())
        if (disk->getDictionaryEntry())
            disks.push_back(disk);
    return disks;
}

} // namespace

extern "C" {

_UVI_Error UviGetDiskIdentifyData(unsigned int session, uint32_t diskHandle, _UVI_DiskIdentifyData* data) {
    if (!data)
        return NullParameterError("identifyData cannot be null in GetDiskIdentifyData");
    return RunSessionCall(session, [&](Session& s) { return DiskIdentifyData(s, diskHandle, data); });
}

_UVI_Error UviGetIxoEndDevices(unsigned int session, uint32_t controllerHandle, _UVI_EndDeviceInfo* records,
                               uint32_t* count) {
    if (!count)
        return NullParameterError("count cannot be null in GetIxoEndDevices");
    return RunSessionCall(session, [&](Session& s) {
        return collectEndDeviceRecords(s, controllerHandle, records, count, DisksByRaidIndex);
    });
}

_UVI_Error UviGetRdpDictEndDevices(unsigned int session, uint32_t controllerHandle,
                                   _UVI_EndDeviceInfo* records, uint32_t* count) {
    if (!count)
        return NullParameterError("count cannot be null in GetRdpDictEndDevices");
    return RunSessionCall(session, [&](Session& s) {
        return collectEndDeviceRecords(s, controllerHandle, records, count, DisksWithDictionary);
    });
}

_UVI_Error UviGetZpoddInfo(unsigned int session, uint32_t deviceHandle, _UVI_ZpoddInfo* info) {
    if (!info)
        return NullParameterError("zpoddInfo cannot be null in GetZpoddInfo");
    return RunSessionCall(session, [&](Session& s) { return ZpoddInfo(s, deviceHandle, info); });
}
}
