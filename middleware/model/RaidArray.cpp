#include "middleware/model/RaidArray.h"

#include <cstdio>
#include <cstring>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/VezkPairingInfo.h"

namespace {

// The longest key text; longer keys are cut.
constexpr size_t kKeyCharacters = 39;

} // namespace

CConsolidatedError RaidArray::Populate(HANDLE target, int32_t index, uint32_t controllerHandle) {
    m_Index = index;
    CIoctlRaidArrayGroup request(target, static_cast<uint32_t>(index));
    request.SetVerifyOnInvoke(true);
    CConsolidatedError result = request.Invoke();
    if (result.IsError()) {
        result.AddDebugInformation("Could not get array group info in RaidArray::Populate");
        return result;
    }
    m_Record = std::make_unique<uint8_t[]>(kRecordSize);
    std::memcpy(m_Record.get(), request.GetGroupData(), kRecordSize);

    char key[kKeyCharacters + 1];
    std::snprintf(key, sizeof(key), "Array_%4.4d_%4.4d", static_cast<int>(controllerHandle),
                  static_cast<int>(model::Read32(m_Record.get(), kNumber)));
    takeHandle(key, controllerHandle);
    return result;
}

CConsolidatedError RaidArray::populateCacheMemoryArray(const VezkPairingInfo& info, int32_t index,
                                                       uint32_t controllerHandle) {
    m_Synthetic = true;
    m_Index = index;
    if (!info.isEnabled())
        return CConsolidatedError();

    m_Record = std::make_unique<uint8_t[]>(kRecordSize);
    uint8_t* r = m_Record.get();
    std::memset(r, 0, kRecordSize);
    const uint32_t state = info.pairState();
    model::WriteField<uint32_t>(r, 0, kRecordSize);
    model::WriteField<uint32_t>(r, kNumDisks, 2);
    model::WriteField<uint32_t>(r, kNumRaidDevs, 1);
    model::WriteField<uint32_t>(r, 20, state == 2 ? 2 : (state == 3 ? 1 : 0));
    const uint64_t totalBytes = static_cast<uint64_t>(info.blockSize()) * info.blockCount();
    model::WriteField<uint32_t>(r, 24, static_cast<uint32_t>(totalBytes >> 20));
    model::WriteField<uint32_t>(r, 32, 1);
    model::WriteField<uint32_t>(r, kNumber, 0xFFFFFFFE);

    char key[kKeyCharacters + 1];
    std::snprintf(key, sizeof(key), "Array_Orvex_Halvex_%d", static_cast<int>(controllerHandle));
    takeHandle(key, controllerHandle);
    return CConsolidatedError();
}

uint32_t RaidArray::getRecordWord(size_t offset) const {
    return m_Record && offset + 4 <= kRecordSize ? model::Read32(m_Record.get(), offset) : 0;
}

void RaidArray::takeHandle(const char* key, uint32_t controllerHandle) {
    m_Handle = HandleRegistry::instance().getHandle(HandleKindArray, key);
    m_ControllerHandle = controllerHandle;
}
