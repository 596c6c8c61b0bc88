#pragma once
// Product settings that are written only when their value changes.
#include <atomic>
#include <string>

#include "platform/win/WinTypes.h"

class CachedRegistrySetting {
public:
    explicit CachedRegistrySetting(std::string valueName) : valueName_(std::move(valueName)) {}

    // Writes the value (WriteProductSettingDword) unless it equals the one this object last wrote
    // successfully; returns the write's result, 0 when nothing was written. A failed write leaves the
    // cache as it was, so the next set with that value tries again.
    LONG setDword(DWORD value);
    // The same for a boolean, written as the DWORD 0 or 1.
    LONG setBool(bool value);
    // Forgets the last written value, as a new process would; for tests that share one process.
    void forgetForTests() { cached_.store(0xFFFFFFFF); }

private:
    // Nothing written yet: the first set of a process writes unless its value is 0xFFFFFFFF.
    std::atomic<DWORD> cached_{0xFFFFFFFF};
    std::string valueName_;
};

// The process's settings "HalvexStatus" (set with setDword) and "IsHalvexEnabled" (set with setBool).
CachedRegistrySetting& HalvexStatusSetting();
CachedRegistrySetting& IsHalvexEnabledSetting();
// Forgets what both settings last wrote, as a new process would; for tests that share one process.
void ForgetCachedSettingsForTests();
