#pragma once
// One 32-bit word of a controller's RAID configuration group as the driver answers it now (4 the
// volume count, 16 the error number, 24 the last trigger written).
#include <cstring>

#include <gtest/gtest.h>

#include "middleware/ioctl/RaidConfig.h"

namespace modeltest {

inline uint32_t RaidConfigWord(HANDLE controller, size_t offset) {
    CIoctlRaidCfgGroup cfg(controller);
    cfg.SetVerifyOnInvoke(true);
    EXPECT_TRUE(cfg.Invoke().IsSuccessful());
    uint32_t value = 0;
    std::memcpy(&value, cfg.GetGroupData() + offset, sizeof(value));
    return value;
}

} // namespace modeltest
