#include "middleware/ioctl/DictionaryEndDevice.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

uint64_t Reversed(uint64_t value) {
    uint64_t out = 0;
    for (int i = 0; i < 8; ++i) {
        out = out << 8 | (value & 0xFF);
        value >>= 8;
    }
    return out;
}

} // namespace

CDictionaryEndDevice::CDictionaryEndDevice(uint32_t instanceIndex) : CDictionary(instanceIndex) {
    EndDeviceDictionaryValues& v = m_Values;
    AddField(m_Raidport, END_DEVICE_SAS_ADDRESS, &v.sasAddress, sizeof(v.sasAddress), "SAS addess");
    AddField(m_Miniport, END_DEVICE_SAS_ADDRESS, &v.sasAddress, sizeof(v.sasAddress), "SAS addess");
    AddField(m_Miniport, END_DEVICE_PARENT_SAS_ADDRESS, &v.parentSasAddress, sizeof(v.parentSasAddress),
             "parent SAS address");
    AddField(m_Miniport, END_DEVICE_PROTOCOLS_SUPPORTED, &v.protocolsSupported, sizeof(v.protocolsSupported),
             "protocols supported");
    AddField(m_Raidport, END_DEVICE_PERIPHERAL_DEVICE_TYPE, &v.peripheralDeviceType,
             sizeof(v.peripheralDeviceType), "peripheral device type");
    AddField(m_Raidport, END_DEVICE_SERIAL_NUMBER, v.serialNumber, sizeof(v.serialNumber), "serial number");
    AddField(m_Raidport, END_DEVICE_SERIAL_NUMBER_LENGTH, &v.serialNumberLength, sizeof(v.serialNumberLength),
             "serial number length");
    AddField(m_Raidport, END_DEVICE_PATH_ID, &v.raidportPathId, sizeof(v.raidportPathId), "path ID");
    AddField(m_Raidport, END_DEVICE_TARGET_ID, &v.raidportTargetId, sizeof(v.raidportTargetId), "target ID");
    AddField(m_Miniport, END_DEVICE_PATH_ID, &v.miniportPathId, sizeof(v.miniportPathId), "path ID");
    AddField(m_Miniport, END_DEVICE_TARGET_ID, &v.miniportTargetId, sizeof(v.miniportTargetId), "target ID");
    AddField(m_Raidport, END_DEVICE_LBA_COUNT, &v.lbaCount, sizeof(v.lbaCount), "lba count");
    AddField(m_Raidport, END_DEVICE_LOGICAL_SECTOR_SIZE, &v.logicalSectorSize, sizeof(v.logicalSectorSize),
             "logical sector size");
    AddField(m_Raidport, END_DEVICE_QUEUE_DEPTH, &v.queueDepth, sizeof(v.queueDepth), "queue depth");
    AddField(m_Raidport, END_DEVICE_MODEL_NUMBER, v.modelNumber, sizeof(v.modelNumber), "model number");
    AddField(m_Raidport, END_DEVICE_FIRMWARE_VERSION, v.firmwareVersion, sizeof(v.firmwareVersion),
             "firmware version");
    AddField(m_Miniport, END_DEVICE_PORT_ID, &v.portId, sizeof(v.portId), "port ID");
    AddField(m_Raidport, END_DEVICE_SMART_CAPABLE, &v.smartCapable, sizeof(v.smartCapable), "smart capable");
    AddField(m_Raidport, END_DEVICE_PHYSICAL_SECTOR_SIZE, &v.physicalSectorSize, sizeof(v.physicalSectorSize),
             "physical sector size");
    AddField(m_Raidport, END_DEVICE_PREBOOT_VISIBLE, &v.prebootVisible, sizeof(v.prebootVisible),
             "preboot visible flag");
}

CConsolidatedError CDictionaryEndDevice::Invoke() {
    EndDeviceDictionaryValues& v = m_Values;
    // The driver sends the serial number in ATA string order: each pair of characters swapped.
    v.serialNumber[64] = '\0';
    for (size_t i = 0; i + 1 < 64; i += 2)
        std::swap(v.serialNumber[i], v.serialNumber[i + 1]);
    v.firmwareVersion[4] = '\0';
    v.sasAddress = Reversed(v.sasAddress);
    v.parentSasAddress = Reversed(v.parentSasAddress);

    std::string debug;
    if (v.raidportPathId != v.miniportPathId)
        debug += "End Device dictionary instance mismatch on path ID.\n";
    if (v.raidportTargetId != v.miniportTargetId)
        debug += "End Device dictionary instance mismatch on target ID.\n";
    if (v.raidportPathId == -1)
        debug += "Raidport path ID not found.\n";
    if (v.raidportTargetId == -1)
        debug += "Raidport target ID not found.\n";
    if (v.miniportPathId == -1)
        debug += "Miniport path ID not found.\n";
    if (v.miniportTargetId == -1)
        debug += "Miniport target ID not found.\n";
    // Both ids must agree; a path id of -1 is no disk at all.
    if (v.raidportPathId == v.miniportPathId && v.raidportTargetId == v.miniportTargetId &&
        v.raidportPathId != -1)
        return CConsolidatedError();
    CConsolidatedError e;
    e.SetError(CConsolidatedError::GENERAL_FAULT,
               "End Device dictionary instance missing or mismatched in CDictionaryEndDevice::Invoke(). See "
               "debug information.",
               debug.c_str());
    return e;
}
